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
#include <cstring>

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
// Without `boxes`, only the text.
void appendWord(PageText& out, const TextWord& word, bool boxes) {
    const int length = word.getLength();
    for (int i = 0; i < length; ++i) {
        const Unicode c = *word.getChar(i);
        if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) break;
        if (c > 0x10FFFF) continue;
        if (!boxes) {
            if (c > 0xFFFF) {
                out.text.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
                out.text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
            } else {
                out.text.push_back(static_cast<char16_t>(c));
            }
            continue;
        }
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

void appendSeparator(PageText& out, char16_t c, int count, bool boxes) {
    for (int i = 0; i < count; ++i) {
        out.text.push_back(c);
        if (boxes) out.boxes.push_back({});
    }
}

}  // namespace

void PopplerPages::keepSettings() {
    // Never destroyed: the process ends without running destructors.
    static GlobalParamsIniter* settings = new GlobalParamsIniter(&quiet);
    (void)settings;
}

PopplerPages::PopplerPages() = default;
PopplerPages::~PopplerPages() = default;

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

// A page laid out as text: the word list, and the device that holds its words.
struct PopplerPages::Layout {
    std::unique_ptr<TextOutputDev> device;
    std::unique_ptr<TextWordList> list;
};

std::optional<PageText> PopplerPages::text(int pageIndex) const {
    std::unique_ptr<Layout> layout;
    for (LaidOut& kept : laidOut_)
        if (kept.page == pageIndex) {
            layout = std::move(kept.layout);
            kept.page = -1;
        }
    if (!layout) layout = layOut(pageIndex);
    if (!layout) return std::nullopt;
    return read(*layout, true);
}

std::optional<std::u16string> PopplerPages::words(int pageIndex) const {
    laidOut_[1] = std::move(laidOut_[0]);
    laidOut_[0] = LaidOut{};
    std::unique_ptr<Layout> layout = layOut(pageIndex);
    if (!layout) return std::nullopt;
    std::u16string words = read(*layout, false).text;
    laidOut_[0] = LaidOut{pageIndex, std::move(layout)};
    return words;
}

std::unique_ptr<PopplerPages::Layout> PopplerPages::layOut(int pageIndex) const {
    if (!page(pageIndex)) return nullptr;
    auto layout = std::make_unique<Layout>();
    layout->device = std::make_unique<TextOutputDev>(nullptr, false, 0, false, false);
    if (!layout->device->isOk()) return nullptr;
    // Upright at 72 dots per inch: coordinates in points from the top-left corner of the crop
    // box as shown; annotations are read too.
    document_->displayPageSlice(layout->device.get(), pageIndex + 1, 72, 72, 0, false, false,
                                false, -1, -1, -1, -1);
    layout->list = layout->device->makeWordList();
    return layout;
}

PageText PopplerPages::read(const Layout& layout, bool boxes) {
    PageText out;
    if (!layout.list) return out;
    TextWordList& list = *layout.list;
    const int count = list.getLength();
    // About eight code units a word with its separator, to spare regrowing on long pages.
    out.text.reserve(static_cast<std::size_t>(count) * 8);
    if (boxes) out.boxes.reserve(static_cast<std::size_t>(count) * 8);
    for (int k = 0; k < count; ++k) {
        const TextWord& word = *list.get(k);
        appendWord(out, word, boxes);
        if (k + 1 == count) break;
        const TextWord& following = *list.get(k + 1);
        int rotation = word.getRotation() & 3;
        Along here = along(wordBox(word), rotation);
        Along next = along(wordBox(following), rotation);
        if (following.getRotation() != word.getRotation() || !sameLine(here, next)) {
            appendSeparator(out, u'\n', 1, boxes);
            continue;
        }
        // A gap as wide as the text is high separates columns or form entries, not words.
        double gap = next.start - here.end;
        double size = std::max(here.acrossHi - here.acrossLo, next.acrossHi - next.acrossLo);
        if (gap >= size)
            appendSeparator(out, u' ', 2, boxes);
        else if (word.hasSpaceAfter())
            appendSeparator(out, u' ', 1, boxes);
    }
    return out;
}

void PopplerPages::draw(std::unique_ptr<SplashOutputDev>& renderer, bool grey, int pageIndex,
                        double scale, int x, int y, int width, int height) const {
    if (!renderer) {
        // No paper colour: the renderer keeps the page's coverage and composite() lays it on
        // white in the same pass that makes the pixels ready to send. Rows without padding.
        renderer = std::make_unique<SplashOutputDev>(grey ? splashModeMono8 : splashModeXBGR8, 1,
                                                     false, nullptr, true, splashThinLineDefault);
        SplashColor white;
        std::fill(std::begin(white), std::end(white), 255);
        renderer->setPaperColor(white);
        renderer->setFontAntialias(true);
        renderer->setVectorAntialias(true);
        renderer->setFreeTypeHinting(false, false);
        renderer->startDoc(document_.get());
    }
    try {
        // Every page drawn starts the renderer's bitmap anew, transparent.
        document_->displayPageSlice(renderer.get(), pageIndex + 1, 72.0 * scale, 72.0 * scale, 0,
                                    false, true, false, x, y, width, height);
    } catch (...) {
        renderer.reset();
        throw;
    }
}

namespace {

// (x + 127) / 255 for 0 <= x <= 255 * 255, as the renderer rounds.
inline unsigned char div255(unsigned x) {
    return static_cast<unsigned char>((x + (x >> 8) + 0x80) >> 8);
}

// Lays `count` pixels on white paper, as the renderer would with a paper colour: each colour
// byte c of a pixel of coverage a becomes (255 - a) * 255 + a * c over 255.
void layOnWhite(unsigned char* __restrict data, const unsigned char* __restrict alpha,
                std::size_t count) {
    // In blocks of a fixed length, which the compiler makes vector operations of.
    constexpr std::size_t block = 32;
    std::size_t i = 0;
    for (; i + block <= count; i += block)
        for (std::size_t k = i; k < i + block; ++k) {
            const unsigned a = alpha[k];
            data[k] = div255((255 - a) * 255 + a * data[k]);
        }
    for (; i < count; ++i) {
        const unsigned a = alpha[i];
        data[i] = div255((255 - a) * 255 + a * data[i]);
    }
}

// The same for 4 bytes a pixel, whose fourth byte becomes opaque. Pages are mostly blank
// paper: a run of uncovered pixels is simply white.
void layOnWhite4(unsigned char* __restrict data, const unsigned char* __restrict alpha,
                 std::size_t count) {
    constexpr std::size_t block = 16;
    for (std::size_t i = 0; i < count; i += block) {
        const std::size_t end = std::min(count, i + block);
        unsigned covered = 0;
        for (std::size_t k = i; k < end; ++k) covered |= alpha[k];
        if (covered == 0) {
            std::memset(data + 4 * i, 255, 4 * (end - i));
            continue;
        }
        for (std::size_t k = i; k < end; ++k) {
            const unsigned a = alpha[k];
            unsigned char* p = data + 4 * k;
            p[0] = div255((255 - a) * 255 + a * p[0]);
            p[1] = div255((255 - a) * 255 + a * p[1]);
            p[2] = div255((255 - a) * 255 + a * p[2]);
            p[3] = 255;
        }
    }
}

void composite(SplashBitmap& image, bool colour) {
    const unsigned char* alpha = image.getAlphaPtr();
    unsigned char* data = image.getDataPtr();
    const std::size_t pixels =
        static_cast<std::size_t>(image.getWidth()) * static_cast<std::size_t>(image.getHeight());
    if (!alpha || !data) return;
    if (colour)
        layOnWhite4(data, alpha, pixels);
    else
        layOnWhite(data, alpha, pixels);
}

// The bitmap's pixels, once laid on white; nothing unless its rows are `bytesPerPixel` x its
// width without padding (as the renderers are made).
std::optional<PopplerPages::Drawn> drawnOf(SplashBitmap& image, int bytesPerPixel) {
    if (image.getWidth() <= 0 || image.getHeight() <= 0 ||
        image.getRowSize() != image.getWidth() * bytesPerPixel || !image.getDataPtr())
        return std::nullopt;
    composite(image, bytesPerPixel == 4);
    PopplerPages::Drawn out;
    out.width = image.getWidth();
    out.height = image.getHeight();
    out.pixels = std::string_view(reinterpret_cast<const char*>(image.getDataPtr()),
                                  static_cast<std::size_t>(image.getRowSize()) *
                                      static_cast<std::size_t>(image.getHeight()));
    return out;
}

}  // namespace

void PopplerPages::forgetLargeBitmap(std::unique_ptr<SplashOutputDev>& renderer) {
    if (!renderer) return;
    // An A4 page drawn for its ink takes 4 MB with its alpha plane; eight times that is not held.
    constexpr std::int64_t largestKept = 32 << 20;
    const SplashBitmap& image = *renderer->getBitmap();
    const std::int64_t bytes = static_cast<std::int64_t>(image.getRowSize()) * image.getHeight() +
                               static_cast<std::int64_t>(image.getWidth()) * image.getHeight();
    if (bytes > largestKept) renderer.reset();
}

void PopplerPages::forgetLargeBitmaps() const {
    forgetLargeBitmap(grey_);
    forgetLargeBitmap(colour_);
}

std::optional<PopplerPages::Drawn> PopplerPages::grey(int pageIndex, double scale,
                                                      std::int64_t maxPixels) const {
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    Page* p = page(pageIndex);
    if (!p) return std::nullopt;
    const PDFRectangle& box = *p->getCropBox();
    double pixels =
        std::ceil(std::abs(widthOf(box) * scale)) * std::ceil(std::abs(heightOf(box) * scale));
    if (!(pixels > 0) || pixels >= static_cast<double>(maxPixels)) return std::nullopt;

    draw(grey_, true, pageIndex, scale, -1, -1, -1, -1);
    SplashBitmap& image = *grey_->getBitmap();
    if (static_cast<double>(image.getWidth()) * image.getHeight() > 2.0 * maxPixels)
        return std::nullopt;
    return drawnOf(image, 1);
}

std::optional<GreyImage> PopplerPages::render(int pageIndex, double scale,
                                              std::int64_t maxPixels) const {
    std::optional<Drawn> drawn = grey(pageIndex, scale, maxPixels);
    std::optional<GreyImage> out;
    if (drawn) {
        out.emplace();
        out->width = drawn->width;
        out->height = drawn->height;
        out->pixels.assign(drawn->pixels.begin(), drawn->pixels.end());
    }
    forgetLargeBitmaps();
    return out;
}

std::optional<PopplerPages::Drawn> PopplerPages::tile(int pageIndex, double scale, int x, int y,
                                                      int width, int height) const {
    return slice(colour_, false, pageIndex, scale, x, y, width, height);
}

std::optional<PopplerPages::Drawn> PopplerPages::greySlice(int pageIndex, double scale, int x,
                                                           int y, int width, int height) const {
    return slice(grey_, true, pageIndex, scale, x, y, width, height);
}

std::optional<PopplerPages::Drawn> PopplerPages::slice(std::unique_ptr<SplashOutputDev>& device,
                                                       bool grey, int pageIndex, double scale,
                                                       int x, int y, int width,
                                                       int height) const {
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

    draw(device, grey, pageIndex, scale, x, y, w, h);
    SplashBitmap& image = *device->getBitmap();
    if (image.getWidth() > w || image.getHeight() > h) return std::nullopt;
    return drawnOf(image, grey ? 1 : 4);
}
