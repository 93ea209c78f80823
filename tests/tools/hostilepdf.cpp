// hostilepdf SHAPE OUT: writes the two-page PDF of a hostile page shape (tests/support/
// HostilePages.h) for the desktop sessions. Shapes: repeatedImage, nestedForms, progressiveJpeg,
// jpeg2000, jbig2, type3Image, backwardGlyphs, pathFlood, inlineInForm.
#include <cstdio>
#include <exception>
#include <string>

#include "support/HostilePages.h"
#include "support/TestUtil.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: hostilepdf FORMA SALIDA\n");
        return 2;
    }
    for (hostilepages::Shape shape : hostilepages::allShapes()) {
        if (hostilepages::nameOf(shape) != argv[1]) continue;
        try {
            testutil::writeFile(argv[2], hostilepages::pdf(shape));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "forma desconocida: %s\n", argv[1]);
    return 2;
}
