#include "pages/SharedPageText.h"

std::size_t PageTextCache::bytesOf(const std::optional<PageText>& text) {
    constexpr std::size_t overhead = 128;  // the entry, its list node and the shared block
    if (!text) return overhead;
    return overhead + text->text.capacity() * sizeof(char16_t) +
           text->boxes.capacity() * sizeof(PageTextBox);
}

std::size_t PageTextCache::renderBytesOf(const std::optional<GreyImage>& image) {
    constexpr std::size_t overhead = 128;
    return overhead + (image ? image->pixels.capacity() : 0);
}

SharedPageText::SharedPageText(std::shared_ptr<PageTextCache> cache,
                               std::unique_ptr<PageSource> pages)
    : cache_(std::move(cache)), pages_(std::move(pages)) {}

int SharedPageText::pageCount() const {
    return pages_ ? pages_->pageCount() : 0;
}

std::optional<PageText> SharedPageText::text(int pageIndex) const {
    if (!pages_ || pageIndex < 0 || pageIndex >= pages_->pageCount()) return std::nullopt;
    if (!cache_) return pages_->text(pageIndex);
    auto text = cache_->text(
        pageIndex, [&] { return pages_->text(pageIndex); }, [&] { return cutNow(cut_); });
    return *text;
}

std::optional<std::u16string> SharedPageText::words(int pageIndex) const {
    if (!pages_ || pageIndex < 0 || pageIndex >= pages_->pageCount()) return std::nullopt;
    if (cache_)
        if (auto text = cache_->kept(pageIndex)) {
            if (!*text) return std::nullopt;
            return (*text)->text;
        }
    return pages_->words(pageIndex);
}

std::optional<GreyImage> SharedPageText::render(int pageIndex, double scale,
                                                std::int64_t maxPixels) const {
    if (!pages_) return std::nullopt;
    if (!cache_) return pages_->render(pageIndex, scale, maxPixels);
    // Every reader asks for the whole page at the same scale, within the same bound.
    PageTextCache::Render image = cache_->render(
        pageIndex, scale, [&] { return pages_->render(pageIndex, scale, maxPixels); },
        [&] { return cutNow(cut_); });
    if (*image && static_cast<std::int64_t>((*image)->width) * (*image)->height > 2 * maxPixels)
        return std::nullopt;
    return *image;
}

std::optional<GreyImage> SharedPageText::renderRegion(int pageIndex, double scale, int x, int y,
                                                      int width, int height,
                                                      std::int64_t maxPixels) const {
    if (!pages_) return std::nullopt;
    if (cache_)
        if (PageTextCache::Render whole = cache_->keptRender(pageIndex, scale)) {
            if (!*whole) return std::nullopt;
            return crop(**whole, x, y, width, height);
        }
    return pages_->renderRegion(pageIndex, scale, x, y, width, height, maxPixels);
}

std::unique_ptr<PageSource> SharedPageText::clone() const {
    std::unique_ptr<PageSource> pages = pages_ ? pages_->clone() : nullptr;
    if (!pages) return nullptr;
    auto clone = std::make_unique<SharedPageText>(cache_, std::move(pages));
    clone->cut_ = cut_;
    return clone;
}

void SharedPageText::setCutoff(std::function<bool()> cut) {
    cut_ = cut;
    if (pages_) pages_->setCutoff(std::move(cut));
}
