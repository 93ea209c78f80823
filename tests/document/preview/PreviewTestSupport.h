#pragma once
// Shared by the preview's tests: documents, a signature card, waiting for the page tiles, and
// looking at pixels.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <chrono>
#include <string>

#include "document/PagesPreview.h"
#include "support/CairoPages.h"
#include "support/PDFFixtures.h"

namespace previewtest {

// Paints once (so the missing tiles are known), then runs the event loop until every visible tile
// at the shown scale is in. False after `timeoutMs`.
inline bool waitForTiles(PagesPreview& view, int timeoutMs = 15000) {
    view.repaint();
    QElapsedTimer timer;
    timer.start();
    while (view.tilesPending()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
        view.repaint();
    }
    return true;
}

// A card for "Lucía Pérez Nadal".
inline SignatureStamp stamp() {
    SignatureStamp s;
    s.certificate.name = "PÉREZ NADAL LUCÍA - 12345678Z";
    s.certificate.holder = "Lucía Pérez Nadal";
    s.certificate.idNumber = "12345678Z";
    s.certificate.authority = "AC FNMT Usuarios";
    s.certificate.issuer = "FNMT-RCM";
    s.certificate.serialNumber = "4F3A22C1";
    s.date = std::chrono::system_clock::time_point(std::chrono::seconds(1777900000));
    return s;
}

// Pages of text drawn with cairo.
inline std::string textPages(int count, double width = 595, double height = 842) {
    cairopages::Document doc;
    for (int i = 0; i < count; ++i) {
        auto& page = doc.page(width, height);
        page.text(72, height - 90, "Solicitud de ayuda · página " + std::to_string(i + 1), 16);
        page.lines(72, height - 130,
                   {"Don/Doña Lucía Pérez Nadal, con NIF 12345678Z, expone:",
                    "que reúne los requisitos de la convocatoria y solicita",
                    "la concesión de la ayuda que corresponda."});
        page.rule({72, 180, 240, 0.8});
        page.text(72, 165, "Firma del solicitante", 10);
    }
    return doc.pdf();
}

// Pixels of `image` inside `r` (widget coordinates, shrunk by 1) that differ from white and from
// `background` by more than a little.
inline int ink(const QImage& image, const QRectF& r, QColor background = Qt::white) {
    int count = 0;
    QRect inside = r.toAlignedRect().adjusted(1, 1, -1, -1).intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            QColor c = image.pixelColor(x, y);
            auto far = [&](QColor o) {
                return std::abs(c.red() - o.red()) + std::abs(c.green() - o.green()) +
                           std::abs(c.blue() - o.blue()) >
                       60;
            };
            if (far(Qt::white) && far(background)) ++count;
        }
    return count;
}

inline int grey(const QImage& image, QPointF p) {
    return qGray(image.pixel(p.toPoint()));
}

}  // namespace previewtest
