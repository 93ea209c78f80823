#pragma once
// PageSource over Poppler's core library: page text with per-character boxes, and page rendering
// to a grey bitmap or, for the preview, a colour slice. Used only inside the page process: the
// application reads pages through PageProcess.
//
// One Poppler document serves every request, read in place (no copy of its cross-reference table
// per page), and each kind of image has one renderer kept from page to page, so that the fonts it
// has loaded stay loaded. Requests are served one at a time: an object is used by one thread.

#include <memory>
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
    // Opens the document from its bytes (copied and kept for the object's life) with the empty
    // password. Nothing when Poppler cannot open it or it needs a password.
    static std::unique_ptr<PopplerPages> open(std::string bytes);
    // The same over bytes that the caller keeps unchanged for the object's life (no copy).
    static std::unique_ptr<PopplerPages> borrow(std::string_view bytes);

    ~PopplerPages() override;
    PopplerPages(const PopplerPages&) = delete;
    PopplerPages& operator=(const PopplerPages&) = delete;

    int pageCount() const override;
    std::optional<PageText> text(int pageIndex) const override;
    // Poppler's plain page text: a fraction of the cost of the boxes.
    std::optional<std::u16string> words(int pageIndex) const override;
    std::optional<GreyImage> render(int pageIndex, double scale,
                                    std::int64_t maxPixels) const override;
    // A second Poppler document over the same bytes.
    std::unique_ptr<PageSource> clone() const override;

    // The slice of the page drawn upright at `scale` pixels per point in colour over white whose
    // top-left pixel is (x, y), at most width x height pixels (less at the page's right and
    // bottom edges). Nothing when the page cannot be drawn or the slice lies outside it.
    std::optional<PageProtocol::ColourImage> tile(int pageIndex, double scale, int x, int y,
                                                  int width, int height) const;

private:
    PopplerPages();
    bool load(std::string_view bytes);
    Page* page(int pageIndex) const;
    // Draws the page, or its slice at (x, y) of width x height pixels when width > 0, with
    // `renderer`; a renderer that fails midway is dropped, so the next page gets a new one.
    void draw(std::unique_ptr<SplashOutputDev>& renderer, bool grey, int pageIndex, double scale,
              int x, int y, int width, int height) const;
    // Drops a renderer whose bitmap is large, rather than hold that memory until the next page.
    static void forgetLargeBitmap(std::unique_ptr<SplashOutputDev>& renderer);

    std::string bytes_;      // the document's bytes when owned
    std::string_view view_;  // the bytes Poppler reads (bytes_ or the borrowed ones)
    std::unique_ptr<GlobalParamsIniter> params_;  // Poppler's settings, while the document lives
    std::unique_ptr<PDFDoc> document_;
    mutable std::unique_ptr<SplashOutputDev> grey_;    // 8-bit grey, for render()
    mutable std::unique_ptr<SplashOutputDev> colour_;  // XBGR, for tile()
};
