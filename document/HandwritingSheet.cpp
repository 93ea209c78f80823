#include "document/HandwritingSheet.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/Brand.h"
#include "ui/FilePanelPresenter.h"
#include "ui/MainMenu.h"
#include "ui/Palette.h"
#include "ui/RunLoop.h"
#include "document/HandwritingPad.h"
#include "document/HandwritingPhoto.h"
#include "document/HandwritingStore.h"
#include "platform/SecretStore.h"

namespace {

HandwritingSheet* current = nullptr;

// The sheet's window: Escape, "Cerrar" (Ctrl+W) and a close by the window manager all end in
// reject(), which the controller turns into "Cancelar".
class SheetWindow : public QDialog {
public:
    using QDialog::QDialog;
    std::function<void()> onReject;
    std::function<void()> onPaletteChange;
    void reject() override {
        if (onReject)
            onReject();
        else
            QDialog::reject();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        // A thin edge, since no frame of the window manager's draws one.
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    // A switch between light and dark appearance: the labels' own colours follow.
    void changeEvent(QEvent* event) override {
        QDialog::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && onPaletteChange) onPaletteChange();
    }
};

void recolour(QLabel* l, const QColor& color) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    recolour(l, color);
    return l;
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

HandwritingSheet* HandwritingSheet::shown() { return current; }

bool HandwritingSheet::present(QWidget* on, std::function<void(bool)> completion, DocumentContext& context) {
    if (current) return false;
    auto* sheet = new HandwritingSheet(on, std::move(completion), context);
    current = sheet;
    QDialog* window = sheet->window_;
    if (on) {
        // Over the window it belongs to, as a sheet hangs from it.
        const QRect parent = on->window()->frameGeometry();
        window->move(parent.center().x() - window->width() / 2,
                     parent.top() + std::min(60, parent.height() / 4));
        window->open();  // window-modal on `on`
        bringToFront(window);  // the keyboard goes to it, as to a sheet
    } else {
        QRect screen;
        if (context.visibleFrame) {
            if (auto frame = context.visibleFrame()) screen = *frame;
        }
        if (screen.isEmpty()) {
            if (QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->availableGeometry();
        }
        if (!screen.isEmpty()) window->move(screen.center() - QPoint(contentWidth / 2, contentHeight / 2));
        window->show();
        window->raise();
        window->activateWindow();
    }
    return true;
}

HandwritingSheet::HandwritingSheet(QWidget* on, std::function<void(bool)> completion, const DocumentContext& context)
    : context_(context), completion_(std::move(completion)) {
    // Of the type window managers take as it is, without a title bar of theirs: they offer
    // minimise and full screen for any window they frame, whatever its hints say (openbox does),
    // and a sheet is neither. The title still names it in window lists.
    auto* window = new SheetWindow(on, Qt::SplashScreen);
    window->onReject = [this] { cancel(); };
    MainMenu::addCloseKeys(window);
    window_ = window;
    setParent(window_);  // the window owns its controller
    build();
}

HandwritingSheet::~HandwritingSheet() {
    if (current == this) current = nullptr;
    // The window went away with its parent while open: the caller still gets its one answer, once
    // its own teardown is over.
    if (completion_) {
        QTimer::singleShot(0, QCoreApplication::instance(), [done = std::move(completion_)] { done(false); });
    }
}

void HandwritingSheet::build() {
    window_->setWindowTitle(Brand::name);
    auto* stack = new QVBoxLayout(window_);
    stack->setSizeConstraint(QLayout::SetNoConstraint);
    stack->setContentsMargins(22, 20, 22, 18);
    stack->setSpacing(10);

    QLabel* title = label(QStringLiteral("Tu firma manuscrita"), Brand::titleFont(17, QFont::DemiBold),
                          Palette::label(window_->palette()), window_);
    stack->addWidget(title, 0, Qt::AlignLeft);

    QLabel* hint = label(QStringLiteral("Fírmala con el ratón, o con el trackpad pulsado. O tómala de una foto de tu "
                                        "firma en papel blanco. Se guarda en el depósito de claves de este equipo."),
                         Brand::systemFont(12), Palette::secondaryLabel(window_->palette()), window_);
    hint->setWordWrap(true);
    hint->setFixedWidth(padWidth);
    stack->addWidget(hint, 0, Qt::AlignLeft);

    pad_ = new HandwritingPadView(window_);
    pad_->setFixedSize(padWidth, padHeight);
    stack->addWidget(pad_, 0, Qt::AlignLeft);
    // 16 after the pad: the stack's own 10 comes before the next shown view.
    stack->addSpacing(6);

    note_ = label(QString(), Brand::systemFont(12), Palette::orange(window_->palette()), window_);
    note_->setWordWrap(true);
    note_->setFixedWidth(padWidth);
    note_->hide();
    stack->addWidget(note_, 0, Qt::AlignLeft);

    auto* row = new QWidget(window_);
    row->setFixedWidth(padWidth);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    imageButton_ = button(QStringLiteral("Desde una imagen…"), row);
    clearButton_ = button(QStringLiteral("Borrar"), row);
    cancelButton_ = button(QStringLiteral("Cancelar"), row);
    saveButton_ = button(QStringLiteral("Guardar"), row);
    saveButton_->setDefault(true);  // Return
    buttons->addWidget(imageButton_);
    buttons->addWidget(clearButton_);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(saveButton_);
    stack->addWidget(row, 0, Qt::AlignLeft);
    stack->addStretch(1);

    static_cast<SheetWindow*>(window_)->onPaletteChange = [window = window_, title, hint, note = note_] {
        const QPalette& palette = window->palette();
        recolour(title, Palette::label(palette));
        recolour(hint, Palette::secondaryLabel(palette));
        recolour(note, Palette::orange(palette));
    };

    connect(imageButton_, &QPushButton::clicked, this, [this] { chooseImage(); });
    connect(clearButton_, &QPushButton::clicked, this, [this] { clear(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { save(); });

    QPointer<HandwritingSheet> self(this);
    pad_->onChange = [self] {
        if (self) self->update();
    };
    update();
    fitHeight();
}

// 520 × 330, taller only while the note needs the room.
void HandwritingSheet::fitHeight() {
    QLayout* stack = window_->layout();
    stack->invalidate();
    const int needed = stack->hasHeightForWidth() ? stack->totalHeightForWidth(contentWidth)
                                                  : stack->totalSizeHint().height();
    window_->setFixedSize(contentWidth, std::max(contentHeight, needed));
}

void HandwritingSheet::update() {
    const bool drawn = !pad_->isEmpty();
    saveButton_->setEnabled(drawn);
    clearButton_->setEnabled(drawn);
}

void HandwritingSheet::showNote(const QString& text) {
    note_->setText(text);
    note_->show();
    fitHeight();
}

void HandwritingSheet::hideNote() {
    note_->hide();
    fitHeight();
}

void HandwritingSheet::chooseImage() {
    FilePanelPresenter& panels = context_.filePanels ? *context_.filePanels : FilePanelPresenter::system();
    FilePanelPresenter::Options options;
    options.title = QStringLiteral("Elegir una imagen");
    options.message = QStringLiteral("Una foto o un escaneo de tu firma, en papel blanco");
    options.acceptLabel = QStringLiteral("Usar");
    // Every type the reader knows, first all at once, then one by one.
    for (const QByteArray& type : QImageReader::supportedMimeTypes()) options.mimeTypes << QString::fromLatin1(type);
    options.allTypesFilter = QStringLiteral("Imágenes");
    options.multiple = false;
    QPointer<HandwritingSheet> self(this);
    panels.open(options, window_, [self](std::optional<std::vector<std::filesystem::path>> chosen) {
        if (!self || !chosen || chosen->empty()) return;
        self->takeImage(chosen->front());
    });
}

void HandwritingSheet::takeImage(const std::filesystem::path& path) {
    std::optional<QImage> ink;
    if (std::optional<QImage> photo = HandwritingPhoto::read(path)) ink = HandwritingPhoto::ink(*photo);
    if (!ink) return showNote(noSignatureNote);
    hideNote();
    pad_->setImported(std::move(ink));
}

void HandwritingSheet::clear() {
    pad_->clear();
    hideNote();
}

void HandwritingSheet::cancel() { close(false); }

void HandwritingSheet::save() {
    const std::optional<QByteArray> png = pad_->png();
    if (!png) return;
    try {
        HandwritingStore::save(*context_.secrets, *png);
    } catch (const SecretStoreError& error) {
        return showNote(QString::fromUtf8(error.what()));
    }
    close(true);
}

void HandwritingSheet::close(bool saved) {
    auto* window = static_cast<SheetWindow*>(window_);
    window->onReject = nullptr;
    window->done(saved ? QDialog::Accepted : QDialog::Rejected);
    if (current == this) current = nullptr;
    std::function<void(bool)> done = std::move(completion_);
    completion_ = nullptr;
    window->deleteLater();
    if (done) done(saved);
}
