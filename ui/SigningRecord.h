#pragma once
// How one document was signed, kept with its recent-signature entry so that the signing window
// can be set up the same way when the user signs the source document again: the certificate, the
// card options, where the visible signature went, the values written into the document and the
// extra copies of the signature. Plain value; its JSON coding lives with the recents list
// (app/RecentSignatures.h).

#include <optional>
#include <string>
#include <vector>

#include "forms/fill/FormFill.h"
#include "pages/Geometry.h"
#include "signing/SignatureCopy.h"

struct SigningRecord {
    std::string certificate;  // the certificate's SHA-1, 40 upper-case hexadecimal digits
    bool visible = false;     // the signature had a visible card
    bool showFullID = false;  // card option: the full identity number
    bool showBranding = true; // card option: the branding line
    // Where the visible signature was placed (0-based page, page space); both absent when the
    // document got no visible signature.
    std::optional<int> pageIndex;
    std::optional<Rect> rect;
    std::vector<FormFill> fills;  // the form values and text boxes written
    // The extra copies placed in this document; absent when there were none.
    std::optional<std::vector<SignatureCopy>> copies;

    friend bool operator==(const SigningRecord&, const SigningRecord&) = default;
};
