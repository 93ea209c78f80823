#include "signing/SignatureAppearances.h"

namespace SignatureAppearances {

std::optional<PDFSigner::Appearance> card(const SignatureStamp& stamp, Size size) {
    if (auto pdf = stamp.pdfData(size)) return PDFSigner::Appearance::pdf(std::move(*pdf));
    if (auto image = stamp.image(size)) return PDFSigner::Appearance::image(std::move(*image));
    return std::nullopt;
}

std::optional<PDFSigner::Appearance> handwriting(const Handwriting& handwriting, Size size) {
    if (auto pdf = handwriting.pdfData(size)) return PDFSigner::Appearance::pdf(std::move(*pdf));
    return std::nullopt;
}

}  // namespace SignatureAppearances
