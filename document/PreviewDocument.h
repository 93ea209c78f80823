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

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/PageProcess.h"
#include "pages/DisplaySpace.h"

class PDFFile;
class PageJudge;

class PreviewDocument {
public:
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
    // The document's page process (main thread); other threads read through clones of it.
    PageProcess& pages() { return *pages_; }
    const PageProcess& pages() const { return *pages_; }
    // The file's bytes, unchanged for the document's life.
    std::string_view bytes() const;
    // Which pages are too heavy to draw, judged once for every reader of the document (any
    // thread); it reads the document's bytes: whoever holds it holds the document too.
    const std::shared_ptr<const PageJudge>& judge() const { return judge_; }

    // The page objects' count, in the order of PDFFile::pageRefs().
    int pageCount() const { return static_cast<int>(spaces_.size()); }
    // The page's display frame (crop box moved to the origin, /Rotate applied); nothing for an
    // index out of range or a page that is not a dictionary.
    std::optional<DisplaySpace> displaySpace(int pageIndex) const;
    const std::vector<std::optional<DisplaySpace>>& displaySpaces() const { return spaces_; }

private:
    PreviewDocument() = default;
    static std::shared_ptr<PreviewDocument> load(
        const std::function<std::unique_ptr<PDFFile>()>& parse, std::filesystem::path path);

    std::filesystem::path path_;
    std::unique_ptr<PDFFile> file_;
    std::unique_ptr<PageProcess> pages_;
    std::shared_ptr<const PageJudge> judge_;
    std::vector<std::optional<DisplaySpace>> spaces_;
};
