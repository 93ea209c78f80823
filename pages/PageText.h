#pragma once
// What the placement search and the form reader need from a PDF renderer: a page's text with the box of every
// character, and the page drawn upright into a grey bitmap. The page's geometry (crop box,
// rotation, annotations) is not asked of the renderer; the PDF engine gives it.
//
// Coordinates of text boxes are in the upright page: points, origin at the top-left corner of the
// crop box as it is shown (after /Rotate), x to the right and y downwards.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct PageTextBox {
    double x = 0;
    double y = 0;  // top edge, measured downwards from the top of the upright page
    double width = 0;
    double height = 0;

    bool isEmpty() const { return !(width > 0) || !(height > 0); }
};

// A page's text as a reader sees it: words in reading order, a blank between words of a line (two
// where the gap is wide, as between columns) and a line feed between lines. `boxes` holds one box
// per UTF-16 code unit of `text`; the blanks and line feeds put in between words have empty boxes.
struct PageText {
    std::u16string text;
    std::vector<PageTextBox> boxes;
};

// A grey bitmap, one byte per pixel (0 black, 255 white), rows from the top of the page.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height bytes, row-major
};

// The pages of one opened document, by 0-based index.
class PageSource {
public:
    virtual ~PageSource() = default;

    virtual int pageCount() const = 0;

    // Nothing when the page cannot be read; an empty text for a page without text.
    virtual std::optional<PageText> text(int pageIndex) const = 0;

    // The page's words without their boxes, for a quick look at what a page says: the same
    // characters as text(), though maybe with other blanks and line feeds between words. Nothing
    // when the page cannot be read.
    virtual std::optional<std::u16string> words(int pageIndex) const {
        std::optional<PageText> t = text(pageIndex);
        if (!t) return std::nullopt;
        return std::move(t->text);
    }

    // The page drawn upright for its crop box, annotation appearances included, at `scale` pixels
    // per point over a white background, its top-left pixel at the top-left corner of the upright
    // crop box; about scale x width by scale x height pixels (callers clip or pad the last row and
    // column). Nothing when the page cannot be drawn or would take more than `maxPixels` pixels.
    virtual std::optional<GreyImage> render(int pageIndex, double scale,
                                            std::int64_t maxPixels) const = 0;

    // A slice of that drawing: the pixels [x, x + width) x [y, y + height) of the page drawn at
    // `scale`, cut at the page's edge (so maybe fewer rows and columns than asked). Nothing when
    // the page cannot be drawn, the slice lies off the page, or a source that can only draw whole
    // pages would take more than `maxPixels` pixels for it. This one crops a whole rendering;
    // sources that can draw a slice alone do so.
    virtual std::optional<GreyImage> renderRegion(int pageIndex, double scale, int x, int y,
                                                  int width, int height,
                                                  std::int64_t maxPixels) const {
        if (x < 0 || y < 0 || width <= 0 || height <= 0) return std::nullopt;
        std::optional<GreyImage> page = render(pageIndex, scale, maxPixels);
        if (!page) return std::nullopt;
        return crop(*page, x, y, width, height);
    }

    // The pixels [x, x + width) x [y, y + height) of `image`, cut at its edge; nothing when
    // none are left.
    static std::optional<GreyImage> crop(const GreyImage& image, int x, int y, int width,
                                         int height) {
        if (x < 0 || y < 0 || width <= 0 || height <= 0 || x >= image.width ||
            y >= image.height ||
            image.pixels.size() < static_cast<std::size_t>(image.width) *
                                      static_cast<std::size_t>(image.height))
            return std::nullopt;
        GreyImage out;
        out.width = std::min(width, image.width - x);
        out.height = std::min(height, image.height - y);
        out.pixels.resize(static_cast<std::size_t>(out.width) *
                          static_cast<std::size_t>(out.height));
        for (int row = 0; row < out.height; ++row) {
            const auto from = image.pixels.begin() +
                              static_cast<std::ptrdiff_t>(
                                  static_cast<std::size_t>(y + row) * image.width + x);
            std::copy(from, from + out.width,
                      out.pixels.begin() + static_cast<std::ptrdiff_t>(
                                               static_cast<std::size_t>(row) * out.width));
        }
        return out;
    }

    // Another reader of the same pages that another thread may use while this one is in use
    // (nothing when the source cannot be shared: callers then read every page through this one).
    // The clone may depend on this source: it must not outlive it.
    virtual std::unique_ptr<PageSource> clone() const { return nullptr; }

    // Gives up every later request of this source (and of its later clones) as soon as `cut`
    // says so, checked while a page is being read: a reader that has stopped does not wait for
    // its page. A page given up so reads as one that cannot be read. Sources that answer at once
    // ignore it; sources over others pass it on.
    virtual void setCutoff(std::function<bool()> cut) { (void)cut; }
    // Whether the cutoff given above says to give up now.
    static bool cutNow(const std::function<bool()>& cut) { return cut && cut(); }
};
