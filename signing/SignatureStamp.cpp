#include "signing/SignatureStamp.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "signing/PangoText.h"
#include "signing/Rendering.h"

namespace {

const char* const separator = " · ";

// `date` in Spanish (Spain) with an ICU pattern, in ICU's default time zone.
std::string formatDate(std::chrono::system_clock::time_point date, const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8(pattern), icu::Locale("es", "ES"),
                                    status);
    if (U_FAILURE(status)) return {};
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    formatter.format(static_cast<UDate>(millis), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::string join(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += parts[i];
    }
    return text;
}

CardLine line(std::string text, double size, FontWeight weight, Colour colour, double kern = 0) {
    return CardLine{std::move(text), size, weight, colour, kern};
}

std::vector<CardLine> holderLines(const SignatureStamp& stamp, bool compact) {
    const Certificate& certificate = stamp.certificate;
    const std::string date = formatDate(stamp.date, "dd/MM/yyyy HH:mm");
    const std::optional<std::string> identity = stamp.identityText();
    const Colour accent = CardColours::accent;
    const Colour ink = CardColours::ink;
    const Colour muted = CardColours::muted;

    std::vector<CardLine> lines;
    lines.push_back(line("FIRMADO DIGITALMENTE", 0.14, FontWeight::bold, accent, 0.08));
    if (certificate.organization) {
        lines.push_back(line(*certificate.organization, 0.24, FontWeight::semibold, ink));
        std::string representative = "Representante: " + certificate.holder;
        if (identity) representative += separator + *identity;
        if (compact) {
            std::vector<std::string> parts;
            if (certificate.organizationID) parts.push_back("NIF " + *certificate.organizationID);
            parts.push_back(date);
            parts.push_back(certificate.authority);
            lines.push_back(line(join(parts), 0.14, FontWeight::medium, muted));
        } else if (certificate.organizationID) {
            lines.push_back(
                line("NIF " + *certificate.organizationID, 0.15, FontWeight::medium, muted));
        }
        lines.push_back(line(representative, 0.14, FontWeight::regular, muted));
    } else {
        lines.push_back(line(certificate.holder, 0.26, FontWeight::semibold, ink));
        if (compact) {
            std::vector<std::string> parts;
            if (identity) parts.push_back(*identity);
            parts.push_back(date);
            parts.push_back(certificate.authority);
            lines.push_back(line(join(parts), 0.15, FontWeight::regular, muted));
        } else if (identity) {
            lines.push_back(line(*identity, 0.16, FontWeight::medium, muted));
        }
    }
    return lines;
}

std::vector<CardLine> referenceLines(const SignatureStamp& stamp, bool narrow) {
    const Certificate& certificate = stamp.certificate;
    const std::string date = formatDate(stamp.date, "dd/MM/yyyy HH:mm:ss zzz");
    std::string authority = "Certificado emitido por " + certificate.authority;
    if (!certificate.issuer.empty() && certificate.issuer != certificate.authority) {
        authority += " (" + certificate.issuer + ")";
    }
    std::optional<std::string> serial;
    if (!certificate.serialNumber.empty()) serial = "N.º de serie " + certificate.serialNumber;
    const std::string host(CardHosts::validation());
    const Colour muted = CardColours::muted;

    std::vector<CardLine> lines;
    if (!narrow) {
        lines.push_back(line(serial ? authority + separator + *serial : authority, 0.3,
                             FontWeight::regular, muted));
        lines.push_back(line(date + " · Verificable en " + host, 0.3, FontWeight::regular, muted));
    } else {
        const double size = stamp.showBranding ? 0.19 : 0.22;
        lines.push_back(line(authority, size, FontWeight::regular, muted));
        if (serial) lines.push_back(line(*serial, size, FontWeight::regular, muted));
        lines.push_back(line(date + " · PAdES · " + host, size, FontWeight::regular, muted));
    }
    return lines;
}

void setColour(cairo_t* cr, Colour colour) {
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, colour.alpha);
}

void roundedRectangle(cairo_t* cr, Rect r, double radius) {
    radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
    const double pi = std::numbers::pi;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - radius, r.minY() + radius, radius, -pi / 2, 0);
    cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, pi / 2);
    cairo_arc(cr, r.minX() + radius, r.maxY() - radius, radius, pi / 2, pi);
    cairo_arc(cr, r.minX() + radius, r.minY() + radius, radius, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

void drawPenMark(cairo_t* cr, const PlacedLine& placed) {
    const Rect& box = placed.markBox;
    auto at = [&](double fx, double fy) { return Point{box.x + fx * box.width, box.y + fy * box.height}; };
    auto curve = [&](Point c1, Point c2, Point end) {
        cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
    };
    cairo_save(cr);
    const Point start = at(0, 0.2);
    cairo_move_to(cr, start.x, start.y);
    curve(at(0.12, 0.85), at(0.34, 1.05), at(0.38, 0.62));
    curve(at(0.42, 0.1), at(0.55, 0.05), at(0.62, 0.45));
    curve(at(0.72, 0.95), at(0.88, 0.9), at(1.0, 0.75));
    setColour(cr, CardColours::accent);
    cairo_set_line_width(cr, placed.markLineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void drawLines(cairo_t* cr, const FittedLines& fitted, const PangoText& text) {
    for (const PlacedLine& placed : fitted.lines) {
        if (placed.isBranding) {
            drawPenMark(cr, placed);
            text.draw(cr, brandingRuns(placed.fontSize), placed.brandingBox,
                      CardColours::accent.withAlpha(0.8), false);
        }
        if (placed.drawsText && !placed.line.text.empty()) {
            text.draw(cr, {lineRun(placed.line, placed.fontSize)}, placed.textBox,
                      placed.line.colour, true);
        }
    }
}

void drawSeal(cairo_t* cr, Rect seal) {
    if (seal.isEmpty()) return;
    const double d = seal.width;
    const double pi = std::numbers::pi;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, seal.midX(), seal.midY(), d / 2, 0, 2 * pi);
    setColour(cr, CardColours::accent);
    cairo_fill(cr);
    cairo_move_to(cr, seal.x + 0.28 * d, seal.y + 0.51 * d);
    cairo_line_to(cr, seal.x + 0.44 * d, seal.y + 0.35 * d);
    cairo_line_to(cr, seal.x + 0.73 * d, seal.y + 0.66 * d);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 0.1 * d);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace

std::string SignatureStamp::mask(std::string_view idNumber) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(idNumber.data(), static_cast<int32_t>(idNumber.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return std::string(idNumber);
    characters->setText(text);

    std::vector<std::pair<int32_t, int32_t>> clusters;
    for (int32_t start = characters->first(), end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        clusters.emplace_back(start, end);
    }
    if (clusters.size() < 7) return std::string(idNumber);

    std::string masked = "***";
    const icu::UnicodeString kept =
        text.tempSubStringBetween(clusters[3].first, clusters[6].second);
    kept.toUTF8String(masked);
    masked.append(clusters.size() - 7, '*');
    return masked;
}

std::optional<std::string> SignatureStamp::identityText() const {
    if (!certificate.idNumber) return std::nullopt;
    return "DNI " + (showFullID ? *certificate.idNumber : mask(*certificate.idNumber));
}

CardLayout SignatureStamp::layout(Rect rect, const TextMeasurer& measurer) const {
    CardLayout layout;
    layout.rect = rect;
    if (rect.isEmpty()) return layout;
    const double w = rect.width;
    const double h = rect.height;
    const double p = std::min(std::max(0.09 * h, 2.0), 7.0);
    layout.margin = p;
    layout.cornerRadius = std::min(0.1 * h, 6.0);
    layout.outline = rect.insetBy(0.5, 0.5);
    layout.outlineWidth = std::max(0.012 * h, 0.5);

    std::vector<CardLine> references;
    if (w / h >= 4.5) {
        layout.kind = CardLayout::Kind::wide;
        const Rect band{rect.x + 0.52 * w, rect.y, 0.48 * w, h};
        layout.band = band;
        layout.rule = Rect{band.x, rect.y, std::max(0.012 * h, 0.4), h};
        layout.referenceTextArea = band.insetBy(1.2 * p, 0.7 * p);
        layout.referenceBranding = showBranding ? Branding::ownLine : Branding::none;
        references = referenceLines(*this, true);
        layout.holderArea = Rect{rect.x, rect.y, 0.52 * w, h};
    } else if (h >= 54) {
        layout.kind = CardLayout::Kind::stacked;
        layout.narrow = w / h < 3.2;
        const Rect band{rect.x, rect.y, w, layout.narrow ? 0.4 * h : 0.3 * h};
        layout.band = band;
        const double thickness = std::max(0.006 * h, 0.4);
        layout.rule = Rect{rect.x, band.maxY() - thickness, w, thickness};
        layout.referenceTextArea = band.insetBy(p, 0.035 * h);
        if (showBranding) {
            layout.referenceBranding = layout.narrow ? Branding::ownLine : Branding::endOfLastLine;
        }
        references = referenceLines(*this, layout.narrow);
        layout.holderArea = Rect{rect.x, band.maxY(), w, h - band.height};
    } else {
        layout.kind = CardLayout::Kind::compact;
        layout.holderArea = rect;
    }
    if (!references.empty()) {
        layout.references = fitLines(std::move(references), layout.referenceTextArea, true,
                                     layout.referenceBranding, measurer);
    }

    const Rect& area = layout.holderArea;
    const double d = std::min({area.height - 2 * p, 0.66 * area.height, 0.2 * area.width});
    const double sealX = area.x + 1.2 * p;
    layout.seal = d > 0 ? Rect{sealX, area.midY() - d / 2, d, d} : Rect{sealX, area.midY(), 0, 0};
    const double textX = layout.seal.maxX() + p;
    layout.holderTextArea = Rect{textX, area.y + p / 2, std::max(area.maxX() - p - textX, 0.0),
                                 std::max(area.height - p, 0.0)};
    layout.holder = fitLines(holderLines(*this, layout.kind == CardLayout::Kind::compact),
                             layout.holderTextArea, false, Branding::none, measurer);
    return layout;
}

void SignatureStamp::draw(cairo_t* cr, Rect rect) const {
    // Beyond the largest PDF page the card is not drawn: cairo would flatten its curves into
    // unbounded numbers of segments.
    if (!cr || rect.isEmpty() || !std::isfinite(rect.x) || !std::isfinite(rect.y) ||
        !(rect.width <= Rendering::maxSize) || !(rect.height <= Rendering::maxSize)) {
        return;
    }
    const PangoText text;
    const CardLayout layout = this->layout(rect, text);

    cairo_save(cr);
    cairo_new_path(cr);
    roundedRectangle(cr, layout.outline, layout.cornerRadius);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.94);
    cairo_fill_preserve(cr);
    setColour(cr, CardColours::accent.withAlpha(0.05));
    cairo_fill(cr);

    if (layout.band) {
        cairo_save(cr);
        roundedRectangle(cr, layout.outline, layout.cornerRadius);
        cairo_clip(cr);
        cairo_rectangle(cr, layout.band->x, layout.band->y, layout.band->width, layout.band->height);
        setColour(cr, CardColours::accent.withAlpha(0.06));
        cairo_fill(cr);
        cairo_restore(cr);
    }
    if (layout.rule) {
        cairo_rectangle(cr, layout.rule->x, layout.rule->y, layout.rule->width, layout.rule->height);
        setColour(cr, CardColours::accent.withAlpha(0.3));
        cairo_fill(cr);
    }
    drawLines(cr, layout.references, text);

    roundedRectangle(cr, layout.outline, layout.cornerRadius);
    setColour(cr, CardColours::accent.withAlpha(0.45));
    cairo_set_line_width(cr, layout.outlineWidth);
    cairo_stroke(cr);

    drawSeal(cr, layout.seal);
    drawLines(cr, layout.holder, text);
    cairo_restore(cr);
}

void SignatureStamp::draw(cairo_t* cr, Rect rect, int pageRotation) const {
    drawUpright(cr, rect, pageRotation, [&](Rect upright) { draw(cr, upright); });
}

std::optional<std::string> SignatureStamp::pdfData(Size size) const {
    return Rendering::pdfPage(size, [&](cairo_t* cr) { draw(cr, Rect{0, 0, size.width, size.height}); });
}

std::optional<RasterImage> SignatureStamp::image(Size size) const {
    return Rendering::bitmap(size, bitmapScale,
                             [&](cairo_t* cr) { draw(cr, Rect{0, 0, size.width, size.height}); });
}

std::optional<std::string> SignatureStamp::pngData(Size size) const {
    return Rendering::png(size, bitmapScale,
                          [&](cairo_t* cr) { draw(cr, Rect{0, 0, size.width, size.height}); });
}

void drawUpright(cairo_t* cr, Rect rect, int pageRotation, const std::function<void(Rect)>& draw) {
    int rotation = pageRotation % 360;
    if (rotation < 0) rotation += 360;
    // A rectangle beyond the doubles cannot be turned: cairo would take the transform as an error
    // and refuse everything later drawn into the caller's context.
    const bool finite = std::isfinite(rect.minX()) && std::isfinite(rect.minY()) &&
                        std::isfinite(rect.maxX()) && std::isfinite(rect.maxY());
    if (rotation == 0 || !cr || !finite) {
        draw(rect);
        return;
    }
    const double pi = std::numbers::pi;
    cairo_save(cr);
    if (rotation == 180) {
        cairo_translate(cr, rect.maxX(), rect.maxY());
        cairo_rotate(cr, pi);
        draw(Rect{0, 0, rect.width, rect.height});
    } else if (rotation == 90) {
        cairo_translate(cr, rect.maxX(), rect.minY());
        cairo_rotate(cr, pi / 2);
        draw(Rect{0, 0, rect.height, rect.width});
    } else {
        cairo_translate(cr, rect.minX(), rect.maxY());
        cairo_rotate(cr, -pi / 2);
        draw(Rect{0, 0, rect.height, rect.width});
    }
    cairo_restore(cr);
}
