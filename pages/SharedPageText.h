#pragma once
// Page text read once per document and shared by every reader of it: the form reader and the
// placement search, each on its own thread with its own page source, ask one cache first.
//
//   auto cache = std::make_shared<PageTextCache>();             // one per document
//   auto pages = PageProcess::prepare(bytes);                   // the page process
//   SharedPageText search(cache, pages->clone());               // one per thread
//   SharedPageText form(cache, pages->clone());
//
// A page's text is read from the underlying source of whichever reader asks for it first; a
// reader asking while another reads that page waits for it instead of reading it again. The
// cache keeps at most `maxBytes` of text and boxes: past that the pages used longest ago are
// dropped, and read again when asked for again. Pages drawn in grey (for their ink) are kept too,
// a few dozen megabytes of them, so that the search and the form reader draw a page once.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "pages/PageText.h"

// Results of one kind read once and shared by threads: whichever thread asks for a key first
// reads it; a thread asking meanwhile waits for that reading (at most `otherReaderWait`, then it
// reads the key itself). At most `maxBytes` are kept (`size` says what a result takes); past that
// the keys used longest ago go, the one just read staying.
template <typename Key, typename Value>
class SharedReads {
public:
    using Result = std::shared_ptr<const Value>;

    SharedReads(std::size_t maxBytes, std::chrono::milliseconds otherReaderWait,
                std::size_t (*size)(const Value&))
        : maxBytes_(maxBytes), otherReaderWait_(otherReaderWait), size_(size) {}

    // The result for `key`, read through `read` on the calling thread unless it is kept or being
    // read. An exception from `read` reaches the caller and nothing is kept; nor is a reading
    // that `cut` then says was cut short (its reader stopped): it goes to that reader only.
    template <typename Read, typename Cut>
    Result get(const Key& key, Read&& read, Cut&& cut) {
        {
            std::unique_lock lock(mutex_);
            const auto giveUp = std::chrono::steady_clock::now() + otherReaderWait_;
            for (;;) {
                auto it = entries_.find(key);
                if (it == entries_.end()) {
                    entries_[key];  // being read, by this thread
                    break;
                }
                if (it->second.value) {
                    uses_.splice(uses_.begin(), uses_, it->second.use);
                    return it->second.value;
                }
                if (read_.wait_until(lock, giveUp) == std::cv_status::timeout) {
                    // The other reader is held up (inside a page that takes long): this one
                    // reads the page itself rather than wait on it, and leaves the entry to it.
                    lock.unlock();
                    return std::make_shared<const Value>(read());
                }
            }
        }
        Result value;
        try {
            value = std::make_shared<const Value>(read());
        } catch (...) {
            forget(key);
            throw;
        }
        if (cut()) {
            forget(key);
            return value;
        }
        keep(key, value);
        return value;
    }

    Result kept(const Key& key) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(key);
        if (it == entries_.end() || !it->second.value) return nullptr;
        uses_.splice(uses_.begin(), uses_, it->second.use);
        return it->second.value;
    }

    std::size_t bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

private:
    struct Entry {
        Result value;  // null while being read
        std::size_t bytes = 0;
        typename std::list<Key>::iterator use;  // place in uses_, when read
    };

    void keep(const Key& key, Result value) {
        {
            std::lock_guard lock(mutex_);
            Entry& entry = entries_[key];
            entry.bytes = size_(*value);
            entry.value = std::move(value);
            uses_.push_front(key);
            entry.use = uses_.begin();
            bytes_ += entry.bytes;
            while (bytes_ > maxBytes_ && uses_.size() > 1) {
                auto oldest = entries_.find(uses_.back());
                uses_.pop_back();
                bytes_ -= oldest->second.bytes;
                entries_.erase(oldest);
            }
        }
        read_.notify_all();
    }

    void forget(const Key& key) {
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(key);
            if (it != entries_.end() && !it->second.value) entries_.erase(it);
        }
        read_.notify_all();
    }

    const std::size_t maxBytes_;
    const std::chrono::milliseconds otherReaderWait_;
    std::size_t (*const size_)(const Value&);
    mutable std::mutex mutex_;
    std::condition_variable read_;
    std::map<Key, Entry> entries_;
    std::list<Key> uses_;  // kept keys, the one used last at the front
    std::size_t bytes_ = 0;
};

// The texts of one document's pages, and its pages drawn in grey, shared by threads.
class PageTextCache {
public:
    // About 400 dense pages (15,000 glyphs each) of text and boxes.
    static constexpr std::size_t defaultMaxBytes = 64 * 1024 * 1024;
    // About 20 A4 pages drawn at 2 pixels per point.
    static constexpr std::size_t maxRenderBytes = 48 * 1024 * 1024;

    // How long a reader waits for another thread's reading of the same page before it reads the
    // page itself.
    static constexpr std::chrono::milliseconds defaultOtherReaderWait{10'000};

    explicit PageTextCache(std::size_t maxBytes = defaultMaxBytes,
                           std::chrono::milliseconds otherReaderWait = defaultOtherReaderWait)
        : texts_(maxBytes, otherReaderWait, &bytesOf),
          renders_(maxRenderBytes, otherReaderWait, &renderBytesOf) {}
    PageTextCache(const PageTextCache&) = delete;
    PageTextCache& operator=(const PageTextCache&) = delete;

    using Text = std::shared_ptr<const std::optional<PageText>>;
    using Render = std::shared_ptr<const std::optional<GreyImage>>;

    // The page's text, read through `read` unless it is kept or another thread is reading it
    // (SharedReads::get).
    template <typename Read, typename Cut = bool (*)()>
    Text text(int pageIndex, Read&& read, Cut&& cut = [] { return false; }) {
        return texts_.get(pageIndex, std::forward<Read>(read), std::forward<Cut>(cut));
    }
    // The page drawn at `scale`, drawn through `draw` unless it is kept or being drawn.
    template <typename Draw, typename Cut>
    Render render(int pageIndex, double scale, Draw&& draw, Cut&& cut) {
        return renders_.get({pageIndex, scale}, std::forward<Draw>(draw), std::forward<Cut>(cut));
    }

    // The page's text when it is kept, without reading it.
    Text kept(int pageIndex) { return texts_.kept(pageIndex); }
    // The page drawn at `scale` when it is kept, without drawing it.
    Render keptRender(int pageIndex, double scale) { return renders_.kept({pageIndex, scale}); }

    // Bytes of text and boxes kept now.
    std::size_t bytes() const { return texts_.bytes(); }

    // What a page's text takes in the cache.
    static std::size_t bytesOf(const std::optional<PageText>& text);
    static std::size_t renderBytesOf(const std::optional<GreyImage>& image);

private:
    SharedReads<int, std::optional<PageText>> texts_;
    SharedReads<std::pair<int, double>, std::optional<GreyImage>> renders_;
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
    // Slices are not kept: each is cut from the whole page when the cache holds it, else asked
    // of the source.
    std::optional<GreyImage> renderRegion(int pageIndex, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override;
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

