#pragma once
// The page preview's pointer and keyboard, without Qt: presses, drags and releases of the left
// button, the right press, hovering, the keys, and the cursor areas, all in the preview's y-up
// view points over a PreviewGeometry.
//
// It keeps the gesture in progress (`drag`) and writes the pick, the selected text mark, the ghost
// and the hovered field into the model; it never writes the model's `signatures`: every change of
// the copies goes out through the model's onSignaturesWillChange (once per gesture, with the undo
// action name) and onSignaturesChange (the whole new array), and the owner assigns it back. Text
// boxes and form fields belong to other models: presses, drags and keys on their marks are
// reported through the callbacks below.

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "document/PreviewGeometry.h"
#include "pages/Geometry.h"
#include "signing/SignatureCopy.h"

class PreviewInteraction {
public:
    // A copy dragged by its body: its index in `signatures` and the grab point's offset from its
    // lower-left corner, page space.
    struct Move {
        int index = 0;
        Point offset;
        friend bool operator==(const Move&, const Move&) = default;
    };
    // A copy resized by a corner: its index and the page-space corner that stays fixed.
    struct Resize {
        int index = 0;
        Point anchor;
        friend bool operator==(const Resize&, const Resize&) = default;
    };
    // A text mark dragged by its body: the grab offset (page space), the press point (view space)
    // and whether the pointer has gone past the drag threshold.
    struct MoveText {
        int id = 0;
        Point offset;
        Point start;
        bool moved = false;
        friend bool operator==(const MoveText&, const MoveText&) = default;
    };
    // A text mark resized by a corner: the page-space corner that stays fixed.
    struct ResizeText {
        int id = 0;
        Point anchor;
        friend bool operator==(const ResizeText&, const ResizeText&) = default;
    };
    using Drag = std::variant<Move, Resize, MoveText, ResizeText>;

    // The keys the preview acts on; everything else is `other`.
    enum class Key {
        other,
        escape,
        backspace,      // Delete on the original keyboard
        forwardDelete,  // Forward Delete
        home,
        end,
        pageUp,
        pageDown,
        left,
        right,
        up,
        down,
    };
    // Held modifiers that stop a page turn (the keypad and function flags do not count).
    struct Modifiers {
        bool shift = false;
        bool control = false;
        bool alt = false;
        bool meta = false;
        bool any() const { return shift || control || alt || meta; }
    };

    // What the pointer shows over an area.
    enum class Cursor {
        arrow,
        iBeam,
        crosshair,
        pointingHand,
        openHand,
        resizeBottomLeft,
        resizeBottomRight,
        resizeTopLeft,
        resizeTopRight,
    };
    struct CursorRect {
        Rect rect;  // view space
        Cursor cursor = Cursor::arrow;
        friend bool operator==(const CursorRect&, const CursorRect&) = default;
    };

    // What a right press did.
    enum class RightPress {
        none,       // nothing was hit: the event goes on
        copyMenu,   // a copy was picked and its menu shown
        fieldMenu,  // onFieldMenu was called
    };

    static constexpr double handleReach = 9;        // a press this near a corner grabs it
    static constexpr double copyHitMargin = 3;      // copies and text marks grow by this for hits
    static constexpr double fieldHitMargin = 2;     // field marks and free places grow by this
    static constexpr double textDragThreshold = 3;  // a text press moves only past this
    static constexpr double cornerSquare = 18;      // the resize cursor's square on each corner
    static constexpr int sideBySidePages = 3;       // more pages are shown one at a time

    explicit PreviewInteraction(PreviewGeometry& model) : model_(model) {}

    // --- Left button -------------------------------------------------------------------------
    // `editorJustEnded`: the toolkit already ended an open inline editor on its way to this press.
    void press(Point p, bool editorJustEnded = false);
    void dragTo(Point p);
    void release();
    const std::optional<Drag>& drag() const { return drag_; }

    // --- Keys --------------------------------------------------------------------------------
    // True when the key was used; false passes it on.
    bool keyDown(Key key, Modifiers modifiers);
    // Turns the page for a paging key when pages are shown one at a time; true when it did.
    bool turnPage(Key key, Modifiers modifiers);

    // --- Hover and right button ----------------------------------------------------------------
    void mouseMoved(Point p);
    void mouseExited();
    RightPress rightPress(Point p);
    // Removes the current copy (the picked one, else the last); nothing without copies.
    void removePicked();

    // --- Geometry --------------------------------------------------------------------------------
    // The copy a click at `p` would place, if any.
    std::optional<SignatureCopy> ghost(Point p) const;
    // `rect` (page space) kept inside the crop box of page `pageIndex`, shrunk to it when larger.
    Rect clamped(Rect rect, int pageIndex) const;
    // The rectangle from `anchor` to the pointer, at least `minimum` in size, on either side.
    static Rect resized(Point anchor, Point pointer, Size minimum);
    // The cursor areas in order, each cut to `visible`; the last one holding a point wins.
    std::vector<CursorRect> cursorRects(Rect visible) const;
    static Cursor cursorAt(const std::vector<CursorRect>& rects, Point p);

    // --- Callbacks (each optional) -----------------------------------------------------------
    std::function<void(int, Rect)> onFieldClick;  // field id, its view rectangle (not grown)
    std::function<void(int, Rect)> onFieldMenu;   // the same for a right press
    std::function<void(int, Point)> onTextAdd;    // page index, page point
    std::function<void(int)> onTextEdit;          // text id
    std::function<void()> onTextWillChange;
    std::function<void(int, Point, double)> onTextChange;  // id, origin (page space), font size
    std::function<void(int)> onTextDelete;

    // --- Hooks to the view -------------------------------------------------------------------
    std::function<void()> focusView;    // make the preview the focused widget
    std::function<void()> endEditing;   // end the open inline editor (it reports first)
    std::function<void()> showCopyMenu;  // the one-item menu of a copy
    // Whether the owner listens to changes of the copies; the model's onSignaturesChange when
    // unset.
    std::function<bool()> reportsSignatures;

private:
    using Layout = PreviewGeometry::Layout;

    bool listens() const;
    bool clickable(const PreviewGeometry::FieldMark& mark) const;
    std::optional<Layout> layoutOf(const std::vector<Layout>& layouts, int page) const;
    // The first clickable field mark under `p` on a page whose frame holds `p`: id and view rect.
    std::optional<std::pair<const PreviewGeometry::FieldMark*, Rect>> fieldAt(Point p) const;
    // The page point of a view point in a layout.
    static Point pagePoint(const Layout& layout, Point p);
    // The corner (0..3) of `box` within reach of `p`, in the order BL, BR, TL, TR.
    static std::optional<int> cornerAt(const Rect& box, Point p);
    // The page corner held fixed while corner `corner` of the view box is dragged.
    static Point anchorFor(const Layout& layout, const Rect& pageRect, int corner);
    void focus();
    void invalidateCursors();

    PreviewGeometry& model_;
    std::optional<Drag> drag_;
};
