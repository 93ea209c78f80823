#include "document/PreviewDocument.h"

#include <climits>
#include <exception>
#include <new>

#include "pdf/PDFFile.h"
#include "pdf/PDFFileLimits.h"
#include "platform/FileData.h"
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
    return load([&] { return std::make_unique<PDFFile>(data->bytes(), data); }, path);
}

std::shared_ptr<PreviewDocument> PreviewDocument::fromData(std::string bytes) {
    return load([&] { return std::make_unique<PDFFile>(std::move(bytes)); }, {});
}

std::shared_ptr<PreviewDocument> PreviewDocument::load(
    const std::function<std::unique_ptr<PDFFile>()>& parse, std::filesystem::path path) {
    std::shared_ptr<PreviewDocument> document(new PreviewDocument());
    document->path_ = std::move(path);
    try {
        document->file_ = parse();
        // The page processes read a copy of the file's bytes; none starts here: the readers of
        // the document start theirs on their own threads.
        document->pages_ = PageProcess::prepare(document->file_->bytes());
        if (!document->pages_) return nullptr;
        document->judge_ = std::make_shared<const PageJudge>(document->file_->bytes());
        std::vector<PDFRef> refs = document->file_->pageRefs();
        document->spaces_.reserve(refs.size());
        for (PDFRef ref : refs)
            document->spaces_.push_back(DisplaySpace::of(*document->file_, ref));
    } catch (const std::exception&) {
        // Not a PDF, damaged beyond repair, protected by a password, or too large to hold.
        return nullptr;
    }
    return document;
}

PreviewDocument::~PreviewDocument() = default;

std::string_view PreviewDocument::bytes() const {
    return file_->bytes();
}

std::optional<DisplaySpace> PreviewDocument::displaySpace(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return std::nullopt;
    return spaces_[static_cast<std::size_t>(pageIndex)];
}
