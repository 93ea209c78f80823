#include "settings/welcome/WelcomeWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <string>

#include "ui/Brand.h"
#include "ui/Switch.h"
#include "ui/URLPresenter.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Preferences.h"
#include "settings/AIKeyControl.h"
#include "settings/AIKeyService.h"
#include "settings/SettingsHost.h"
#include "settings/welcome/HeroBand.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/PageDots.h"
#include "settings/welcome/PageStage.h"
#include "settings/welcome/PillButton.h"
#include "settings/welcome/WelcomeColors.h"

namespace {

constexpr int footerBottom = 64;
constexpr int stageToFooter = 16;
constexpr int footerSpacing = 22;
// The close button: its side, and its distance from the window's top and right edges.
constexpr int closeSide = 28;
constexpr int closeMargin = 14;

// The dark appearance, whatever the desktop's: the window's own palette.
QPalette darkPalette() {
    QPalette palette;
    const QColor window = Brand::navyDeep.dark;
    const QColor field(24, 44, 66);
    const QColor white = Qt::white;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, white);
        palette.setColor(group, QPalette::Base, field);
        palette.setColor(group, QPalette::AlternateBase, field.lighter(115));
        palette.setColor(group, QPalette::Text, white);
        palette.setColor(group, QPalette::Button, QColor(40, 60, 82));
        palette.setColor(group, QPalette::ButtonText, white);
        palette.setColor(group, QPalette::Highlight, Brand::teal.dark);
        palette.setColor(group, QPalette::HighlightedText, white);
        palette.setColor(group, QPalette::PlaceholderText, WelcomeColors::white(0.4));
        palette.setColor(group, QPalette::ToolTipBase, field);
        palette.setColor(group, QPalette::ToolTipText, white);
        palette.setColor(group, QPalette::Link, WelcomeColors::accent());
    }
    const QColor disabled = WelcomeColors::white(0.35);
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, field);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(40, 60, 82));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    return palette;
}

// The window's own close button, a cross in the top right corner.
class CloseButton : public QAbstractButton {
public:
    explicit CloseButton(QWidget* parent) : QAbstractButton(parent) {
        setFixedSize(closeSide, closeSide);
        setCursor(Qt::PointingHandCursor);
        // Return stays the next button's wherever the focus was.
        setFocusPolicy(Qt::NoFocus);
        setToolTip(QStringLiteral("Cerrar"));
        setAccessibleName(QStringLiteral("Cerrar"));
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown() || underMouse()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(WelcomeColors::white(isDown() ? 0.2 : 0.12));
            painter.drawEllipse(QRectF(rect()));
        }
        painter.setPen(QPen(WelcomeColors::white(0.7), 1.6, Qt::SolidLine, Qt::RoundCap));
        const QRectF cross = QRectF(rect()).adjusted(10, 10, -10, -10);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }
};

}  // namespace

// The window itself: the animated background, closing, Return and moving by the background.
class WelcomeWindow::Frame : public HeroBand {
public:
    std::function<void()> onClose;
    std::function<bool()> onReturn;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (auto close = onClose) close();
    }

    void keyPressEvent(QKeyEvent* event) override {
        const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (isReturn && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && onReturn &&
            onReturn()) {
            event->accept();
            return;
        }
        HeroBand::keyPressEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            if (QWindow* handle = windowHandle()) handle->startSystemMove();
            event->accept();
            return;
        }
        HeroBand::mousePressEvent(event);
    }
};

WelcomeWindow::WelcomeWindow(bool installed, int certificates, int startAt, SettingsContext& context)
    : context_(context) {
    const WelcomeGeometry& g = geometry();
    auto* frame = new Frame;
    window_ = frame;
    // Neither resizable nor minimisable. Window managers offer minimise and full screen for any
    // window they give a title bar, whatever its hints say (openbox does): the window is of the
    // type they take as it is, without a title bar of theirs, and brings its own close button.
    // Its background moves it; the title still names it in window lists.
    frame->setWindowFlags(Qt::SplashScreen);
    frame->setWindowTitle(QStringLiteral("Bienvenida a ") + Brand::name);
    frame->setPalette(darkPalette());
    frame->setAutoFillBackground(false);
    frame->setFixedSize(int(g.width), int(g.height));
    frame->onClose = [this] { closed(); };
    frame->onReturn = [this] { return returnPressed(); };
    build(installed, certificates);
    auto* close = new CloseButton(frame);
    close->move(int(g.width) - closeMargin - closeSide, closeMargin);
    close->raise();
    connect(close, &QAbstractButton::clicked, frame, &QWidget::close);
    // A start past the last page opens the last one; one before the first opens the first.
    go(std::clamp(startAt, 0, int(pages_.size()) - 1), false);
}

WelcomeWindow::~WelcomeWindow() {
    // The owner may drop this object from inside the window's close: let the window go later.
    if (Frame* frame = window_) {
        frame->onClose = nullptr;
        frame->onReturn = nullptr;
        if (keyControl_) keyControl_->onChange = nullptr;
        frame->hide();
        frame->deleteLater();
    }
}

QWidget* WelcomeWindow::window() const { return window_; }
HeroBand* WelcomeWindow::band() const { return window_; }

void WelcomeWindow::build(bool installed, int certificates) {
    const WelcomeGeometry& g = geometry();
    Frame* frame = window_;

    pages_.push_back(howItWorks());
    pages_.push_back(ready(installed, certificates));
    pages_.push_back(forms());
    pages_.push_back(ai());

    stage_ = new PageStage;
    for (const Page& p : pages_) stage_->addPage(p.view);

    dots_ = new PageDots;
    dots_->setCount(int(pages_.size()));

    back_ = new QPushButton(QStringLiteral("Atrás"));
    back_->setFlat(true);
    back_->setAutoDefault(false);
    back_->setCursor(Qt::PointingHandCursor);
    back_->setFont(Brand::systemFont(14, QFont::Medium));
    QPalette backPalette = frame->palette();
    backPalette.setColor(QPalette::ButtonText, WelcomeColors::white(0.7));
    back_->setPalette(backPalette);
    connect(back_, &QPushButton::clicked, this, &WelcomeWindow::goBack);

    next_ = new PillButton;
    connect(next_, &QPushButton::clicked, this, &WelcomeWindow::goNext);

    auto* footer = new QWidget;
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(int(g.margin), 0, int(g.margin), 0);
    footerLayout->setSpacing(footerSpacing);
    footerLayout->addWidget(dots_, 0, Qt::AlignVCenter);
    footerLayout->addStretch(1);
    footerLayout->addWidget(back_, 0, Qt::AlignVCenter);
    footerLayout->addWidget(next_, 0, Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, footerBottom);
    layout->setSpacing(stageToFooter);
    layout->addWidget(stage_, 1);
    layout->addWidget(footer, 0);
}

void WelcomeWindow::go(int n, bool animated) {
    if (n == page_ || n < 0 || n >= int(pages_.size())) return;
    PageStage::Transition transition = PageStage::Transition::none;
    if (animated) {
        if (Motion::reduced()) {
            transition = PageStage::Transition::fade;
        } else {
            transition = page_ < n ? PageStage::Transition::fromRight : PageStage::Transition::fromLeft;
        }
    }
    stage_->show(pages_[std::size_t(n)].view, transition);
    page_ = n;
    dots_->setCurrent(n);
    updateButtons();
    if (animated && pages_[std::size_t(n)].play) pages_[std::size_t(n)].play();
}

void WelcomeWindow::updateButtons() {
    back_->setVisible(page_ != 0);
    const bool last = page_ == int(pages_.size()) - 1;
    QString title = QStringLiteral("Siguiente");
    if (last) {
        title = context_.keys && context_.keys->hasKey() ? QStringLiteral("Empezar")
                                                         : QStringLiteral("Empezar sin IA");
    }
    next_->setTitle(title);
}

void WelcomeWindow::show(std::optional<int> from) {
    if (from && *from != page_) go(*from, false);
    Frame* frame = window_;
    if (!frame) return;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect placed(QPoint(0, 0), frame->size());
        placed.moveCenter(area.center());
        frame->move(placed.topLeft());
    }
    frame->show();
    if (context_.host) context_.host->bringToFront();
    frame->raise();
    frame->activateWindow();
    if (page_ >= 0 && pages_[std::size_t(page_)].play) pages_[std::size_t(page_)].play();
}

void WelcomeWindow::goNext() {
    if (page_ == int(pages_.size()) - 1) {
        if (window_) window_->close();
        return;
    }
    go(page_ + 1, true);
}

void WelcomeWindow::goBack() { go(page_ - 1, true); }

void WelcomeWindow::fillChanged() {
    const bool on = fillSwitch_->isChecked();
    try {
        Preferences::setFillForms(on, *context_.defaults);
    } catch (const std::exception& error) {
        if (context_.log) {
            context_.log(std::string("No se ha podido guardar la preferencia fillForms: ") + error.what());
        }
    }
}

void WelcomeWindow::openReport() {
    if (context_.urls) context_.urls->open(Brand::formsReport());
}

void WelcomeWindow::openProfile() {
    section_ = HomeSection::profile;
    if (window_) window_->close();
}

void WelcomeWindow::closed() {
    // The owner may destroy this object inside the call: nothing of it is touched afterwards.
    if (auto callback = onClose) callback(section_);
}

bool WelcomeWindow::returnPressed() {
    // The key field saves on Return (the key control does that itself); it never closes the
    // window.
    QWidget* focus = QApplication::focusWidget();
    if (keyControl_ && focus && (focus == keyControl_->field() || keyControl_->isAncestorOf(focus)) &&
        qobject_cast<QLineEdit*>(focus)) {
        return true;
    }
    goNext();
    return true;
}
