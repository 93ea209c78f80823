#pragma once
// The page canvas of the document window: draws the pages of one PDF itself, with the copies of
// the signature, the form-field marks, the user's text boxes and the ghost copy under the pointer,
// up to three pages side by side, one at a time for longer documents; zooms and pans.
//
// A controlled view: it draws what its owner pushes in and reports every change the user makes
// through the callbacks; it never stores a change of the copies itself (the owner assigns the
// reported array back to `signatures`).
//
// The model (PreviewGeometry) works in y-up view points; this widget converts once: a view point
// (x, y) is the widget point (x, height - y). What a press, a drag, a key, a hover or a right press
// does, and which cursor shows where, is decided by PreviewInteraction on the same model; the
// inline editor, a line edit private to this widget's source, types a field's value in place. Page rasters come from a worker thread in tiles;
// until a tile is in, the page shows a nearer cached scale of it, or white.

#include <QColor>
#include <QCursor>
#include <QMarginsF>
#include <QPoint>
#include <QPointer>
#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/PageViewer.h"
#include "document/PreviewDocument.h"
#include "document/PreviewGeometry.h"
#include "document/PreviewInteraction.h"
#include "pages/Geometry.h"
#include "signing/SignatureCopy.h"

class InlineEditor;
class PreviewPainter;
class PreviewTiles;
class QKeyEvent;
class QLineEdit;
class QMenu;

class PagesPreview final : public QWidget, public PageViewer {
    Q_OBJECT

public:
    using Look = PreviewGeometry::Look;
    using FieldMark = PreviewGeometry::FieldMark;
    using TextMark = PreviewGeometry::TextMark;
    using Tool = PreviewGeometry::Tool;
    using Layout = PreviewGeometry::Layout;

    // Most pages shown side by side.
    static constexpr int sideBySideLimit = PreviewGeometry::sideBySideLimit;
    // Smallest card size.
    static constexpr Size minimumStampSize = PreviewGeometry::minimumStampSize;
    // zoomRange (1...8) comes from PageViewer.

    explicit PagesPreview(QWidget* parent = nullptr);
    ~PagesPreview() override;

    // --- PageViewer ---------------------------------------------------------------------------
    QWidget* widget() override { return this; }
    bool open(const std::filesystem::path& path) override;
    int currentPage() const override;
    void setCurrentPage(int page) override;
    int pageCount() const override;
    bool showsAllPages() const override;
    double zoom() const override;
    void setZoom(double zoom, std::optional<QPointF> anchor = std::nullopt) override;
    void zoomBy(double factor) override;
    void setBackground(const QColor& color) override;
    void setInsets(const QMarginsF& insets) override;

    // --- Values pushed in by the owner --------------------------------------------------------

    // The document shown; setting it, even to the same one, sets the current page to 0.
    const std::shared_ptr<PreviewDocument>& document() const { return document_; }
    void setDocument(std::shared_ptr<PreviewDocument> document);

    // How copies and the ghost are drawn; nothing = no signature can be shown or placed.
    const std::optional<Look>& look() const;
    void setLook(std::optional<Look> look);

    // The placed copies, page space. Fewer than the picked index needs clears the pick.
    const std::vector<SignatureCopy>& signatures() const;
    void setSignatures(std::vector<SignatureCopy> signatures);

    // Candidate places of the signature, page space.
    const std::vector<SignatureCopy>& spaces() const;
    void setSpaces(std::vector<SignatureCopy> spaces);

    const std::vector<FieldMark>& fieldMarks() const;
    void setFieldMarks(std::vector<FieldMark> marks);

    const std::vector<TextMark>& texts() const;
    void setTexts(std::vector<TextMark> texts);

    Tool tool() const;
    void setTool(Tool tool);

    QColor background() const { return background_; }
    // (left, top, right, bottom); top 40, left 32, bottom 24, right 32 at first.
    QMarginsF insets() const;

    // --- Read-only -------------------------------------------------------------------------------

    // The pages laid out.
    std::vector<int> visiblePages() const;
    // The copy that selection, zooming and deletion act on.
    std::optional<int> current() const;

    // The model behind the view (for the pointer and keyboard handling, and for tests).
    PreviewGeometry& geometry() { return geometry_; }
    const PreviewGeometry& geometry() const { return geometry_; }

    // Conversions between the model's y-up view points and widget coordinates.
    Point toView(QPointF widgetPoint) const;
    QPointF toWidget(Point viewPoint) const;
    QRectF toWidget(const Rect& viewRect) const;

    // --- Pointer, keyboard and the inline editor ---------------------------------------------

    // Opens the inline editor over `rect` (page space) of page `pageIndex`, showing `text` all
    // selected, for the field or text-box `ids` (at least one). An open editor ends first, with
    // its report.
    void beginEditing(const std::vector<int>& ids, int pageIndex, const Rect& rect,
                      const std::string& text);
    // The open inline editor, or nothing.
    QLineEdit* inlineEditor() const;
    // Ends the open inline editor as if the focus had left it (it reports a changed text).
    void endEditing();

    // Turns the page for Home, End, Page Up, Page Down or an arrow without Shift, Control, Alt or
    // Meta, when pages are shown one at a time; true when it did.
    bool turnPage(int key, Qt::KeyboardModifiers modifiers);
    bool turnPage(const QKeyEvent& event);

    // The pointer and keyboard model (for tests).
    PreviewInteraction& interaction() { return interaction_; }
    // The cursor areas, view space, in the order they apply (the last one holding a point wins).
    std::vector<PreviewInteraction::CursorRect> cursorRects() const;
    // The cursor shown at a widget point.
    Qt::CursorShape cursorShapeAt(QPointF widgetPoint) const;
    static Qt::CursorShape shape(PreviewInteraction::Cursor cursor);

    // Shows the context menu of a copy; tests replace it so that no menu blocks. By default the
    // menu pops up at `globalPosition`.
    std::function<void(QMenu& menu, const QPoint& globalPosition)> presentMenu;

    // True while a tile of a visible page at the shown scale is still missing (being rendered or
    // waiting for the zoom to settle).
    bool tilesPending() const;
    // The preview has painted, and its last paint had every visible tile: what it shows is drawn
    // whole. False before its first paint, when nothing is known to be missing yet.
    bool drawnWhole() const { return painted_ && missingTiles_ == 0; }
    // Bytes of page tiles held in the cache (at most 256 MB).
    std::int64_t cachedTileBytes() const;

    // --- Callbacks (onPageChange and onZoomChange come from PageViewer) ------------------------

    // Before a user change of the copies, with the undo action name.
    std::function<void(const std::string&)> onSignaturesWillChange;
    // The whole new array after each user change of the copies. While nothing is set, no copy
    // can be placed.
    std::function<void(const std::vector<SignatureCopy>&)> onSignaturesChange;
    // A field mark was clicked / right-clicked: its id and its rectangle in widget coordinates.
    std::function<void(int, const QRectF&)> onFieldClick;
    std::function<void(int, const QRectF&)> onFieldMenu;
    // The inline editor ended with a changed text: the edited ids and the new text.
    std::function<void(const std::vector<int>&, const std::string&)> onFieldEdit;
    // The inline editor ended with Tab (true) or Shift-Tab (false): the first edited id.
    std::function<void(int, bool)> onFieldTab;
    // The tool actually changed.
    std::function<void()> onToolChange;
    // A click with the text tool on a page: the page index and the point in page space.
    std::function<void(int, Point)> onTextAdd;
    // A text mark was clicked without dragging: its id.
    std::function<void(int)> onTextEdit;
    // Before a text mark is moved or resized.
    std::function<void()> onTextWillChange;
    // A text mark was moved or resized: id, new origin in page space, new font size.
    std::function<void(int, Point, double)> onTextChange;
    // Delete on the selected text mark: its id.
    std::function<void(int)> onTextDelete;
    // A long document's page list became final (its count and frames may have changed); called
    // before onPageChange, which follows.
    std::function<void()> onPagesRead;

public slots:
    // Removes the current copy (the picked one, else the last); the context menu's action.
    void removePicked();

signals:
    // A page tile came in (the view has repainted or will).
    void tilesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class InlineEditor;
    void zoomChanged();
    void wireInteraction();
    void press(QMouseEvent* event);
    void showCopyMenu();
    void placeEditor();
    void editorEnded(InlineEditor* editor, int movement, std::string startText);
    void updateCursor(QPointF widgetPoint);

    PreviewGeometry geometry_;
    PreviewInteraction interaction_{geometry_};
    QPointer<InlineEditor> editor_;
    bool pressEndedEditor_ = false;  // the toolkit's click focus ended the editor for this press
    QPoint menuPosition_;            // where the copy menu opens, global
    mutable std::vector<PreviewInteraction::CursorRect> cursorRects_;
    mutable bool cursorsDirty_ = true;
    bool cursorUpdatePosted_ = false;
    std::optional<QPointF> pointer_;  // the last pointer position over the view, widget space
    std::shared_ptr<PreviewDocument> document_;
    QColor background_;
    bool backgroundSet_ = false;
    std::unique_ptr<PreviewTiles> tiles_;
    std::unique_ptr<PreviewPainter> painter_;
    std::size_t missingTiles_ = 0;  // visible tiles missing at the last paint
    bool painted_ = false;
    QTimer settle_;                 // the exact raster scale is asked for once the zoom has settled
};
