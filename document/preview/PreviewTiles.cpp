#include "document/preview/PreviewTiles.h"

#include <QMetaObject>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "document/PreviewDocument.h"
#include "pages/content/PageWeight.h"

namespace {

// Scales beyond this many device pixels per point are not rendered (a page of 14400 points at
// this scale is still within the int coordinates a slice takes); such tiles stay white.
constexpr double maximumScale = 256;

// One tile of the page raster, drawn by the page process; a null image when the page or the
// tile cannot be drawn (or the drawing was given up). The pixels are not copied: the image owns
// the buffer the answer came in.
QImage renderTile(const PageProcess& pages, const TileKey& key) {
    if (key.page < 0 || key.page >= pages.pageCount() || key.column < 0 || key.row < 0) return {};
    const double scale = PreviewTiles::scaleOf(key.scale);
    if (!(scale > 0) || scale > maximumScale) return {};
    const double x = static_cast<double>(key.column) * PreviewTiles::tileSize;
    const double y = static_cast<double>(key.row) * PreviewTiles::tileSize;
    if (x > std::numeric_limits<int>::max() || y > std::numeric_limits<int>::max()) return {};
    std::optional<PageProtocol::ColourImage> tile =
        pages.tile(key.page, scale, static_cast<int>(x), static_cast<int>(y),
                   PreviewTiles::tileSize, PreviewTiles::tileSize);
    if (!tile) return {};
    auto* buffer = new std::string(std::move(tile->pixels));
    return QImage(
        reinterpret_cast<const uchar*>(buffer->data()), tile->width, tile->height,
        static_cast<qsizetype>(tile->width) * 4, QImage::Format_ARGB32_Premultiplied,
        [](void* owned) { delete static_cast<std::string*>(owned); }, buffer);
}

}  // namespace

PreviewTiles::PreviewTiles(QObject* receiver, std::function<void()> arrived)
    : receiver_(receiver), arrived_(std::move(arrived)) {
    worker_ = std::thread([this] { run(); });
}

PreviewTiles::~PreviewTiles() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.clear();
    }
    // A tile being drawn is given up at once: the view's owner waits for this join.
    stopping_.store(true);
    {
        std::lock_guard lock(mutex_);
        if (drawing_) drawing_->wake();
    }
    wake_.notify_all();
    worker_.join();
}

std::int64_t PreviewTiles::scaleKey(double pixelsPerPoint) {
    if (!std::isfinite(pixelsPerPoint) || pixelsPerPoint <= 0) return 0;
    return std::llround(std::min(pixelsPerPoint, maximumScale * 2) * scaleUnit);
}

void PreviewTiles::setDocument(std::shared_ptr<PreviewDocument> document) {
    entries_.clear();
    uses_.clear();
    scales_.clear();
    heavy_.clear();
    bytes_ = 0;
    lastRequest_.clear();
    ++generation_;
    {
        std::lock_guard lock(mutex_);
        document_ = std::move(document);
        workerGeneration_ = generation_;
        shownGeneration_ = generation_;
        pending_.clear();
        if (drawing_) drawing_->wake();  // a tile of the document shown before is given up
    }
    wake_.notify_all();
}

const QImage* PreviewTiles::tile(const TileKey& key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) return nullptr;
    uses_.splice(uses_.begin(), uses_, it->second.use);
    return &it->second.image;
}

std::optional<std::int64_t> PreviewTiles::nearestScale(int page, std::int64_t scale) const {
    auto it = scales_.find(page);
    if (it == scales_.end() || scale <= 0) return std::nullopt;
    std::optional<std::int64_t> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& [s, count] : it->second) {
        if (s == scale || count <= 0 || s <= 0) continue;
        double distance = std::abs(std::log(static_cast<double>(s) / static_cast<double>(scale)));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = s;
        }
    }
    return best;
}

void PreviewTiles::request(std::vector<TileKey> keys) {
    if (keys == lastRequest_) return;
    lastRequest_ = keys;
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
        // The tile being drawn is not asked again, unless it is the same key of the document
        // shown before: that one will be dropped as stale when it arrives.
        for (const TileKey& key : keys)
            if (!rendering_ || !(*rendering_ == key) || renderingGeneration_ != workerGeneration_)
                pending_.push_back(key);
    }
    wake_.notify_all();
}

void PreviewTiles::run() {
    std::unique_ptr<PageProcess> pages;  // the worker's own page process
    std::shared_ptr<PreviewDocument> held;
    std::uint64_t loaded = 0;
    for (;;) {
        TileKey key;
        std::uint64_t generation = 0;
        std::shared_ptr<PreviewDocument> document;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || !pending_.empty(); });
            if (stop_) break;
            key = pending_.front();
            pending_.pop_front();
            rendering_ = key;
            renderingGeneration_ = workerGeneration_;
            generation = workerGeneration_;
            if (generation != loaded) document = document_;
        }
        if (generation != loaded) {
            {
                std::lock_guard lock(mutex_);
                drawing_ = nullptr;
            }
            pages.reset();
            held = std::move(document);
            loaded = generation;
            if (held) {
                // The process the document was handed to as it opened: the first tiles are
                // not kept waiting for one to open it.
                pages = held->pages().another(true);
                // A tile is given up when the preview goes or shows another document.
                pages->setCutoff([this, generation] {
                    return stopping_.load() || shownGeneration_.load() != generation;
                });
                std::lock_guard lock(mutex_);
                drawing_ = pages.get();
            }
        }
        // A page that declares more than a drawing can finish soon is not even sent; a page the
        // page process gave up (past its deadline or its memory) is not asked again.
        std::shared_ptr<const PageJudge> judge = held ? held->judge() : nullptr;
        const bool inRange = pages && key.page >= 0 && key.page < pages->pageCount();
        bool heavy = inRange && judge && !judge->drawable(key.page);
        QImage image = inRange && !heavy ? renderTile(*pages, key) : QImage();
        if (inRange && image.isNull() && pages->gaveUp(key.page, PageProtocol::Kind::tile))
            heavy = true;
        {
            std::lock_guard lock(mutex_);
            rendering_.reset();
            if (stop_) break;
        }
        QPointer<QObject> receiver = receiver_;
        QMetaObject::invokeMethod(
            receiver.data(),
            [this, receiver, generation, key, heavy, image = std::move(image)]() mutable {
                if (!receiver) return;
                store(generation, key, std::move(image), heavy);
            },
            Qt::QueuedConnection);
    }
    {
        std::lock_guard lock(mutex_);
        drawing_ = nullptr;
    }
    pages.reset();
    held.reset();
}

void PreviewTiles::store(std::uint64_t generation, const TileKey& key, QImage image,
                         bool heavy) {
    if (generation != generation_) return;  // a tile of a document no longer shown
    if (heavy) heavy_.insert(key.page);
    forget(key);
    Entry entry;
    entry.cost = image.isNull() ? failedTileCost : static_cast<std::int64_t>(image.sizeInBytes());
    entry.image = std::move(image);
    uses_.push_front(key);
    entry.use = uses_.begin();
    bytes_ += entry.cost;
    entries_.emplace(key, std::move(entry));
    ++scales_[key.page][key.scale];
    evict();
    if (arrived_) arrived_();
}

void PreviewTiles::forget(const TileKey& key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) return;
    bytes_ -= it->second.cost;
    uses_.erase(it->second.use);
    auto page = scales_.find(key.page);
    if (page != scales_.end()) {
        auto scale = page->second.find(key.scale);
        if (scale != page->second.end() && --scale->second <= 0) page->second.erase(scale);
        if (page->second.empty()) scales_.erase(page);
    }
    entries_.erase(it);
}

void PreviewTiles::evict() {
    while (bytes_ > cacheLimit && uses_.size() > 1) forget(uses_.back());
}
