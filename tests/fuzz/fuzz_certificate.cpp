// Certificate reading over arbitrary bytes: the DER reader, the CMS signer's certificate reader and
// the signing-certificate fields. Every input either reads or fails with DER::Error; never a crash.

#include "signing/Certificate.h"
#include "signing/DER.h"
#include "signing/X509Certificate.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DER::Bytes bytes(data, data + size);
    try {
        X509Certificate certificate(bytes);
        (void)certificate.policies;
    } catch (const DER::Error&) {
    }
    try {
        auto node = DER::parse(bytes);
        for (const auto& child : node.children()) (void)child.children().size();
    } catch (const DER::Error&) {
    }
    auto certificate = Certificate::fromDER(std::string(bytes.begin(), bytes.end()),
                                            std::chrono::system_clock::time_point{});
    if (certificate && certificate->sha1.size() != 40) __builtin_trap();
    return 0;
}
