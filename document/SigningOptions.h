#pragma once
// What the signing window hands to the signing run when the user confirms: which certificate
// signs, whether and where a card is drawn, the form values and text boxes to write, the facts to
// remember, the extra copies of the signature, the handwritten image and whether the documents are
// signed at all. Built once, by SigningPanel::sign; a cancelled window hands over nothing.

#include <optional>
#include <vector>

#include "forms/fill/FormFill.h"
#include "profile/SavedFact.h"
#include "signing/Certificate.h"
#include "signing/Handwriting.h"
#include "signing/SignatureCopy.h"
#include "signing/SignaturePlacement.h"

struct SigningOptions {
    // The certificate selected in the window, in every mode (also when nothing is signed).
    Certificate certificate;
    // Draw a visible card with the electronic signature.
    bool visible = false;
    // Card options: the holder's identity number in full; the branding line.
    bool showFullID = false;
    bool showBranding = true;
    // Where the card goes in the single document; nothing lets the run find a place in each file
    // (or draw no card when `visible` is false).
    std::optional<SignaturePlacement> placement;
    // Values to write before signing: the form values, then the user's text boxes.
    std::vector<FormFill> fills;
    // Facts typed with the remember option, saved into the profile after a success.
    std::vector<SavedFact> remember;
    // Extra visual copies of the signature (0-based pages, page space).
    std::vector<SignatureCopy> copies;
    // The stored handwritten image, drawn at the copies marked handwritten.
    std::optional<Handwriting> handwriting;
    // True: write a filled copy without any electronic signature.
    bool unsignedCopy = false;
};
