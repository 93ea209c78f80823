// flatformpdf PAGES OUT: writes a printed flat form of that many pages (grey bands under its
// labels, a logo of curves, rounded boxes, fill lines, a tick column; tests/support/
// FormFixtures.h), signed at the foot of its last page («Fdo.: El solicitante»), for the desktop
// sessions.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string_view>

#include "support/FormFixtures.h"
#include "support/TestUtil.h"

int main(int argc, char** argv) {
    int pages = 0;
    const std::string_view count = argc == 3 ? argv[1] : "";
    if (argc != 3 || std::from_chars(count.data(), count.data() + count.size(), pages).ec != std::errc() ||
        pages <= 0 || pages > 5000) {
        std::fprintf(stderr, "uso: flatformpdf PÁGINAS SALIDA\n");
        return 2;
    }
    try {
        formfixtures::FormSpec spec = formfixtures::printedFlatForm(pages);
        // Signed at the foot of its last page, as such forms are.
        spec.pages.back().texts.push_back({300, 80, "Fdo.: El solicitante", 10});
        testutil::writeFile(argv[2], formfixtures::formPDF(spec));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
