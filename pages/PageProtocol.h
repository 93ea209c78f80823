#pragma once
// What the application and its page process say to each other over their socket. Every message
// is a frame: an 8-byte length, then that many bytes. Both ends are built together and run on one
// machine, so numbers travel in the machine's own byte order; the application still checks every
// length and count in an answer, since the process that wrote it has read an untrusted file.
//
//   application                         page process
//                          <- hello: opened (page count) or not
//   request (kind, page…)  ->
//                          <- answer: a page's text, words, grey image or tile, or nothing

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "pages/PageText.h"

namespace PageProtocol {

enum class Kind : std::uint8_t {
    text = 1,   // text with a box per UTF-16 unit
    words = 2,  // the page's words only
    grey = 3,   // the page drawn whole in grey
    tile = 4,   // a slice of the page drawn in colour
    release = 5,  // no answer: the process lets its document go and ends
    slice = 6,  // a slice of the page drawn in grey, for its ink (a cell in doubt)
};

struct Request {
    Kind kind = Kind::text;
    std::int32_t page = 0;
    double scale = 0;            // grey, tile, slice: pixels per point
    std::int64_t maxPixels = 0;  // grey: the largest image wanted
    std::int32_t x = 0, y = 0;   // tile, slice: its top-left pixel in the page drawn at `scale`
    std::int32_t width = 0, height = 0;  // tile, slice: its largest size (cut at the page's edge)
};

// A tile drawn in colour: 4 bytes a pixel, each pixel the 32-bit value 0xAARRGGBB in the
// machine's byte order, rows from the top.
struct ColourImage {
    int width = 0;
    int height = 0;
    std::string pixels;  // width * height * 4 bytes
};

// Frame payloads. encode* make them; decode* give nothing for a payload that is not exactly what
// its kind says (a count that does not match the bytes, a size out of bounds).
std::string encode(const Request& request);
std::optional<Request> decodeRequest(std::string_view payload);

std::string encodeHello(std::optional<int> pageCount);  // nothing: the document cannot be opened
// The page count; -1 when the process could not open the document; nothing for a broken hello.
std::optional<int> decodeHello(std::string_view payload);

// The answer "no result" (the page cannot be read or drawn).
std::string encodeNothing();
bool isNothing(std::string_view payload);

std::string encode(const PageText& text);
std::string encodeWords(const std::u16string& words);

std::optional<PageText> decodeText(std::string_view payload);
std::optional<std::u16string> decodeWords(std::string_view payload);

// An image answer (a grey page, 1 byte a pixel, or a tile, 4) is its head, then its pixels, rows
// from the top: the process sends them from where it drew them and the application reads them
// straight into the image it returns.
inline constexpr std::size_t imageHeadBytes = 9;
std::string encodeImageHead(int width, int height);
// The width and height in an image head, when it is a result whose pixels take exactly
// `pixelBytes` at `bytesPerPixel` and are no more than `maxPixels`.
std::optional<std::pair<int, int>> decodeImageHead(std::string_view head,
                                                   std::size_t bytesPerPixel,
                                                   std::int64_t maxPixels,
                                                   std::uint64_t pixelBytes);

// How the page process ends when a page left it unable to go on (its memory exhausted, or
// another failure thrown from inside the renderer): the page is given up and the next request
// starts a fresh process.
inline constexpr int exitOutOfMemory = 4;
inline constexpr int exitFailure = 5;

// The frame around a payload: its length, then the payload.
std::string frame(std::string_view payload);
inline constexpr std::size_t headerBytes = 8;

// A descriptor passed over the socket with a few bytes (the document's memory file with its
// size; a new page process's socket end for the zygote). True when all `size` bytes went.
bool sendDescriptor(int socket, int fd, const void* bytes, std::size_t size);
// The descriptor of a message of exactly `size` bytes (stored in `bytes`) that carries one, made
// close-on-exec; -1 when the socket closes or the message is anything else (a descriptor that
// came with a wrong message is closed).
int receiveDescriptor(int socket, void* bytes, std::size_t size);

}  // namespace PageProtocol
