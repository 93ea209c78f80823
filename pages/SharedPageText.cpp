#include "pages/SharedPageText.h"

std::size_t PageTextCache::bytesOf(const std::optional<PageText>& text) {
    constexpr std::size_t overhead = 128;  // the entry, its list node and the shared block
    if (!text) return overhead;
    return overhead + text->text.capacity() * sizeof(char16_t) +
           text->boxes.capacity() * sizeof(PageTextBox);
}

std::shared_ptr<const std::optional<PageText>> PageTextCache::kept(int pageIndex) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(pageIndex);
    if (it == entries_.end() || !it->second.text) return nullptr;
    uses_.splice(uses_.begin(), uses_, it->second.use);
    return it->second.text;
}

std::size_t PageTextCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void PageTextCache::keep(int pageIndex, Text text) {
    {
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[pageIndex];
        entry.text = std::move(text);
        entry.bytes = bytesOf(*entry.text);
        uses_.push_front(pageIndex);
        entry.use = uses_.begin();
        bytes_ += entry.bytes;
        // The pages used longest ago go first; the page just read stays even when it alone is
        // over the bound (its reader holds it anyway), and goes with the next page read.
        while (bytes_ > maxBytes_ && uses_.size() > 1) {
            const int oldest = uses_.back();
            uses_.pop_back();
            auto it = entries_.find(oldest);
            bytes_ -= it->second.bytes;
            entries_.erase(it);
        }
    }
    read_.notify_all();
}

void PageTextCache::forget(int pageIndex) {
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(pageIndex);
        if (it != entries_.end() && !it->second.text) entries_.erase(it);
    }
    read_.notify_all();
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
    return pages_->render(pageIndex, scale, maxPixels);
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
