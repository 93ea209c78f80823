// The PDF signer over arbitrary files: opening, refusals, the field search (field placement named
// by the input's first bytes), widget, /Annots and AcroForm handling, and the embedded signature,
// with an in-memory software identity. Hostile input gives an exception, never a crash or a hang.

#include "signing/PDFSigner.h"
#include "tests/support/SoftwareIdentity.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

const PDFSigner& signer() {
    static auto store = std::make_shared<SoftwareIdentityStore>(true, "FUZZ");
    static const PDFSigner instance(SigningIdentity(store->sha1(), store), "Fuzz",
                                    std::chrono::system_clock::time_point{}, [](Size box) {
                                        RasterImage image;
                                        image.width = 2;
                                        image.height = 2;
                                        image.rgba.assign(16, 255);
                                        (void)box;
                                        return std::optional(PDFSigner::Appearance::image(image));
                                    });
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    std::string pdf(reinterpret_cast<const char*>(data) + 1, size - 1);
    PDFSigner::Placement placement = PDFSigner::Placement::invisible();
    if (mode % 3 == 1) placement = PDFSigner::Placement::area(mode % 4, {10, 10, 100, 40});
    if (mode % 3 == 2) placement = PDFSigner::Placement::field(mode & 0x80 ? "a.b" : "Signature1");
    try {
        std::string out = signer().sign(std::move(pdf), placement);
        if (out.size() < size - 1) __builtin_trap();
    } catch (const std::exception&) {
    }
    return 0;
}
