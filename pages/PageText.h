#pragma once
// What the placement search and the form reader need from a PDF renderer: a page's text with the box of every
// character, and the page drawn upright into a grey bitmap. The page's geometry (crop box,
// rotation, annotations) is not asked of the renderer; the PDF engine gives it.
//
// Coordinates of text boxes are in the upright page: points, origin at the top-left corner of the
// crop box as it is shown (after /Rotate), x to the right and y downwards.

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
