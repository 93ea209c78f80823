#pragma once
// The pictures that the signer and the signature copies draw into a widget or stamp box: the card
// as a one-page PDF (or, failing that, a bitmap), and the handwritten signature as a one-page PDF.

#include <optional>

#include "pages/Geometry.h"
#include "signing/Handwriting.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureStamp.h"

namespace SignatureAppearances {

// The card for a box of `size` points: its one-page PDF, else its bitmap, else nothing.
std::optional<PDFSigner::Appearance> card(const SignatureStamp& stamp, Size size);

// The handwritten signature for a box of `size` points as a one-page PDF; nothing for a size it
// cannot draw.
std::optional<PDFSigner::Appearance> handwriting(const Handwriting& handwriting, Size size);

}  // namespace SignatureAppearances
