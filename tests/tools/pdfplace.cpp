// pdfplace FILE [--name "NOMBRE"] [--org "EMPRESA"]
// Prints the signature placements proposed for a PDF, one JSON object per line (label, 0-based
// pageIndex, rect in page space, kind "field" or "area", isSignatureBox, rank, context), then
// {"best": INDEX}: the default choice for a certificate of that name and organisation (for no
// certificate when neither is given; null for an empty list).

#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "pdf/PDFFile.h"
#include "signing/SignatureLocator.h"

int main(int argc, char** argv) {
    std::optional<std::string> path, name, org;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--name" || arg == "--org") && i + 1 < argc)
            (arg == "--name" ? name : org) = std::string(argv[++i]);
        else if (!path && arg.rfind("--", 0) != 0)
            path = arg;
        else {
            std::cerr << "uso: pdfplace FICHERO [--name NOMBRE] [--org EMPRESA]\n";
            return 2;
        }
    }
    if (!path) {
        std::cerr << "uso: pdfplace FICHERO [--name NOMBRE] [--org EMPRESA]\n";
        return 2;
    }
    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        std::cerr << "No se puede leer " << *path << "\n";
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        PDFFile file(std::move(bytes));
        std::vector<SignaturePlacement> list = SignatureLocator::placements(file);
        for (const SignaturePlacement& p : list) {
            nlohmann::json line = {
                {"label", p.label},
                {"pageIndex", p.pageIndex},
                {"rect", {p.rect.x, p.rect.y, p.rect.width, p.rect.height}},
                {"kind", p.target.isField() ? "field" : "area"},
                {"isSignatureBox", p.isSignatureBox},
                {"rank", p.rank},
                {"context", p.context},
            };
            if (const auto* field = p.target.asField()) line["field"] = field->name;
            if (const auto* area = p.target.asArea()) line["page"] = area->page;
            std::cout << line.dump() << "\n";
        }
        std::optional<Certificate> certificate;
        if (name || org) {
            certificate = Certificate{};
            certificate->name = name.value_or("");
            certificate->organization = org;
        }
        std::optional<std::size_t> best =
            SignatureLocator::bestIndex(list, certificate ? &*certificate : nullptr);
        nlohmann::json last = {{"best", best ? nlohmann::json(*best) : nlohmann::json(nullptr)}};
        std::cout << last.dump() << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
