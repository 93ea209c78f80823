#pragma once
// The pages of a document read by a process of their own. Poppler never runs in the application:
// each PageProcess starts the page process (tindra-pages) over a copy of the document's bytes and
// asks it for one page's text, words or drawing at a time, with a deadline for each request
// (PageLimits). The process starts with no environment and no descriptor but its socket, and
// enters its sandbox before it takes the document (pages/server/PageSandbox.h): hard limits on
// memory and processor time, a list of the system calls it may make, and files it may read only
// where fonts and their configuration are.
//
//   std::unique_ptr<PageProcess> pages = PageProcess::open(file.bytes());
//   if (pages) pages->text(0);   // through the process; nothing when the page was given up
//
// A process reads one document only, and ends when its reader lets it go: what one file did to
// it never reaches the next. Every answer is checked against what was asked before memory is
// taken for it (a length within the request's bound, bytes kept as they arrive). A request not
// answered within its deadline, counted from when its reader asked for it, a process that ends (a
// crash, its memory limit, a kill) or an answer that is not what was asked ends the process; the
// page is then too heavy for that use (its text, its ink or its preview) for every reader of the
// document, the log says which page and why, and the next request starts a fresh process. Each
// clone is a process of its own over the same copy of the bytes, so readers on several threads
// never wait for each other.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "pages/PageProtocol.h"
#include "pages/PageText.h"

class PageProcess final : public PageSource {
public:
    // Starts a page process over a copy of `bytes`. Nothing when the process finds that the
    // document cannot be opened (not a PDF Poppler reads, or one that needs a password). A
    // process that cannot be started or does not open the document in time gives a source whose
    // every page is given up (the log says why).
    // `update`, when given, is put after the bytes in the copy (PageCopy::update's).
    static std::unique_ptr<PageProcess> open(std::string_view bytes, std::string_view update = {});
    // Writes the document's bytes into the memory file `fd` from its start; false when it
    // cannot (errno says why).
    using Fill = std::function<bool(int fd)>;
    // The bytes to put after the document's (PageCopy::update's), asked for once those are
    // written: it may wait for the document to be parsed.
    using Update = std::function<std::string()>;
    // The same without waiting for a process: the copy of the bytes (written by `fill` when
    // given, else from `bytes`, then `update`'s bytes) is handed to a process started ahead,
    // which opens it while whoever prepared the document goes on; the source another(true) makes
    // takes that process and its hello at its first request. Every other source starts a process
    // at its first request (or the page count). Nothing only for bytes a page process cannot take
    // (none, or more than 2 GB).
    static std::unique_ptr<PageProcess> prepare(std::string_view bytes, const Fill& fill = {},
                                                const Update& update = {});

    ~PageProcess() override;
    PageProcess(const PageProcess&) = delete;
    PageProcess& operator=(const PageProcess&) = delete;

    int pageCount() const override;
    std::optional<PageText> text(int pageIndex) const override;
    std::optional<std::u16string> words(int pageIndex) const override;
    std::optional<GreyImage> render(int pageIndex, double scale,
                                    std::int64_t maxPixels) const override;
    // A slice of the grey page, drawn alone by the process (PopplerPages::greySlice) with the
    // deadline of a grey page; it needs no bound of the page.
    std::optional<GreyImage> renderRegion(int pageIndex, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override;
    // A slice of the page in colour for the preview (PopplerPages::tile in the process).
    std::optional<PageProtocol::ColourImage> tile(int pageIndex, double scale, int x, int y,
                                                  int width, int height) const;
    // Another process over the same copy of the bytes; it shares what pages were given up, and
    // this source's cutoff.
    std::unique_ptr<PageSource> clone() const override;
    // With `handedOver`, the process the document was handed to as it was prepared, if no other
    // source took it: the reader whose first page is awaited (the preview's) finds it open.
    std::unique_ptr<PageProcess> another(bool handedOver = false) const;
    void setCutoff(std::function<bool()> cut) override;
    // Makes a request being waited for look at its cutoff now rather than at its next check
    // (a few milliseconds on). Any thread may call it.
    void wake() const;

    // Whether the page was given up for that use by any reader of the document.
    bool gaveUp(int pageIndex, PageProtocol::Kind kind) const;
    // The running process's id, or 0 (for tests that end it from outside).
    pid_t pid() const;

    // Starts page processes ahead, in the background, so that no document opened waits for one
    // (the application calls it as it starts).
    static void startAhead();
    // Ends and reaps every page process of the application, started ahead or reading, and starts
    // none after: called as the application ends, so that none outlives it whatever it did to
    // itself. Returns once all are reaped, or after a second for one the kernel holds.
    static void endAll();

    // The page process's program: beside the running executable when installed, else the one
    // this build made.
    static std::filesystem::path program();
    // For tests: the program every process started from now on runs (an empty path: the real one
    // again). Processes started ahead with another program are ended.
    static void useProgram(std::filesystem::path program);

private:
    struct Document;
    struct Answer;
    explicit PageProcess(std::shared_ptr<Document> document);

    // Gives the document to a process of the spawner's, kept for the first reader to start.
    void handOver() const;
    bool start() const;
    // Ends the process at once, not blaming any page; it is reaped in the background.
    void end() const;
    // The answer to `request`. An image's pixels go through `pixels` (see Landing in the source),
    // and the answer's payload is then its head.
    struct Pixels;
    Answer ask(const PageProtocol::Request& request, Pixels* pixels = nullptr) const;
    // An image answer (a grey page or a tile) of at most `maxPixels` and maxWidth x maxHeight,
    // its pixels read straight into the image returned.
    template <typename Image>
    std::optional<Image> askImage(const PageProtocol::Request& request, std::size_t bytesPerPixel,
                                  std::int64_t maxPixels, int maxWidth, int maxHeight) const;
    // With mutex_ held: sends `request`; false when the process does not take it.
    bool send(const PageProtocol::Request& request) const;
    // With mutex_ held: the answer to `request`, sent already, by `until`. A process that does
    // not answer in time, ends or answers what was not asked is ended and the page given up; a
    // reader that stops ends the process without blaming the page.
    Answer await(const PageProtocol::Request& request, std::chrono::steady_clock::time_point until,
                 Pixels* pixels, bool sent) const;
    // With mutex_ held: takes in the answer to the words or text asked for ahead, if any,
    // before anything else is asked.
    void settleAhead() const;
    // The answer to a request for a page's words or text, taken from what was asked for ahead
    // when it is that; then, when the page follows the one asked for before (`last`, of that
    // kind), the next one in that direction is asked for ahead.
    Answer askInOrder(const PageProtocol::Request& request, int& last) const;
    void giveUp(int pageIndex, PageProtocol::Kind kind, const std::string& reason) const;
    // An answer that did not parse: the process goes and the page is given up.
    void broken(const PageProtocol::Request& request) const;

    std::shared_ptr<Document> document_;
    bool handedOver_ = false;  // takes the process handed the document, when it starts
    std::function<bool()> cut_;
    mutable std::mutex mutex_;
    mutable pid_t pid_ = 0;
    mutable int socket_ = -1;
    int wake_ = -1;  // an event counter that wake() raises and a wait watches
    // Readers read the words or the text of pages in a row, one after another: once two pages
    // in a row have been asked for, the next page's are asked for ahead, while the reader looks
    // at these. Its deadline counts from when the reader takes it up, not from when it was sent.
    struct Ahead {
        int page;
        PageProtocol::Kind kind;
    };
    mutable std::optional<Ahead> ahead_;
    struct Early {  // an answer taken in early
        Ahead asked;
        std::string payload;
    };
    mutable std::optional<Early> early_;
    mutable int lastWords_ = -1;
    mutable int lastText_ = -1;
};
