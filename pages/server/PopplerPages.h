#pragma once
// PageSource over Poppler's core library: page text with per-character boxes, and page rendering
// to a grey bitmap or, for the preview, a colour slice. Used only inside the page process: the
// application reads pages through PageProcess.
//
// One Poppler document serves every request, read in place (no copy of its cross-reference table
// per page), and each kind of image has one renderer kept from page to page, so that the fonts it
// has loaded stay loaded. Requests are served one at a time: an object is used by one thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pages/PageProtocol.h"
#include "pages/PageText.h"

class GlobalParamsIniter;
class PDFDoc;
class Page;
class SplashOutputDev;

class PopplerPages final : public PageSource {
public:
    // Opens the document from bytes that the caller keeps unchanged for the object's life (read
    // in place), with the empty password. Nothing when Poppler cannot open it or it needs a
    // password.
    static std::unique_ptr<PopplerPages> borrow(std::string_view bytes);

    // Keeps Poppler's settings (its tables, the fonts it has found) for the process's life rather
    // than for each document's.
    static void keepSettings();

    ~PopplerPages() override;
    PopplerPages(const PopplerPages&) = delete;
    PopplerPages& operator=(const PopplerPages&) = delete;

    int pageCount() const override;
    std::optional<PageText> text(int pageIndex) const override;
    // The text's characters: the page is laid out once, and its text with boxes kept for a
    // request of the same page that follows soon (a reader asks for the words first, then the
    // text of the pages whose words it wants).
    std::optional<std::u16string> words(int pageIndex) const override;
    std::optional<GreyImage> render(int pageIndex, double scale,
                                    std::int64_t maxPixels) const override;
    // A second Poppler document over the same bytes.
    std::unique_ptr<PageSource> clone() const override;

    // A page drawn by the process, held in its renderer: the pixels stay valid until the next
    // drawing of that kind, and are sent from there without a copy.
    struct Drawn {
        int width = 0;
        int height = 0;
        std::string_view pixels;  // rows from the top, without padding
    };
    // What render() gives, in place.
    std::optional<Drawn> grey(int pageIndex, double scale, std::int64_t maxPixels) const;
    // The slice of the page drawn upright at `scale` pixels per point in colour over white whose
    // top-left pixel is (x, y), at most width x height pixels (less at the page's right and
    // bottom edges), 4 bytes a pixel as PageProtocol::ColourImage holds them. Nothing when the
    // page cannot be drawn or the slice lies outside it.
    std::optional<Drawn> tile(int pageIndex, double scale, int x, int y, int width,
                              int height) const;
    // The same slice drawn in grey, a byte a pixel, as grey() draws the whole page.
    std::optional<Drawn> greySlice(int pageIndex, double scale, int x, int y, int width,
                                   int height) const;
    // Lets go of a large bitmap once what was drawn in it has been sent, rather than hold that
    // memory until the next page.
    void forgetLargeBitmaps() const;

private:
    PopplerPages();
    std::optional<Drawn> slice(std::unique_ptr<SplashOutputDev>& device, bool grey, int pageIndex,
                               double scale, int x, int y, int width, int height) const;
    bool load(std::string_view bytes);
    Page* page(int pageIndex) const;
    struct Layout;
    std::unique_ptr<Layout> layOut(int pageIndex) const;
    // The page's text from its layout, with a box per code unit or (without `boxes`) alone.
    static PageText read(const Layout& layout, bool boxes);
    // Draws the page, or its slice at (x, y) of width x height pixels when width > 0, with
    // `renderer`; a renderer that fails midway is dropped, so the next page gets a new one.
    void draw(std::unique_ptr<SplashOutputDev>& renderer, bool grey, int pageIndex, double scale,
              int x, int y, int width, int height) const;
    // Drops a renderer whose bitmap is large.
    static void forgetLargeBitmap(std::unique_ptr<SplashOutputDev>& renderer);

    std::string_view view_;  // the bytes Poppler reads
    std::unique_ptr<GlobalParamsIniter> params_;  // Poppler's settings, while the document lives
    std::unique_ptr<PDFDoc> document_;
    // The pages whose words were asked for last, the latest first, with their layouts (a reader
    // that asks for the next page's words ahead may ask for this page's text after them).
    struct LaidOut {
        int page = -1;
        std::unique_ptr<Layout> layout;
    };
    mutable LaidOut laidOut_[2];
    mutable std::unique_ptr<SplashOutputDev> grey_;    // 8-bit grey, for render()
    mutable std::unique_ptr<SplashOutputDev> colour_;  // XBGR, for tile()
};
