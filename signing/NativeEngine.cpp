#include "signing/NativeEngine.h"

#include "platform/AtomicFile.h"
#include "platform/FileData.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"
#include "signing/SigningIdentity.h"

void NativeEngine::sign(const std::filesystem::path& input, const std::filesystem::path& output,
                        const Certificate& certificate,
                        const std::optional<VisibleSignature>& visible) const {
    // Mapped, not read: the signer copies it into the output piece by piece.
    const std::shared_ptr<const FileData::Mapping> data = FileData::map(input);
    SigningIdentity identity(certificate.sha1, keychain, prompt);
    PDFSigner signer(std::move(identity), certificate.name);

    PDFSigner::Placement placement = PDFSigner::Placement::invisible();
    std::optional<PDFSigner::Placement> second;
    if (visible) {
        signer.date = visible->stamp.date;
        signer.appearance = [stamp = visible->stamp](Size size) {
            return SignatureAppearances::card(stamp, size);
        };
        const SignaturePlacement& chosen = visible->placement;
        if (const auto* area = chosen.target.asArea()) {
            placement = PDFSigner::Placement::area(area->page - 1, area->rect);
        } else {
            placement = PDFSigner::Placement::field(chosen.target.asField()->name);
            second = PDFSigner::Placement::area(chosen.pageIndex, chosen.rect);
        }
    }

    // The signer writes the output atomically, and only once the signature is complete.
    try {
        signer.signFile(data, output, placement);
    } catch (const PDFSigner::Failure& failure) {
        if (failure.kind() != PDFSigner::Failure::Kind::fieldNotFound || !second) throw;
        signer.signFile(data, output, *second);
    }
}
