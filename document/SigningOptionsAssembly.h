#pragma once
// How the signing window turns what the user set into the options handed to the signing run:
// per mode, with one document or several, and which copy becomes the card's placement. Pure: the
// window gathers its state into an Input and calls `assemble`.

#include <optional>
#include <vector>

#include "document/SigningOptions.h"

// The signing window's modes, in the order of its mode control's segments.
enum class SigningMode { certificate = 0, handwriting = 1, none = 2 };

namespace SigningOptionsAssembly {

// Less than this many points between centres, on each axis, puts a copy on a signature field.
inline constexpr double fieldCentreTolerance = 4;

struct Input {
    Certificate certificate;  // the selected one
    SigningMode mode = SigningMode::certificate;
    bool singleDocument = false;  // one file that opened as a PDF
    bool showFullID = false;
    bool showBranding = true;
    std::vector<SignaturePlacement> placements;  // the locator's candidates, in its order
    std::vector<SignatureCopy> copies;           // the window's copies, in order
    std::vector<FormFill> formFills;             // the form section's fills (empty without one)
    std::vector<FormFill> textFills;             // the text boxes' fills
    std::vector<SavedFact> remember;             // the form section's remembered facts
    std::optional<Handwriting> handwriting;      // the stored handwritten signature
};

// The first candidate, in the locator's order, that is a signature field on the copy's page whose
// centre lies less than 4 pt from the copy's centre horizontally and vertically; null when none.
const SignaturePlacement* field(const std::vector<SignaturePlacement>& placements,
                                const SignatureCopy& copy);

SigningOptions assemble(const Input& input);

}  // namespace SigningOptionsAssembly
