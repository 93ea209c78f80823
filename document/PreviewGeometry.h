#pragma once
// The page preview's model: the pages it lays out, the values its owner pushes in (copies of the
// signature, candidate places, field marks, text boxes), its zoom, pan and page, and every
// geometry question about them. No Qt: all of it is in the view's own points with y growing
// upwards, the origin at the view's lower-left corner. The widget converts once at its boundary.
//
// The observers of the stored values announce what they change through the hooks at the end
// (redraw, cursor areas, the inline editor's place) and through the owner's callbacks.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "forms/plan/FillItem.h"
#include "pages/AffineTransform.h"
#include "pages/DisplaySpace.h"
#include "pages/Geometry.h"
#include "signing/Handwriting.h"
#include "signing/SignatureCopy.h"
#include "signing/SignatureStamp.h"

class PreviewGeometry {
public:
    // How copies of the signature and the ghost are drawn: the electronic card or the handwritten
    // image.
    struct Look {
        std::variant<SignatureStamp, Handwriting> value;

        static Look card(SignatureStamp stamp) { return Look{std::move(stamp)}; }
        static Look handwriting(Handwriting image) { return Look{std::move(image)}; }

        bool isCard() const { return value.index() == 0; }
        const SignatureStamp* stamp() const { return std::get_if<SignatureStamp>(&value); }
        const Handwriting* image() const { return std::get_if<Handwriting>(&value); }

        // Draws into `rect` (page space) of a y-up cairo context, upright on a page shown with
        // that /Rotate.
        void draw(cairo_t* cr, Rect rect, int pageRotation) const;
        // The rectangle of a new copy centred on a page point: the card 250 x 72, the handwriting
        // its own default box.
        Rect box(Point around) const;
        // The smallest size a resize may give: the card 90 x 28, the handwriting 24 x 10.
        Size minimumSize() const;
    };

    // A form field's overlay, built by the form-fill controller.
    struct FieldMark {
        int id = 0;                                      // the form field's id
        int pageIndex = 0;                               // 0-based
        Rect rect;                                       // page space
        std::string text;                                // the value shown
        FillItem::State state = FillItem::State::other;  // decides the colours
        bool editable = true;  // text can be typed (false for check boxes)
        bool tick = false;     // a check box drawn as a tick mark
        bool drawn = false;    // a box found in the page's drawing rather than a form widget

        friend bool operator==(const FieldMark&, const FieldMark&) = default;
    };

    // A free text box's overlay, built by the text boxes.
    struct TextMark {
        int id = 0;
        int pageIndex = 0;
        Rect rect;  // page space
        std::string text;
        double size = 0;  // font size, points

        friend bool operator==(const TextMark&, const TextMark&) = default;
    };

    // What a click on a page does.
    enum class Tool {
        signature,  // place, pick and move copies
        text,       // add and edit text boxes
    };

    // One visible page.
    struct Layout {
        int index = 0;              // page index
        Rect frame;                 // the page's rectangle in view space
        Size displaySize;           // crop-box size in points, swapped for a quarter turn
        AffineTransform transform;  // page space -> view space
        int rotation = 0;           // the page's /Rotate: 0, 90, 180 or 270
        AffineTransform toDisplay;  // page space -> the upright crop box at the origin
    };

    // An element of `signatures` or `spaces` on a visible page: its index, the page's layout and
    // its rectangle in view space.
    struct Frame {
        int index = 0;
        Layout layout;
        Rect box;
    };

    // An element on a visible page without an index (the current copy, a text mark).
    struct Placed {
        Layout layout;
        Rect box;
    };

    // Margins of the drawing area inside the view.
    struct Insets {
        double top = 40;
        double left = 32;
        double bottom = 24;
        double right = 32;
        friend bool operator==(const Insets&, const Insets&) = default;
    };

    // What the open inline editor edits: the field or text box ids, on which page and where.
    struct Editor {
        std::vector<int> ids;
        int pageIndex = 0;
        Rect rect;  // page space
    };

    // Where the inline editor goes, view space (integral), and its font size.
    struct EditorFrame {
        Rect frame;
        double fontSize = 0;
    };

    // Allowed zoom factors; 1 fits the visible pages to the drawing area.
    struct ZoomRange {
        double lowerBound = 1;
        double upperBound = 8;
        double clamp(double value) const {
            return value < lowerBound ? lowerBound : value > upperBound ? upperBound : value;
        }
    };

    // One scroll event as the model needs it (the widget translates the toolkit's event).
    struct Scroll {
        enum class Phase { none, began, changed, ended };
        double dx = 0;         // horizontal delta: points when panning, lines for line-wise zooming
        double dy = 0;         // vertical delta, positive upwards (away from the user)
        bool zoomKey = false;  // the zoom modifier is held (Command on the original platform)
        bool precise = false;  // pixel-precise deltas (touchpad) rather than wheel lines
        bool inverted = false;  // the direction is inverted from the device
        Phase phase = Phase::none;
        Point location;  // view space
    };

    static constexpr int sideBySideLimit = 3;  // most pages shown side by side
    static constexpr Size minimumStampSize{90, 28};
    static constexpr ZoomRange zoomRange{1.0, 8.0};
    static constexpr double pageGap = 28;           // between pages side by side
    static constexpr double labelStrip = 24;        // under the pages, for their labels
    static constexpr double panOverscroll = 40;     // how far the pages may be pushed past an edge
    static constexpr double pageTurnDistance = 40;  // scroll that turns a page
    static constexpr double copyMargin = 4;  // the outer part of a copy that does not cover a place

    PreviewGeometry() = default;

    // --- Document and page --------------------------------------------------------------------

    using Frames = std::vector<std::optional<DisplaySpace>>;
    // The document's pages by index: their frames, nothing for a page that cannot be read (left out
    // of the layout). Setting a document, even the same one, sets the current page to 0.
    void setDocument(Frames pages);
    // A document whose first `frames` are read: `count` pages in all (at least as many), those
    // past the frames read taking `unread`.
    void setDocument(std::shared_ptr<const Frames> frames, int count,
                     std::optional<DisplaySpace> unread);
    // The same document with its page list final: the current page stays, clamped into the new
    // count (a change of page puts zoom and pan back); redraws.
    void updatePages(std::shared_ptr<const Frames> frames, int count,
                     std::optional<DisplaySpace> unread);
    void clearDocument();
    bool hasDocument() const { return hasDocument_; }
    // The frame of the page at that index; nothing out of range.
    const std::optional<DisplaySpace>& page(int index) const;

    int pageCount() const { return hasDocument_ ? count_ : 0; }
    // True without a document or with fewer than 4 pages.
    bool showsAllPages() const;
    // The pages laid out: all of them up to 3, else the current page clamped into the document.
    std::vector<int> visiblePages() const;

    int currentPage() const { return currentPage_; }
    // Not clamped (the owners clamp it). A change puts zoom and pan back and drops the ghost;
    // every set redraws and calls onPageChange.
    void setCurrentPage(int page);

    // --- View ---------------------------------------------------------------------------------

    Size size() const { return size_; }
    // The view's new size: pan is clamped again, cursor areas and the editor follow.
    void setSize(Size size);
    Insets insets() const { return insets_; }
    void setInsets(Insets insets);

    // --- Values pushed in by the owner ----------------------------------------------------------

    const std::optional<Look>& look() const { return look_; }
    void setLook(std::optional<Look> look);
    // Changes each time a look is set, so drawings cached for one look are not used for another.
    std::uint64_t lookGeneration() const { return lookGeneration_; }

    const std::vector<SignatureCopy>& signatures() const { return signatures_; }
    void setSignatures(std::vector<SignatureCopy> signatures);

    const std::vector<SignatureCopy>& spaces() const { return spaces_; }
    void setSpaces(std::vector<SignatureCopy> spaces);

    const std::vector<FieldMark>& fieldMarks() const { return fieldMarks_; }
    void setFieldMarks(std::vector<FieldMark> marks);

    const std::vector<TextMark>& texts() const { return texts_; }
    void setTexts(std::vector<TextMark> texts);

    Tool tool() const { return tool_; }
    void setTool(Tool tool);

    // --- State of the pointer and the keyboard ---------------------------------------------------

    std::optional<int> picked() const { return picked_; }
    void setPicked(std::optional<int> index);
    // The copy that selection, zooming and deletion act on: the picked one, else the last.
    std::optional<int> current() const;

    const std::optional<SignatureCopy>& ghost() const { return ghost_; }
    void setGhost(std::optional<SignatureCopy> ghost);

    std::optional<int> selectedText() const { return selectedText_; }
    void setSelectedText(std::optional<int> id);

    std::optional<int> hovered() const { return hovered_; }
    void setHovered(std::optional<int> id);

    const std::optional<Editor>& editor() const { return editor_; }
    // Opening, moving or closing the inline editor; the editor's place is recomputed.
    void setEditor(std::optional<Editor> editor);

    // --- Geometry -------------------------------------------------------------------------------

    // The drawing area: the bounds inside the insets, less the label strip at the bottom.
    Rect area() const;
    // The crop-box sizes of the visible pages (quarter turns swapped), pages without a frame
    // left out.
    std::vector<Size> pageSizes() const;
    struct Fit {
        double scale = 0;
        Size content;
    };
    Fit fit(const std::vector<Size>& sizes) const;
    std::vector<Layout> layouts() const;
    void clampPan();
    std::optional<Placed> currentFrame() const;
    std::vector<Frame> signatureFrames() const;
    std::optional<Placed> textFrame(const TextMark& mark) const;
    std::vector<Frame> freeSpaces() const;
    // Where the open inline editor goes; nothing without an editor or when its page is not shown.
    std::optional<EditorFrame> editorFrame() const;

    // --- Changes of the copies ------------------------------------------------------------------

    // Reports `signatures` with copy `index` moved to `rect` in whole points (halves away from
    // zero), on the copy's page, `handwritten` unset. The stored copies stay as they are.
    void setSignature(int index, Rect rect);
    // Announces "Quitar la firma" and reports `signatures` without copy `index`.
    void removeSignature(int index);

    // --- Zoom and scrolling ---------------------------------------------------------------------

    double zoom() const { return zoom_; }
    Point pan() const { return pan_; }
    // Clamped into zoomRange; keeps `anchor` (view space; the area's centre when nothing) where it
    // is on screen. A zoom of exactly 1 puts the pan back to (0, 0). Nothing when unchanged.
    void setZoom(double value, std::optional<Point> anchor = std::nullopt);
    // Zooms by a factor about the current copy when it is shown (and then brings it to the
    // middle), else about the area's centre.
    void zoomBy(double factor);
    // A pinch step: zoom times (1 + magnification), about the pointer.
    void magnify(double magnification, Point location);
    // A two-finger double tap: back to fitting when zoomed, else 2.5.
    void smartMagnify(Point location);
    // A scroll event: zooms with the zoom key, pans a zoomed view, turns the pages of a document
    // shown one page at a time. False when the event is not for this view (to be passed on).
    bool scroll(const Scroll& event);
    // The zoom factor of a zoom-key scroll.
    static double scrollZoomFactor(const Scroll& event);
    double scrollAccumulator() const { return scrollAccumulator_; }

    // --- Owner's callbacks and the view's hooks ------------------------------------------------

    std::function<void(const std::string&)> onSignaturesWillChange;
    std::function<void(const std::vector<SignatureCopy>&)> onSignaturesChange;
    std::function<void()> onPageChange;
    std::function<void()> onToolChange;
    std::function<void()> onZoomChange;

    std::function<void()> needsDisplay;    // redraw
    std::function<void()> cursorsChanged;  // the cursor areas are out of date
    std::function<void()> layoutEditor;    // the inline editor's place may have changed

private:
    void redraw() const;
    void invalidateCursors() const;
    void placeEditor() const;
    void setZoomValue(double zoom);
    void setPanValue(Point pan);
    std::optional<Layout> layoutOf(const std::vector<Layout>& layouts, int page) const;

    bool hasDocument_ = false;
    std::shared_ptr<const Frames> pages_ = std::make_shared<const Frames>();
    int count_ = 0;
    std::optional<DisplaySpace> unread_;
    int currentPage_ = 0;
    Size size_;
    Insets insets_;
    std::optional<Look> look_;
    std::uint64_t lookGeneration_ = 0;
    std::vector<SignatureCopy> signatures_;
    std::optional<int> picked_;
    std::vector<SignatureCopy> spaces_;
    std::optional<SignatureCopy> ghost_;
    std::vector<FieldMark> fieldMarks_;
    std::vector<TextMark> texts_;
    std::optional<int> selectedText_;
    Tool tool_ = Tool::signature;
    std::optional<int> hovered_;
    std::optional<Editor> editor_;
    double zoom_ = 1;
    Point pan_;
    double scrollAccumulator_ = 0;
};
