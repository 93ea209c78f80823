// inkphoto IN OUT.png: takes a handwritten signature from a photo as the handwriting sheet does
// (upright by its EXIF orientation, then the ink extracted), writes the ink image as PNG and
// prints {"width": W, "height": H}, or {"rejected": true} when no signature stands out.
// Exit status 1 when IN cannot be read, 2 for bad arguments or an unwritable OUT.
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

#include "document/HandwritingPhoto.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: inkphoto ENTRADA SALIDA.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto photo = HandwritingPhoto::read(argv[1]);
    if (!photo) {
        std::fprintf(stderr, "inkphoto: no se puede leer la imagen %s\n", argv[1]);
        return 1;
    }
    const auto ink = HandwritingPhoto::ink(*photo);
    if (!ink) {
        std::printf("{\"rejected\": true}\n");
        return 0;
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[2]), "png");
    if (!writer.write(*ink)) {
        std::fprintf(stderr, "inkphoto: no se puede escribir %s\n", argv[2]);
        return 2;
    }
    std::printf("{\"width\": %d, \"height\": %d}\n", ink->width(), ink->height());
    return 0;
}
