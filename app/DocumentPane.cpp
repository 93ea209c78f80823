#include "app/DocumentPane.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <filesystem>

#include "app/RecentCell.h"
#include "ui/Brand.h"
#include "ui/FloatingBar.h"
#include "ui/PageBar.h"
#include "ui/PageViewer.h"
#include "ui/Palette.h"
#include "ui/RevealPresenter.h"
#include "ui/Symbols.h"
#include "document/PagesPreview.h"

namespace {

constexpr int iconSide = 40;
constexpr int missingMaximumWidth = 360;
constexpr int barBottomGap = 18;
constexpr double zoomStep = 1.5;
constexpr double barSymbolPoints = 15;

QString fromICU(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Long date and short time in Spanish, made once (main thread).
QString longDate(std::chrono::system_clock::time_point date) {
    static std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kLong, icu::DateFormat::kShort, icu::Locale("es", "ES")));
    icu::UnicodeString text;
    if (formatter) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
        formatter->format(static_cast<UDate>(ms), text);
    }
    return fromICU(text);
}

QString fileName(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

// A one-line label that shortens its text with an ellipsis where the text does not fit; text()
// stays the whole text.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(Qt::TextElideMode mode) : mode_(mode) {}

    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), mode_, area.width()));
    }

private:
    Qt::TextElideMode mode_;
};

}  // namespace

DocumentPane::DocumentPane(std::unique_ptr<PageViewer> viewer, RevealPresenter* reveal,
                           QObject* parent)
    : QObject(parent),
      viewer_(viewer ? std::move(viewer) : std::make_unique<PagesPreview>()),
      reveal_(reveal ? reveal : &RevealPresenter::system()) {
    Brand::initResources();
    build();
}

DocumentPane::~DocumentPane() {
    // The viewer's widget belongs to the viewer: take it out of the view before either goes.
    if (previewWidget_) {
        previewWidget_->removeEventFilter(this);
        previewWidget_->setParent(nullptr);
        viewer_->onPageChange = nullptr;
        viewer_->onZoomChange = nullptr;
    } else {
        (void)viewer_.release();  // already deleted with a parent
    }
    delete view_.data();
}

void DocumentPane::build() {
    view_ = new QWidget;

    icon_ = new QLabel;
    icon_->setFixedSize(iconSide, iconSide);
    name_ = new ElidedLabel(Qt::ElideMiddle);
    name_->setFont(Brand::titleFont(22));
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Who signed, when and where: on as many lines as the header's width needs, never cut.
    detail_ = new QLabel;
    detail_->setTextFormat(Qt::PlainText);
    detail_->setWordWrap(true);
    detail_->setFont(Brand::systemFont(13));
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    detail_->setSizePolicy(wrapping);
    QPalette secondary = detail_->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryLabel(view_->palette()));
    detail_->setPalette(secondary);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(name_);
    texts->addWidget(detail_);

    revealButton_ = new QPushButton(QStringLiteral("Mostrar en la carpeta"));
    revealButton_->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(button); color: palette(button-text);"
        " border: 1px solid rgba(128,128,128,90); border-radius: 6px; padding: 4px 14px; }"));
    connect(revealButton_, &QPushButton::clicked, this, [this] { revealFile(); });
    edit_ = new QPushButton(QStringLiteral("Volver a editar"));
    const QColor teal = Brand::teal.light;
    edit_->setStyleSheet(QStringLiteral(
        "QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
        " padding: 4px 14px; }"
        "QPushButton:disabled { background: %2; color: rgba(255,255,255,170); }")
                             .arg(teal.name(), Palette::withAlpha(teal, 0.45).name(QColor::HexArgb)));
    connect(edit_, &QPushButton::clicked, this, [this] { signAgain(); });
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(revealButton_);
    buttons->addWidget(edit_);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(margin, 0, margin, 0);
    header->setSpacing(12);
    header->addWidget(icon_, 0, Qt::AlignVCenter);
    header->addLayout(texts, 1);
    header->addLayout(buttons, 0);

    QWidget* preview = viewer_->widget();
    previewWidget_ = preview;
    viewer_->setBackground(Brand::canvas(view_));
    viewer_->setInsets(QMarginsF(margin, 8, margin, bottomInset));
    preview->setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPointer<DocumentPane> self(this);
    viewer_->onPageChange = [self] {
        if (self) self->updatePageBar();
    };
    viewer_->onZoomChange = [self] {
        if (self) self->updatePageBar();
    };

    auto* root = new QVBoxLayout(view_);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(16);
    root->addLayout(header);
    root->addWidget(preview, 1);

    missing_ = new QLabel(view_);
    missing_->setText(QString());
    missing_->setFont(Brand::systemFont(13));
    missing_->setWordWrap(true);
    missing_->setAlignment(Qt::AlignCenter);
    missing_->setPalette(secondary);
    missing_->hide();

    pageBar_ = new PageBar(view_, PageBar::Look{.symbolPoints = barSymbolPoints,
                                                .fadedWhenDisabled = true,
                                                .arrowCursor = true,
                                                .monospaceDigits = true,
                                                .fixedSize = true});
    connect(pageBar_->previousPage(), &QToolButton::clicked, this, [this] { showPreviousPage(); });
    connect(pageBar_->nextPage(), &QToolButton::clicked, this, [this] { showNextPage(); });
    connect(pageBar_->zoomOut(), &QToolButton::clicked, this, [this] { zoomOutPressed(); });
    connect(pageBar_->zoomIn(), &QToolButton::clicked, this, [this] { zoomInPressed(); });
    connect(pageBar_->zoomFit(), &QToolButton::clicked, this, [this] { zoomFitPressed(); });

    preview->installEventFilter(this);
    updatePageBar();
}

bool DocumentPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == previewWidget_ &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
         event->type() == QEvent::Show)) {
        placeOverlays();
    }
    return QObject::eventFilter(watched, event);
}

void DocumentPane::placeOverlays() {
    const QRect area = viewer_->widget()->geometry();
    const int width = std::min(missingMaximumWidth, std::max(0, area.width()));
    const int height = missing_->heightForWidth(width) > 0 ? missing_->heightForWidth(width)
                                                           : missing_->sizeHint().height();
    missing_->setGeometry(area.center().x() - width / 2 + 1, area.center().y() - height / 2 + 1,
                          width, height);
    pageBar_->adjustSize();
    const QSize bar = pageBar_->size();
    pageBar_->move(area.center().x() - bar.width() / 2 + 1, area.bottom() + 1 - barBottomGap - bar.height());
    missing_->raise();
    pageBar_->raise();
}

bool DocumentPane::hasDocument() const { return opened_ && viewer_->pageCount() > 0; }

void DocumentPane::show(const RecentSignature& item) {
    item_ = item;
    icon_->setPixmap(RecentCell::icon(item.path).pixmap(iconSide, iconSide));
    name_->setText(fileName(item.url()));
    name_->setToolTip(QString::fromStdString(item.path));
    detail_->setText(detail(item));
    opened_ = viewer_->open(item.url());
    viewer_->setZoom(1.0);
    missing_->setText(QStringLiteral("No se encuentra el documento: puede que se haya movido o borrado."));
    missing_->setVisible(!opened_);
    pageBar_->setVisible(opened_);
    edit_->setEnabled(item.canSignAgain());
    edit_->setToolTip(editToolTip(item));
    updatePageBar();
    placeOverlays();
}

QString DocumentPane::detail(const RecentSignature& item) {
    const std::filesystem::path folder = item.url().parent_path();
    QString folderName = fileName(folder);
    if (folderName.isEmpty()) folderName = QString::fromStdString(folder.string());
    return QStringLiteral("Firmado por ") + QString::fromStdString(item.signer) +
           QStringLiteral(" · ") + longDate(item.date) + QStringLiteral(" · en ") + folderName;
}

QString DocumentPane::editToolTip(const RecentSignature& item) {
    const auto original = item.originalURL();
    if (item.canSignAgain() && original) {
        return QStringLiteral("Abre «") + fileName(*original) +
               QStringLiteral("» como lo firmaste, para cambiar los campos o la firma y volver a "
                              "firmarlo. Sustituye a este PDF.");
    }
    if (!original) {
        return QStringLiteral(
            "Firmado con una versión anterior de Tindra, que no guardaba de qué PDF salía.");
    }
    return QStringLiteral("No se encuentra el PDF original, «") + fileName(*original) +
           QStringLiteral("»: puede que se haya movido o borrado.");
}

void DocumentPane::updatePageBar() {
    pageBar_->setState({.page = viewer_->currentPage(),
                        .pageCount = viewer_->pageCount(),
                        .allPages = viewer_->showsAllPages(),
                        .canZoomOut = canZoomOut(),
                        .canZoomIn = canZoomIn(),
                        .canZoomToFit = canZoomToFit()});
    if (pageBar_->isVisible()) placeOverlays();
}

bool DocumentPane::canZoomIn() const {
    return hasDocument() && viewer_->zoom() < PageViewer::zoomRange.upperBound;
}

bool DocumentPane::canZoomOut() const {
    return hasDocument() && viewer_->zoom() > PageViewer::zoomRange.lowerBound;
}

bool DocumentPane::canZoomToFit() const { return hasDocument() && viewer_->zoom() > 1.0; }

void DocumentPane::zoomInPressed() { viewer_->zoomBy(zoomStep); }
void DocumentPane::zoomOutPressed() { viewer_->zoomBy(1 / zoomStep); }
void DocumentPane::zoomFitPressed() { viewer_->setZoom(1.0); }

void DocumentPane::showPreviousPage() {
    viewer_->setCurrentPage(std::max(viewer_->currentPage() - 1, 0));
}

void DocumentPane::showNextPage() {
    viewer_->setCurrentPage(
        std::max(0, std::min(viewer_->currentPage() + 1, viewer_->pageCount() - 1)));
}

void DocumentPane::signAgain() {
    if (item_ && onSignAgain) onSignAgain(*item_);
}

void DocumentPane::revealFile() {
    if (item_) reveal_->reveal({item_->url()});
}
