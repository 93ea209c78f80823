#include "forms/fill/PDFSignerText.h"

#include <hb-ot.h>
#include <hb.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "signing/PangoText.h"
#include "signing/Rendering.h"

namespace {

// A font larger than the largest page can never show a line; this also keeps Pango's sizes
// (integers of 1/1024 point) from overflowing.
constexpr double kMaxFontSize = Rendering::maxSize;
// Single-line sizes without one from /DA: 0.62 of the box height, between these.
constexpr double kAutoSizeFactor = 0.62;
constexpr double kAutoSizeMin = 6;
constexpr double kAutoSizeMax = 12;
constexpr double kShrinkStep = 0.5;
// Inner margin of the box.
constexpr double kMargin = 2;
// The shrinking loop measures the text again at most this many times after its estimate.
constexpr int kMaxShrinkMeasures = 64;

// Pango refuses text that is not UTF-8.
std::string validUTF8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return std::string(text);
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

// The text up to its `limit`-th character (code point).
std::string firstCharacters(const std::string& text, std::size_t limit) {
    const char* start = text.data();
    const char* end = start + text.size();
    const char* p = start;
    for (std::size_t count = 0; p < end && count < limit; ++count) p = g_utf8_next_char(p);
    return std::string(start, static_cast<std::size_t>(std::min(p, end) - start));
}

// The text as one line shows it: every line break (CR LF as one) a blank, so that no glyph stands
// for a character that is not drawn.
std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += ' ';
        } else if (c == '\n' || c == '\v' || c == '\f') {
            out += ' ';
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\x85') {  // NEL
            out += ' ';
            ++i;
        } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {  // LS, PS
            out += ' ';
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// User-perceived characters (grapheme clusters) of UTF-8 text.
std::vector<std::string> graphemes(const std::string& text) {
    std::vector<std::string> result;
    if (text.empty()) return result;
    const glong count = g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
    std::vector<PangoLogAttr> attributes(static_cast<std::size_t>(count) + 1);
    pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1,
                        pango_language_from_string("es"), attributes.data(),
                        static_cast<int>(attributes.size()));
    const char* p = text.data();
    const char* clusterStart = p;
    for (glong i = 1; i <= count; ++i) {
        p = g_utf8_next_char(p);
        if (attributes[static_cast<std::size_t>(i)].is_cursor_position || i == count) {
            result.emplace_back(clusterStart, static_cast<std::size_t>(p - clusterStart));
            clusterStart = p;
        }
    }
    return result;
}

// The face's vertical metrics as fractions of the font size.
struct FaceMetrics {
    double ascender = 0.905;  // defaults: Helvetica-like proportions
    double descender = -0.212;
    double capHeight = 0.718;
};

// Pango layouts in the field font, unhinted and unrounded like the signature card's text, on a
// context of this call (Pango's font map is per thread).
class FieldFont {
public:
    FieldFont() {
        context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context_, 72);
        pango_context_set_round_glyph_positions(context_, FALSE);
        readMetrics();
    }
    ~FieldFont() { g_object_unref(context_); }
    FieldFont(const FieldFont&) = delete;
    FieldFont& operator=(const FieldFont&) = delete;

    const FaceMetrics& metrics() const { return metrics_; }

    // A new layout of the text at the size; the caller unrefs it.
    PangoLayout* layout(const std::string& text, double size) const {
        PangoLayout* layout = pango_layout_new(context_);
        PangoFontDescription* font = description(size);
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
        return layout;
    }

    // The logical width of the text in one line.
    double width(const std::string& text, double size) const {
        PangoLayout* line = layout(text, size);
        pango_layout_set_single_paragraph_mode(line, TRUE);
        PangoRectangle logical;
        pango_layout_get_extents(line, nullptr, &logical);
        g_object_unref(line);
        return static_cast<double>(logical.width) / PANGO_SCALE;
    }

private:
    static PangoFontDescription* description(double size) {
        PangoFontDescription* font = pango_font_description_new();
        pango_font_description_set_family_static(font, PangoText::fontFamily);
        pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
        return font;
    }

    // Ascender and descender of the face's horizontal header, cap height of its OS/2 table.
    void readMetrics() {
        PangoFontDescription* desc = description(kAutoSizeMax);
        PangoFont* font = pango_context_load_font(context_, desc);
        pango_font_description_free(desc);
        if (!font) return;
        if (hb_font_t* shaped = pango_font_get_hb_font(font)) {
            hb_face_t* face = hb_font_get_face(shaped);
            const double units = hb_face_get_upem(face);
            hb_font_t* unscaled = hb_font_create(face);  // scale = units per em
            hb_position_t ascender = 0, descender = 0, capHeight = 0;
            if (units > 0) {
                if (hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER,
                                               &ascender) &&
                    hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER,
                                               &descender) &&
                    ascender > descender) {
                    metrics_.ascender = ascender / units;
                    metrics_.descender = descender / units;
                }
                if (hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_CAP_HEIGHT,
                                               &capHeight) &&
                    capHeight > 0)
                    metrics_.capHeight = capHeight / units;
            }
            hb_font_destroy(unscaled);
        }
        g_object_unref(font);
    }

    PangoContext* context_ = nullptr;
    FaceMetrics metrics_;
};

struct Flags {
    bool comb = false;
    bool multiline = false;
};

Flags flagsOf(const FormFiller::Widget& widget) {
    return {(widget.flags & PDFSignerText::combFlag) != 0 && widget.maxLength > 0,
            (widget.flags & PDFSignerText::multilineFlag) != 0};
}

// The size before the single-line shrinking: from /DA, else by kind, fitted to the line height.
double startingSize(Size box, const FormFiller::Widget& widget, const FaceMetrics& metrics) {
    const Flags flags = flagsOf(widget);
    double size;
    if (std::isfinite(widget.fontSize) && widget.fontSize > 0)
        size = std::min(widget.fontSize, kMaxFontSize);
    else if (flags.multiline)
        size = PDFSignerText::multilineSize;
    else
        size = std::clamp(kAutoSizeFactor * box.height, kAutoSizeMin, kAutoSizeMax);
    if (!flags.multiline) {
        const double lineHeight = (metrics.ascender - metrics.descender) * size;
        if (lineHeight > box.height - 1)
            size = std::max((box.height - 1) * size / lineHeight, PDFSignerText::minimumSize);
    }
    return size;
}

// Lowers the size by half points while the line is wider than the box, down to the minimum.
double shrunkSize(const FieldFont& font, const std::string& text, double size, double available) {
    double width = font.width(text, size);
    if (!(width > available) || !(size > PDFSignerText::minimumSize)) return size;
    // Widths grow in proportion to the size (unhinted metrics): skip the steps that surely do not
    // fit, then measure as the loop would.
    const double estimate = width > 0 ? size * std::max(available, 0.0) / width : 0;
    const double target = std::max(estimate, PDFSignerText::minimumSize);
    const double skipped = std::floor((size - target) / kShrinkStep) - 2;
    if (skipped > 0) {
        size = std::max(size - skipped * kShrinkStep, PDFSignerText::minimumSize);
        width = font.width(text, size);
    }
    for (int measures = 0;
         width > available && size > PDFSignerText::minimumSize && measures < kMaxShrinkMeasures;
         ++measures) {
        size = std::max(size - kShrinkStep, PDFSignerText::minimumSize);
        width = font.width(text, size);
    }
    return size;
}

// Draws the first line of the layout with its left edge at x and its baseline at y (y upward).
void showLine(cairo_t* cr, PangoLayout* layout, double x, double baseline) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
    if (!line) return;
    cairo_save(cr);
    cairo_translate(cr, x, baseline);
    cairo_scale(cr, 1, -1);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout_line(cr, line);
    cairo_restore(cr);
}

void drawComb(cairo_t* cr, const FieldFont& font, const std::string& text, double size, Size box,
              std::int64_t cells) {
    const double cell = box.width / static_cast<double>(cells);
    const double baseline = (box.height - font.metrics().capHeight * size) / 2;
    std::int64_t index = 0;
    for (const std::string& character : graphemes(text)) {
        if (index >= cells) break;
        PangoLayout* layout = font.layout(character, size);
        pango_layout_set_single_paragraph_mode(layout, TRUE);
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        const double advance = static_cast<double>(logical.width) / PANGO_SCALE;
        showLine(cr, layout, static_cast<double>(index) * cell + (cell - advance) / 2, baseline);
        g_object_unref(layout);
        ++index;
    }
}

void drawMultiline(cairo_t* cr, const FieldFont& font, const std::string& text, double size,
                   Size box, std::int64_t alignment) {
    const double width = box.width - 2 * kMargin;
    const double height = box.height - 2 * kMargin;
    if (!(width > 0) || !(height > 0)) return;
    PangoLayout* layout = font.layout(text, size);
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, alignment <= 0   ? PANGO_ALIGN_LEFT
                                       : alignment == 1 ? PANGO_ALIGN_CENTER
                                                        : PANGO_ALIGN_RIGHT);
    // Lines that do not fit the height are dropped and the last one shown ends in an ellipsis.
    pango_layout_set_height(layout, static_cast<int>(height * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    PangoLayoutIter* lines = pango_layout_get_iter(layout);
    PangoRectangle first;
    pango_layout_iter_get_line_extents(lines, nullptr, &first);
    pango_layout_iter_free(lines);
    // Pango keeps one line even when it is taller than the box; such a line does not fit.
    if (static_cast<double>(first.height) / PANGO_SCALE <= height) {
        cairo_save(cr);
        cairo_translate(cr, kMargin, box.height - kMargin);
        cairo_scale(cr, 1, -1);
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
    }
    g_object_unref(layout);
}

void drawLine(cairo_t* cr, const FieldFont& font, const std::string& text, double size, Size box,
              std::int64_t alignment) {
    PangoLayout* layout = font.layout(text, size);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double width = static_cast<double>(logical.width) / PANGO_SCALE;
    const double x = alignment == 2   ? box.width - kMargin - width
                     : alignment == 1 ? (box.width - width) / 2
                                      : kMargin;
    showLine(cr, layout, x, (box.height - font.metrics().capHeight * size) / 2);
    g_object_unref(layout);
}

}  // namespace

std::optional<double> PDFSignerText::fontSize(std::string_view da) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start <= da.size();) {
        std::size_t end = da.find(' ', start);
        if (end == std::string_view::npos) end = da.size();
        if (end > start) parts.push_back(da.substr(start, end - start));
        start = end + 1;
    }
    auto tf = std::find(parts.begin(), parts.end(), "Tf");
    if (tf == parts.end() || tf == parts.begin()) return std::nullopt;
    std::string_view operand = *(tf - 1);
    if (operand.size() > 1 && operand.front() == '+' && operand[1] != '-') operand.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(operand.data(), operand.data() + operand.size(), value);
    if (error != std::errc() || end != operand.data() + operand.size()) return std::nullopt;
    return value;
}

double PDFSignerText::drawingSize(const std::string& text, Size size,
                                  const FormFiller::Widget& widget) {
    FieldFont font;
    const double start = startingSize(size, widget, font.metrics());
    const Flags flags = flagsOf(widget);
    if (flags.comb || flags.multiline) return start;
    return shrunkSize(font, oneLine(validUTF8(firstCharacters(text, FormFiller::maxDrawnCharacters))),
                      start, size.width - 2 * kMargin);
}

std::optional<std::string> PDFSignerText::render(const std::string& text, Size size,
                                                 const FormFiller::Widget& widget) {
    if (!Rendering::acceptsSize(size)) return std::nullopt;
    const std::string shown = validUTF8(firstCharacters(text, FormFiller::maxDrawnCharacters));
    FieldFont font;
    const Flags flags = flagsOf(widget);
    const double start = startingSize(size, widget, font.metrics());
    return Rendering::pdfPage(size, [&](cairo_t* cr) {
        cairo_save(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        if (flags.comb) {
            drawComb(cr, font, oneLine(shown), start, size, widget.maxLength);
        } else if (flags.multiline) {
            drawMultiline(cr, font, shown, start, size, widget.alignment);
        } else {
            const std::string line = oneLine(shown);
            const double fitted = shrunkSize(font, line, start, size.width - 2 * kMargin);
            drawLine(cr, font, line, fitted, size, widget.alignment);
        }
        cairo_restore(cr);
    });
}
