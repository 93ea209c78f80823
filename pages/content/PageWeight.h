#pragma once
// What drawing a page would cost, judged from what the page declares, before anything draws it:
// a cheap first filter in front of the page process, which bounds what a page really costs. A
// page of a few hundred bytes can declare an image of forty thousand million samples: such a
// page is not even sent. What the weighing cannot count (too many objects, a content stream it
// cannot decode) decides nothing; the page process's limits do. The weight counts what a renderer must decode whatever the scale it draws at (every
// sample of every image, every byte of content), and the pixels it must fill at that scale.
//
//   std::vector<PageWeight> weights = PageWeights::of(file);
//   if (PageWeights::renderable(weights[i], 2.0)) ...draw page i at 2 pixels per point...
//
//   PageSource& source = ...;             // any PageSource over the bytes of `file`
//   GuardedPages pages(source, file);      // draws only the pages light enough to draw
//   pages.render(i, 2.0, maxPixels);       // nothing for a page judged too heavy

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string_view>
#include <vector>

#include "pdf/PDFFile.h"
#include "pdf/PDFRef.h"
#include "pages/PageText.h"


// The declared cost of one page.
struct PageWeight {
    // Width x Height x colour components of every image the page may draw: image XObjects that
    // its content names (through nested forms, patterns and soft masks) and inline images in its
    // content. Saturates at the largest int64.
    std::int64_t imageSamples = 0;
    // The samples of the largest of those images.
    std::int64_t largestImage = 0;
    // The samples of the inline images of the page's own content: a renderer reads through their
    // data even to find the page's text.
    std::int64_t inlineSamples = 0;
    // Decoded bytes of the page's content streams (and of the forms it draws), counted up to a
    // little past the bound that renderable() applies.
    std::int64_t contentBytes = 0;
    // The upright page's size in points (crop box, as DisplaySpace gives it).
    double width = 0;
    double height = 0;
    // The weighing itself gave up on part of the page: a content stream it cannot decode, or more
    // nesting, objects or annotations than it reads. That part is left to the page process.
    bool unknown = false;
};

namespace PageWeights {

// Samples a page may decode: a real A4 page scanned at 600 dpi in colour holds about 35 million
// (4960 x 7016 x 3), so this allows several such scans on one page while a decode that takes a
// renderer many seconds is refused. A drawing at a small scale still decodes every sample.
inline constexpr std::int64_t maxSamples = 300'000'000;
// Decoded content bytes a page may hold: the densest real vector pages (maps, plans) hold a few
// megabytes of operators; tens of megabytes take a renderer seconds to interpret.
inline constexpr std::int64_t maxContentBytes = std::int64_t(32) << 20;
// Pixels a page may be drawn into at the asked scale (a 300-dpi drawing of an A0 sheet is about
// 140 million): a huge media box must not ask for a bitmap of gigabytes.
inline constexpr double maxPixels = 150'000'000.0;

// The declared cost of every page of file.pageRefs(), read from the PDF engine (no rendering).
// Resources, forms and images that several pages share are weighed once. A stop requested through
// `stop` ends the weighing: the pages not weighed then come back as unknown.
std::vector<PageWeight> of(PDFFile& file, std::stop_token stop = {});

// Whether a page of that weight may be drawn at `scale` pixels per point.
bool renderable(const PageWeight& weight, double scale);

// Whether a page of that weight may be drawn in slices of a bounded size (tiles), at any scale:
// what renderable() judges but the page's area.
bool drawable(const PageWeight& weight);

// Whether the text of a page of that weight may be read: not when its content holds inline images
// beyond the bound (Poppler's text reading goes through their samples).
bool readable(const PageWeight& weight);

}  // namespace PageWeights

// Weighs pages of one file one at a time, keeping what it has weighed of shared objects. Uses the
// file from the calling thread only.
class PageWeigher {
public:
    explicit PageWeigher(PDFFile& file);
    ~PageWeigher();
    PageWeigher(const PageWeigher&) = delete;
    PageWeigher& operator=(const PageWeigher&) = delete;

    PageWeight weigh(PDFRef page);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The judgement of the pages of one PDF, made page by page when first asked for and kept. It reads
// the PDF with a PDF engine of its own over the bytes, so any thread may ask (one at a time: the
// calls are serialised). The bytes must stay alive and unchanged for the judge's life.
class PageJudge {
public:
    explicit PageJudge(std::string_view bytes);
    // The same, its engine opened from `opening` (the bytes' as a PDFFile opened them), and the
    // first pages of the file's page list already known.
    PageJudge(std::string_view bytes, std::shared_ptr<const PDFFile::Opening> opening,
              std::vector<PDFRef> firstPages);
    ~PageJudge();
    PageJudge(const PageJudge&) = delete;
    PageJudge& operator=(const PageJudge&) = delete;

    // The weight of the page at that index of the file's page list; nothing when the file or the
    // page cannot be read.
    std::optional<PageWeight> weight(int pageIndex) const;
    // Whether the page may be drawn at `scale` pixels per point: false for a page that cannot be
    // weighed.
    bool renderable(int pageIndex, double scale) const;
    // Whether the page may be drawn in tiles (PageWeights::drawable); false for a page that cannot
    // be weighed.
    bool drawable(int pageIndex) const;
    // Whether the page's text may be read (PageWeights::readable); true for a page that cannot be
    // weighed, whose text the reader itself refuses or reads.
    bool readable(int pageIndex) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A PageSource over another that refuses to draw the pages judged too heavy (render gives
// nothing) and passes text, words and the rest through, except the text of a page whose inline
// images are beyond the bound (nothing, as for a page that cannot be read); its clones share the
// judgements.
// The inner source and the file's bytes must outlive it.
class GuardedPages final : public PageSource {
public:
    // Judges the pages of `file` (whose bytes `inner` reads), each when it is first to be drawn.
    // Cheap to make: the file is read again only when a page is to be drawn.
    GuardedPages(PageSource& inner, const PDFFile& file);
    // With a judge shared with others (such as a preview over the same bytes).
    GuardedPages(PageSource& inner, std::shared_ptr<const PageJudge> judge);
    ~GuardedPages() override;

    int pageCount() const override;
    std::optional<PageText> text(int pageIndex) const override;
    std::optional<std::u16string> words(int pageIndex) const override;
    std::optional<GreyImage> render(int pageIndex, double scale,
                                    std::int64_t maxPixels) const override;
    // A slice of a page too heavy to draw is refused as the page is.
    std::optional<GreyImage> renderRegion(int pageIndex, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override;
    std::unique_ptr<PageSource> clone() const override;
    void setCutoff(std::function<bool()> cut) override;

    const std::shared_ptr<const PageJudge>& judge() const { return judge_; }

private:
    GuardedPages(std::unique_ptr<PageSource> ownInner, std::shared_ptr<const PageJudge> judge);

    std::unique_ptr<PageSource> owned_;  // the inner clone of a clone
    PageSource& inner_;
    std::shared_ptr<const PageJudge> judge_;
};
