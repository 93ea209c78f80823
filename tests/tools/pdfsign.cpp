// Test-only driver of the PDF signer:
//   pdfsign --nssdb DIR --cert SHA1 [--password PW] [--page N --rect X,Y,W,H | --field NAME] IN OUT
// Signs IN into OUT with the identity of that SHA-1 from the NSS database DIR. The page is
// 1-based, the rectangle in page space (points); without a placement the signature is invisible.
// A visible signature draws the signature card of the certificate, with the identity number
// masked and the branding line. Exit 0, or the Spanish sentence on standard error and exit 1.

#include "signing/Certificate.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"
#include "signing/SignatureStamp.h"
#include "signing/SigningIdentity.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

int usage() {
    std::cerr << "uso: pdfsign --nssdb DIR --cert SHA1 [--password PW] "
                 "[--page N --rect X,Y,W,H | --field NAME] IN OUT\n";
    return 2;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("No se puede leer " + path + ".");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::string nssdb, sha1, field, rectText;
    std::optional<std::string> password;
    int page = 0;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(arg);
            return argv[++i];
        };
        try {
            if (arg == "--nssdb") nssdb = value();
            else if (arg == "--cert") sha1 = value();
            else if (arg == "--password") password = value();
            else if (arg == "--page") page = std::stoi(value());
            else if (arg == "--rect") rectText = value();
            else if (arg == "--field") field = value();
            else files.push_back(arg);
        } catch (const std::exception&) {
            return usage();
        }
    }
    if (nssdb.empty() || sha1.empty() || files.size() != 2) return usage();
    try {
        PDFSigner::Placement placement = PDFSigner::Placement::invisible();
        if (!field.empty()) {
            placement = PDFSigner::Placement::field(field);
        } else if (page > 0 || !rectText.empty()) {
            Rect rect;
            if (std::sscanf(rectText.c_str(), "%lf,%lf,%lf,%lf", &rect.x, &rect.y, &rect.width,
                            &rect.height) != 4 || page < 1)
                return usage();
            placement = PDFSigner::Placement::area(page - 1, rect);
        }
        SigningIdentity identity(sha1, std::filesystem::path(nssdb),
                                 [password](const std::string&, bool) { return password; });
        auto certificate =
            Certificate::fromDER(std::string(identity.certificate.der.begin(),
                                             identity.certificate.der.end()),
                                 std::chrono::system_clock::now());
        if (!certificate) {
            certificate = Certificate{};
            certificate->name = certificate->holder = "Firmante";
        }
        const SignatureStamp stamp{*certificate, std::chrono::system_clock::now(), false, true};
        PDFSigner signer(std::move(identity), certificate->name, stamp.date,
                         [stamp](Size box) { return SignatureAppearances::card(stamp, box); });
        std::string output = signer.sign(readAll(files[0]), placement);
        std::ofstream out(files[1], std::ios::binary | std::ios::trunc);
        out.write(output.data(), static_cast<std::streamsize>(output.size()));
        if (!out.flush()) throw std::runtime_error("No se puede escribir " + files[1] + ".");
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
