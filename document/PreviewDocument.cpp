#include "document/PreviewDocument.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <condition_variable>
#include <exception>
#include <new>
#include <system_error>

#include "pdf/PDFFile.h"
#include "pdf/PDFFileLimits.h"
#include "platform/FileData.h"
#include "pages/PageCopy.h"
#include "pages/PageProcess.h"
#include "pages/content/PageWeight.h"

std::shared_ptr<PreviewDocument> PreviewDocument::open(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    // The page renderer takes no more than INT_MAX bytes: a larger file is refused before it is
    // opened at all.
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > static_cast<std::uintmax_t>(INT_MAX)) return nullptr;
    std::shared_ptr<const FileData::Mapping> data;
    try {
        // Mapped, not read: only the pages the engines look at are loaded.
        data = FileData::map(path);
    } catch (const std::exception&) {
        return nullptr;
    }
    // What does not start as a PDF is refused from its first bytes.
    const std::string_view head = data->bytes().substr(0, static_cast<std::size_t>(PDFFileLimits::kHeaderWindow));
    if (data->size() > static_cast<std::size_t>(INT_MAX) ||
        head.find("%PDF-") == std::string_view::npos)
        return nullptr;
    return load([&] { return std::make_unique<PDFFile>(data->bytes(), data); }, path, data);
}

std::shared_ptr<PreviewDocument> PreviewDocument::fromData(std::string bytes) {
    return load([&] { return std::make_unique<PDFFile>(std::move(bytes)); }, {});
}

std::shared_ptr<PreviewDocument> PreviewDocument::load(
    const std::function<std::unique_ptr<PDFFile>()>& parse, std::filesystem::path path,
    std::shared_ptr<const FileData::Mapping> data) {
    std::shared_ptr<PreviewDocument> document(new PreviewDocument());
    document->path_ = std::move(path);
    // The copy ends with an update of its own (PageCopy), worked out by the copy's worker from
    // the tree's root that this thread finds once the file is parsed and its first pages read.
    // Left unset when the file cannot be opened, the copy goes without: the promise goes before
    // the document, which waits for its copy as it goes (and keeps its file until then).
    std::promise<PageCopy::Root> root;
    std::shared_future<PageCopy::Root> rooted = root.get_future().share();
    // The page processes read a copy of the file's bytes, made on a worker while the file is
    // parsed and the window made, and handed there to a page process, which opens the document
    // meanwhile; the preview's reader takes that process. A mapped file's copy is written from
    // the file, not through the map.
    auto prepare = [document = document.get(), rooted](
                       std::string_view bytes, std::shared_ptr<const FileData::Mapping> data) {
        PageProcess::Fill fill;
        if (data) fill = [data](int fd) { return data->copyTo(fd); };
        PageProcess::Update update = [document, rooted]() -> std::string {
            try {
                const PageCopy::Root& root = rooted.get();
                return PageCopy::update(*document->file_, root);
            } catch (const std::future_error&) {
                return {};
            }
        };
        auto copy = [bytes, fill = std::move(fill), update = std::move(update)] {
            return PageProcess::prepare(bytes, fill, update);
        };
        try {
            document->preparing_ = std::async(std::launch::async, copy);
        } catch (const std::system_error&) {
            document->preparing_ = std::async(std::launch::deferred, copy);  // no thread left
        }
    };
    try {
        if (data) prepare(data->bytes(), data);
        document->file_ = parse();
        // Bytes the page process cannot take at all are refused now.
        const std::string_view bytes = document->file_->bytes();
        if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
        if (!data) prepare(bytes, nullptr);
        const bool whole = document->readOpeningPages();
        // The judge's engine and the workers' open from what this one read.
        document->opening_ = document->file_->opening();
        document->judge_ = std::make_shared<const PageJudge>(
            document->file_->bytes(), document->opening_, document->firstPages_);
        // The tree's root is read by now.
        root.set_value(PageCopy::root(*document->file_));
        document->startReading(whole);
    } catch (const std::exception&) {
        // Not a PDF, damaged beyond repair, protected by a password, or too large to hold.
        return nullptr;
    }
    return document;
}

PreviewDocument::~PreviewDocument() = default;

PageProcess& PreviewDocument::preparedPages() const {
    std::call_once(prepared_, [this] {
        try {
            pages_ = preparing_.get();
        } catch (const std::exception&) {
            // No memory for the copy on the worker: once more here.
        }
        if (!pages_) pages_ = PageProcess::prepare(file_->bytes());
        if (!pages_) throw std::bad_alloc();
    });
    return *pages_;
}

namespace {

// The frames of the pages `walk` gives, until it ends, `more` says no or `limit` frames are read.
// With `refs`, the pages' objects too.
template <class More>
void readFrames(PDFFile& file, PDFFile::PageWalk& walk, PreviewDocument::Frames& frames,
                std::size_t limit, More more, std::vector<PDFRef>* refs = nullptr) {
    while (frames.size() < limit && more()) {
        std::optional<PDFRef> page = walk.next();
        if (!page) return;
        frames.push_back(DisplaySpace::of(file, *page));
        if (refs) refs->push_back(*page);
    }
}

// The page count that the tree's root declares, if it declares one.
std::optional<std::int64_t> declaredCount(PDFFile& file) {
    const PDFDictionary* catalog = file.catalog();
    const PDFDictionary* root = catalog ? file.dictionary(catalog->get("Pages")) : nullptr;
    const PDFObject* count = root ? file.resolve(root->get("Count")) : nullptr;
    return count ? count->integer() : std::nullopt;
}

}  // namespace

bool PreviewDocument::readOpeningPages() {
    auto frames = std::make_shared<Frames>();
    PDFFile::PageWalk walk(*file_);
    // One page past the first ones tells a longer document from one read whole.
    const auto limit = static_cast<std::size_t>(openingPages) + 1;
    firstPages_.clear();
    readFrames(*file_, walk, *frames, limit, [] { return true; }, &firstPages_);
    const bool whole = frames->size() < limit;
    // Pages not reached yet are taken to be like the first page that has a frame.
    auto first = std::find_if(frames->begin(), frames->end(),
                              [](const std::optional<DisplaySpace>& f) { return f.has_value(); });
    if (first != frames->end()) unread_ = *first;
    const auto found = static_cast<std::int64_t>(frames->size());
    std::int64_t count = found;
    if (!whole) {
        // Each page is an object of its own: no more pages than the file holds objects, whatever
        // the tree declares.
        const auto objects = static_cast<std::int64_t>(file_->entries().size());
        if (std::optional<std::int64_t> declared = declaredCount(*file_))
            count = std::clamp(*declared, found, std::max(found, objects));
        count = std::min<std::int64_t>(count, INT_MAX);
    }
    count_ = static_cast<int>(count);
    spaces_ = std::move(frames);
    pagesRead_ = whole;
    return whole;
}

struct PreviewDocument::TreeGate {
    std::mutex mutex;
    std::condition_variable_any opened;
    bool open = false;
};

void PreviewDocument::readTreeNow() {
    if (!treeGate_) return;
    {
        std::lock_guard lock(treeGate_->mutex);
        treeGate_->open = true;
    }
    treeGate_->opened.notify_all();
}

void PreviewDocument::startReading(bool whole) {
    const std::string_view bytes = file_->bytes();
    if (!whole && !QCoreApplication::instance()) {
        // No event loop to hand the list back through.
        readTreeHere();
        whole = true;
    }
    std::weak_ptr<PreviewDocument> self = weak_from_this();
    treeGate_ = std::make_shared<TreeGate>();
    auto read = [self, bytes, judge = judge_, gate = treeGate_, opening = opening_,
                 whole](std::stop_token stop) {
        // The first page is judged now, while the window is made, rather than when its first
        // tile is to be drawn.
        (void)judge->weight(0);
        if (whole || stop.stop_requested()) return;
        {
            std::unique_lock lock(gate->mutex);
            gate->opened.wait_for(lock, stop, treeReadingDelay, [&] { return gate->open; });
        }
        if (stop.stop_requested()) return;
        auto frames = std::make_shared<Frames>();
        try {
            // An engine of its own over the same bytes: the document's file is the main thread's.
            // The bytes outlive this thread (the document joins it as it goes).
            PDFFile file(bytes, std::make_shared<char>(), opening);
            PDFFile::PageWalk walk(file);
            const auto deadline = std::chrono::steady_clock::now() + pagesReadingLimit;
            readFrames(file, walk, *frames, INT_MAX, [&] {
                return !stop.stop_requested() && std::chrono::steady_clock::now() < deadline;
            });
        } catch (const std::exception&) {
            // No memory left to read further: the pages found so far stand.
        }
        if (stop.stop_requested()) return;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [self, frames = std::shared_ptr<const Frames>(std::move(frames))]() mutable {
                if (std::shared_ptr<PreviewDocument> document = self.lock())
                    document->pagesArrived(std::move(frames));
            },
            Qt::QueuedConnection);
    };
    try {
        reader_ = std::jthread(std::move(read));
    } catch (const std::system_error&) {
        // No thread left: the first page is judged when it is drawn.
        if (!whole) readTreeHere();
    }
}

void PreviewDocument::readTreeHere() {
    auto frames = std::make_shared<Frames>();
    PDFFile::PageWalk walk(*file_);
    readFrames(*file_, walk, *frames, INT_MAX, [] { return true; });
    pagesArrived(std::move(frames));
}

void PreviewDocument::pagesArrived(std::shared_ptr<const Frames> frames) {
    if (pagesRead_) return;
    // A worker that ran out of memory or time before the pages read at opening leaves those.
    if (frames->size() >= spaces_->size()) spaces_ = std::move(frames);
    count_ = static_cast<int>(std::min<std::size_t>(spaces_->size(), INT_MAX));
    pagesRead_ = true;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting;
    waiting.swap(waiting_);
    for (auto& [context, done] : waiting)
        if (context && done) done();
}

void PreviewDocument::whenPagesRead(QObject* context, std::function<void()> done) {
    if (pagesRead_) return;
    std::erase_if(waiting_, [](const auto& w) { return !w.first; });
    waiting_.emplace_back(context, std::move(done));
}

std::string_view PreviewDocument::bytes() const {
    return file_->bytes();
}

std::optional<DisplaySpace> PreviewDocument::displaySpace(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return std::nullopt;
    const auto index = static_cast<std::size_t>(pageIndex);
    return index < spaces_->size() ? (*spaces_)[index] : unread_;
}
