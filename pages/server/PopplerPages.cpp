#include "pages/server/PopplerPages.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// Poppler reports every oddity of a damaged file on standard error; the search only needs to know
// whether it got a page.
void quietPoppler() {
    static std::once_flag once;
    std::call_once(
        once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

PageTextBox boxOf(const poppler::rectf& r) {
    return {r.x(), r.y(), r.width(), r.height()};
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

// Appends one word: its UTF-16 text and, per code unit, the box of its character (a surrogate
// pair shares one box).
void appendWord(PageText& out, const poppler::text_box& word) {
    poppler::ustring text = word.text();
    std::size_t character = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = static_cast<char16_t>(text[i]);
        out.text.push_back(unit);
        out.boxes.push_back(boxOf(word.char_bbox(character)));
        bool leadSurrogate = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size();
        if (!leadSurrogate) ++character;
    }
}

void appendSeparator(PageText& out, char16_t c, int count) {
    for (int i = 0; i < count; ++i) {
        out.text.push_back(c);
        out.boxes.push_back({});
    }
}

}  // namespace

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
    quietPoppler();
    view_ = bytes;
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return false;
    document_.reset(
        poppler::document::load_from_raw_data(bytes.data(), static_cast<int>(bytes.size())));
    return document_ && !document_->is_locked();
}

PopplerPages::~PopplerPages() = default;

int PopplerPages::pageCount() const {
    return std::max(0, document_->pages());
}

std::optional<PageText> PopplerPages::text(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return std::nullopt;
    std::unique_ptr<poppler::page> page(document_->create_page(pageIndex));
    if (!page) return std::nullopt;

    std::vector<poppler::text_box> words = page->text_list();
    PageText out;
    // About eight code units a word with its separator, to spare regrowing on long pages.
    out.text.reserve(words.size() * 8);
    out.boxes.reserve(words.size() * 8);
    for (std::size_t k = 0; k < words.size(); ++k) {
        appendWord(out, words[k]);
        if (k + 1 == words.size()) break;
        int rotation = words[k].rotation() & 3;
        Along here = along(boxOf(words[k].bbox()), rotation);
        Along next = along(boxOf(words[k + 1].bbox()), rotation);
        if (words[k + 1].rotation() != words[k].rotation() || !sameLine(here, next)) {
            appendSeparator(out, u'\n', 1);
            continue;
        }
        // A gap as wide as the text is high separates columns or form entries, not words.
        double gap = next.start - here.end;
        double size = std::max(here.acrossHi - here.acrossLo, next.acrossHi - next.acrossLo);
        if (gap >= size)
            appendSeparator(out, u' ', 2);
        else if (words[k].has_space_after())
            appendSeparator(out, u' ', 1);
    }
    return out;
}

std::optional<std::u16string> PopplerPages::words(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return std::nullopt;
    std::unique_ptr<poppler::page> page(document_->create_page(pageIndex));
    if (!page) return std::nullopt;
    poppler::ustring text = page->text();
    std::u16string out;
    out.reserve(text.size());
    for (auto unit : text) out.push_back(static_cast<char16_t>(unit));
    return out;
}

std::optional<GreyImage> PopplerPages::render(int pageIndex, double scale,
                                              std::int64_t maxPixels) const {
    if (pageIndex < 0 || pageIndex >= pageCount() || !(scale > 0) || !std::isfinite(scale))
        return std::nullopt;
    std::unique_ptr<poppler::page> page(document_->create_page(pageIndex));
    if (!page) return std::nullopt;
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double pixels =
        std::ceil(std::abs(box.width() * scale)) * std::ceil(std::abs(box.height() * scale));
    if (!(pixels > 0) || pixels >= static_cast<double>(maxPixels)) return std::nullopt;

    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_gray8);
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_paper_color(0xFFFFFFFF);
    poppler::image image = renderer.render_page(page.get(), 72.0 * scale, 72.0 * scale);
    if (!image.is_valid() || image.format() != poppler::image::format_gray8) return std::nullopt;
    int width = image.width();
    int height = image.height();
    if (width <= 0 || height <= 0 || static_cast<double>(width) * height > 2.0 * maxPixels)
        return std::nullopt;

    GreyImage out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const char* data = image.const_data();
    for (int row = 0; row < height; ++row) {
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(row) * width,
                    data + static_cast<std::size_t>(row) * image.bytes_per_row(),
                    static_cast<std::size_t>(width));
    }
    return out;
}

std::optional<PageProtocol::ColourImage> PopplerPages::tile(int pageIndex, double scale, int x,
                                                           int y, int width, int height) const {
    // Beyond this scale a page of 14400 points no longer fits the int coordinates of a slice.
    constexpr double maximumScale = 256;
    if (pageIndex < 0 || pageIndex >= pageCount() || !(scale > 0) || scale > maximumScale ||
        x < 0 || y < 0 || width <= 0 || height <= 0)
        return std::nullopt;
    std::unique_ptr<poppler::page> page(document_->create_page(pageIndex));
    if (!page) return std::nullopt;
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double pageWidth = std::ceil(std::abs(box.width()) * scale);
    double pageHeight = std::ceil(std::abs(box.height()) * scale);
    const poppler::page::orientation_enum turn = page->orientation();
    if (turn == poppler::page::landscape || turn == poppler::page::seascape)
        std::swap(pageWidth, pageHeight);
    if (!(x < pageWidth) || !(y < pageHeight)) return std::nullopt;
    const int w = static_cast<int>(std::min<double>(width, pageWidth - x));
    const int h = static_cast<int>(std::min<double>(height, pageHeight - y));

    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_argb32);
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_paper_color(0xFFFFFFFF);
    poppler::image image = renderer.render_page(page.get(), 72.0 * scale, 72.0 * scale, x, y, w, h);
    if (!image.is_valid() || image.format() != poppler::image::format_argb32 ||
        image.width() <= 0 || image.height() <= 0 || image.width() > w || image.height() > h)
        return std::nullopt;
    PageProtocol::ColourImage out;
    out.width = image.width();
    out.height = image.height();
    const std::size_t row = static_cast<std::size_t>(out.width) * 4;
    out.pixels.resize(row * static_cast<std::size_t>(out.height));
    const char* data = image.const_data();
    for (int r = 0; r < out.height; ++r)
        std::memcpy(out.pixels.data() + row * static_cast<std::size_t>(r),
                    data + static_cast<std::size_t>(r) * image.bytes_per_row(), row);
    return out;
}
