#include "document/PagesPreview.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "document/preview/PreviewPainter.h"
#include "document/preview/PreviewTiles.h"

namespace {

// How long the zoom must rest before the page is rendered at its new scale (meanwhile the nearest
// cached scale is shown stretched).
constexpr int settleMilliseconds = 120;

// A wheel notch without pixel deltas: three lines of 16 points, so one notch turns a page.
constexpr double notchPoints = 48;
constexpr double notchAngle = 120;  // eighths of a degree per notch

// The fill behind the pages when the owner sets none: a grey darker than the window.
QColor underPageBackground(const QPalette& palette) {
    return Palette::isDark(palette) ? QColor(30, 30, 30) : QColor(214, 214, 214);
}

// The inline editor's look: dark blue text on white, an accent border of 1.5 with corners of 3.
const QColor editorText = QColor::fromRgbF(0.03f, 0.15f, 0.30f);
constexpr double editorBorder = 1.5;
constexpr double editorRadius = 3;
constexpr int editorTextMargin = 3;

constexpr const char* removeSignatureTitle = "Quitar la firma";

PreviewInteraction::Key keyOf(int key) {
    using Key = PreviewInteraction::Key;
    switch (key) {
        case Qt::Key_Escape: return Key::escape;
        case Qt::Key_Backspace: return Key::backspace;
        case Qt::Key_Delete: return Key::forwardDelete;
        case Qt::Key_Home: return Key::home;
        case Qt::Key_End: return Key::end;
        case Qt::Key_PageUp: return Key::pageUp;
        case Qt::Key_PageDown: return Key::pageDown;
        case Qt::Key_Left: return Key::left;
        case Qt::Key_Right: return Key::right;
        case Qt::Key_Up: return Key::up;
        case Qt::Key_Down: return Key::down;
        default: return Key::other;
    }
}

// The keypad flag, which arrow keys may carry, does not count.
PreviewInteraction::Modifiers modifiersOf(Qt::KeyboardModifiers m) {
    return {m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::ControlModifier),
            m.testFlag(Qt::AltModifier), m.testFlag(Qt::MetaModifier)};
}

}  // namespace

// --- Inline editor -------------------------------------------------------------------------------

// A one-line field laid over a form field's mark or a text box, so that its value is typed in
// place. It takes Return, Escape, Tab and Shift-Tab itself: none of them reaches the window (whose
// Return signs) or the focus chain. It ends once, through `onEnd`, when its focus goes (not while
// the window is inactive or a menu is open).
class InlineEditor final : public QLineEdit {
public:
    enum class Movement { return_, tab, backtab, cancel, other };

    InlineEditor(std::vector<int> ids, int pageIndex, Rect rect, QWidget* preview)
        : QLineEdit(preview), ids(std::move(ids)), pageIndex(pageIndex), pageRect(rect) {
        setFrame(false);
        setTextMargins(editorTextMargin, 0, editorTextMargin, 0);
        QPalette p = palette();
        p.setColor(QPalette::Base, Qt::transparent);
        p.setColor(QPalette::Text, editorText);
        setPalette(p);
        setGeometry(0, 0, 0, 0);
    }

    const std::vector<int> ids;
    const int pageIndex;
    const Rect pageRect;  // the edited rectangle, page space
    std::function<void(Movement)> onEnd;
    std::optional<Movement> ending;  // chosen by a key command

    bool ended() const { return ended_; }
    Qt::FocusReason endReason() const { return endReason_; }

    void finish(Movement movement) {
        if (ended_) return;
        ended_ = true;
        if (onEnd) onEnd(movement);
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(e);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                key->key() == Qt::Key_Escape) {
                e->accept();
                return true;
            }
        }
        if (e->type() == QEvent::KeyPress) {
            // Before the focus traversal that would otherwise take Tab.
            auto* key = static_cast<QKeyEvent*>(e);
            const Qt::KeyboardModifiers other =
                key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
            if (key->key() == Qt::Key_Backtab ||
                (key->key() == Qt::Key_Tab && key->modifiers().testFlag(Qt::ShiftModifier))) {
                if (!other) {
                    command(Movement::backtab);
                    return true;
                }
            } else if (key->key() == Qt::Key_Tab && !other) {
                command(Movement::tab);
                return true;
            }
        }
        return QLineEdit::event(e);
    }

    void keyPressEvent(QKeyEvent* e) override {
        switch (e->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                e->accept();
                command(Movement::return_);
                return;
            case Qt::Key_Escape:
                e->accept();
                command(Movement::cancel);
                return;
            default:
                QLineEdit::keyPressEvent(e);
        }
    }

    void focusOutEvent(QFocusEvent* e) override {
        QLineEdit::focusOutEvent(e);
        const Qt::FocusReason reason = e->reason();
        // The window went inactive or a menu opened: editing goes on.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
        // A right press on the preview takes the focus by clicking; the press itself decides
        // whether the editor ends (a field's menu) or stays (a copy's menu, an empty place).
        if (reason == Qt::MouseFocusReason &&
            QGuiApplication::mouseButtons() == Qt::RightButton &&
            QApplication::focusWidget() == parentWidget()) {
            QTimer::singleShot(0, this, [this] {
                if (!ended_) setFocus(Qt::OtherFocusReason);
            });
            return;
        }
        endReason_ = reason;
        finish(ending.value_or(Movement::other));
    }

    void paintEvent(QPaintEvent* e) override {
        const QRectF box = QRectF(rect()).adjusted(editorBorder / 2, editorBorder / 2,
                                                   -editorBorder / 2, -editorBorder / 2);
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawRoundedRect(box, editorRadius, editorRadius);
        }
        QLineEdit::paintEvent(e);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Palette::accent(palette()), editorBorder));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box, editorRadius, editorRadius);
    }

private:
    // Return, Escape, Tab, Shift-Tab: the way of ending is chosen, then the focus goes back to
    // the preview, which ends the editing. An editor not on screen takes the key and stays.
    void command(Movement movement) {
        if (!isVisible() || !parentWidget()) return;
        ending = movement;
        QPointer<InlineEditor> self(this);
        parentWidget()->setFocus(Qt::OtherFocusReason);
        // Without focus events (an inactive window) the editor ends here.
        if (self && !self->ended_) {
            self->endReason_ = Qt::OtherFocusReason;
            self->finish(movement);
        }
    }

    bool ended_ = false;
    Qt::FocusReason endReason_ = Qt::OtherFocusReason;
};

// --- PagesPreview --------------------------------------------------------------------------------

PagesPreview::PagesPreview(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // Every right press comes to mousePressEvent; the view opens its own menus.
    setContextMenuPolicy(Qt::PreventContextMenu);
    geometry_.setSize({static_cast<double>(width()), static_cast<double>(height())});

    geometry_.needsDisplay = [this] { update(); };
    geometry_.onPageChange = [this] {
        if (onPageChange) onPageChange();
    };
    geometry_.onZoomChange = [this] {
        zoomChanged();
        if (onZoomChange) onZoomChange();
    };
    geometry_.onToolChange = [this] {
        if (onToolChange) onToolChange();
    };
    geometry_.onSignaturesWillChange = [this](const std::string& name) {
        if (onSignaturesWillChange) onSignaturesWillChange(name);
    };
    geometry_.onSignaturesChange = [this](const std::vector<SignatureCopy>& copies) {
        if (onSignaturesChange) onSignaturesChange(copies);
    };

    geometry_.cursorsChanged = [this] {
        cursorsDirty_ = true;
        if (cursorUpdatePosted_) return;
        cursorUpdatePosted_ = true;
        // The pointer's cursor follows once the event that changed the areas is done.
        QTimer::singleShot(0, this, [this] {
            cursorUpdatePosted_ = false;
            if (pointer_) updateCursor(*pointer_);
        });
    };
    geometry_.layoutEditor = [this] { placeEditor(); };
    wireInteraction();

    painter_ = std::make_unique<PreviewPainter>();
    tiles_ = std::make_unique<PreviewTiles>(this, [this] {
        update();
        emit tilesChanged();
    });
    settle_.setSingleShot(true);
    settle_.setInterval(settleMilliseconds);
    connect(&settle_, &QTimer::timeout, this, [this] { update(); });
}

PagesPreview::~PagesPreview() {
    // An editor still open goes silently, before the view's own parts.
    if (editor_) {
        editor_->onEnd = nullptr;
        delete editor_.data();
    }
    // The worker stops before the view goes; tiles it posted are dropped with the view.
    tiles_.reset();
}

void PagesPreview::wireInteraction() {
    PreviewInteraction& i = interaction_;
    i.reportsSignatures = [this] { return static_cast<bool>(onSignaturesChange); };
    i.focusView = [this] { setFocus(Qt::OtherFocusReason); };
    i.endEditing = [this] { endEditing(); };
    i.showCopyMenu = [this] { showCopyMenu(); };
    i.onFieldClick = [this](int id, Rect rect) {
        if (onFieldClick) onFieldClick(id, toWidget(rect));
    };
    i.onFieldMenu = [this](int id, Rect rect) {
        if (onFieldMenu) onFieldMenu(id, toWidget(rect));
    };
    i.onTextAdd = [this](int page, Point point) {
        if (onTextAdd) onTextAdd(page, point);
    };
    i.onTextEdit = [this](int id) {
        if (onTextEdit) onTextEdit(id);
    };
    i.onTextWillChange = [this] {
        if (onTextWillChange) onTextWillChange();
    };
    i.onTextChange = [this](int id, Point origin, double size) {
        if (onTextChange) onTextChange(id, origin, size);
    };
    i.onTextDelete = [this](int id) {
        if (onTextDelete) onTextDelete(id);
    };
}

// --- PageViewer ---------------------------------------------------------------------------------

bool PagesPreview::open(const std::filesystem::path& path) {
    std::shared_ptr<PreviewDocument> document = PreviewDocument::open(path);
    setDocument(document);
    return document != nullptr;
}

int PagesPreview::currentPage() const {
    return geometry_.currentPage();
}
void PagesPreview::setCurrentPage(int page) {
    geometry_.setCurrentPage(page);
}
int PagesPreview::pageCount() const {
    return geometry_.pageCount();
}
bool PagesPreview::showsAllPages() const {
    return geometry_.showsAllPages();
}
double PagesPreview::zoom() const {
    return geometry_.zoom();
}

void PagesPreview::setZoom(double zoom, std::optional<QPointF> anchor) {
    std::optional<Point> at;
    if (anchor) at = toView(*anchor);
    geometry_.setZoom(zoom, at);
}

void PagesPreview::zoomBy(double factor) {
    geometry_.zoomBy(factor);
}

void PagesPreview::setBackground(const QColor& color) {
    background_ = color;
    backgroundSet_ = true;
    update();
}

void PagesPreview::setInsets(const QMarginsF& insets) {
    geometry_.setInsets({insets.top(), insets.left(), insets.bottom(), insets.right()});
}

QMarginsF PagesPreview::insets() const {
    PreviewGeometry::Insets i = geometry_.insets();
    return QMarginsF(i.left, i.top, i.right, i.bottom);
}

// --- Values pushed in ----------------------------------------------------------------------------

void PagesPreview::setDocument(std::shared_ptr<PreviewDocument> document) {
    if (document != document_) tiles_->setDocument(document);
    document_ = std::move(document);
    if (!document_) {
        geometry_.clearDocument();
        return;
    }
    geometry_.setDocument(document_->displaySpaces(), document_->pageCount(),
                          document_->unreadSpace());
    if (document_->pagesRead()) return;
    // The rest of a long document's page list comes later: the count and the frames of the pages
    // not reached yet are put right then, the current page staying where it is.
    std::weak_ptr<PreviewDocument> shown = document_;
    document_->whenPagesRead(this, [this, shown] {
        std::shared_ptr<PreviewDocument> document = shown.lock();
        if (!document || document != document_) return;
        geometry_.updatePages(document->displaySpaces(), document->pageCount(),
                              document->unreadSpace());
        if (onPagesRead) onPagesRead();
        if (onPageChange) onPageChange();
    });
}

const std::optional<PagesPreview::Look>& PagesPreview::look() const {
    return geometry_.look();
}
void PagesPreview::setLook(std::optional<Look> look) {
    geometry_.setLook(std::move(look));
}

const std::vector<SignatureCopy>& PagesPreview::signatures() const {
    return geometry_.signatures();
}
void PagesPreview::setSignatures(std::vector<SignatureCopy> signatures) {
    geometry_.setSignatures(std::move(signatures));
}

const std::vector<SignatureCopy>& PagesPreview::spaces() const {
    return geometry_.spaces();
}
void PagesPreview::setSpaces(std::vector<SignatureCopy> spaces) {
    geometry_.setSpaces(std::move(spaces));
}

const std::vector<PagesPreview::FieldMark>& PagesPreview::fieldMarks() const {
    return geometry_.fieldMarks();
}
void PagesPreview::setFieldMarks(std::vector<FieldMark> marks) {
    geometry_.setFieldMarks(std::move(marks));
}

const std::vector<PagesPreview::TextMark>& PagesPreview::texts() const {
    return geometry_.texts();
}
void PagesPreview::setTexts(std::vector<TextMark> texts) {
    geometry_.setTexts(std::move(texts));
}

PagesPreview::Tool PagesPreview::tool() const {
    return geometry_.tool();
}
void PagesPreview::setTool(Tool tool) {
    geometry_.setTool(tool);
}

std::vector<int> PagesPreview::visiblePages() const {
    return geometry_.visiblePages();
}
std::optional<int> PagesPreview::current() const {
    return geometry_.current();
}

// --- Coordinates ---------------------------------------------------------------------------------

Point PagesPreview::toView(QPointF p) const {
    return {p.x(), height() - p.y()};
}

QPointF PagesPreview::toWidget(Point p) const {
    return QPointF(p.x, height() - p.y);
}

QRectF PagesPreview::toWidget(const Rect& r) const {
    return QRectF(r.x, height() - r.maxY(), r.width, r.height);
}

bool PagesPreview::tilesPending() const {
    return missingTiles_ > 0;
}

std::int64_t PagesPreview::cachedTileBytes() const {
    return tiles_->bytes();
}

// --- Events --------------------------------------------------------------------------------------

void PagesPreview::zoomChanged() {
    if (document_) settle_.start();
}

void PagesPreview::paintEvent(QPaintEvent*) {
    Size size{static_cast<double>(width()), static_cast<double>(height())};
    if (!(size == geometry_.size())) geometry_.setSize(size);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // The model's view space: y upwards from the bottom edge.
    painter.translate(0, height());
    painter.scale(1, -1);
    PreviewPainter::Input input;
    input.background = backgroundSet_ ? background_ : underPageBackground(palette());
    input.palette = palette();
    input.height = height();
    input.devicePixelRatio = devicePixelRatioF();
    input.visible = {0, 0, size.width, size.height};
    PreviewPainter::Output output = painter_->paint(painter, geometry_, tiles_.get(), input);
    missingTiles_ = output.wanted.size();
    painted_ = true;
    tiles_->request(settle_.isActive() ? output.urgent : output.wanted);
}

void PagesPreview::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    geometry_.setSize({static_cast<double>(width()), static_cast<double>(height())});
    // A new size is a new scale: render it once the size rests.
    if (document_) settle_.start();
}

void PagesPreview::wheelEvent(QWheelEvent* event) {
    PreviewGeometry::Scroll scroll;
    scroll.zoomKey = event->modifiers().testFlag(Qt::ControlModifier);
    scroll.inverted = event->inverted();
    scroll.location = toView(event->position());
    scroll.precise = !event->pixelDelta().isNull();
    if (scroll.zoomKey) {
        // Pixels with a touchpad; lines (notches) with a wheel.
        scroll.dy = scroll.precise ? event->pixelDelta().y() : event->angleDelta().y() / notchAngle;
    } else if (scroll.precise) {
        scroll.dx = event->pixelDelta().x();
        scroll.dy = event->pixelDelta().y();
    } else {
        scroll.dx = event->angleDelta().x() / notchAngle * notchPoints;
        scroll.dy = event->angleDelta().y() / notchAngle * notchPoints;
    }
    switch (event->phase()) {
        case Qt::ScrollBegin:
            scroll.phase = PreviewGeometry::Scroll::Phase::began;
            break;
        case Qt::ScrollUpdate:
        case Qt::ScrollMomentum:
            scroll.phase = PreviewGeometry::Scroll::Phase::changed;
            break;
        case Qt::ScrollEnd:
            scroll.phase = PreviewGeometry::Scroll::Phase::ended;
            break;
        default:
            scroll.phase = PreviewGeometry::Scroll::Phase::none;
            break;
    }
    if (geometry_.scroll(scroll))
        event->accept();
    else
        event->ignore();
}

bool PagesPreview::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        Point at = toView(gesture->position());
        switch (gesture->gestureType()) {
            case Qt::ZoomNativeGesture:
                geometry_.magnify(gesture->value(), at);
                return true;
            case Qt::SmartZoomNativeGesture:
                geometry_.smartMagnify(at);
                return true;
            default:
                break;
        }
    }
    return QWidget::event(event);
}

void PagesPreview::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) update();
    QWidget::changeEvent(event);
}

// --- Pointer -------------------------------------------------------------------------------------

void PagesPreview::press(QMouseEvent* event) {
    const bool ended = pressEndedEditor_;
    pressEndedEditor_ = false;
    pointer_ = event->position();
    const Point p = toView(event->position());
    if (event->button() == Qt::LeftButton) {
        interaction_.press(p, ended);
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        menuPosition_ = event->globalPosition().toPoint();
        if (interaction_.rightPress(p) == PreviewInteraction::RightPress::none) {
            QWidget::mousePressEvent(event);
            return;
        }
        event->accept();
    } else {
        QWidget::mousePressEvent(event);
        return;
    }
    updateCursor(event->position());
}

void PagesPreview::mousePressEvent(QMouseEvent* event) {
    press(event);
}

// The second press of a double click arrives only as this event.
void PagesPreview::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event);
}

void PagesPreview::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position();
    const Point p = toView(event->position());
    if (event->buttons().testFlag(Qt::LeftButton)) {
        interaction_.dragTo(p);
    } else if (event->buttons() == Qt::NoButton && isActiveWindow()) {
        // Hovering counts only in the active window.
        interaction_.mouseMoved(p);
    }
    updateCursor(event->position());
    event->accept();
}

void PagesPreview::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    interaction_.release();
    event->accept();
}

void PagesPreview::leaveEvent(QEvent* event) {
    pointer_.reset();
    interaction_.mouseExited();
    QWidget::leaveEvent(event);
}

void PagesPreview::keyPressEvent(QKeyEvent* event) {
    if (interaction_.keyDown(keyOf(event->key()), modifiersOf(event->modifiers()))) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PagesPreview::turnPage(int key, Qt::KeyboardModifiers modifiers) {
    return interaction_.turnPage(keyOf(key), modifiersOf(modifiers));
}

bool PagesPreview::turnPage(const QKeyEvent& event) {
    return turnPage(event.key(), event.modifiers());
}

// --- Context menu --------------------------------------------------------------------------------

void PagesPreview::showCopyMenu() {
    QMenu menu(this);
    QAction* remove = menu.addAction(QString::fromUtf8(removeSignatureTitle));
    connect(remove, &QAction::triggered, this, &PagesPreview::removePicked);
    if (presentMenu)
        presentMenu(menu, menuPosition_);
    else
        menu.exec(menuPosition_);
}

void PagesPreview::removePicked() {
    interaction_.removePicked();
}

// --- Cursors -------------------------------------------------------------------------------------

std::vector<PreviewInteraction::CursorRect> PagesPreview::cursorRects() const {
    if (cursorsDirty_) {
        cursorRects_ = interaction_.cursorRects(
            Rect{0, 0, static_cast<double>(width()), static_cast<double>(height())});
        cursorsDirty_ = false;
    }
    return cursorRects_;
}

Qt::CursorShape PagesPreview::shape(PreviewInteraction::Cursor cursor) {
    using Cursor = PreviewInteraction::Cursor;
    switch (cursor) {
        case Cursor::iBeam: return Qt::IBeamCursor;
        case Cursor::crosshair: return Qt::CrossCursor;
        case Cursor::pointingHand: return Qt::PointingHandCursor;
        case Cursor::openHand: return Qt::OpenHandCursor;
        case Cursor::resizeBottomLeft:
        case Cursor::resizeTopRight: return Qt::SizeBDiagCursor;
        case Cursor::resizeBottomRight:
        case Cursor::resizeTopLeft: return Qt::SizeFDiagCursor;
        case Cursor::arrow: break;
    }
    return Qt::ArrowCursor;
}

Qt::CursorShape PagesPreview::cursorShapeAt(QPointF widgetPoint) const {
    return shape(PreviewInteraction::cursorAt(cursorRects(), toView(widgetPoint)));
}

void PagesPreview::updateCursor(QPointF widgetPoint) {
    setCursor(cursorShapeAt(widgetPoint));
}

// --- Inline editor -------------------------------------------------------------------------------

QLineEdit* PagesPreview::inlineEditor() const {
    return editor_.data();
}

void PagesPreview::beginEditing(const std::vector<int>& ids, int pageIndex, const Rect& rect,
                                const std::string& text) {
    if (ids.empty()) return;
    // 1. The open editor ends, with its report, before the new one exists.
    endEditing();

    auto* editor = new InlineEditor(ids, pageIndex, rect, this);
    editor->hide();
    editor->setText(QString::fromStdString(text));
    QPointer<PagesPreview> self(this);
    QPointer<InlineEditor> weak(editor);
    editor->onEnd = [self, weak, text](InlineEditor::Movement movement) {
        if (!self || !weak) return;
        self->editorEnded(weak, static_cast<int>(movement), text);
    };
    editor_ = editor;
    // Places it, or ends it at once when its page is not shown.
    geometry_.setEditor(PreviewGeometry::Editor{ids, pageIndex, rect});
    geometry_.setHovered(std::nullopt);
    if (editor_ != editor) return;
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    editor->selectAll();
    update();
}

void PagesPreview::endEditing() {
    QPointer<InlineEditor> editor = editor_;
    if (!editor) return;
    editor->clearFocus();
    // No focus event came (the editor did not hold the focus): it ends here.
    if (editor && !editor->ended())
        editor->finish(editor->ending.value_or(InlineEditor::Movement::other));
}

void PagesPreview::placeEditor() {
    if (!editor_) return;
    std::optional<PreviewGeometry::EditorFrame> frame = geometry_.editorFrame();
    if (!frame) {
        // Its page left the layout.
        endEditing();
        return;
    }
    editor_->setFont(Brand::systemFont(frame->fontSize, QFont::Medium));
    editor_->setGeometry(toWidget(frame->frame).toAlignedRect());
}

void PagesPreview::editorEnded(InlineEditor* editor, int movementValue, std::string start) {
    using Movement = InlineEditor::Movement;
    const auto movement = static_cast<Movement>(movementValue);
    // An editor that was already replaced ends silently.
    if (editor_ != editor) return;
    editor_ = nullptr;
    geometry_.setEditor(std::nullopt);
    const std::vector<int> ids = editor->ids;
    const std::string typed = editor->text().toStdString();
    // The toolkit's click focus ended it on the way to a press here: that press places nothing.
    if (editor->endReason() == Qt::MouseFocusReason && QApplication::focusWidget() == this)
        pressEndedEditor_ = true;
    editor->hide();
    editor->deleteLater();
    update();

    // The preview takes the focus back unless the user gave it to another widget.
    auto focusPreview = [this, editor] {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus == this || focus == editor || focus == window()) setFocus(Qt::OtherFocusReason);
    };
    if (movement == Movement::cancel) {
        focusPreview();
        return;
    }
    if (typed != start && onFieldEdit) onFieldEdit(ids, typed);
    if (movement == Movement::tab || movement == Movement::backtab) {
        const int first = ids.front();
        const bool forward = movement == Movement::tab;
        QPointer<PagesPreview> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, first, forward] {
                if (self && self->onFieldTab) self->onFieldTab(first, forward);
            },
            Qt::QueuedConnection);
        return;
    }
    focusPreview();
}
