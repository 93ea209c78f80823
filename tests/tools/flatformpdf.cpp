// flatformpdf PAGES OUT [DESIGN]: writes a flat form of that many pages for the desktop sessions
// and the benchmarks (tests/support/FormFixtures.h), signed at the foot of its last page («Fdo.: El
// solicitante»). DESIGN «impreso» (the default): grey bands under its labels, a logo of curves,
// boxes with corners of 2 pt, fill lines, a tick column; «redondeado»: the same with corners of
// 4 pt and more and rounded tick boxes; «tablas»: ruled two-column tables with grey header rows
// and section bars, a row of 24 boxes, a ruled tick column, on a crop box offset inside its media
// box.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

#include "support/FormFixtures.h"
#include "support/TestUtil.h"

int main(int argc, char** argv) {
    int pages = 0;
    const std::string_view count = argc >= 3 ? argv[1] : "";
    const std::optional<formfixtures::FlatDesign> design =
        formfixtures::flatDesign(argc == 4 ? argv[3] : "impreso");
    if (argc < 3 || argc > 4 || !design || std::from_chars(count.data(), count.data() + count.size(), pages).ec != std::errc() ||
        pages <= 0 || pages > 5000) {
        std::fprintf(stderr, "uso: flatformpdf PÁGINAS SALIDA [impreso|redondeado|tablas]\n");
        return 2;
    }
    try {
        formfixtures::FormSpec spec = formfixtures::flatForm(*design, pages);
        // Signed at the foot of its last page, as such forms are.
        spec.pages.back().texts.push_back({300, 80, "Fdo.: El solicitante", 10});
        testutil::writeFile(argv[2], formfixtures::formPDF(spec));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
