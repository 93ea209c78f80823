#include "ui/Symbols.h"

#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace Symbols {

namespace {

// Drawings on a 24 × 24 grid. Strokes use the width placeholder W, replaced by the weight's width.
struct Drawing {
    const char* name;
    const char* body;
};

constexpr Drawing bundled[] = {
    {"signature",
     R"(<path d="M3 15.5c1.6-4.6 3.6-8.7 5-8 1.6.8-2.4 8.6-.4 9 1.7.3 3-5.3 4.9-5.3 1.4 0-.8 4.4.9 4.5 1.2.1 2.2-1.7 3.2-2.6"/><path d="M3 20h18"/>)"},
    {"person.text.rectangle",
     R"(<rect x="2" y="5" width="20" height="14" rx="2.5"/><circle cx="8" cy="10.5" r="2"/><path d="M4.8 16c.7-1.8 5.7-1.8 6.4 0"/><path d="M14 10h5M14 14h3.5"/>)"},
    {"gearshape",
     R"(<circle cx="12" cy="12" r="3"/><circle cx="12" cy="12" r="6.8"/><path d="M12 2.5v2.7M12 18.8v2.7M2.5 12h2.7M18.8 12h2.7M5.3 5.3l1.9 1.9M16.8 16.8l1.9 1.9M5.3 18.7l1.9-1.9M16.8 7.2l1.9-1.9"/>)"},
    {"arrow.clockwise", R"(<path d="M19 12a7 7 0 1 1-2.1-5"/><path d="M17.5 2.8v4.5H13"/>)"},
    {"questionmark.circle",
     R"(<circle cx="12" cy="12" r="9.2"/><path d="M9.4 9.4a2.6 2.6 0 1 1 3.7 2.4c-.8.4-1.1.9-1.1 1.7v.4"/><circle cx="12" cy="17" r=".9" fill="#000" stroke="none"/>)"},
    {"testtube.2",
     R"(<path d="M6.5 3v12.5a2.5 2.5 0 0 0 5 0V3M5.5 3h7M6.5 10h5"/><path d="M15.5 3v9.5a2 2 0 0 0 4 0V3M14.5 3h6M15.5 8h4"/>)"},
    {"arrow.up.right", R"(<path d="M6.5 17.5l11-11M8.5 6.5h9v9"/>)"},
    {"arrow.right", R"(<path d="M4 12h15.5M13.5 6l6 6-6 6"/>)"},
    {"cursorarrow.click.2",
     R"(<path d="M9.5 9.5l4 11 1.8-4.6 4.6-1.8z"/><path d="M5.2 2.8l1.4 2.4M2.3 7.4l2.7.8M9.6 1.6v2.8M13.4 3.4l-1.6 2"/>)"},
    {"list.bullet.rectangle",
     R"(<rect x="2.5" y="4" width="19" height="16" rx="2.5"/><path d="M10 9h7.5M10 12h7.5M10 15h7.5"/><circle cx="6.8" cy="9" r=".9" fill="#000" stroke="none"/><circle cx="6.8" cy="12" r=".9" fill="#000" stroke="none"/><circle cx="6.8" cy="15" r=".9" fill="#000" stroke="none"/>)"},
    {"terminal", R"(<rect x="2" y="4" width="20" height="16" rx="2.5"/><path d="M6 9l3 3-3 3M11 15h6"/>)"},
    {"chevron.left", R"(<path d="M15 4.5L7.5 12l7.5 7.5"/>)"},
    {"chevron.right", R"(<path d="M9 4.5l7.5 7.5L9 19.5"/>)"},
    {"minus.magnifyingglass", R"(<circle cx="10" cy="10" r="6.3"/><path d="M14.6 14.6L20.5 20.5M7 10h6"/>)"},
    {"plus.magnifyingglass",
     R"(<circle cx="10" cy="10" r="6.3"/><path d="M14.6 14.6L20.5 20.5M7 10h6M10 7v6"/>)"},
    {"magnifyingglass", R"(<circle cx="10" cy="10" r="6.3"/><path d="M14.6 14.6L20.5 20.5"/>)"},
    {"minus.circle", R"(<circle cx="12" cy="12" r="9.2"/><path d="M7.5 12h9"/>)"},
    {"plus.circle", R"(<circle cx="12" cy="12" r="9.2"/><path d="M7.5 12h9M12 7.5v9"/>)"},
    {"character.cursor.ibeam",
     R"(<path d="M2.5 18.5l4.5-13 4.5 13M4.2 13.8h5.6"/><path d="M17.5 4.5v15M15 4.5h5M15 19.5h5"/>)"},
    {"checkmark", R"(<path d="M4.5 12.5l5 5L19.5 6.5"/>)"},
    {"xmark", R"(<path d="M6 6l12 12M18 6L6 18"/>)"},
    {"plus", R"(<path d="M12 4.5v15M4.5 12h15"/>)"},
    {"minus", R"(<path d="M4.5 12h15"/>)"},
    {"exclamationmark", R"(<path d="M12 3.5v11.5"/><circle cx="12" cy="19.5" r="1.2" fill="#000" stroke="none"/>)"},
    {"exclamationmark.triangle",
     R"(<path d="M12 3.2L21.5 20H2.5z"/><path d="M12 9.5v5"/><circle cx="12" cy="17.3" r=".9" fill="#000" stroke="none"/>)"},
    {"info", R"(<path d="M12 10v9.5M9.8 19.5h4.4M10 10h2"/><circle cx="12" cy="5.5" r="1.3" fill="#000" stroke="none"/>)"},
    {"info.circle",
     R"(<circle cx="12" cy="12" r="9.2"/><path d="M12 10.5v6"/><circle cx="12" cy="7.6" r=".9" fill="#000" stroke="none"/>)"},
    {"arrow.up.circle.fill",
     R"(<path fill="#000" stroke="none" fill-rule="evenodd" d="M12 2.5a9.5 9.5 0 1 1 0 19 9.5 9.5 0 0 1 0-19zM11 17.5h2v-7.6l3 3 1.4-1.4L12 6.1l-5.4 5.4L8 12.9l3-3z"/>)"},
    {"lock.circle.fill",
     R"(<path fill="#000" stroke="none" fill-rule="evenodd" d="M12 2.5a9.5 9.5 0 1 1 0 19 9.5 9.5 0 0 1 0-19zM8.3 11h7.4v6.2H8.3zM9.4 11V9.1a2.6 2.6 0 0 1 5.2 0V11h-1.4V9.1a1.2 1.2 0 0 0-2.4 0V11z"/>)"},
    {"doc", R"(<path d="M6 2.8h8l4.2 4.2v14.2H6z"/><path d="M14 2.8V7h4.2"/>)"},
    {"doc.text",
     R"(<path d="M6 2.8h8l4.2 4.2v14.2H6z"/><path d="M14 2.8V7h4.2M9 11.5h6M9 14.5h6M9 17.5h4"/>)"},
    {"folder", R"(<path d="M2.8 6.2h6.4l2 2.2h10v10.8H2.8z"/>)"},
    {"trash", R"(<path d="M4 6.8h16M9.2 6.8V4h5.6v2.8M6 6.8l1 13.4h10l1-13.4M10 10.5v6M14 10.5v6"/>)"},
    {"pencil", R"(<path d="M15.5 4.5l4 4L8.5 19.5 3.8 20.2l.7-4.7z"/><path d="M13.5 6.5l4 4"/>)"},
    {"square.and.arrow.up",
     R"(<path d="M8.5 8.5H6v12h12v-12h-2.5"/><path d="M12 14.5V3M8.5 6.5L12 3l3.5 3.5"/>)"},
    {"arrow.uturn.backward", R"(<path d="M9 14.5L4 9.5l5-5"/><path d="M4 9.5h10a5.5 5.5 0 0 1 0 11h-3"/>)"},
    {"arrow.uturn.forward", R"(<path d="M15 14.5l5-5-5-5"/><path d="M20 9.5H10a5.5 5.5 0 0 0 0 11h3"/>)"},
    {"photo",
     R"(<rect x="2.5" y="4.5" width="19" height="15" rx="2.5"/><circle cx="8" cy="9.5" r="1.6"/><path d="M3 17l5-4.5 3.5 3 4-4.5 5.5 5.5"/>)"},
    {"key", R"(<circle cx="7.5" cy="12" r="4"/><path d="M11.5 12H21M18 12v3.5M15 12v2.5"/>)"},
    {"sparkles",
     R"(<path d="M10 3.5l1.7 4.8 4.8 1.7-4.8 1.7L10 16.5l-1.7-4.8L3.5 10l4.8-1.7z"/><path d="M18 14l.8 2.2 2.2.8-2.2.8L18 20l-.8-2.2-2.2-.8 2.2-.8z"/>)"},
    {"person.crop.circle",
     R"(<circle cx="12" cy="12" r="9.2"/><circle cx="12" cy="10" r="3.2"/><path d="M6.3 18.6c1.4-2.4 3.4-3.4 5.7-3.4s4.3 1 5.7 3.4"/>)"},
    {"building.2",
     R"(<path d="M3.5 21V5.5l8-2.5V21M11.5 8.5h9V21M2 21h20M6.5 8h2M6.5 11.5h2M6.5 15h2M14.5 12h3M14.5 15.5h3"/>)"},
    {"envelope", R"(<rect x="2.5" y="5" width="19" height="14" rx="2"/><path d="M3 6l9 7 9-7"/>)"},
    {"phone",
     R"(<path d="M6.5 3.5l3 .5 1 4-2 1.5a11 11 0 0 0 6 6l1.5-2 4 1 .5 3c-.3 1.2-1.5 2-2.8 2A15.5 15.5 0 0 1 3.5 6.3c0-1.3.8-2.5 3-2.8z"/>)"},
    {"creditcard", R"(<rect x="2.5" y="5" width="19" height="14" rx="2.2"/><path d="M2.5 9.5h19M6 15h4"/>)"},
    {"house", R"(<path d="M3.5 11L12 4l8.5 7M5.5 9.5V20h13V9.5M10 20v-5.5h4V20"/>)"},
    {"calendar", R"(<rect x="3" y="5" width="18" height="15.5" rx="2.2"/><path d="M3 9.5h18M8 3v4M16 3v4"/>)"},
    {"checkmark.circle", R"(<circle cx="12" cy="12" r="9.2"/><path d="M7.8 12.3l2.8 2.8 5.6-5.8"/>)"},
    {"xmark.circle", R"(<circle cx="12" cy="12" r="9.2"/><path d="M8.8 8.8l6.4 6.4M15.2 8.8l-6.4 6.4"/>)"},
    {"eye", R"(<path d="M2 12s3.6-6.5 10-6.5S22 12 22 12s-3.6 6.5-10 6.5S2 12 2 12z"/><circle cx="12" cy="12" r="3"/>)"},
    {"hand.draw", R"(<path d="M3 17c3-7 6-11 8-10s-3 9 0 9 5-9 8-9"/><path d="M15 20.5h6"/>)"},
};

struct Registry {
    QMutex mutex;
    QHash<QString, QByteArray> drawings;  // full SVG texts; bundled ones keep the W placeholder
    QHash<QString, bool> placeholder;
};

Registry& registry() {
    static Registry* r = [] {
        auto* made = new Registry;
        for (const Drawing& d : bundled) {
            QByteArray svg =
                "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\" width=\"24\" "
                "height=\"24\" fill=\"none\" stroke=\"#000\" stroke-width=\"W\" "
                "stroke-linecap=\"round\" stroke-linejoin=\"round\">";
            svg += d.body;
            svg += "</svg>";
            made->drawings.insert(QString::fromLatin1(d.name), svg);
            made->placeholder.insert(QString::fromLatin1(d.name), true);
        }
        return made;
    }();
    return *r;
}

const char* strokeWidth(QFont::Weight weight) {
    if (weight >= QFont::Bold) return "2.3";
    if (weight >= QFont::DemiBold) return "2.05";
    if (weight >= QFont::Medium) return "1.85";
    return "1.65";
}

QByteArray svgFor(const QString& name, QFont::Weight weight) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    auto it = r.drawings.constFind(name);
    if (it == r.drawings.constEnd()) return {};
    QByteArray svg = *it;
    if (r.placeholder.value(name)) {
        svg.replace("stroke-width=\"W\"", QByteArray("stroke-width=\"") + strokeWidth(weight) + "\"");
    }
    return svg;
}

}  // namespace

QPixmap pixmap(const QString& name, const QColor& tint, double points, double devicePixelRatio,
               QFont::Weight weight) {
    const QByteArray svg = svgFor(name, weight);
    if (svg.isEmpty() || !(points > 0) || !(devicePixelRatio > 0)) return {};
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return {};
    // A symbol is never larger than a screen; bound the image however it was asked for.
    constexpr double maxSide = 2048;
    const int side = static_cast<int>(std::lround(std::min(points * devicePixelRatio, maxSide)));
    if (side < 1) return {};
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString& name, const QColor& tint, double points, QFont::Weight weight) {
    if (!exists(name)) return {};
    QIcon result;
    for (double scale : {1.0, 2.0}) {
        const QPixmap image = pixmap(name, tint, points, scale, weight);
        if (!image.isNull()) result.addPixmap(image);
    }
    return result;
}

bool exists(const QString& name) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    return r.drawings.contains(name);
}

QStringList names() {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    QStringList all = r.drawings.keys();
    all.sort();
    return all;
}

void add(const QString& name, const QByteArray& svg) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.drawings.insert(name, svg);
    r.placeholder.insert(name, false);
}

}  // namespace Symbols
