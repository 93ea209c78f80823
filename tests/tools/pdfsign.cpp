// Test-only driver of the PDF signer:
//   pdfsign --nssdb DIR --cert SHA1 [--password PW] [--page N --rect X,Y,W,H | --field NAME]
//           [--engine nativo|autofirma|pair] [--copy PAGE,X,Y,W,H]... IN OUT
// Signs IN into OUT with the identity of that SHA-1 from the NSS database DIR. The page is
// 1-based, the rectangle in page space (points); without a placement the signature is invisible.
// A visible signature draws the signature card of the certificate, with the identity number
// masked and the branding line. Exit 0, or the Spanish sentence on standard error and exit 1.
//
// With --engine or --copy the file goes the signing run's way: the card copies (PAGE 1-based) are
// added to a prepared input in the temporary folder, and the engine that SigningEngines chooses
// for that preference ("pair": no preference) signs it, logging as the run does. A field given
// with --page and --rect is signed there as an area when the field no longer exists. AutoFirma is
// found as the application finds it (TINDRA_AUTOFIRMA_JAR and TINDRA_AUTOFIRMA_JAVA may name it).

#include "platform/AtomicFile.h"
#include "platform/FileData.h"
#include "platform/Log.h"
#include "signing/Certificate.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"
#include "signing/SignatureCopies.h"
#include "signing/SignatureStamp.h"
#include "signing/SigningEngines.h"
#include "signing/SigningIdentity.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

int usage() {
    std::cerr << "uso: pdfsign --nssdb DIR --cert SHA1 [--password PW] "
                 "[--page N --rect X,Y,W,H | --field NAME] [--engine nativo|autofirma|pair] "
                 "[--copy PAGE,X,Y,W,H]... IN OUT\n";
    return 2;
}

// The whole file, read once into one buffer.
std::string readAll(const std::string& path) { return FileData::read(path); }

// Signs as the signing run does: copies into a prepared input, then the chosen engine.
void signThroughEngines(const std::string& engineName, const std::vector<SignatureCopy>& copies,
                        const std::optional<VisibleSignature>& visible, const SignatureStamp& stamp,
                        const NativeEngine& native, const std::string& in, const std::string& out) {
    std::optional<std::string> preference;
    if (engineName != "pair") preference = engineName;
    AnySigningEngine engine = SigningEngines::preferred(preference, AutoFirma::locate(), native);
    if (!engine) throw std::runtime_error("No se ha encontrado AutoFirma");
    Log::write("Motor de firma: " + engine->name());

    std::filesystem::path input = in;
    std::optional<std::filesystem::path> prepared;
    if (!copies.empty()) {
        prepared = std::filesystem::temp_directory_path() / ("tindra-" + AtomicFile::uuid() + ".pdf");
        AtomicFile::write(*prepared, SignatureCopies::add(copies, stamp, std::nullopt, readAll(in)));
        input = *prepared;
    }
    try {
        engine->sign(input, out, stamp.certificate, visible);
    } catch (...) {
        if (prepared) std::filesystem::remove(*prepared);
        throw;
    }
    if (prepared) std::filesystem::remove(*prepared);
}

}  // namespace

int main(int argc, char** argv) {
    std::string nssdb, sha1, field, rectText, engineName;
    std::vector<SignatureCopy> copies;
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
            else if (arg == "--engine") {
                engineName = value();
                if (engineName != "nativo" && engineName != "autofirma" && engineName != "pair")
                    return usage();
            } else if (arg == "--copy") {
                SignatureCopy copy;
                Rect& r = copy.rect;
                int copyPage = 0;
                char end = 0;
                if (std::sscanf(value().c_str(), "%d,%lf,%lf,%lf,%lf%c", &copyPage, &r.x, &r.y, &r.width,
                                &r.height, &end) != 5)
                    return usage();
                copy.pageIndex = copyPage - 1;
                copies.push_back(copy);
            }
            else files.push_back(arg);
        } catch (const std::exception&) {
            return usage();
        }
    }
    if (nssdb.empty() || sha1.empty() || files.size() != 2) return usage();
    try {
        PDFSigner::Placement placement = PDFSigner::Placement::invisible();
        Rect rect;
        if (!rectText.empty() &&
            std::sscanf(rectText.c_str(), "%lf,%lf,%lf,%lf", &rect.x, &rect.y, &rect.width, &rect.height) != 4)
            return usage();
        if (!field.empty()) {
            placement = PDFSigner::Placement::field(field);
        } else if (page > 0 || !rectText.empty()) {
            if (rectText.empty() || page < 1) return usage();
            placement = PDFSigner::Placement::area(page - 1, rect);
        }
        auto prompt = [password](const std::string&, bool) { return password; };
        SigningIdentity identity(sha1, std::filesystem::path(nssdb), prompt);
        auto certificate =
            Certificate::fromDER(std::string(identity.certificate.der.begin(),
                                             identity.certificate.der.end()),
                                 std::chrono::system_clock::now());
        if (!certificate) {
            certificate = Certificate{};
            certificate->name = certificate->holder = "Firmante";
            certificate->sha1 = sha1;
        }
        const SignatureStamp stamp{*certificate, std::chrono::system_clock::now(), false, true};

        if (!engineName.empty() || !copies.empty()) {
            std::optional<VisibleSignature> visible;
            if (!field.empty()) {
                visible = VisibleSignature{
                    SignaturePlacement{SignaturePlacement::Target::field(field), std::max(page, 1) - 1, rect,
                                       "Firma", field, true, true},
                    stamp};
            } else if (page > 0) {
                visible = VisibleSignature{
                    SignaturePlacement{SignaturePlacement::Target::area(page, rect), page - 1, rect,
                                       "Firma", "", false},
                    stamp};
            }
            signThroughEngines(engineName.empty() ? "nativo" : engineName, copies, visible, stamp,
                               NativeEngine(std::filesystem::path(nssdb), prompt), files[0], files[1]);
            return 0;
        }

        PDFSigner signer(std::move(identity), certificate->name, stamp.date,
                         [stamp](Size box) { return SignatureAppearances::card(stamp, box); });
        // File to file: the input is mapped and copied into the output, never held whole.
        signer.signFile(files[0], files[1], placement);
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
