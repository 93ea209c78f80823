#include "document/PreviewDocument.h"

#include <exception>
#include <new>

#include "pdf/PDFFile.h"
#include "platform/FileData.h"
#include "platform/PopplerPages.h"

std::shared_ptr<PreviewDocument> PreviewDocument::open(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    std::string bytes;
    try {
        bytes = FileData::read(path);
    } catch (const std::exception&) {
        return nullptr;
    }
    return load(std::move(bytes), path);
}

std::shared_ptr<PreviewDocument> PreviewDocument::fromData(std::string bytes) {
    return load(std::move(bytes), {});
}

std::shared_ptr<PreviewDocument> PreviewDocument::load(std::string bytes,
                                                       std::filesystem::path path) {
    std::shared_ptr<PreviewDocument> document(new PreviewDocument());
    document->path_ = std::move(path);
    try {
        document->file_ = std::make_unique<PDFFile>(std::move(bytes));
        // Poppler reads the file's own bytes, which stay put while the file lives.
        document->pages_ = PopplerPages::borrow(document->file_->bytes());
        if (!document->pages_) return nullptr;
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

PreviewDocument::~PreviewDocument() {
    // Poppler borrows the file's bytes: it goes first.
    pages_.reset();
}

const PageSource& PreviewDocument::pages() const {
    return *pages_;
}

std::string_view PreviewDocument::bytes() const {
    return file_->bytes();
}

std::optional<DisplaySpace> PreviewDocument::displaySpace(int pageIndex) const {
    if (pageIndex < 0 || pageIndex >= pageCount()) return std::nullopt;
    return spaces_[static_cast<std::size_t>(pageIndex)];
}
