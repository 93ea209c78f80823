#pragma once
// Stream data decoded through a chain of the filters that can hold page content (ASCIIHexDecode,
// ASCII85Decode, LZWDecode, RunLengthDecode, FlateDecode, with their predictors), no further than
// a bound. The stages pull from one another through buffers of a few kilobytes: nothing is held
// whole but the output, which never grows past the room asked for, and a stage between others
// stops after producing a bounded multiple of that room. Damaged data end the decoding where a
// renderer would stop; what decoded before counts.
//
//   std::vector<BoundedDecode::Stage> chain{{BoundedDecode::Filter::ascii85},
//                                           {BoundedDecode::Filter::flate}};
//   std::string out;
//   if (BoundedDecode::decode(data, chain, limit + 1, out) == BoundedDecode::End::overrun) ...

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace BoundedDecode {

enum class Filter { asciiHex, ascii85, lzw, runLength, flate };

// One filter of the chain with what its /DecodeParms say.
struct Stage {
    Filter filter = Filter::flate;
    // LZW: whether the code width grows one code early (/EarlyChange, 1 unless it says 0).
    bool earlyChange = true;
    // LZW and Flate: /Predictor (1 none, 2 TIFF, 10 and up PNG), /Colors, /BitsPerComponent,
    // /Columns.
    int predictor = 1;
    int colors = 1;
    int bitsPerComponent = 8;
    int columns = 1;
};

// The filter of that name, full or abbreviated; nothing for a filter that does not hold content
// (images, encryption) or that is not known.
std::optional<Filter> named(std::string_view name);

// Filters read one after the other: a longer chain is not read.
inline constexpr std::size_t maxStages = 8;
// A stage between others may produce this many times the room, plus a little: real chains (hex
// and base-85 text around compressed data) need a few times; more is work no content needs.
inline constexpr std::size_t stageFactor = 8;
// A predictor's row (Columns x Colors x BitsPerComponent) is read up to this size.
inline constexpr std::size_t maxRowBytes = std::size_t(1) << 20;

enum class End {
    complete,    // the data decoded to their end (or to the damage that ends them)
    full,        // `room` bytes were appended: the data may go on
    overrun,     // a stage between others went past its share: the data decode to far more
                 // than the room
    unreadable,  // too many stages, or predictor rows beyond maxRowBytes
};

// Appends at most `room` bytes of `data` decoded through `stages` (the first applied first) to
// `out`. An empty chain copies the data.
End decode(std::string_view data, const std::vector<Stage>& stages, std::size_t room,
           std::string& out);

}  // namespace BoundedDecode
