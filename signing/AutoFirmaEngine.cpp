#include "signing/AutoFirmaEngine.h"

#include "pdf/PDFFile.h"
#include "platform/FileData.h"
#include "signing/PDFSigner.h"

namespace {

// The 1-based page AutoFirma would be sent, when its position is given by page.
std::optional<int> pageSent(const SignaturePlacement& placement) {
    if (const auto* area = placement.target.asArea()) return area->page;
    auto lines = AutoFirma::configLines(placement);
    if (lines.size() > 1) return placement.pageIndex + 1;
    return std::nullopt;
}

// The number of pages, or nothing when our reader cannot open the file (AutoFirma may still).
std::optional<std::size_t> pageCount(const std::filesystem::path& path) {
    try {
        PDFFile file(FileData::read(path));
        return file.pageRefs().size();
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

void AutoFirmaEngine::sign(const std::filesystem::path& input, const std::filesystem::path& output,
                           const Certificate& certificate,
                           const std::optional<VisibleSignature>& visible) const {
    if (visible) {
        if (auto page = pageSent(visible->placement)) {
            auto count = pageCount(input);
            if (count && (*page < 1 || static_cast<std::size_t>(*page) > *count)) {
                throw PDFSigner::Failure::pageNotFound();
            }
        }
    }
    AutoFirma::sign(input, output, certificate, visible, installation, *runner_);
}
