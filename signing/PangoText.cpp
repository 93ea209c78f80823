#include "signing/PangoText.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <string>

namespace {

// Font sizes below one Pango unit cannot be expressed, and Pango keeps sizes and widths in
// integers of 1/1024 point: text outside these bounds is neither measured nor drawn.
constexpr double maxFontSize = 100000;
constexpr double maxLayoutWidth = 1e6;
bool drawableSize(double fontSize) { return fontSize * PANGO_SCALE >= 1 && fontSize <= maxFontSize; }

PangoWeight pangoWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::medium: return PANGO_WEIGHT_MEDIUM;
        case FontWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
        case FontWeight::bold: return PANGO_WEIGHT_BOLD;
        case FontWeight::regular: break;
    }
    return PANGO_WEIGHT_NORMAL;
}

// Pango refuses text that is not UTF-8; certificate texts are replaced where broken.
std::string validUTF8(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

}  // namespace

PangoText::PangoText() {
    context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context_, 72);
    pango_context_set_round_glyph_positions(context_, FALSE);
}

PangoText::~PangoText() { g_object_unref(context_); }

PangoLayout* PangoText::layout(const std::vector<TextRun>& runs) const {
    std::string text;
    PangoAttrList* attributes = pango_attr_list_new();
    for (const TextRun& run : runs) {
        if (!drawableSize(run.fontSize)) continue;
        const std::string piece = validUTF8(run.text);
        const auto start = static_cast<guint>(text.size());
        text += piece;
        const auto end = static_cast<guint>(text.size());

        PangoFontDescription* font = pango_font_description_new();
        pango_font_description_set_family_static(font, fontFamily);
        pango_font_description_set_weight(font, pangoWeight(run.weight));
        pango_font_description_set_absolute_size(font, run.fontSize * PANGO_SCALE);
        PangoAttribute* fontAttribute = pango_attr_font_desc_new(font);
        pango_font_description_free(font);
        fontAttribute->start_index = start;
        fontAttribute->end_index = end;
        pango_attr_list_insert(attributes, fontAttribute);

        if (run.letterSpacing != 0) {
            PangoAttribute* spacing =
                pango_attr_letter_spacing_new(static_cast<int>(run.letterSpacing * PANGO_SCALE));
            spacing->start_index = start;
            spacing->end_index = end;
            pango_attr_list_insert(attributes, spacing);
        }
    }
    if (text.empty()) {
        pango_attr_list_unref(attributes);
        return nullptr;
    }
    PangoLayout* layout = pango_layout_new(context_);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
    return layout;
}

Size PangoText::measure(const std::vector<TextRun>& runs) const {
    PangoLayout* layout = this->layout(runs);
    if (!layout) return {};
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return {static_cast<double>(logical.width) / PANGO_SCALE,
            static_cast<double>(logical.height) / PANGO_SCALE};
}

void PangoText::draw(cairo_t* cr, const std::vector<TextRun>& runs, Rect box, Colour colour,
                     bool truncate) const {
    if (!cr) return;
    if (truncate && box.width * PANGO_SCALE < 1) return;
    PangoLayout* layout = this->layout(runs);
    if (!layout) return;
    if (truncate) {
        const double width = std::min(box.width, maxLayoutWidth);
        pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    cairo_save(cr);
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, colour.alpha);
    cairo_translate(cr, box.x, box.maxY());
    cairo_scale(cr, 1, -1);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}
