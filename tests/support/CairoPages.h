#pragma once
// Test documents drawn with cairo, so that the place of every word and rule is known. Coordinates
// here are display space: points, origin at the page's lower-left corner, y upwards (cairo's own
// top-down space is hidden).
//
//   cairopages::Document doc;
//   auto& page = doc.page(595, 842);
//   Rect fdo = page.text(72, 200, "Fdo.: El interesado");   // baseline at y = 200
//   page.rule({72, 150, 300, 0.8});
//   std::string pdf = doc.pdf();

#include <cairo-pdf.h>
#include <cairo.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "pages/Geometry.h"

namespace cairopages {

class Page {
public:
    Page(double width, double height) : width_(width), height_(height) {}

    double width() const { return width_; }
    double height() const { return height_; }

    // Writes text in DejaVu Sans with its baseline starting at (x, baseline); returns its ink box
    // as cairo measures it (display space).
    Rect text(double x, double baseline, const std::string& utf8, double size = 11) {
        ops_.push_back({Op::write, {x, baseline, 0, 0}, utf8, size, 0});
        return measure(x, baseline, utf8, size);
    }

    // A filled rectangle in grey (0 black ... 1 white).
    void rule(const Rect& r, double grey = 0) { ops_.push_back({Op::fill, r, {}, 0, grey}); }

    // The outline of a rectangle with lines of the given width, centred on its edges.
    void frame(const Rect& r, double lineWidth = 0.8) {
        rule({r.x - lineWidth / 2, r.y - lineWidth / 2, r.width + lineWidth, lineWidth});
        rule({r.x - lineWidth / 2, r.maxY() - lineWidth / 2, r.width + lineWidth, lineWidth});
        rule({r.x - lineWidth / 2, r.y - lineWidth / 2, lineWidth, r.height + lineWidth});
        rule({r.maxX() - lineWidth / 2, r.y - lineWidth / 2, lineWidth, r.height + lineWidth});
    }

    // Lines of text top-down from (x, firstBaseline), `leading` points apart; returns their boxes.
    std::vector<Rect> lines(double x, double firstBaseline, const std::vector<std::string>& texts,
                            double size = 11, double leading = 14) {
        std::vector<Rect> out;
        for (std::size_t i = 0; i < texts.size(); ++i)
            out.push_back(
                text(x, firstBaseline - leading * static_cast<double>(i), texts[i], size));
        return out;
    }

    void draw(cairo_t* cr) const {
        for (const Op& op : ops_) {
            if (op.kind == Op::write) {
                cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                                       CAIRO_FONT_WEIGHT_NORMAL);
                cairo_set_font_size(cr, op.size);
                cairo_set_source_rgb(cr, 0, 0, 0);
                cairo_move_to(cr, op.rect.x, height_ - op.rect.y);
                cairo_show_text(cr, op.text.c_str());
            } else {
                cairo_set_source_rgb(cr, op.grey, op.grey, op.grey);
                cairo_rectangle(cr, op.rect.x, height_ - op.rect.maxY(), op.rect.width,
                                op.rect.height);
                cairo_fill(cr);
            }
        }
    }

private:
    struct Op {
        enum Kind { write, fill } kind;
        Rect rect;
        std::string text;
        double size;
        double grey;
    };

    Rect measure(double x, double baseline, const std::string& utf8, double size) const {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* cr = cairo_create(surface);
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, size);
        cairo_text_extents_t e;
        cairo_text_extents(cr, utf8.c_str(), &e);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return {x + e.x_bearing, baseline - (e.y_bearing + e.height), e.width, e.height};
    }

    double width_;
    double height_;
    std::vector<Op> ops_;
};

class Document {
public:
    Page& page(double width = 595, double height = 842) {
        pages_.emplace_back(width, height);
        return pages_.back();
    }

    std::string pdf() const {
        std::string out;
        cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
            [](void* closure, const unsigned char* data, unsigned int length) {
                static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data),
                                                           length);
                return CAIRO_STATUS_SUCCESS;
            },
            &out, pages_.empty() ? 595 : pages_.front().width(),
            pages_.empty() ? 842 : pages_.front().height());
        cairo_t* cr = cairo_create(surface);
        for (const Page& page : pages_) {
            cairo_pdf_surface_set_size(surface, page.width(), page.height());
            page.draw(cr);
            cairo_show_page(cr);
        }
        cairo_destroy(cr);
        cairo_surface_finish(surface);
        cairo_status_t status = cairo_surface_status(surface);
        cairo_surface_destroy(surface);
        if (status != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error("cairo could not write the PDF");
        return out;
    }

private:
    std::deque<Page> pages_;  // references to pages stay valid as pages are added
};

}  // namespace cairopages
