#pragma once
// Extra copies of the signature written into a PDF as stamp annotations (/Subtype /Stamp) whose
// appearance is the card or the handwritten signature. All copies of one document go into one
// incremental update, added before the document is signed so the signature covers them.

#include <optional>
#include <string>
#include <vector>

#include "signing/Handwriting.h"
#include "signing/SignatureCopy.h"
#include "signing/SignatureStamp.h"

namespace SignatureCopies {

// The PDF with the copies added. A handwritten copy needs `handwriting`, every other copy needs
// `stamp`; copies that cannot be drawn are left out, and when none is left the input comes back
// unchanged without being parsed. Throws PDFSigner::Failure::restricted when the document's
// permissions forbid changes, PDFSigner::Failure::pageNotFound for a page index the document does
// not have, PDFError when a page's annotation list cannot be read (rather than replacing it),
// and the opening and writing errors of the PDF engine.
std::string add(const std::vector<SignatureCopy>& copies,
                const std::optional<SignatureStamp>& stamp,
                const std::optional<Handwriting>& handwriting, std::string pdf);

}  // namespace SignatureCopies
