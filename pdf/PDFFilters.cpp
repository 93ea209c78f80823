#include "pdf/PDFFilters.h"

#include "pdf/PDFError.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

// The inflater drains its output buffer into the result after every call of the decoder, so the
// size limit is tested at this granularity.
constexpr std::size_t kInflateStep = 65536;

const char* const kInflateFailure = "No se ha podido descomprimir un stream";

// Hands zlib the next piece of the input once it has used the last one (its counters are 32-bit).
void feed(z_stream& stream, const Bytef*& input, std::size_t& inputLeft) {
    if (stream.avail_in != 0 || inputLeft == 0) return;
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(inputLeft, UINT_MAX));
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = chunk;
    input += chunk;
    inputLeft -= chunk;
}

// The data without their zlib header, when they start with one (raw DEFLATE data are taken too).
std::string_view withoutZlibHeader(std::string_view data) {
    if (data.size() < 2) return data;
    const auto b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
    if ((b0 & 0x0F) == 8 && ((b0 << 8) | b1) % 31 == 0) return data.substr(2);
    return data;
}

// zlib's raw DEFLATE decoder over zlib or raw DEFLATE data, ended when it goes out of scope, with
// the input still to hand it (feed() passes it on piece by piece).
struct Inflater {
    z_stream stream{};
    const Bytef* input;
    std::size_t inputLeft;

    explicit Inflater(std::string_view data) {
        data = withoutZlibHeader(data);
        input = reinterpret_cast<const Bytef*>(data.data());
        inputLeft = data.size();
        if (inflateInit2(&stream, -15) != Z_OK) throw PDFError(kInflateFailure);
    }
    ~Inflater() { inflateEnd(&stream); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

// Decodes zlib or raw DEFLATE data, handing the output to `sink` in steps of at most
// kInflateStep bytes. Throws the failure message when the data are damaged or cut short.
template <typename Sink>
void runInflate(std::string_view data, Sink&& sink) {
    Inflater inflater(data);
    z_stream& stream = inflater.stream;
    const Bytef*& input = inflater.input;
    std::size_t& inputLeft = inflater.inputLeft;
    unsigned char buffer[kInflateStep];
    while (true) {
        feed(stream, input, inputLeft);
        stream.next_out = buffer;
        stream.avail_out = kInflateStep;
        const int status = ::inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) throw PDFError(kInflateFailure);
        const std::size_t produced = kInflateStep - stream.avail_out;
        if (produced > 0) sink(reinterpret_cast<const char*>(buffer), produced);
        if (status == Z_STREAM_END) return;
        // A buffer left partly empty means the decoder wants input that is not there.
        if (stream.avail_out != 0 && stream.avail_in == 0 && inputLeft == 0) throw PDFError(kInflateFailure);
        if (status == Z_BUF_ERROR && produced == 0) throw PDFError(kInflateFailure);
    }
}

// The fast path: the whole stream decoded at once by libdeflate into a buffer kept from call to
// call (at most kWholeLimit bytes), then copied into a string of its exact size. Nothing when the
// output does not fit or libdeflate refuses the data: zlib then decides, with its own handling of
// damaged data, and a valid stream decodes to the same bytes either way.
constexpr std::size_t kWholeLimit = std::size_t{8} << 20;
// The buffer is kept for the next call only up to this size.
constexpr std::size_t kKeptScratch = std::size_t{1} << 20;
constexpr std::size_t kFirstWhole = std::size_t{64} << 10;
constexpr std::size_t kWholeRatio = 8;

std::optional<std::string> inflateWhole(std::string_view data) {
    struct Scratch {
        libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
        std::unique_ptr<char[]> buffer;
        std::size_t size = 0;
        ~Scratch() {
            if (decompressor) libdeflate_free_decompressor(decompressor);
        }
    };
    thread_local Scratch scratch;
    if (!scratch.decompressor || data.empty()) return std::nullopt;
    struct Trim {
        Scratch& s;
        ~Trim() {
            if (s.size > kKeptScratch) {
                s.buffer.reset();
                s.size = 0;
            }
        }
    } trim{scratch};

    std::size_t want = std::clamp(data.size() * kWholeRatio, kFirstWhole, kWholeLimit);
    while (true) {
        if (scratch.size < want) {
            scratch.buffer.reset();
            scratch.buffer.reset(new char[want]);
            scratch.size = want;
        }
        std::size_t used = 0, produced = 0;
        const libdeflate_result result = libdeflate_deflate_decompress_ex(
            scratch.decompressor, data.data(), data.size(), scratch.buffer.get(), scratch.size,
            &used, &produced);
        if (result == LIBDEFLATE_SUCCESS) return std::string(scratch.buffer.get(), produced);
        if (result != LIBDEFLATE_INSUFFICIENT_SPACE || scratch.size >= kWholeLimit)
            return std::nullopt;
        want = std::min(scratch.size * 4, kWholeLimit);
    }
}

struct Filter {
    std::string name;
    const PDFDictionary* parameters = nullptr;
};

// Checked 64-bit product.
std::optional<std::int64_t> multiply(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}

std::int64_t intParameter(const PDFDictionary& parameters, std::string_view key, std::int64_t fallback) {
    const PDFObject* value = parameters.get(key);
    if (!value) return fallback;
    const auto n = value->integer();
    return n ? *n : fallback;
}

// Undoes PNG row prediction (one type byte per row).
std::string unpredictPNG(const std::string& data, std::int64_t colors, std::int64_t bitsPerComponent,
                         std::int64_t columns) {
    const auto bitsPerPixel = multiply(colors, bitsPerComponent);
    const auto rowBits = bitsPerPixel ? multiply(*bitsPerPixel, columns) : std::nullopt;
    if (!rowBits) throw PDFError("Parámetros de predictor no válidos");
    const std::int64_t bytesPerPixel = *bitsPerPixel < 8 ? 1 : *bitsPerPixel / 8;
    const std::int64_t rowLength = *rowBits / 8 + (*rowBits % 8 != 0 ? 1 : 0);

    const auto size = static_cast<std::int64_t>(data.size());
    if (size <= rowLength) return {};
    const auto row = static_cast<std::size_t>(rowLength);
    const auto bpp = static_cast<std::size_t>(std::min(bytesPerPixel, rowLength));
    const std::size_t rows = data.size() / (row + 1);

    std::string out(rows * row, '\0');
    const std::vector<unsigned char> zeros(row, 0);
    auto* outBytes = reinterpret_cast<unsigned char*>(out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t r = 0; r < rows; ++r) {
        const unsigned char* src = in + r * (row + 1);
        const unsigned char type = src[0];
        ++src;
        unsigned char* cur = outBytes + r * row;
        const unsigned char* prev = r == 0 ? zeros.data() : cur - row;
        std::memcpy(cur, src, row);
        PDFFilters::unpredictPNGRow(type, cur, prev, row, bpp);
    }
    return out;
}

std::string applyFilter(const Filter& filter, std::string_view input) {
    if (filter.name != "FlateDecode" && filter.name != "Fl") throw PDFError("Filtro no soportado: " + filter.name);
    std::string inflated = PDFFilters::inflate(input);
    if (!filter.parameters) return inflated;
    const PDFDictionary& parameters = *filter.parameters;

    std::optional<std::int64_t> predictor;
    if (const PDFObject* value = parameters.get("Predictor")) predictor = value->integer();
    if (!predictor || *predictor == 1) return inflated;
    if (*predictor < 10) throw PDFError("Predictor no soportado: " + std::to_string(*predictor));

    const std::int64_t colors = intParameter(parameters, "Colors", 1);
    const std::int64_t bitsPerComponent = intParameter(parameters, "BitsPerComponent", 8);
    const std::int64_t columns = intParameter(parameters, "Columns", 1);
    const bool validBits = bitsPerComponent == 1 || bitsPerComponent == 2 || bitsPerComponent == 4 ||
                           bitsPerComponent == 8 || bitsPerComponent == 16;
    if (colors < 1 || !validBits || columns < 1) throw PDFError("Parámetros de predictor no válidos");
    return unpredictPNG(inflated, colors, bitsPerComponent, columns);
}

}  // namespace

namespace PDFFilters {

void unpredictPNGRow(int type, unsigned char* row, const unsigned char* above, std::size_t length,
                     std::size_t bytesPerPixel) {
    const std::size_t bpp = bytesPerPixel;
    for (std::size_t i = 0; i < length; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = above[i];
        int add = 0;
        switch (type) {
            case 1: add = a; break;                 // Sub
            case 2: add = b; break;                 // Up
            case 3: add = (a + b) >> 1; break;      // Average
            case 4: {                               // Paeth
                const int c = i >= bpp ? above[i - bpp] : 0;
                const int p = a + b - c;
                const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: return;  // None, and unknown types, leave the row as it stands
        }
        row[i] = static_cast<unsigned char>(row[i] + add);
    }
}

std::string decode(std::string_view data, const PDFDictionary& dictionary) {
    const PDFObject* filterValue = dictionary.get("Filter");
    if (!filterValue) return std::string(data);
    const PDFObject* parms = dictionary.get("DecodeParms");

    std::vector<Filter> filters;
    if (const std::string* name = filterValue->name()) {
        filters.push_back({*name, parms ? parms->dictionary() : nullptr});
    } else if (const auto* elements = filterValue->array()) {
        const std::vector<PDFObject>* parmsList = parms ? parms->array() : nullptr;
        for (const PDFObject& element : *elements) {
            const std::string* name = element.name();
            if (!name) continue;
            const std::size_t n = filters.size();
            const PDFDictionary* parameters = nullptr;
            if (parmsList && n < parmsList->size()) parameters = (*parmsList)[n].dictionary();
            filters.push_back({*name, parameters});
        }
    }
    if (filters.empty()) return std::string(data);

    std::string current = applyFilter(filters[0], data);
    for (std::size_t i = 1; i < filters.size(); ++i) current = applyFilter(filters[i], current);
    return current;
}

std::string inflate(std::string_view data) {
    // Output up to kDirectLimit bytes is decoded straight into the result, which starts at a
    // guess from the input's size and doubles when full; the whole input is handed over at once
    // with Z_FINISH, so zlib needs no window of its own when the output fits. A larger output is
    // first only counted (so a decompression bomb never holds more than the limit), then decoded
    // again into a buffer of its exact size (so a large stream is never held twice during a
    // reallocation).
    constexpr std::size_t kDirectLimit = std::size_t{32} << 20;
    constexpr std::size_t kFirstGuess = 4096;
    constexpr std::size_t kGuessRatio = 4;
    const auto limit = static_cast<std::size_t>(maxInflatedSize);
    const auto tooLarge = [] { return PDFError("Un stream ocupa más de 256 MB descomprimido"); };
    if (auto whole = inflateWhole(withoutZlibHeader(data))) return std::move(*whole);

    std::string result;
    std::size_t total = 0;
    {
        Inflater inflater(data);
        z_stream& stream = inflater.stream;
        const Bytef*& input = inflater.input;
        std::size_t& inputLeft = inflater.inputLeft;
        result.resize(std::clamp(inputLeft / 8 * 8 * kGuessRatio, kFirstGuess, kDirectLimit));
        bool direct = true;
        while (true) {
            feed(stream, input, inputLeft);
            if (total == result.size()) {
                if (result.size() >= kDirectLimit) {
                    direct = false;
                    break;
                }
                result.resize(std::min(result.size() * 2, kDirectLimit));
            }
            const auto room = static_cast<uInt>(std::min<std::size_t>(result.size() - total, UINT_MAX));
            stream.next_out = reinterpret_cast<Bytef*>(result.data() + total);
            stream.avail_out = room;
            const int status = ::inflate(&stream, inputLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                throw PDFError(kInflateFailure);
            const std::size_t produced = room - stream.avail_out;
            total += produced;
            if (total > limit) throw tooLarge();
            if (status == Z_STREAM_END) break;
            // Room left over means the decoder wants input that is not there.
            if (stream.avail_out != 0 && stream.avail_in == 0 && inputLeft == 0)
                throw PDFError(kInflateFailure);
            if (status == Z_BUF_ERROR && produced == 0) throw PDFError(kInflateFailure);
        }
        if (direct) {
            result.resize(total);
            if (result.capacity() - total > total / 4) result.shrink_to_fit();
            return result;
        }
    }

    std::string().swap(result);
    total = 0;
    runInflate(data, [&](const char*, std::size_t size) {
        total += size;
        if (total > limit) throw tooLarge();
    });
    result.resize(total);
    std::size_t filled = 0;
    runInflate(data, [&](const char* bytes, std::size_t size) {
        if (size > total - filled) throw PDFError(kInflateFailure);
        std::memcpy(result.data() + filled, bytes, size);
        filled += size;
    });
    if (filled != total) throw PDFError(kInflateFailure);
    return result;
}

std::string deflate(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw PDFError("No se ha podido comprimir un stream");
    struct Guard {
        z_stream& s;
        ~Guard() { deflateEnd(&s); }
    } guard{stream};

    std::string out;
    out.reserve(2 + deflateBound(&stream, static_cast<uLong>(data.size())) + 4);
    out += "\x78\x9C";
    const auto* input = reinterpret_cast<const Bytef*>(data.data());
    std::size_t inputLeft = data.size();
    unsigned char buffer[kInflateStep];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        feed(stream, input, inputLeft);
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        status = ::deflate(&stream, inputLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            throw PDFError("No se ha podido comprimir un stream");
        out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - stream.avail_out);
    }
    const uLong adler = adler32_z(adler32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), data.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((adler >> shift) & 0xFF));
    return out;
}

}  // namespace PDFFilters
