#pragma once
// Page rasters of the preview in tiles: a worker thread with a page process of its own (over the
// document's copy of the bytes) draws 512-pixel tiles of a page at a scale, annotations included,
// newest request first; stale requests are dropped. Tiles reach the main thread queued and go
// into a least-recently-used cache bounded in bytes. A page too heavy to draw (its declared images
// or content beyond what a drawing can finish soon, or a drawing the page process gave up past
// its deadline or memory) comes back failed and the page is marked heavy.
//
// Everything but the worker runs on the main thread.

#include <QImage>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

class PreviewDocument;

// One tile: a page, the raster's scale in device pixels per point (in 1/65536 units, so equal
// layouts give equal keys), and the tile's column and row from the raster's top-left corner.
struct TileKey {
    int page = 0;
    std::int64_t scale = 0;
    int column = 0;
    int row = 0;

    friend bool operator==(const TileKey&, const TileKey&) = default;
    friend auto operator<=>(const TileKey&, const TileKey&) = default;
};

struct TileKeyHash {
    std::size_t operator()(const TileKey& k) const noexcept {
        std::size_t h = std::hash<std::int64_t>()(k.scale);
        h ^= std::hash<int>()(k.page) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= std::hash<int>()(k.column) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= std::hash<int>()(k.row) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }
};

class PageProcess;

class PreviewTiles {
public:
    // Pixels a side of a tile.
    static constexpr int tileSize = 512;
    // The cache keeps at most this many bytes of pixels (a quarter gigabyte: two hundred and
    // fifty full tiles, many screens' worth even at high zoom on a dense display).
    static constexpr std::int64_t cacheLimit = 256LL * 1024 * 1024;
    // Units of TileKey::scale per device pixel per point.
    static constexpr double scaleUnit = 65536;
    // A tile that failed to render is remembered (drawn white) at this cost, so it is not asked
    // for again on every paint.
    static constexpr std::int64_t failedTileCost = 1024;

    // `receiver` lives on the main thread; `arrived` runs there after each tile is stored.
    PreviewTiles(QObject* receiver, std::function<void()> arrived);
    ~PreviewTiles();
    PreviewTiles(const PreviewTiles&) = delete;
    PreviewTiles& operator=(const PreviewTiles&) = delete;

    // A new document: the cache is emptied and the worker forgets what it was asked for.
    void setDocument(std::shared_ptr<PreviewDocument> document);

    static std::int64_t scaleKey(double pixelsPerPoint);
    static double scaleOf(std::int64_t key) { return static_cast<double>(key) / scaleUnit; }

    // The cached tile (a null image for one that failed), marked as recently used; nullptr when
    // not cached.
    const QImage* tile(const TileKey& key);
    bool contains(const TileKey& key) const { return entries_.count(key) > 0; }
    // Whether the page was found too heavy to draw (once one of its tiles was asked for).
    bool isHeavy(int page) const { return heavy_.count(page) > 0; }
    // The cached scale of the page nearest to `scale` (by ratio), other than `scale` itself.
    std::optional<std::int64_t> nearestScale(int page, std::int64_t scale) const;

    // Asks for these tiles, most wanted first, in place of anything asked before.
    void request(std::vector<TileKey> keys);

    std::int64_t bytes() const { return bytes_; }
    std::size_t count() const { return entries_.size(); }
    std::uint64_t generation() const { return generation_; }

private:
    struct Entry {
        QImage image;
        std::int64_t cost = 0;
        std::list<TileKey>::iterator use;
    };

    void run();
    void store(std::uint64_t generation, const TileKey& key, QImage image, bool heavy);
    void evict();
    void forget(const TileKey& key);

    QPointer<QObject> receiver_;
    std::function<void()> arrived_;

    // Main thread.
    std::unordered_map<TileKey, Entry, TileKeyHash> entries_;
    std::list<TileKey> uses_;                            // most recent first
    std::map<int, std::map<std::int64_t, int>> scales_;  // page -> scale -> tiles cached
    std::int64_t bytes_ = 0;
    std::uint64_t generation_ = 0;
    std::set<int> heavy_;  // pages too heavy to draw
    std::vector<TileKey> lastRequest_;

    // Shared with the worker, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TileKey> pending_;
    std::optional<TileKey> rendering_;
    std::uint64_t renderingGeneration_ = 0;  // the document generation of rendering_
    std::shared_ptr<PreviewDocument> document_;
    std::uint64_t workerGeneration_ = 0;
    bool stop_ = false;
    // Set with stop_, read by the page process's cutoff while a tile is drawn (no lock there).
    std::atomic<bool> stopping_{false};
    // The worker's page process, woken when what it draws is no longer wanted (under mutex_).
    const PageProcess* drawing_ = nullptr;
    // workerGeneration_, for the page process's cutoff (no lock there).
    std::atomic<std::uint64_t> shownGeneration_{0};
    std::thread worker_;
};
