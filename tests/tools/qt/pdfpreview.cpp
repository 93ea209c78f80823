// Test-only driver of the page preview: renders a PDF offscreen once the visible page tiles are in
// and writes the view as PNG.
//
//   pdfpreview FILE [--page N] [--zoom Z] [--size WxH] OUT.png
//
// Prints {"pages": n, "visiblePages": [...], "scale": s, "frames": [[x, y, w, h], ...]} with the
// pages' frames in the preview's view space (points, y upwards from the bottom edge).
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "document/PagesPreview.h"

namespace {

// Rendering a visible page at the shown scale takes longer than this only when something is wrong.
constexpr int tileTimeoutMs = 60000;

int usage() {
    std::cerr << "Uso: pdfpreview FICHERO [--page N] [--zoom Z] [--size AnchoxAlto] SALIDA.png\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::optional<std::string> file, out;
    int page = 0;
    double zoom = 1;
    int width = 1000, height = 700;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument(arg);
                return argv[++i];
            };
            if (arg == "--page")
                page = std::stoi(value());
            else if (arg == "--zoom")
                zoom = std::stod(value());
            else if (arg == "--size") {
                std::string size = value();
                std::size_t x = size.find('x');
                if (x == std::string::npos) return usage();
                width = std::stoi(size.substr(0, x));
                height = std::stoi(size.substr(x + 1));
            } else if (!file)
                file = arg;
            else if (!out)
                out = arg;
            else
                return usage();
        }
    } catch (const std::exception&) {
        return usage();
    }
    if (!file || !out || width < 1 || height < 1 || width > 8192 || height > 8192) return usage();

    PagesPreview view;
    view.resize(width, height);
    if (!view.open(*file)) {
        std::cerr << "No se ha podido abrir «" << *file << "» como PDF.\n";
        return 1;
    }
    view.setCurrentPage(page);
    view.show();
    QApplication::processEvents();
    view.setZoom(zoom);

    view.repaint();
    QElapsedTimer timer;
    timer.start();
    while (view.tilesPending()) {
        if (timer.elapsed() > tileTimeoutMs) {
            std::cerr << "Las páginas no se han dibujado a tiempo.\n";
            return 1;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
        view.repaint();
    }
    if (!view.grab().toImage().save(QString::fromStdString(*out), "PNG")) {
        std::cerr << "No se ha podido escribir «" << *out << "».\n";
        return 1;
    }

    nlohmann::json result;
    result["pages"] = view.pageCount();
    result["visiblePages"] = view.visiblePages();
    auto layouts = view.geometry().layouts();
    result["scale"] = layouts.empty() ? 0.0 : layouts[0].frame.width / layouts[0].displaySize.width;
    result["frames"] = nlohmann::json::array();
    for (const auto& l : layouts)
        result["frames"].push_back({l.frame.x, l.frame.y, l.frame.width, l.frame.height});
    std::cout << result.dump() << "\n";
    return 0;
}
