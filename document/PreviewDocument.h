#pragma once
// A PDF opened for the document window: the parsed file (our engine: page tree, crop boxes,
// rotations, annotations, form fields), the page process over the same bytes (page text and
// drawings for the placement search, the form reader and the preview, each reader with a clone of
// its own), the page count and each page's display frame.
//
// The file and the page source are used on the main thread only; the bytes stay where they are
// while the document lives, so a page renderer on another thread may read them. A file opened by
// path is mapped, not read: a file changed on disk meanwhile reads as a damaged one (a page that
// vanished reads as zeros), never as a fault.
//
// Opening reads the page tree only as far as its first pages (openingPages). A longer document's
// tree is read to its end by a worker thread with a PDF engine of its own, and the page list comes
// back to the main thread; until then the page count is the tree's own /Count (never fewer than
// the pages found, never more than the file's objects) and a page not reached yet takes the first
// page's frame. That reading waits until the window's first page is drawn (readTreeNow), or
// treeReadingDelay at most, so as not to compete with drawing it:
//
//   auto document = PreviewDocument::open(path);
//   document->whenPagesRead(widget, [] { ...pageCount() and displaySpace() are final... });

#include <QObject>
#include <QPointer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "pages/PageProcess.h"
#include "pages/DisplaySpace.h"
#include "pdf/PDFFile.h"

class PageJudge;

namespace FileData {
class Mapping;
}

class PreviewDocument : public std::enable_shared_from_this<PreviewDocument> {
public:
    using Frames = std::vector<std::optional<DisplaySpace>>;
    // Pages whose frames are read as the document opens, on the caller's thread: a document of
    // no more pages is whole from the start.
    static constexpr int openingPages = 64;
    // How long the worker may take to read the rest of the page tree (each step is one object,
    // bounded by the engine's limits); past it, the pages found by then are the document's.
    static constexpr std::chrono::seconds pagesReadingLimit{30};
    // How long the worker waits for readTreeNow before it reads the rest of the tree anyway.
    static constexpr std::chrono::milliseconds treeReadingDelay{300};

    // Nothing when the path is no regular file, cannot be read, is larger than the page renderer
    // takes, has no PDF header in its first bytes, is not a PDF our engine opens (damaged beyond
    // repair, protected by a password).
    static std::shared_ptr<PreviewDocument> open(const std::filesystem::path& path);
    // The same from the file's bytes (no path).
    static std::shared_ptr<PreviewDocument> fromData(std::string bytes);

    ~PreviewDocument();
    PreviewDocument(const PreviewDocument&) = delete;
    PreviewDocument& operator=(const PreviewDocument&) = delete;

    const std::filesystem::path& path() const { return path_; }
    PDFFile& file() { return *file_; }
    // The document's page process (main thread); other threads read through clones of it. The
    // copy of the bytes it reads is made on a worker as the document opens: the first call waits
    // for it.
    PageProcess& pages() { return preparedPages(); }
    const PageProcess& pages() const { return preparedPages(); }
    // The file's bytes, unchanged for the document's life.
    std::string_view bytes() const;
    // Which pages are too heavy to draw, judged once for every reader of the document (any
    // thread); it reads the document's bytes: whoever holds it holds the document too.
    const std::shared_ptr<const PageJudge>& judge() const { return judge_; }
    // What the document's engine read as it opened: another engine over bytes() opens from it
    // on any thread (PDFFile's constructor with an opening).
    const std::shared_ptr<const PDFFile::Opening>& opening() const { return opening_; }

    // The page objects' count, in the order of PDFFile::pageRefs(); until pagesRead(), what the
    // tree declares, kept between the pages found and the file's object count.
    int pageCount() const { return count_; }
    // The page's display frame (crop box moved to the origin, /Rotate applied); nothing for an
    // index out of range or a page that is not a dictionary. A page not read yet has the first
    // page's frame.
    std::optional<DisplaySpace> displaySpace(int pageIndex) const;
    // The frames of the pages read so far, by index (all of them once pagesRead()).
    const std::shared_ptr<const Frames>& displaySpaces() const { return spaces_; }
    // The frame taken for a page not read yet.
    const std::optional<DisplaySpace>& unreadSpace() const { return unread_; }
    // The whole page tree is read: the count and the frames are final.
    bool pagesRead() const { return pagesRead_; }
    // Runs `done` on the main thread once the page list is final, unless `context` is gone by
    // then; nothing when it is final already. Main thread.
    void whenPagesRead(QObject* context, std::function<void()> done);
    // Lets the worker read the rest of the page tree now: the window's first page is drawn. Main
    // thread.
    void readTreeNow();

private:
    PreviewDocument() = default;
    // `data`, when given, holds the bytes `parse` reads.
    static std::shared_ptr<PreviewDocument> load(
        const std::function<std::unique_ptr<PDFFile>()>& parse, std::filesystem::path path,
        std::shared_ptr<const FileData::Mapping> data = nullptr);
    // Reads the first pages; true when the tree ended among them.
    bool readOpeningPages();
    // Starts the worker that judges the first page and, unless the tree is `whole` already,
    // reads the tree to its end; the list comes back through pagesArrived.
    void startReading(bool whole);
    // Reads the whole tree on this thread, when no worker can.
    void readTreeHere();
    // The page process, once the copy of the bytes is made.
    PageProcess& preparedPages() const;
    void pagesArrived(std::shared_ptr<const Frames> frames);

    std::filesystem::path path_;
    std::unique_ptr<PDFFile> file_;
    mutable std::future<std::unique_ptr<PageProcess>> preparing_;
    mutable std::once_flag prepared_;
    mutable std::unique_ptr<PageProcess> pages_;
    std::shared_ptr<const PageJudge> judge_;
    std::shared_ptr<const PDFFile::Opening> opening_;
    std::vector<PDFRef> firstPages_;  // the pages read at opening
    std::shared_ptr<const Frames> spaces_ = std::make_shared<const Frames>();
    std::optional<DisplaySpace> unread_;
    int count_ = 0;
    bool pagesRead_ = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting_;
    // What the worker waits on before it reads the rest of the tree.
    struct TreeGate;
    std::shared_ptr<TreeGate> treeGate_;
    // Joined as the document goes: the worker reads the bytes this document holds (and the
    // judge's, the same).
    std::jthread reader_;
};
