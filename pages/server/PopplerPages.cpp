#include "pages/server/PopplerPages.h"

#include <poppler/ErrorCodes.h>
#include <poppler/GlobalParams.h>
#include <poppler/PDFDoc.h>
#include <poppler/Page.h>
#include <poppler/SplashOutputDev.h>
#include <poppler/Stream.h>
#include <poppler/TextOutputDev.h>
#include <poppler/splash/SplashBitmap.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Poppler reports every oddity of a damaged file; the readers only need to know whether they got
// a page.
void quiet(ErrorCategory, Goffset, const char*) {}

// A box from its corners, its width and height taken as (x + (xMax - xMin)) - x: the rounding
// the boxes have always had, so that the same page gives the same doubles.
PageTextBox boxOf(double xMin, double yMin, double xMax, double yMax) {
    const double right = xMin + (xMax - xMin);
    const double bottom = yMin + (yMax - yMin);
    return {xMin, yMin, right - xMin, bottom - yMin};
}

// The crop box's size in points, with the same rounding.
double widthOf(const PDFRectangle& r) {
    return boxOf(r.x1, r.y1, r.x2, r.y2).width;
}
double heightOf(const PDFRectangle& r) {
    return boxOf(r.x1, r.y1, r.x2, r.y2).height;
}

// Extent of a box along a word's writing direction (rotation in quarter turns: 0 left to right,
// 1 top to bottom, 2 right to left, 3 bottom to top, on the upright page).
struct Along {
    double start, end;          // along the writing direction
    double acrossLo, acrossHi;  // across it
};

Along along(const PageTextBox& b, int rotation) {
    switch (rotation) {
        case 1:
            return {b.y, b.y + b.height, b.x, b.x + b.width};
        case 2:
            return {-(b.x + b.width), -b.x, b.y, b.y + b.height};
        case 3:
            return {-(b.y + b.height), -b.y, b.x, b.x + b.width};
        default:
            return {b.x, b.x + b.width, b.y, b.y + b.height};
    }
}

// Whether `next` continues the line of `word`: same direction, its middle across the line within
// the word's extent, and not starting before the word.
bool sameLine(const Along& word, const Along& next) {
    double middle = (next.acrossLo + next.acrossHi) / 2;
    return middle >= word.acrossLo && middle <= word.acrossHi && next.start >= word.start;
}

PageTextBox wordBox(const TextWord& word) {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    word.getBBox(&xMin, &yMin, &xMax, &yMax);
    return boxOf(xMin, yMin, xMax, yMax);
}

// Appends one word: its UTF-16 text and, per code unit, the box of its character (a surrogate
// pair shares one box). A word ends at a U+0000 or a lone surrogate half, which no text holds;
// values past U+10FFFF are no characters and are left out with their boxes.
void appendWord(PageText& out, const TextWord& word) {
    const int length = word.getLength();
    for (int i = 0; i < length; ++i) {
        const Unicode c = *word.getChar(i);
        if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) break;
        if (c > 0x10FFFF) continue;
        double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
        word.getCharBBox(i, &xMin, &yMin, &xMax, &yMax);
        const PageTextBox box = boxOf(xMin, yMin, xMax, yMax);
        if (c > 0xFFFF) {
            out.text.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
            out.text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
            out.boxes.push_back(box);
        } else {
            out.text.push_back(static_cast<char16_t>(c));
        }
        out.boxes.push_back(box);
    }
}

void appendSeparator(PageText& out, char16_t c, int count) {
    for (int i = 0; i < count; ++i) {
        out.text.push_back(c);
        out.boxes.push_back({});
    }
}

// Poppler's UTF-8 text of a page in UTF-16, up to its first U+0000 or ill-formed sequence (a lone
// surrogate half is the only one Poppler writes).
std::u16string utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
            least = 0x10000;
        } else {
            break;
        }
        if (utf8.size() - i <= static_cast<std::size_t>(extra)) break;
        bool wellFormed = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) wellFormed = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (!wellFormed || c == 0 || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            break;
        if (c > 0xFFFF) {
            out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

void appendUtf8(void* stream, const char* text, int length) {
    if (length > 0)
        static_cast<std::string*>(stream)->append(text, static_cast<std::size_t>(length));
}

}  // namespace

PopplerPages::PopplerPages() = default;
PopplerPages::~PopplerPages() = default;

std::unique_ptr<PopplerPages> PopplerPages::open(std::string bytes) {
    std::unique_ptr<PopplerPages> pages(new PopplerPages());
    pages->bytes_ = std::move(bytes);
    std::string_view view = pages->bytes_;
    if (!pages->load(view)) return nullptr;
    return pages;
}

std::unique_ptr<PopplerPages> PopplerPages::borrow(std::string_view bytes) {
    std::unique_ptr<PopplerPages> pages(new PopplerPages());
    if (!pages->load(bytes)) return nullptr;
    return pages;
}

std::unique_ptr<PageSource> PopplerPages::clone() const {
    return borrow(view_);
}

bool PopplerPages::load(std::string_view bytes) {
    view_ = bytes;
    // Fewer bytes than a header and a trailer hold no document.
    if (bytes.size() < 10 || bytes.size() > static_cast<std::size_t>(INT_MAX)) return false;
    params_ = std::make_unique<GlobalParamsIniter>(&quiet);
    // The stream reads the bytes in place; the empty passwords open documents encrypted for
    // their permissions only.
    auto* stream =
        new MemStream(bytes.data(), 0, static_cast<Goffset>(bytes.size()), Object(objNull));
    document_ = std::make_unique<PDFDoc>(stream, GooString(""), GooString(""));
    return document_->isOk();
}

int PopplerPages::pageCount() const {
    return std::max(0, document_->getNumPages());
}

Page* PopplerPages::page(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return nullptr;
    return document_->getCatalog()->getPage(pageIndex + 1);
}

std::optional<PageText> PopplerPages::text(int pageIndex) const {
    if (!page(pageIndex)) return std::nullopt;
    TextOutputDev device(nullptr, false, 0, false, false);
    if (!device.isOk()) return std::nullopt;
    // Upright at 72 dots per inch: coordinates in points from the top-left corner of the crop
    // box as shown; annotations are read too.
    document_->displayPageSlice(&device, pageIndex + 1, 72, 72, 0, false, false, false, -1, -1, -1,
                                -1);
    std::unique_ptr<TextWordList> list(device.makeWordList());
    PageText out;
    if (!list) return out;
    const int count = list->getLength();
    // About eight code units a word with its separator, to spare regrowing on long pages.
    out.text.reserve(static_cast<std::size_t>(count) * 8);
    out.boxes.reserve(static_cast<std::size_t>(count) * 8);
    for (int k = 0; k < count; ++k) {
        const TextWord& word = *list->get(k);
        appendWord(out, word);
        if (k + 1 == count) break;
        const TextWord& following = *list->get(k + 1);
        int rotation = word.getRotation() & 3;
        Along here = along(wordBox(word), rotation);
        Along next = along(wordBox(following), rotation);
        if (following.getRotation() != word.getRotation() || !sameLine(here, next)) {
            appendSeparator(out, u'\n', 1);
            continue;
        }
        // A gap as wide as the text is high separates columns or form entries, not words.
        double gap = next.start - here.end;
        double size = std::max(here.acrossHi - here.acrossLo, next.acrossHi - next.acrossLo);
        if (gap >= size)
            appendSeparator(out, u' ', 2);
        else if (word.hasSpaceAfter())
            appendSeparator(out, u' ', 1);
    }
    return out;
}

std::optional<std::u16string> PopplerPages::words(int pageIndex) const {
    if (!page(pageIndex)) return std::nullopt;
    std::string utf8;
    // In the physical layout: lines as laid out on the page, columns side by side.
    TextOutputDev device(&appendUtf8, &utf8, true, 0, false);
    if (!device.isOk()) return std::nullopt;
    document_->displayPage(&device, pageIndex + 1, 72, 72, 0, false, true, false);
    return utf16(utf8);
}

void PopplerPages::draw(std::unique_ptr<SplashOutputDev>& renderer, bool grey, int pageIndex,
                        double scale, int x, int y, int width, int height) const {
    if (!renderer) {
        SplashColor white;
        std::fill(std::begin(white), std::end(white), 255);
        renderer = std::make_unique<SplashOutputDev>(grey ? splashModeMono8 : splashModeXBGR8, 4,
                                                     false, white, true, splashThinLineDefault);
        renderer->setFontAntialias(true);
        renderer->setVectorAntialias(true);
        renderer->setFreeTypeHinting(false, false);
        renderer->startDoc(document_.get());
    }
    try {
        // Every page drawn starts the renderer's bitmap anew, white.
        document_->displayPageSlice(renderer.get(), pageIndex + 1, 72.0 * scale, 72.0 * scale, 0,
                                    false, true, false, x, y, width, height);
    } catch (...) {
        renderer.reset();
        throw;
    }
}

void PopplerPages::forgetLargeBitmap(std::unique_ptr<SplashOutputDev>& renderer) {
    // An A4 page drawn for its ink takes 4 MB with its alpha plane; eight times that is not held.
    constexpr std::int64_t largestKept = 32 << 20;
    const SplashBitmap& image = *renderer->getBitmap();
    const std::int64_t bytes = static_cast<std::int64_t>(image.getRowSize()) * image.getHeight() +
                               static_cast<std::int64_t>(image.getWidth()) * image.getHeight();
    if (bytes > largestKept) renderer.reset();
}

std::optional<GreyImage> PopplerPages::render(int pageIndex, double scale,
                                              std::int64_t maxPixels) const {
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    Page* p = page(pageIndex);
    if (!p) return std::nullopt;
    const PDFRectangle& box = *p->getCropBox();
    double pixels =
        std::ceil(std::abs(widthOf(box) * scale)) * std::ceil(std::abs(heightOf(box) * scale));
    if (!(pixels > 0) || pixels >= static_cast<double>(maxPixels)) return std::nullopt;

    draw(grey_, true, pageIndex, scale, -1, -1, -1, -1);
    const SplashBitmap& image = *grey_->getBitmap();
    const int width = image.getWidth();
    const int height = image.getHeight();
    std::optional<GreyImage> out;
    if (width > 0 && height > 0 && static_cast<double>(width) * height <= 2.0 * maxPixels) {
        out.emplace();
        out->width = width;
        out->height = height;
        out->pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        const unsigned char* data = image.getDataPtr();
        for (int row = 0; row < height; ++row) {
            const unsigned char* start =
                data + static_cast<std::ptrdiff_t>(row) * image.getRowSize();
            out->pixels.insert(out->pixels.end(), start, start + width);
        }
    }
    forgetLargeBitmap(grey_);
    return out;
}

std::optional<PageProtocol::ColourImage> PopplerPages::tile(int pageIndex, double scale, int x,
                                                            int y, int width, int height) const {
    // Beyond this scale a page of 14400 points no longer fits the int coordinates of a slice.
    constexpr double maximumScale = 256;
    if (!(scale > 0) || scale > maximumScale || x < 0 || y < 0 || width <= 0 || height <= 0)
        return std::nullopt;
    Page* p = page(pageIndex);
    if (!p) return std::nullopt;
    const PDFRectangle& box = *p->getCropBox();
    double pageWidth = std::ceil(std::abs(widthOf(box)) * scale);
    double pageHeight = std::ceil(std::abs(heightOf(box)) * scale);
    if (p->getRotate() == 90 || p->getRotate() == 270) std::swap(pageWidth, pageHeight);
    if (!(x < pageWidth) || !(y < pageHeight)) return std::nullopt;
    const int w = static_cast<int>(std::min<double>(width, pageWidth - x));
    const int h = static_cast<int>(std::min<double>(height, pageHeight - y));

    draw(colour_, false, pageIndex, scale, x, y, w, h);
    const SplashBitmap& image = *colour_->getBitmap();
    std::optional<PageProtocol::ColourImage> out;
    if (image.getWidth() > 0 && image.getHeight() > 0 && image.getWidth() <= w &&
        image.getHeight() <= h) {
        out.emplace();
        out->width = image.getWidth();
        out->height = image.getHeight();
        const std::size_t row = static_cast<std::size_t>(out->width) * 4;
        out->pixels.reserve(row * static_cast<std::size_t>(out->height));
        const auto* data = reinterpret_cast<const char*>(image.getDataPtr());
        for (int r = 0; r < out->height; ++r)
            out->pixels.append(data + static_cast<std::ptrdiff_t>(r) * image.getRowSize(), row);
    }
    forgetLargeBitmap(colour_);
    return out;
}
