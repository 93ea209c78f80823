#pragma once
// Text measured and drawn with Pango over cairo, in the card's font. Metrics are unhinted and
// glyph positions unrounded, so the same text measures the same on every surface and at every
// scale. One object per thread (Pango's font map is per thread).

#include <cairo.h>

#include <vector>

#include "signing/CardLayout.h"

typedef struct _PangoContext PangoContext;
typedef struct _PangoLayout PangoLayout;

class PangoText final : public TextMeasurer {
public:
    // A family with Helvetica's metrics (fonts-liberation2).
    static constexpr const char* fontFamily = "Liberation Sans";

    PangoText();
    ~PangoText() override;
    PangoText(const PangoText&) = delete;
    PangoText& operator=(const PangoText&) = delete;

    Size measure(const std::vector<TextRun>& runs) const override;

    // Draws the runs in one line with its top-left corner at (box.minX, box.maxY) of a y-up
    // context, in `colour`. With `truncate`, text wider than the box ends in an ellipsis.
    void draw(cairo_t* cr, const std::vector<TextRun>& runs, Rect box, Colour colour,
              bool truncate) const;

private:
    PangoLayout* layout(const std::vector<TextRun>& runs) const;  // new reference or null
    PangoContext* context_ = nullptr;
};
