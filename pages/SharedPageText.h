#pragma once
// Page text read once per document and shared by every reader of it: the form reader and the
// placement search, each on its own thread with its own page source, ask one cache first.
//
//   auto cache = std::make_shared<PageTextCache>();             // one per document
//   SharedPageText search(cache, PopplerPages::borrow(bytes));  // one per thread
//   SharedPageText form(cache, PopplerPages::borrow(bytes));
//
// A page's text is read from the underlying source of whichever reader asks for it first; a
// reader asking while another reads that page waits for it instead of reading it again. The
// cache keeps at most `maxBytes` of text and boxes: past that the pages used longest ago are
// dropped, and read again when asked for again. Renders are never cached.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "pages/PageText.h"

// The texts of one document's pages, shared by threads.
class PageTextCache {
public:
    // About 400 dense pages (15,000 glyphs each) of text and boxes.
    static constexpr std::size_t defaultMaxBytes = 64 * 1024 * 1024;

    // How long a reader waits for another thread's reading of the same page before it reads the
    // page itself.
    static constexpr std::chrono::milliseconds defaultOtherReaderWait{10'000};

    explicit PageTextCache(std::size_t maxBytes = defaultMaxBytes,
                           std::chrono::milliseconds otherReaderWait = defaultOtherReaderWait)
        : maxBytes_(maxBytes), otherReaderWait_(otherReaderWait) {}
    PageTextCache(const PageTextCache&) = delete;
    PageTextCache& operator=(const PageTextCache&) = delete;

    // The page's text, read through `read` (on the calling thread) unless it is kept or
    // another thread is reading it. An exception from `read` reaches the caller; the page is
    // then not kept and the next asker reads it. Nor is a reading that `cut` says was cut short
    // (its reader stopped): it reads as nothing to its reader only.
    template <typename Read, typename Cut = bool (*)()>
    std::shared_ptr<const std::optional<PageText>> text(
        int pageIndex, Read&& read, Cut&& cut = [] { return false; });

    // The page's text when it is kept, without reading it.
    std::shared_ptr<const std::optional<PageText>> kept(int pageIndex);

    // Bytes of text and boxes kept now.
    std::size_t bytes() const;

    // What a page's text takes in the cache.
    static std::size_t bytesOf(const std::optional<PageText>& text);

private:
    using Text = std::shared_ptr<const std::optional<PageText>>;
    struct Entry {
        Text text;  // null while being read
        std::size_t bytes = 0;
        std::list<int>::iterator use;  // place in uses_, when read
    };

    void keep(int pageIndex, Text text);
    void forget(int pageIndex);

    const std::size_t maxBytes_;
    const std::chrono::milliseconds otherReaderWait_;
    mutable std::mutex mutex_;
    std::condition_variable read_;
    std::unordered_map<int, Entry> entries_;
    std::list<int> uses_;  // kept pages, the one used last at the front
    std::size_t bytes_ = 0;
};

// A page source whose text goes through a shared cache; words, renders and the page count come
// from its own source. Each reader belongs to one thread at a time, like its source.
class SharedPageText final : public PageSource {
public:
    SharedPageText(std::shared_ptr<PageTextCache> cache, std::unique_ptr<PageSource> pages);

    int pageCount() const override;
    std::optional<PageText> text(int pageIndex) const override;
    // The kept text's characters when the page's text is kept; else the source's quick words.
    std::optional<std::u16string> words(int pageIndex) const override;
    std::optional<GreyImage> render(int pageIndex, double scale,
                                    std::int64_t maxPixels) const override;
    // A reader over a clone of the source with the same cache (nothing when the source cannot
    // be cloned). It does not depend on this reader, only on what the source's clone depends on.
    std::unique_ptr<PageSource> clone() const override;
    // Passed on to the source; a text read while it says to give up is not kept.
    void setCutoff(std::function<bool()> cut) override;

    const std::shared_ptr<PageTextCache>& cache() const { return cache_; }

private:
    std::shared_ptr<PageTextCache> cache_;
    std::unique_ptr<PageSource> pages_;
    std::function<bool()> cut_;
};

template <typename Read, typename Cut>
std::shared_ptr<const std::optional<PageText>> PageTextCache::text(int pageIndex, Read&& read,
                                                                   Cut&& cut) {
    {
        std::unique_lock lock(mutex_);
        const auto giveUp = std::chrono::steady_clock::now() + otherReaderWait_;
        for (;;) {
            auto it = entries_.find(pageIndex);
            if (it == entries_.end()) {
                entries_[pageIndex];  // being read, by this thread
                break;
            }
            if (it->second.text) {
                uses_.splice(uses_.begin(), uses_, it->second.use);
                return it->second.text;
            }
            if (read_.wait_until(lock, giveUp) == std::cv_status::timeout) {
                // The other reader is held up (inside a page that takes long): this one reads
                // the page itself rather than wait on it, and leaves the entry to it.
                lock.unlock();
                return std::make_shared<const std::optional<PageText>>(read());
            }
        }
    }
    Text text;
    try {
        text = std::make_shared<const std::optional<PageText>>(read());
    } catch (...) {
        forget(pageIndex);
        throw;
    }
    if (cut()) {
        forget(pageIndex);
        return text;
    }
    keep(pageIndex, text);
    return text;
}
