#include "pages/content/BoundedDecode.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "pdf/PDFFilters.h"

namespace BoundedDecode {

namespace {

// Bytes a stage decodes at a time.
constexpr std::size_t chunkSize = 16384;
// What a stage between others may produce beyond stageFactor x room.
constexpr std::size_t stageSlack = std::size_t(1) << 20;

bool isWhite(int c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

// Where a stage's input comes from: the next bytes, valid until the next call; empty at the end
// (and ever after).
class Source {
public:
    virtual ~Source() = default;
    virtual std::string_view pull() = 0;
};

// The stream's own bytes, in one piece.
class Raw final : public Source {
public:
    explicit Raw(std::string_view data) : data_(data) {}
    std::string_view pull() override {
        std::string_view out = given_ ? std::string_view() : data_;
        given_ = true;
        return out;
    }

private:
    std::string_view data_;
    bool given_ = false;
};

// Byte-wise and block-wise reading of a source.
class Reader {
public:
    explicit Reader(Source& source) : source_(source) {}

    // The next byte, -1 at the end.
    int get() {
        if (pos_ == chunk_.size() && !refill()) return -1;
        return static_cast<unsigned char>(chunk_[pos_++]);
    }
    // The bytes at hand (more are pulled when none are); empty at the end.
    std::string_view available() {
        if (pos_ == chunk_.size() && !refill()) return {};
        return chunk_.substr(pos_);
    }
    void consume(std::size_t n) { pos_ = std::min(chunk_.size(), pos_ + n); }
    // Up to n bytes; fewer only at the end.
    std::size_t read(unsigned char* out, std::size_t n) {
        std::size_t k = 0;
        while (k < n) {
            std::string_view a = available();
            if (a.empty()) break;
            const std::size_t m = std::min(a.size(), n - k);
            std::memcpy(out + k, a.data(), m);
            consume(m);
            k += m;
        }
        return k;
    }

private:
    bool refill() {
        if (ended_) return false;
        chunk_ = source_.pull();
        pos_ = 0;
        ended_ = chunk_.empty();
        return !ended_;
    }

    Source& source_;
    std::string_view chunk_;
    std::size_t pos_ = 0;
    bool ended_ = false;
};

// A stage: decodes its input into a buffer of its own, producing no more than its budget. A stage
// that reaches its budget says so through `overrun` (when given) and ends.
class Decoder : public Source {
public:
    Decoder(Source& in, std::size_t budget, bool* overrun)
        : in_(in), budget_(budget), overrun_(overrun), buffer_(new char[chunkSize]) {}

    std::string_view pull() final {
        if (ended_) return {};
        const std::size_t n = std::min(chunkSize, budget_ - produced_);
        if (n == 0) {
            if (overrun_) *overrun_ = true;
            ended_ = true;
            return {};
        }
        const std::size_t got = fill(buffer_.get(), n);
        if (got == 0) {
            ended_ = true;
            return {};
        }
        produced_ += got;
        return {buffer_.get(), got};
    }

protected:
    // Decodes up to n (> 0) bytes into out; 0 only at the end of the data (or at damage). Every
    // pass of its loops consumes input or produces output.
    virtual std::size_t fill(char* out, std::size_t n) = 0;

    Reader in_;

private:
    std::size_t budget_;
    std::size_t produced_ = 0;
    bool* overrun_;
    bool ended_ = false;
    std::unique_ptr<char[]> buffer_;
};

int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Pairs of hex digits up to '>'. A character that is no digit counts as 0, as renderers read it.
class AsciiHex final : public Decoder {
public:
    using Decoder::Decoder;

protected:
    std::size_t fill(char* out, std::size_t n) override {
        std::size_t k = 0;
        while (k < n && !done_) {
            const int c = in_.get();
            if (c < 0 || c == '>') {
                if (high_ >= 0) out[k++] = static_cast<char>(high_ << 4);
                done_ = true;
                break;
            }
            if (isWhite(c)) continue;
            const int v = std::max(hexValue(c), 0);
            if (high_ < 0) {
                high_ = v;
            } else {
                out[k++] = static_cast<char>((high_ << 4) | v);
                high_ = -1;
            }
        }
        return k;
    }

private:
    int high_ = -1;
    bool done_ = false;
};

// Groups of five base-85 digits (or 'z') up to '~'; a last short group gives one byte less than
// its digits.
class Ascii85 final : public Decoder {
public:
    using Decoder::Decoder;

protected:
    std::size_t fill(char* out, std::size_t n) override {
        std::size_t k = 0;
        while (k < n) {
            if (pos_ < len_) {
                out[k++] = static_cast<char>(group_[pos_++]);
                continue;
            }
            if (done_) break;
            std::uint32_t value = 0;
            int count = 0;
            pos_ = len_ = 0;
            while (count < 5) {
                const int c = in_.get();
                if (c < 0 || c == '~') {
                    done_ = true;
                    break;
                }
                if (isWhite(c)) continue;
                if (c == 'z' && count == 0) {
                    count = -1;
                    break;
                }
                value = value * 85 + static_cast<std::uint32_t>(c - '!');
                ++count;
            }
            if (count == -1) {
                std::memset(group_, 0, 4);
                len_ = 4;
                continue;
            }
            if (count < 2) continue;
            for (int i = count; i < 5; ++i) value = value * 85 + 84;
            for (int i = 0; i < 4; ++i)
                group_[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
            len_ = static_cast<std::size_t>(count - 1);
        }
        return k;
    }

private:
    unsigned char group_[4] = {};
    std::size_t pos_ = 0, len_ = 0;
    bool done_ = false;
};

// Codes of 9 to 12 bits; 256 clears the table, 257 ends. A code the table cannot have yet ends
// the data. The table stops growing at 4096 entries.
class Lzw final : public Decoder {
public:
    Lzw(Source& in, std::size_t budget, bool* overrun, bool earlyChange)
        : Decoder(in, budget, overrun), early_(earlyChange ? 1 : 0) {
        for (int i = 0; i < 256; ++i)
            table_[i] = {0, 1, static_cast<unsigned char>(i), static_cast<unsigned char>(i)};
    }

protected:
    std::size_t fill(char* out, std::size_t n) override {
        std::size_t k = 0;
        while (k < n) {
            if (pos_ < len_) {
                const std::size_t m = std::min(len_ - pos_, n - k);
                std::memcpy(out + k, string_ + pos_, m);
                pos_ += m;
                k += m;
                continue;
            }
            if (done_ || !step()) break;
        }
        return k;
    }

private:
    struct Entry {
        std::uint16_t prefix;
        std::uint16_t length;
        unsigned char last;
        unsigned char first;
    };

    int code() {
        while (bits_ < width_) {
            const int c = in_.get();
            if (c < 0) return -1;
            buffer_ = (buffer_ << 8) | static_cast<std::uint32_t>(c);
            bits_ += 8;
        }
        bits_ -= width_;
        const int v = static_cast<int>((buffer_ >> bits_) & ((1u << width_) - 1));
        buffer_ &= (1u << bits_) - 1;
        return v;
    }

    // The string of a code into string_.
    void spell(int c) {
        const std::size_t length = table_[c].length;
        for (std::size_t i = length; i-- > 0;) {
            string_[i] = table_[c].last;
            c = table_[c].prefix;
        }
        len_ = length;
        pos_ = 0;
    }

    // Reads codes up to the next string; false at the end.
    bool step() {
        for (;;) {
            const int c = code();
            if (c < 0 || c == 257) break;
            if (c == 256) {
                next_ = 258;
                width_ = 9;
                previous_ = -1;
                continue;
            }
            if (previous_ < 0) {
                if (c > 255) break;
                spell(c);
                previous_ = c;
                return true;
            }
            if (c < next_) {
                spell(c);
            } else if (c == next_) {
                spell(previous_);
                string_[len_++] = table_[previous_].first;
            } else {
                break;
            }
            if (next_ < tableSize) {
                table_[next_] = {static_cast<std::uint16_t>(previous_),
                                 static_cast<std::uint16_t>(table_[previous_].length + 1),
                                 string_[0], table_[previous_].first};
                ++next_;
                const int reach = next_ + early_;
                width_ = reach >= 2048 ? 12 : reach >= 1024 ? 11 : reach >= 512 ? 10 : 9;
            }
            previous_ = c;
            return true;
        }
        done_ = true;
        return false;
    }

    static constexpr int tableSize = 4096;
    Entry table_[tableSize] = {};
    // A string is at most one longer than the longest entry.
    unsigned char string_[tableSize + 1] = {};
    std::size_t pos_ = 0, len_ = 0;
    std::uint32_t buffer_ = 0;
    int bits_ = 0;
    int width_ = 9;
    int next_ = 258;
    int previous_ = -1;
    int early_;
    bool done_ = false;
};

// Runs: a length byte below 128 copies that many plus one bytes, above 128 repeats the next byte
// 257 minus it times, 128 ends.
class RunLength final : public Decoder {
public:
    using Decoder::Decoder;

protected:
    std::size_t fill(char* out, std::size_t n) override {
        std::size_t k = 0;
        while (k < n) {
            if (literal_ > 0) {
                const std::size_t got = in_.read(reinterpret_cast<unsigned char*>(out + k),
                                                 std::min(literal_, n - k));
                if (got == 0) {
                    done_ = true;
                    literal_ = 0;
                    break;
                }
                literal_ -= got;
                k += got;
                continue;
            }
            if (repeat_ > 0) {
                const std::size_t m = std::min(repeat_, n - k);
                std::memset(out + k, byte_, m);
                repeat_ -= m;
                k += m;
                continue;
            }
            if (done_) break;
            const int length = in_.get();
            if (length < 0 || length == 128) {
                done_ = true;
                break;
            }
            if (length < 128) {
                literal_ = static_cast<std::size_t>(length) + 1;
            } else {
                const int c = in_.get();
                if (c < 0) {
                    done_ = true;
                    break;
                }
                byte_ = c;
                repeat_ = static_cast<std::size_t>(257 - length);
            }
        }
        return k;
    }

private:
    std::size_t literal_ = 0, repeat_ = 0;
    int byte_ = 0;
    bool done_ = false;
};

// zlib data, or raw deflate when they have no zlib header. What inflates before damaged data
// counts.
class Flate final : public Decoder {
public:
    using Decoder::Decoder;
    ~Flate() override {
        if (started_) inflateEnd(&z_);
    }

protected:
    std::size_t fill(char* out, std::size_t n) override {
        if (done_) return 0;
        if (!started_) {
            std::string_view head = in_.available();
            const bool zlib = head.size() >= 2 && (head[0] & 0x0F) == 8 &&
                              ((static_cast<unsigned char>(head[0]) << 8) |
                               static_cast<unsigned char>(head[1])) % 31 == 0;
            if (inflateInit2(&z_, zlib ? 15 : -15) != Z_OK) {
                done_ = true;
                return 0;
            }
            started_ = true;
        }
        std::size_t k = 0;
        while (k < n) {
            std::string_view a = in_.available();
            const auto given = static_cast<uInt>(std::min<std::size_t>(a.size(), 1u << 30));
            z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(a.data()));
            z_.avail_in = given;
            z_.next_out = reinterpret_cast<Bytef*>(out + k);
            z_.avail_out = static_cast<uInt>(n - k);
            const int status = inflate(&z_, Z_NO_FLUSH);
            const std::size_t consumed = given - z_.avail_in;
            const std::size_t produced = (n - k) - z_.avail_out;
            in_.consume(consumed);
            k += produced;
            if ((status != Z_OK && status != Z_BUF_ERROR) || (consumed == 0 && produced == 0)) {
                done_ = true;
                break;
            }
        }
        return k;
    }

private:
    z_stream z_{};
    bool started_ = false;
    bool done_ = false;
};

// TIFF predictor 2 or PNG predictors (a tag byte before each row) over rows of rowBytes.
class Predictor final : public Decoder {
public:
    Predictor(Source& in, std::size_t budget, bool* overrun, const Stage& stage,
              std::size_t rowBytes)
        : Decoder(in, budget, overrun),
          png_(stage.predictor >= 10),
          colors_(static_cast<std::size_t>(stage.colors)),
          bpc_(stage.bitsPerComponent),
          pixelBytes_(std::max<std::size_t>(
              1, (static_cast<std::size_t>(stage.colors) * stage.bitsPerComponent + 7) / 8)),
          current_(rowBytes, 0),
          previous_(rowBytes, 0) {}

protected:
    std::size_t fill(char* out, std::size_t n) override {
        std::size_t k = 0;
        while (k < n) {
            if (pos_ < len_) {
                const std::size_t m = std::min(len_ - pos_, n - k);
                std::memcpy(out + k, current_.data() + pos_, m);
                pos_ += m;
                k += m;
                continue;
            }
            if (done_ || !nextRow()) {
                done_ = true;
                break;
            }
        }
        return k;
    }

private:
    bool nextRow() {
        current_.swap(previous_);
        int tag = 0;
        if (png_ && (tag = in_.get()) < 0) return false;
        len_ = in_.read(current_.data(), current_.size());
        pos_ = 0;
        if (len_ == 0) return false;
        unsigned char* row = current_.data();
        const unsigned char* above = previous_.data();
        if (png_) {
            PDFFilters::unpredictPNGRow(tag, row, above, len_, pixelBytes_);
        } else if (bpc_ == 8) {
            for (std::size_t i = colors_; i < len_; ++i)
                row[i] = static_cast<unsigned char>(row[i] + row[i - colors_]);
        } else if (bpc_ == 16) {
            for (std::size_t j = colors_; 2 * j + 1 < len_; ++j) {
                const unsigned v = ((row[2 * j] << 8) | row[2 * j + 1]) +
                                   ((row[2 * (j - colors_)] << 8) | row[2 * (j - colors_) + 1]);
                row[2 * j] = static_cast<unsigned char>(v >> 8);
                row[2 * j + 1] = static_cast<unsigned char>(v);
            }
        } else {
            const auto bits = static_cast<std::size_t>(bpc_);
            const unsigned mask = (1u << bpc_) - 1;
            auto at = [&](std::size_t j) {
                const std::size_t bit = j * bits;
                return (row[bit / 8] >> (8 - bits - bit % 8)) & mask;
            };
            for (std::size_t j = colors_; (j + 1) * bits <= len_ * 8; ++j) {
                const unsigned v = (at(j) + at(j - colors_)) & mask;
                const std::size_t bit = j * bits;
                const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
                row[bit / 8] = static_cast<unsigned char>((row[bit / 8] & ~(mask << shift)) |
                                                          (v << shift));
            }
        }
        return true;
    }

    bool png_;
    std::size_t colors_;
    int bpc_;
    std::size_t pixelBytes_;
    std::vector<unsigned char> current_, previous_;
    std::size_t pos_ = 0, len_ = 0;
    bool done_ = false;
};

// The bytes of a predictor's row; 0 when the stage has no predictor or parameters a renderer
// ignores (it then reads the data as they stand).
std::size_t rowBytesOf(const Stage& s) {
    if (s.filter != Filter::lzw && s.filter != Filter::flate) return 0;
    if (s.predictor != 2 && s.predictor < 10) return 0;
    const int b = s.bitsPerComponent;
    if (s.colors < 1 || s.colors > 32 || s.columns < 1 ||
        (b != 1 && b != 2 && b != 4 && b != 8 && b != 16))
        return 0;
    const auto bits = static_cast<std::uint64_t>(s.columns) * static_cast<std::uint64_t>(s.colors) *
                      static_cast<std::uint64_t>(b);
    return static_cast<std::size_t>(
        std::min<std::uint64_t>((bits + 7) / 8, std::uint64_t(maxRowBytes) + 1));
}

std::unique_ptr<Source> decoder(Source& in, std::size_t budget, bool* overrun, const Stage& s) {
    switch (s.filter) {
        case Filter::asciiHex: return std::make_unique<AsciiHex>(in, budget, overrun);
        case Filter::ascii85: return std::make_unique<Ascii85>(in, budget, overrun);
        case Filter::lzw: return std::make_unique<Lzw>(in, budget, overrun, s.earlyChange);
        case Filter::runLength: return std::make_unique<RunLength>(in, budget, overrun);
        case Filter::flate: break;
    }
    return std::make_unique<Flate>(in, budget, overrun);
}

}  // namespace

std::optional<Filter> named(std::string_view name) {
    if (name == "FlateDecode" || name == "Fl") return Filter::flate;
    if (name == "ASCIIHexDecode" || name == "AHx") return Filter::asciiHex;
    if (name == "ASCII85Decode" || name == "A85") return Filter::ascii85;
    if (name == "LZWDecode" || name == "LZW") return Filter::lzw;
    if (name == "RunLengthDecode" || name == "RL") return Filter::runLength;
    return std::nullopt;
}

End decode(std::string_view data, const std::vector<Stage>& stages, std::size_t room,
           std::string& out) {
    if (stages.empty()) {
        out.append(data.substr(0, std::min(room, data.size())));
        return data.size() > room ? End::full : End::complete;
    }
    if (stages.size() > maxStages) return End::unreadable;
    for (const Stage& s : stages)
        if (rowBytesOf(s) > maxRowBytes) return End::unreadable;

    // The chain: each stage pulls from the one before; the last one's budget is the room.
    const std::size_t share =
        room > (SIZE_MAX - stageSlack) / stageFactor ? SIZE_MAX : room * stageFactor + stageSlack;
    bool overrun = false;
    std::vector<std::unique_ptr<Source>> chain;
    chain.push_back(std::make_unique<Raw>(data));
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const Stage& s = stages[i];
        const std::size_t rowBytes = rowBytesOf(s);
        const bool lastDecoder = i + 1 == stages.size() && rowBytes == 0;
        const std::size_t budget = lastDecoder ? room : share;
        bool* flag = lastDecoder ? nullptr : &overrun;
        chain.push_back(decoder(*chain.back(), budget, flag, s));
        if (rowBytes > 0) {
            const bool last = i + 1 == stages.size();
            chain.push_back(std::make_unique<Predictor>(*chain.back(), last ? room : share,
                                                        last ? nullptr : &overrun, s, rowBytes));
        }
    }

    std::size_t appended = 0;
    while (appended < room) {
        std::string_view piece = chain.back()->pull();
        if (piece.empty()) break;
        piece = piece.substr(0, room - appended);
        out.append(piece);
        appended += piece.size();
    }
    if (overrun) return End::overrun;
    return appended >= room ? End::full : End::complete;
}

}  // namespace BoundedDecode
