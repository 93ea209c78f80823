#include "document/preview/PreviewTiles.h"

#include <poppler-qt6.h>

#include <QMetaObject>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "document/PreviewDocument.h"
#include "signing/PageWeight.h"

namespace {

// Scales beyond this many device pixels per point are not rendered (a page of 14400 points at
// this scale is still within the int coordinates Poppler takes for a slice); such tiles stay white.
constexpr double maximumScale = 256;

void quietPoppler() {
    static std::once_flag once;
    std::call_once(once, [] {
        Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
    });
}

// Poppler asks this while it renders: a worker told to stop gives up the tile at once.
bool renderAborted(const QVariant& payload) {
    const auto* stopping = static_cast<const std::atomic<bool>*>(payload.value<void*>());
    return stopping && stopping->load(std::memory_order_relaxed);
}

// One tile of the page raster; a null image when the page or the tile cannot be rendered (or
// the rendering was given up).
QImage renderTile(Poppler::Document& pdf, const TileKey& key, std::atomic<bool>& stopping) {
    if (key.page < 0 || key.page >= pdf.numPages() || key.column < 0 || key.row < 0) return {};
    double scale = PreviewTiles::scaleOf(key.scale);
    if (!(scale > 0) || scale > maximumScale) return {};
    std::unique_ptr<Poppler::Page> page = pdf.page(key.page);
    if (!page) return {};
    QSizeF points = page->pageSizeF();  // the crop box, turned by the page's rotation
    double width = std::ceil(points.width() * scale), height = std::ceil(points.height() * scale);
    double x = static_cast<double>(key.column) * PreviewTiles::tileSize;
    double y = static_cast<double>(key.row) * PreviewTiles::tileSize;
    if (!(x < width) || !(y < height)) return {};
    int w = static_cast<int>(std::min<double>(PreviewTiles::tileSize, width - x));
    int h = static_cast<int>(std::min<double>(PreviewTiles::tileSize, height - y));
    QImage image = page->renderToImage(
        72 * scale, 72 * scale, static_cast<int>(x), static_cast<int>(y), w, h, Poppler::Page::Rotate0,
        nullptr, nullptr, renderAborted, QVariant::fromValue(static_cast<void*>(&stopping)));
    if (stopping.load()) return {};
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

PreviewTiles::PreviewTiles(QObject* receiver, std::function<void()> arrived)
    : receiver_(receiver), arrived_(std::move(arrived)) {
    quietPoppler();
    worker_ = std::thread([this] { run(); });
}

PreviewTiles::~PreviewTiles() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.clear();
    }
    // A tile being rendered is given up: the view's owner waits for this join.
    stopping_.store(true);
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
        pending_.clear();
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
        for (const TileKey& key : keys)
            if (!rendering_ || !(*rendering_ == key)) pending_.push_back(key);
    }
    wake_.notify_all();
}

void PreviewTiles::run() {
    std::unique_ptr<Poppler::Document> pdf;
    std::shared_ptr<PreviewDocument> held;  // keeps the bytes Poppler reads alive
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
            generation = workerGeneration_;
            if (generation != loaded) document = document_;
        }
        if (generation != loaded) {
            pdf.reset();
            held = std::move(document);
            loaded = generation;
            if (held) {
                std::string_view bytes = held->bytes();
                if (bytes.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
                    pdf = Poppler::Document::loadFromData(QByteArray::fromRawData(
                        bytes.data(), static_cast<qsizetype>(bytes.size())));
                    if (pdf && pdf->isLocked()) pdf.reset();
                    if (pdf) {
                        pdf->setRenderHint(Poppler::Document::Antialiasing);
                        pdf->setRenderHint(Poppler::Document::TextAntialiasing);
                    }
                }
            }
        }
        // A render cannot be interrupted inside an image: a page that declares more than a
        // render can finish soon is not drawn at all.
        std::shared_ptr<const PageJudge> judge = held ? held->judge() : nullptr;
        const bool heavy = pdf && judge && key.page >= 0 && key.page < pdf->numPages() &&
                           !judge->drawable(key.page);
        QImage image = pdf && !heavy ? renderTile(*pdf, key, stopping_) : QImage();
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
    pdf.reset();
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
