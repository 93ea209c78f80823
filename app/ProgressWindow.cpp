#include "app/ProgressWindow.h"

#include <algorithm>

#include "ui/Brand.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A label that never asks for more width than it is given and shows a long text elided in the
// middle, so a long file name keeps both its start and its extension in view.
class ElidingLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QRect area = contentsRect();
        QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
};

// The turning busy indicator: twelve strokes, one brighter step every 80 ms.
class Spinner : public QWidget {
public:
    static constexpr int side = 16;

    explicit Spinner(QWidget* parent) : QWidget(parent), timer_(this) {
        setFixedSize(side, side);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % strokes;
            QWidget::update();
        });
        timer_.start();
    }
    void stop() { timer_.stop(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        QColor colour = palette().color(QPalette::WindowText);
        for (int i = 0; i < strokes; ++i) {
            QColor stroke = colour;
            int age = (step_ - i + strokes) % strokes;
            stroke.setAlphaF(1.0 - 0.8 * age / strokes);
            painter.setPen(QPen(stroke, 1.6, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -side / 4.0), QPointF(0, -side / 2.0 + 1));
            painter.rotate(360.0 / strokes);
        }
    }

private:
    static constexpr int strokes = 12;
    QTimer timer_;
    int step_ = 0;
};

QString title(ProgressWindow::Task task, bool ended) {
    if (task == ProgressWindow::Task::saving) return ended ? "Guardado" : "Guardando";
    return ended ? "Firmado" : "Firmando";
}

QString fileName(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

}  // namespace

ProgressWindow::ProgressWindow(Actions actions, QObject* parent)
    : QObject(parent), actions_(std::move(actions)) {
    // A window without a title bar or controls, moved by dragging its background. Its type is the
    // one window managers give no minimise, maximise or full screen (some grant all three to any
    // dialog, whatever its hints or parent say); the title still names it in window lists.
    auto* window = new QWidget(nullptr, Qt::SplashScreen);
    window_ = window;
    window->setWindowTitle(title(task_, false));
    window->setFixedSize(width, height);
    window->installEventFilter(this);

    auto* icon = new QLabel(window);
    icon->setFixedSize(40, 40);
    icon->setPixmap(Brand::mark().pixmap(QSize(40, 40)));
    icon->setScaledContents(true);

    spinner_ = new Spinner(window);
    label_ = new ElidingLabel("Preparando la firma…", window);
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    revealButton_ = new QPushButton("Mostrar en la carpeta", window);
    openButton_ = new QPushButton("Abrir", window);
    doneButton_ = new QPushButton("Aceptar", window);
    // Some styles fit a long title tightly: keep room on either side of the text (the row holds
    // the three buttons with it).
    constexpr int textMargin = 14;
    for (QPushButton* button : {revealButton_, openButton_, doneButton_}) {
        button->setAutoDefault(false);
        const int roomy = button->fontMetrics().horizontalAdvance(button->text()) + 2 * textMargin;
        button->setMinimumWidth(std::max(button->sizeHint().width(), roomy));
        button->hide();
    }
    doneButton_->setDefault(true);
    connect(revealButton_, &QPushButton::clicked, this, &ProgressWindow::reveal);
    connect(openButton_, &QPushButton::clicked, this, &ProgressWindow::openSigned);
    connect(doneButton_, &QPushButton::clicked, this, &ProgressWindow::dismiss);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (showsResult_) dismiss();
        });
    }

    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(8);
    progressRow->addWidget(spinner_);
    progressRow->addWidget(label_, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(8);
    buttonRow->addWidget(revealButton_);
    buttonRow->addWidget(openButton_);
    buttonRow->addWidget(doneButton_);
    buttonRow->addStretch(1);
    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    column->addLayout(progressRow);
    column->addLayout(buttonRow);
    auto* outer = new QHBoxLayout(window);
    outer->setSpacing(14);
    outer->setContentsMargins(20, 20, 20, 16);
    outer->addWidget(icon, 0, Qt::AlignVCenter);
    outer->addLayout(column, 1);
}

ProgressWindow::~ProgressWindow() { delete window_.data(); }

void ProgressWindow::show() {
    if (!window_) return;
    if (QScreen* screen = window_->screen() ? window_->screen() : QApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        window_->move(area.center() - QPoint(width / 2, height / 2));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ProgressWindow::update(const QString& text) {
    label_->setText(text);
    label_->QWidget::update();
}

void ProgressWindow::setTask(Task task) {
    task_ = task;
    if (window_) window_->setWindowTitle(title(task_, showsResult_));
}

QString ProgressWindow::text() const { return label_->text(); }

void ProgressWindow::complete(const std::vector<std::filesystem::path>& outputs) {
    signed_ = outputs;
    static_cast<Spinner*>(spinner_)->stop();
    spinner_->hide();
    if (outputs.size() == 1)
        update("✓ Guardado como «" + fileName(outputs.front()) + "»");
    else
        update("✓ " + QString::number(outputs.size()) + " documentos firmados");
    revealButton_->show();
    doneButton_->show();
    openButton_->setVisible(outputs.size() == 1);
    showsResult_ = true;
    if (window_) window_->setWindowTitle(title(task_, true));
    if (window_) {
        window_->raise();
        window_->activateWindow();
        doneButton_->setFocus();
    }
    QTimer::singleShot(autoClose_, this, [self = QPointer<ProgressWindow>(this)] {
        if (self && !self->closed_) self->close();
    });
}

void ProgressWindow::close() {
    if (closed_) return;
    closed_ = true;
    if (window_) window_->hide();
    if (onClose) {
        // The callback may release this object: keep it out of the member first.
        auto callback = std::move(onClose);
        onClose = nullptr;
        callback();
    }
}

void ProgressWindow::reveal() {
    if (actions_.reveal && !signed_.empty()) actions_.reveal(signed_);
    close();
}

void ProgressWindow::openSigned() {
    if (actions_.open && !signed_.empty()) actions_.open(signed_.front());
    close();
}

void ProgressWindow::dismiss() { close(); }

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Paint) {
            // A thin edge, since no frame of the window manager's draws one.
            QPainter painter(window_);
            painter.setPen(window_->palette().color(QPalette::Mid));
            painter.drawRect(window_->rect().adjusted(0, 0, -1, -1));
            return false;
        }
        if (event->type() == QEvent::Close) {
            // Before the result there is nothing to dismiss: the run is still working.
            event->ignore();
            if (showsResult_) dismiss();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            // Return reaches the window when no shortcut took it (the window not yet active).
            auto* key = static_cast<QKeyEvent*>(event);
            if (showsResult_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                dismiss();
                return true;
            }
        }
        if (event->type() == QEvent::MouseButtonPress) {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton && window_->windowHandle())
                window_->windowHandle()->startSystemMove();
        }
    }
    return QObject::eventFilter(watched, event);
}
