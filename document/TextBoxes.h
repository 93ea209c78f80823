#pragma once
// The user's free text boxes on the pages of the single document in the signing window: short
// texts in Helvetica (Liberation Sans, which has its metrics) at a chosen size, anchored at their
// lower-left corner in page space. A click with the text tool places a draft; the inline editor
// types into it; the preview moves, resizes and deletes boxes; undo sets back a snapshot. The
// boxes become the preview's text marks and the "tindra.texto" fills written as new text fields.
//
// Ids start at 100001 and only grow, so an id is never handed out twice and every id from
// `firstID` up is a text box rather than a form field. Main thread only.

#include <QFont>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "document/PreviewGeometry.h"
#include "forms/fill/FormFill.h"
#include "pages/Geometry.h"

class TextBoxes {
public:
    struct Box {
        int id = 0;
        int pageIndex = 0;
        Point origin;      // lower-left corner, page space
        double size = 10;  // font size, points
        std::string text;  // trimmed, never empty when typed by the user
        friend bool operator==(const Box&, const Box&) = default;
    };
    // The snapshot undo keeps.
    struct State {
        std::vector<Box> boxes;
        friend bool operator==(const State&, const State&) = default;
    };
    // What the inline editor takes: the ids it edits, the page, the rectangle and the text.
    struct Target {
        std::vector<int> ids;
        int pageIndex = 0;
        Rect rect;
        std::string text;
        friend bool operator==(const Target&, const Target&) = default;
    };

    static constexpr const char* fillName = FormFill::freeTextName;  // "tindra.texto"
    static constexpr int firstID = 100001;
    static constexpr double defaultSize = 10;
    static constexpr double minimumSize = 6;   // the range size(forHeight:) gives
    static constexpr double maximumSize = 40;
    static constexpr double draftWidth = 150;
    static constexpr double draftHeight = 16;

    // round(size × 1.6).
    static double height(double size);
    // round(h ÷ 1.6) kept in 6...40.
    static double size(double height);
    // max(ceil(text width in font(size)) + 6, height(size)).
    static double width(const std::string& text, double size);
    // Liberation Sans at pixel size `size` (a Qt logical pixel is a point).
    static QFont font(double size);
    // Where a mark's text sits: its baseline, rect.minY + (height − cap height) / 2, page space.
    static double baseline(const Rect& rect, double size);

    static bool contains(int id) { return id >= firstID; }

    // A draft at point − (2, 8); its target is 150 × 16 with the empty text.
    Target place(int pageIndex, Point point);
    // The editing target of a box or of a draft; nothing for an unknown id.
    std::optional<Target> target(int id) const;
    // Types `text` (blanks and tabs trimmed) into the box or draft `id`: an empty text removes the
    // box (a draft vanishes); a box keeps its origin and size; a draft becomes a box of size 10.
    void write(const std::string& text, int id);
    void remove(int id);
    // Moves and resizes a box (the size is not clamped); drafts and unknown ids: nothing.
    void set(int id, Point origin, double size);
    // Adds a box for every "tindra.texto" fill, after the present ones.
    void restore(const std::vector<FormFill>& fills);

    State state() const { return {boxes_}; }
    void setState(const State& state) { boxes_ = state.boxes; }

    bool hasText(int id) const { return find(id) != nullptr; }
    std::vector<PreviewGeometry::TextMark> marks() const;  // = PagesPreview::TextMark
    std::vector<FormFill> fills() const;

private:
    struct Draft {
        int pageIndex = 0;
        Point origin;
    };
    static Rect rect(const Box& box);
    const Box* find(int id) const;

    std::vector<Box> boxes_;
    std::map<int, Draft> drafts_;
    int nextID_ = firstID;
};
