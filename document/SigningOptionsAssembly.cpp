#include "document/SigningOptionsAssembly.h"

#include <cmath>

namespace SigningOptionsAssembly {

const SignaturePlacement* field(const std::vector<SignaturePlacement>& placements,
                                const SignatureCopy& copy) {
    for (const SignaturePlacement& place : placements) {
        if (!place.target.isField() || place.pageIndex != copy.pageIndex) continue;
        if (std::abs(place.rect.midX() - copy.rect.midX()) < fieldCentreTolerance &&
            std::abs(place.rect.midY() - copy.rect.midY()) < fieldCentreTolerance)
            return &place;
    }
    return nullptr;
}

namespace {

// The card's placement and the remaining copies, certificate mode with one document.
void placeCard(const Input& input, SigningOptions& options) {
    const std::vector<SignatureCopy>& copies = input.copies;
    if (copies.empty()) return;
    std::size_t taken = 0;
    const SignaturePlacement* onField = nullptr;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if ((onField = field(input.placements, copies[i]))) {
            taken = i;
            break;
        }
    }
    if (onField) {
        options.placement = *onField;
    } else {
        const SignatureCopy& copy = copies[taken];
        options.placement = SignaturePlacement{
            SignaturePlacement::Target::area(copy.pageIndex + 1, copy.rect),
            copy.pageIndex, copy.rect, "", "", true, false, 1};
    }
    for (std::size_t i = 0; i < copies.size(); ++i)
        if (i != taken) options.copies.push_back(copies[i]);
}

}  // namespace

SigningOptions assemble(const Input& input) {
    SigningOptions options;
    options.certificate = input.certificate;
    options.fills = input.formFills;
    options.fills.insert(options.fills.end(), input.textFills.begin(), input.textFills.end());
    options.remember = input.remember;

    switch (input.mode) {
        case SigningMode::certificate:
            options.showFullID = input.showFullID;
            options.showBranding = input.showBranding;
            if (input.singleDocument) {
                placeCard(input, options);
                options.visible = options.placement.has_value();
            } else {
                options.visible = true;
            }
            break;
        case SigningMode::handwriting:
            options.showFullID = false;
            options.showBranding = false;
            for (SignatureCopy copy : input.copies) {
                copy.handwritten = true;
                options.copies.push_back(copy);
            }
            options.handwriting = input.handwriting;
            options.unsignedCopy = true;
            break;
        case SigningMode::none:
            options.showFullID = false;
            options.showBranding = false;
            options.handwriting = input.handwriting;
            options.unsignedCopy = true;
            break;
    }
    return options;
}

}  // namespace SigningOptionsAssembly
