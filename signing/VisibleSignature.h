#pragma once
// A chosen place for the visible signature together with the card drawn there. A signing request
// without one asks for an invisible signature.

#include "signing/SignaturePlacement.h"
#include "signing/SignatureStamp.h"

struct VisibleSignature {
    SignaturePlacement placement;  // its target, 0-based pageIndex and page-space rect
    SignatureStamp stamp;
};
