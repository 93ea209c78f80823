#include "app/HomeWindow.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedLayout>
#include <QTimer>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

#include "app/AppServices.h"
#include "app/DocumentPane.h"
#include "app/DropTargetView.h"
#include "app/DropZone.h"
#include "app/Help.h"
#include "app/QuickAction.h"
#include "app/RecentCell.h"
#include "app/SidebarItem.h"
#include "app/TipCard.h"
#include "ui/Brand.h"
#include "ui/ColorView.h"
#include "ui/MainMenu.h"
#include "ui/Palette.h"
#include "ui/RevealPresenter.h"
#include "ui/RunLoop.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"

namespace {

// True when the widget is a field whose text the user is editing.
bool editsText(const QWidget* widget) {
    if (auto* line = qobject_cast<const QLineEdit*>(widget)) return !line->isReadOnly();
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    if (auto* rich = qobject_cast<const QTextEdit*>(widget)) return !rich->isReadOnly();
    if (auto* spin = qobject_cast<const QAbstractSpinBox*>(widget)) return !spin->isReadOnly();
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->isEditable();
    return false;
}

}  // namespace

// The window itself: closing and Escape go to the home window. While a text field is being
// edited Escape is the field's, and the section stays.
class HomeFrame : public QMainWindow {
public:
    explicit HomeFrame(HomeWindow& owner) : owner_(owner) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        owner_.windowWillClose();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            if (!editsText(QApplication::focusWidget())) owner_.cancelOperation();
            event->accept();
            return;
        }
        QMainWindow::keyPressEvent(event);
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange) owner_.applyColors();
        if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
            // By the first activation the window manager has put its frame round the window.
            activated_ = true;
            owner_.fitToScreen();
        }
        QMainWindow::changeEvent(event);
    }
    void showEvent(QShowEvent* event) override {
        QMainWindow::showEvent(event);
        QTimer::singleShot(0, this, [this] { owner_.fitToScreen(); });
    }
    void moveEvent(QMoveEvent* event) override {
        QMainWindow::moveEvent(event);
        owner_.frameChanged();
    }
    void resizeEvent(QResizeEvent* event) override {
        QMainWindow::resizeEvent(event);
        owner_.frameChanged();
    }

private:
    HomeWindow& owner_;
    bool activated_ = false;
};

namespace {

// The signing section's width when the window leaves room for it, its margins when it does not,
// and how far above the middle it sits.
constexpr int sectionWidth = 680;
constexpr int sectionMargin = 36;
constexpr int sectionRaise = 26;
constexpr int sectionSpacing = 20;
constexpr int tipSpacing = 16;

// The window manager's title bar and borders round a window that has none yet: a generous title
// bar, so that a window placed with it keeps its own title bar on the screen.
constexpr QMargins estimatedFrame(4, 36, 4, 4);

// The signing section: the section stack placed in the middle, 680 wide or narrower with 36 on
// each side, 26 above the centre.
class SignView : public QWidget {
public:
    explicit SignView(QWidget* stack) : stack_(stack) { stack_->setParent(this); }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }
    void showEvent(QShowEvent*) override { place(); }

private:
    void place() {
        const int width = std::min(sectionWidth, std::max(0, this->width() - 2 * sectionMargin));
        const int height = stack_->hasHeightForWidth() ? stack_->heightForWidth(width)
                                                       : stack_->sizeHint().height();
        const int x = (this->width() - width) / 2;
        const int y = std::max(0, (this->height() - height) / 2 - sectionRaise);
        stack_->setGeometry(x, y, width, height);
    }

    QWidget* stack_;
};

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// A right click on the recents list opens its menu for the row under the pointer without
// selecting or showing that row: the view never sees the right button.
class RightClickFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
                break;
            default: break;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The sidebar's header: a click on it goes to the signing section.
class SidebarHeader : public QWidget {
public:
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            onClick) {
            onClick();
        }
    }
};

}  // namespace

HomeWindow::Services HomeWindow::Services::standard() {
    AppServices app = AppServices::standard();
    Services s;
    s.defaults = app.defaults;
    s.urls = app.urls;
    s.reveal = app.reveal;
    s.profilePane = app.profilePane;
    s.settingsPane = app.settingsPane;
    s.help = app.help ? app.help : [](std::optional<std::string> section) { Help::show(section); };
    s.relaunchFinder = [] { QuickAction::relaunchFinder(); };
    s.now = [] { return std::chrono::system_clock::now(); };
    return s;
}

HomeWindow::HomeWindow(bool showFinderHint, QObject* parent)
    : HomeWindow(showFinderHint, Services::standard(), parent) {}

HomeWindow::HomeWindow(NoWindow, QObject* parent) : QObject(parent) {}

HomeWindow::HomeWindow(bool showFinderHint, Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    Brand::initResources();
    if (!services_.defaults) services_.defaults = &Defaults::standard();
    if (!services_.urls) services_.urls = &URLPresenter::system();
    if (!services_.reveal) services_.reveal = &RevealPresenter::system();
    if (!services_.now) services_.now = [] { return std::chrono::system_clock::now(); };
    if (!services_.screenArea) {
        services_.screenArea = [](const QRect& frame) {
            QScreen* screen = QGuiApplication::screenAt(frame.center());
            if (!screen) screen = QGuiApplication::primaryScreen();
            return screen ? screen->availableGeometry() : QRect();
        };
    }

    auto* frame = new HomeFrame(*this);
    window_ = frame;
    frame->setWindowTitle(Brand::name);
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    frame->setMinimumSize(minimumWidth, minimumHeight);

    auto* content = new DropTargetView;
    frame->setCentralWidget(content);
    QPointer<HomeWindow> self(this);
    content->onDragChange = [self](bool carries) {
        if (self && self->dropZone_) self->dropZone_->setHighlighted(carries);
    };
    content->onDrop = [self](std::vector<std::filesystem::path> files) {
        if (self && self->onFiles) self->onFiles(std::move(files));
    };

    auto* sidebar = new QWidget;
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(sidebarWidth);
    sidebar->setAutoFillBackground(true);
    sidebar->setBackgroundRole(QPalette::Window);
    auto* separator = new ColorView(
        Brand::DynamicColor{QColor(0, 0, 0, 26), QColor(255, 255, 255, 26)});
    separator->setFixedWidth(1);
    auto* canvas = new ColorView(Brand::canvas);
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(sidebar);
    row->addWidget(separator);
    row->addWidget(canvas, 1);

    auto* canvasLayout = new QVBoxLayout(canvas);
    canvasLayout->setContentsMargins(0, topInset, 0, 0);
    auto* container = new QWidget;
    container_ = new QStackedLayout(container);
    canvasLayout->addWidget(container);

    buildSidebar(sidebar, showFinderHint);
    buildSign();
    container_->addWidget(signView_);

    MainMenu::attach(frame, this);

    // The frame stored at the last close, else the default size in the middle of the screen.
    bool restored = false;
    if (auto data = services_.defaults->data(frameKey)) {
        const QByteArray bytes(reinterpret_cast<const char*>(data->data()),
                               static_cast<qsizetype>(data->size()));
        restored = frame->restoreGeometry(bytes);
    }
    if (!restored) {
        frame->resize(defaultWidth, defaultHeight);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect geometry = frame->frameGeometry();
            geometry.moveCenter(screen->availableGeometry().center());
            frame->move(geometry.topLeft());
        }
    }
    // A frame kept on a larger screen, or the default size on a small one, fits this screen.
    fitToScreen();

    // Moved or resized, the frame is kept a moment after the last change, so it survives even a
    // process that is killed; and when the application ends with the window open.
    frameTimer_ = new QTimer(this);
    frameTimer_->setSingleShot(true);
    frameTimer_->setInterval(frameSaveDelay);
    connect(frameTimer_, &QTimer::timeout, this, [this] { saveFrame(); });
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { saveFrame(); });
    }

    applyColors();
    showSection(HomeSection::sign);
    reload();
}

HomeWindow::~HomeWindow() {
    // An application ending with the window open keeps its frame.
    saveFrame();
    // The panes first: their views are still in the window while they go.
    document_.reset();
    profile_.reset();
    settings_.reset();
    delete window_.data();
}

// --- Building ------------------------------------------------------------------------------------

void HomeWindow::buildSidebar(QWidget* sidebar, bool showFinderHint) {
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(12, topInset, 12, 14);
    column->setSpacing(0);

    // The header: mark, name and byline.
    auto* header = new SidebarHeader;
    header->onClick = [this] { goSign(); };
    header->setCursor(Qt::ArrowCursor);
    auto* mark = new QLabel;
    mark->setFixedSize(34, 34);
    mark->setPixmap(Brand::mark().pixmap(34, 34));
    auto* name = new QLabel(Brand::name);
    name->setFont(Brand::titleFont(20));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(name);
    titles->addWidget(Brand::byCalverin(12));
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(20 - 12, 0, 0, 0);
    headerRow->setSpacing(10);
    headerRow->addWidget(mark, 0, Qt::AlignVCenter);
    headerRow->addLayout(titles);
    headerRow->addStretch(1);
    column->addWidget(header);
    column->addSpacing(24);

    // The sections.
    auto* navigation = new QVBoxLayout;
    navigation->setSpacing(2);
    struct Entry {
        HomeSection section;
        QString title;
        QString symbol;
        void (HomeWindow::*action)();
    };
    const Entry entries[] = {
        {HomeSection::sign, QStringLiteral("Firmar"), QStringLiteral("signature"), &HomeWindow::goSign},
        {HomeSection::profile, QStringLiteral("Mis datos"), QStringLiteral("person.text.rectangle"),
         &HomeWindow::goProfile},
        {HomeSection::settings, QStringLiteral("Opciones"), QStringLiteral("gearshape"),
         &HomeWindow::goSettings},
    };
    for (const Entry& entry : entries) {
        auto* item = new SidebarItem(entry.title, entry.symbol, false);
        connect(item, &SidebarItem::clicked, this, [this, action = entry.action] { (this->*action)(); });
        navigation->addWidget(item);
        navigation_[entry.section] = item;
    }
    column->addLayout(navigation);
    column->addSpacing(26);

    heading_ = new QLabel(QStringLiteral("Firmados recientemente"));
    heading_->setFont(Brand::systemFont(12, QFont::DemiBold));
    heading_->setContentsMargins(22 - 12, 0, 0, 0);
    column->addWidget(heading_);
    column->addSpacing(6);

    buildList();
    column->addWidget(list_, 1);
    emptyArea_ = new QWidget;
    auto* emptyColumn = new QVBoxLayout(emptyArea_);
    emptyColumn->setContentsMargins(22 - 12, 8 - 6, 20 - 12, 0);
    emptyLabel_ = new QLabel(QStringLiteral("Aquí aparecerán los documentos que firmes."));
    emptyLabel_->setWordWrap(true);
    emptyLabel_->setFont(Brand::systemFont(12.5));
    emptyColumn->addWidget(emptyLabel_);
    emptyColumn->addStretch(1);
    column->addWidget(emptyArea_, 1);
    column->addSpacing(10);

    // The footer.
    auto* footer = new QVBoxLayout;
    footer->setSpacing(2);
    auto addFooter = [&](const QString& title, const QString& symbol, bool opensWeb,
                         const QString& toolTip, void (HomeWindow::*action)()) {
        auto* item = new SidebarItem(title, symbol, opensWeb);
        if (!toolTip.isEmpty()) item->setToolTip(toolTip);
        connect(item, &SidebarItem::clicked, this, [this, action] { (this->*action)(); });
        footer->addWidget(item);
        footer_.push_back(item);
    };
    if (showFinderHint) {
        addFooter(QStringLiteral("Reiniciar el gestor de archivos"), QStringLiteral("arrow.clockwise"),
                  false, QString(), &HomeWindow::relaunchFinder);
    }
    addFooter(QStringLiteral("Ayuda"), QStringLiteral("questionmark.circle"), true,
              QStringLiteral("Abre la ayuda en ") + Brand::websiteHost, &HomeWindow::openHelp);
    addFooter(QStringLiteral("Experimento Calverin"), QStringLiteral("testtube.2"), true,
              QStringLiteral("Abre ") + Brand::calverinHost, &HomeWindow::openCalverin);
    column->addLayout(footer);
}

void HomeWindow::buildList() {
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("recents"));
    list_->setItemDelegate(new RecentCell(list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setUniformItemSizes(true);
    list_->setMouseTracking(true);
    list_->viewport()->setAutoFillBackground(false);
    list_->setAttribute(Qt::WA_TranslucentBackground);
    list_->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->viewport()->installEventFilter(new RightClickFilter(list_));
    connect(list_, &QListWidget::clicked, this, [this](const QModelIndex& index) {
        clickedRow_ = index.isValid() ? index.row() : -1;
        showClicked();
    });
    connect(list_, &QListWidget::doubleClicked, this, [this](const QModelIndex& index) {
        clickedRow_ = index.isValid() ? index.row() : -1;
        showClicked();
        openClicked();
    });
    connect(list_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        QMenu* menu = contextMenu(point);
        menu->popup(list_->viewport()->mapToGlobal(point));
    });

    menu_ = new QMenu(list_);
    auto add = [this](const QString& title, void (HomeWindow::*action)()) {
        QAction* item = menu_->addAction(title);
        connect(item, &QAction::triggered, this, [this, action] { (this->*action)(); });
        return item;
    };
    add(QStringLiteral("Abrir"), &HomeWindow::openClicked);
    add(QStringLiteral("Mostrar en la carpeta"), &HomeWindow::revealClicked);
    signAgainAction_ = add(QStringLiteral("Volver a editar…"), &HomeWindow::signAgainClicked);
    signAgainAction_->setObjectName(QStringLiteral("signAgainClicked"));
    menu_->addSeparator();
    add(QStringLiteral("Quitar de la lista"), &HomeWindow::removeClicked);
}

void HomeWindow::buildSign() {
    dropZone_ = new DropZone;
    QPointer<HomeWindow> self(this);
    dropZone_->onClick = [self] {
        if (self && self->onChoose) self->onChoose();
    };

    auto* tips = new QWidget;
    auto* tipRow = new QHBoxLayout(tips);
    tipRow->setContentsMargins(0, 0, 0, 0);
    tipRow->setSpacing(tipSpacing);
    struct Tip {
        QString symbol;
        Brand::DynamicColor color;
        QString title;
        QString text;
    };
    const Tip tipsData[] = {
        {QStringLiteral("cursorarrow.click.2"), Brand::teal, QStringLiteral("Desde el gestor de archivos"),
         QStringLiteral("Clic derecho sobre uno o varios PDF → «") + QuickAction::name +
             QStringLiteral("».")},
        {QStringLiteral("list.bullet.rectangle"), Brand::yellow, QStringLiteral("Rellena formularios"),
         QStringLiteral("Si el PDF tiene campos, Tindra los completa con tus datos antes de firmar.")},
        {QStringLiteral("terminal"), Brand::pink, QStringLiteral("Desde la terminal"),
         QStringLiteral("Con la orden tindra, también para que firme un agente de IA.")},
    };
    for (const Tip& tip : tipsData) {
        auto* card = new TipCard(tip.symbol, tip.color, tip.title, tip.text);
        // Equal widths: every card gets the same share of the row.
        card->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        tipRow->addWidget(card, 1);
        tipCards_.push_back(card);
    }

    sectionStack_ = new QWidget;
    auto* stack = new QVBoxLayout(sectionStack_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sectionSpacing);
    stack->addWidget(dropZone_);
    stack->addWidget(tips);

    signView_ = new SignView(sectionStack_);
    // Return presses "Elegir PDF…" while the signing section shows. A press, not its repeats: a
    // Return held down over an alert closes the alert on the press, and its repeats then reach
    // this window once it comes to the front.
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), signView_);
    returnKey->setContext(Qt::WindowShortcut);
    auto* enterKey = new QShortcut(QKeySequence(Qt::Key_Enter), signView_);
    enterKey->setContext(Qt::WindowShortcut);
    for (QShortcut* shortcut : {returnKey, enterKey}) {
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (section_ == HomeSection::sign) dropZone_->button()->click();
        });
    }
}

void HomeWindow::applyColors() {
    if (!window_) return;
    const QPalette palette = window_->palette();
    setTextColor(heading_, Palette::secondaryLabel(palette));
    setTextColor(emptyLabel_, Palette::secondaryLabel(palette));
}

// --- Sections ------------------------------------------------------------------------------------

void HomeWindow::makePanes() {
    if (panesMade_) return;
    panesMade_ = true;
    auto viewOrEmpty = [this](SectionPane* pane) {
        QWidget* view = pane ? pane->view() : nullptr;
        if (!view) view = new QWidget;
        container_->addWidget(view);
        return view;
    };
    if (services_.profilePane) profile_ = services_.profilePane();
    profileView_ = viewOrEmpty(profile_.get());
    if (services_.settingsPane) settings_ = services_.settingsPane();
    settingsView_ = viewOrEmpty(settings_.get());
    document_ = std::make_unique<DocumentPane>(nullptr, services_.reveal);
    QPointer<HomeWindow> self(this);
    document_->onSignAgain = [self](const RecentSignature& item) {
        if (self && self->onSignAgain) self->onSignAgain(item);
    };
    container_->addWidget(document_->view());
}

QWidget* HomeWindow::viewOf(HomeSection section) {
    makePanes();
    switch (section) {
        case HomeSection::sign: return signView_;
        case HomeSection::profile: return profileView_;
        case HomeSection::settings: return settingsView_;
        case HomeSection::document: return document_->view();
    }
    return signView_;
}

QWidget* HomeWindow::currentView() const { return container_ ? container_->currentWidget() : nullptr; }

SidebarItem* HomeWindow::navigationItem(HomeSection section) const {
    auto found = navigation_.find(section);
    return found == navigation_.end() ? nullptr : found->second;
}

void HomeWindow::showSection(HomeSection section) {
    if (!window_) return;
    QWidget* view = viewOf(section);
    section_ = section;
    container_->setCurrentWidget(view);
    for (auto& [key, item] : navigation_) item->setSelected(key == section);
    if (section == HomeSection::document) return;
    list_->clearSelection();
    switch (section) {
        case HomeSection::sign: reload(); break;
        case HomeSection::profile:
            if (profile_) profile_->activate();
            break;
        case HomeSection::settings:
            if (settings_) settings_->activate();
            break;
        case HomeSection::document: break;
    }
}

void HomeWindow::show(std::optional<HomeSection> section) {
    if (!window_) return;
    if (section) showSection(*section);
    reload();
    bringToFront(window_);
    if (section_ == HomeSection::profile && profile_) profile_->activate();
}

void HomeWindow::show(const RecentSignature& document) {
    if (!window_) return;
    makePanes();
    document_->show(document);
    showSection(HomeSection::document);
    reload();
}

void HomeWindow::reload() {
    if (!window_) return;
    std::vector<RecentSignature> fresh = RecentSignatures::all(*services_.defaults);
    const auto sameRow = [](const RecentSignature& a, const RecentSignature& b) {
        return a.path == b.path && a.date == b.date && a.signer == b.signer;
    };
    const bool sameRows = fresh.size() == items_.size() &&
                          std::equal(fresh.begin(), fresh.end(), items_.begin(), sameRow) &&
                          list_->count() == static_cast<int>(fresh.size());
    items_ = std::move(fresh);
    const auto now = services_.now();
    if (!sameRows) {
        // Rebuilt only when the entries changed: a reload from a click on a row keeps its item.
        list_->clear();
        for (const RecentSignature& entry : items_) {
            auto* item = new QListWidgetItem(RecentCell::name(entry));
            item->setToolTip(RecentCell::toolTip(entry));
            item->setIcon(RecentCell::icon(entry.path));
            list_->addItem(item);
        }
    }
    for (int row = 0; row < list_->count(); ++row) {
        list_->item(row)->setData(RecentCell::detailRole,
                                  RecentCell::detail(items_[static_cast<std::size_t>(row)].date, now));
    }
    emptyArea_->setVisible(items_.empty());
    list_->setVisible(!items_.empty());

    if (section_ != HomeSection::document) return;
    const auto& shown = document_ ? document_->item() : std::nullopt;
    if (!shown) {
        showSection(HomeSection::sign);
        return;
    }
    auto row = std::find_if(items_.begin(), items_.end(), [&](const RecentSignature& entry) {
        return RecentSignatures::samePath(entry.path, shown->path);
    });
    if (row == items_.end()) {
        showSection(HomeSection::sign);
        return;
    }
    const int index = static_cast<int>(row - items_.begin());
    list_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    if (row->date != shown->date) document_->show(*row);
}

bool HomeWindow::isVisible() const { return window_ && window_->isVisible(); }

QWidget* HomeWindow::window() const { return window_; }

// --- Actions -------------------------------------------------------------------------------------

void HomeWindow::goSign() { showSection(HomeSection::sign); }
void HomeWindow::goProfile() { showSection(HomeSection::profile); }
void HomeWindow::goSettings() { showSection(HomeSection::settings); }

void HomeWindow::relaunchFinder() {
    if (services_.relaunchFinder) services_.relaunchFinder();
}

void HomeWindow::openHelp() {
    if (services_.help) services_.help(std::nullopt);
}

void HomeWindow::openCalverin() { services_.urls->open(Brand::calverin()); }

void HomeWindow::cancelOperation() {
    if (section_ != HomeSection::sign) showSection(HomeSection::sign);
}

std::optional<RecentSignature> HomeWindow::clickedItem() const {
    if (clickedRow_ < 0 || clickedRow_ >= static_cast<int>(items_.size())) return std::nullopt;
    return items_[static_cast<std::size_t>(clickedRow_)];
}

void HomeWindow::showClicked() {
    if (auto entry = clickedItem()) show(*entry);
}

void HomeWindow::openClicked() {
    if (auto entry = clickedItem()) {
        services_.urls->open(QUrl::fromLocalFile(QString::fromStdString(entry->path)));
    }
}

void HomeWindow::revealClicked() {
    if (auto entry = clickedItem()) services_.reveal->reveal({entry->url()});
}

void HomeWindow::signAgainClicked() {
    auto entry = clickedItem();
    if (entry && entry->canSignAgain() && onSignAgain) onSignAgain(*entry);
}

void HomeWindow::removeClicked() {
    if (auto entry = clickedItem()) {
        RecentSignatures::remove(entry->url(), *services_.defaults);
        reload();
    }
}

QMenu* HomeWindow::contextMenu(const QPoint& viewportPoint) {
    const QModelIndex index = list_->indexAt(viewportPoint);
    clickedRow_ = index.isValid() ? index.row() : -1;
    signAgainAction_->setEnabled(validateMenuItem(*signAgainAction_));
    return menu_;
}

// --- Menu ----------------------------------------------------------------------------------------

bool HomeWindow::respondsTo(MenuAction action) const {
    return action == MenuAction::zoomInDocument || action == MenuAction::zoomOutDocument ||
           action == MenuAction::zoomToFitDocument;
}

void HomeWindow::perform(MenuAction action) {
    if (!document_) return;
    switch (action) {
        case MenuAction::zoomInDocument: document_->zoomInPressed(); break;
        case MenuAction::zoomOutDocument: document_->zoomOutPressed(); break;
        case MenuAction::zoomToFitDocument: document_->zoomFitPressed(); break;
        default: break;
    }
}

bool HomeWindow::validateMenuItem(const QAction& item) const {
    const QString selector = item.objectName();
    const bool onDocument = section_ == HomeSection::document && document_;
    if (selector == QLatin1String("zoomInDocument")) return onDocument && document_->canZoomIn();
    if (selector == QLatin1String("zoomOutDocument")) return onDocument && document_->canZoomOut();
    if (selector == QLatin1String("zoomToFitDocument")) return onDocument && document_->canZoomToFit();
    if (selector == QLatin1String("signAgainClicked")) {
        const auto entry = clickedItem();
        return entry && entry->canSignAgain();
    }
    return true;
}

// --- Closing -------------------------------------------------------------------------------------

void HomeWindow::saveFrame() {
    if (!window_ || !window_->isVisible()) return;
    const QByteArray bytes = window_->saveGeometry();
    const nlohmann::json frame = Defaults::encodeData(Defaults::Data(bytes.begin(), bytes.end()));
    // Unchanged, the file is not written again (each write waits for the disk).
    if (services_.defaults->object(frameKey) == frame) return;
    services_.defaults->trySet(frameKey, frame);
}

QRect HomeWindow::fitted(const QRect& geometry, const QMargins& margins, const QRect& area,
                         const QSize& minimum) {
    const int roomWidth = area.width() - margins.left() - margins.right();
    const int roomHeight = area.height() - margins.top() - margins.bottom();
    if (roomWidth <= 0 || roomHeight <= 0 || geometry.isEmpty()) return geometry;
    const int width = std::max(std::min(geometry.width(), roomWidth), std::min(minimum.width(), roomWidth));
    const int height = std::max(std::min(geometry.height(), roomHeight), std::min(minimum.height(), roomHeight));
    const int left = area.left() + margins.left();
    const int top = area.top() + margins.top();
    // Where the window is wider or higher than the room it may have, its top left stays on it.
    const int x = std::max(left, std::min(geometry.x(), left + roomWidth - width));
    const int y = std::max(top, std::min(geometry.y(), top + roomHeight - height));
    return {x, y, width, height};
}

void HomeWindow::fitToScreen() {
    if (!window_ || (window_->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
    const QRect geometry = window_->geometry();
    const QRect outer = window_->frameGeometry();
    QMargins margins(geometry.left() - outer.left(), geometry.top() - outer.top(),
                     outer.right() - geometry.right(), outer.bottom() - geometry.bottom());
    // Before the window manager frames the window its frame is its geometry.
    if (margins.isNull()) margins = estimatedFrame;
    const QRect area = services_.screenArea(outer.isValid() ? outer : geometry);
    if (area.isEmpty()) return;
    // On a screen smaller than the minimum the window may be as small as the screen.
    const QSize room(area.width() - margins.left() - margins.right(),
                     area.height() - margins.top() - margins.bottom());
    if (room.width() <= 0 || room.height() <= 0) return;
    window_->setMinimumSize(std::min(minimumWidth, room.width()), std::min(minimumHeight, room.height()));
    const QRect fit = fitted(geometry, margins, area, {minimumWidth, minimumHeight});
    if (fit != geometry) window_->setGeometry(fit);
}

void HomeWindow::frameChanged() {
    if (frameTimer_ && window_ && window_->isVisible()) frameTimer_->start();
}

void HomeWindow::windowWillClose() {
    saveFrame();
    if (onClose) onClose();
}
