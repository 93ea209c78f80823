#include "app/Help.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTextBrowser>
#include <QTextDocument>

#include <memory>

#include "ui/Brand.h"
#include "ui/MainMenu.h"
#include "ui/Popover.h"
#include "ui/RunLoop.h"
#include "ui/URLPresenter.h"

// The help page is compiled into this library: its resources are registered by hand.
static void initHelpResource() { Q_INIT_RESOURCE(help); }

namespace {

// The compiled-in page.
const QString builtInPage = QStringLiteral("qrc:/tindra/ayuda.html");
// Bound on the page read for a popover: the help page is a few dozen kilobytes.
constexpr qint64 maximumPageBytes = 4 * 1024 * 1024;

void notifyScript(const char* function, const std::string& section) {
    if (auto& observer = Help::testing::onScript()) observer(function, section);
}

// The page's own files: the compiled-in resources or a local file.
bool isPageURL(const QUrl& url) { return url.isLocalFile() || url.scheme() == QLatin1String("qrc"); }

QString readPage(const QUrl& page) {
    const QString path = page.scheme() == QLatin1String("qrc")
                             ? QStringLiteral(":") + page.path()
                             : page.toLocalFile();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumPageBytes) return {};
    return QString::fromUtf8(file.read(maximumPageBytes));
}

std::optional<QUrl> builtIn() {
    initHelpResource();
    const QUrl url(builtInPage);
    if (QFile::exists(QStringLiteral(":") + url.path())) return url;
    return std::nullopt;
}

// The one help window: loads its page on the next pass after it is made; goes to the pending
// section once the page has loaded.
class HelpWindow : public QObject {
public:
    explicit HelpWindow(const QUrl& page) : page_(page) {
        window_ = new QMainWindow;
        window_->setWindowTitle(QStringLiteral("Ayuda de ") + Brand::name);
        window_->setAttribute(Qt::WA_DeleteOnClose, false);
        web_ = new QTextBrowser;
        web_->setOpenLinks(false);
        web_->setOpenExternalLinks(false);
        window_->setCentralWidget(web_);
        MainMenu::attach(window_);
        window_->resize(Help::windowWidth, Help::windowHeight);
        window_->setMinimumSize(Help::minimumWidth, Help::minimumHeight);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = window_->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window_->move(frame.topLeft());
        }
        QObject::connect(web_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
            const QUrl url = web_->source().isEmpty() ? page_.resolved(link) : web_->source().resolved(link);
            if (Help::follow(url, std::nullopt, true)) navigate(url);
        });
        QPointer<HelpWindow> self(this);
        onMainRunLoop(0, [self] {
            if (self && Help::follow(self->page_, std::nullopt, false)) self->navigate(self->page_);
        });
    }
    ~HelpWindow() override { delete window_.data(); }

    QMainWindow* window() const { return window_; }
    QTextBrowser* web() const { return web_; }
    bool loaded() const { return loaded_; }
    const std::optional<std::string>& pending() const { return pending_; }
    void setPending(std::optional<std::string> section) { pending_ = std::move(section); }

    void go(const std::string& section) {
        notifyScript("go", section);
        web_->scrollToAnchor(QString::fromStdString(section));
    }

private:
    void navigate(const QUrl& url) {
        web_->setSource(url);
        finished();
    }
    // After every finished navigation.
    void finished() {
        loaded_ = true;
        if (pending_) go(*pending_);
        pending_.reset();
    }

    QUrl page_;
    QPointer<QMainWindow> window_;
    QTextBrowser* web_ = nullptr;
    bool loaded_ = false;
    std::optional<std::string> pending_;
};

// One section in a popup beside a control.
class HelpPopover : public QObject {
public:
    HelpPopover(const QUrl& page, std::string section) : page_(page), section_(std::move(section)) {
        web_ = new QTextBrowser;
        web_->setOpenLinks(false);
        web_->setOpenExternalLinks(false);
        web_->setFixedSize(Help::popoverWidth, Help::popoverHeight);
        frame_ = new Popover(web_);
        QObject::connect(web_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
            const QUrl url = web_->source().isEmpty() ? page_.resolved(link) : web_->source().resolved(link);
            if (Help::follow(url, section_, true)) load(url);
        });
        load(page_);
    }
    ~HelpPopover() override { delete frame_.data(); }

    Popover* frame() const { return frame_; }
    QTextBrowser* web() const { return web_; }

    void close() {
        if (frame_) frame_->hide();
    }

private:
    void load(const QUrl& url) {
        const QString html = readPage(url.adjusted(QUrl::RemoveFragment));
        const QString single = Help::one(html, QString::fromStdString(section_));
        web_->document()->setBaseUrl(url);
        web_->setHtml(single.isEmpty() ? html : single);
        notifyScript("one", section_);
    }

    QUrl page_;
    std::string section_;
    QPointer<Popover> frame_;
    QTextBrowser* web_ = nullptr;
};

struct State {
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // Widgets cannot outlive the application object: past its end they are left to the system.
    ~State() {
        if (!QCoreApplication::instance()) {
            (void)window.release();
            (void)popover.release();
        }
    }

    std::optional<QUrl> page = builtIn();
    URLPresenter* urls = &URLPresenter::system();
    std::unique_ptr<HelpWindow> window;
    std::unique_ptr<HelpPopover> popover;
    std::function<void(const std::string&, const std::string&)> onScript;
};

State& state() {
    static State s;
    return s;
}

// The windows go before the application object does.
void releaseAtQuit() {
    static bool connected = false;
    if (connected || !QCoreApplication::instance()) return;
    connected = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
        state().popover.reset();
        state().window.reset();
    });
}

void closePopover() {
    if (state().popover) state().popover->close();
}

QUrl onlineHelp(const std::optional<std::string>& section) {
    const QUrl base = Brand::help();
    if (!section) return base;
    const QUrl resolved = base.resolved(QUrl(QStringLiteral("#") + QString::fromStdString(*section)));
    return resolved.isValid() ? resolved : base;
}

}  // namespace

namespace Help {

std::optional<QUrl>& page() { return state().page; }
URLPresenter*& urls() { return state().urls; }

void show(std::optional<std::string> section) {
    State& s = state();
    if (!s.page) {
        s.urls->open(onlineHelp(section));
        return;
    }
    if (!s.window) {
        releaseAtQuit();
        s.window = std::make_unique<HelpWindow>(*s.page);
    }
    if (s.window->loaded()) {
        if (section) s.window->go(*section);
    } else {
        s.window->setPending(section);
    }
    bringToFront(s.window->window());
}

void pop(const std::string& section, QWidget* from) {
    State& s = state();
    if (!s.page) {
        show(section);
        return;
    }
    closePopover();
    releaseAtQuit();
    s.popover = std::make_unique<HelpPopover>(*s.page, section);
    s.popover->frame()->show(from, from ? from->rect() : QRect(), Popover::Edge::top);
}

bool follow(const QUrl& url, const std::optional<std::string>& popoverSection, bool linkClicked) {
    if (url.isEmpty() || !url.isValid()) return false;
    if (popoverSection && isPageURL(url) && linkClicked && url.hasFragment()) {
        closePopover();
        show(url.fragment().toStdString());
        return false;
    }
    if (isPageURL(url)) return true;
    if (url.scheme() == QLatin1String(scheme)) {
        closePopover();
        show(popoverSection);
        return false;
    }
    state().urls->open(url);
    return false;
}

QString one(const QString& html, const QString& section) {
    if (section.isEmpty()) return {};
    static const QRegularExpression tagName(QStringLiteral("^<([A-Za-z][A-Za-z0-9]*)"));
    const QRegularExpression idAttribute(
        QStringLiteral("<([A-Za-z][A-Za-z0-9]*)\\b[^>]*\\bid\\s*=\\s*[\"']%1[\"'][^>]*>")
            .arg(QRegularExpression::escape(section)));
    const QRegularExpressionMatch open = idAttribute.match(html);
    if (!open.hasMatch()) return {};
    const QString tag = open.captured(1).toLower();
    // The element ends at the close tag that balances its opening, counting nested ones.
    const QRegularExpression boundary(
        QStringLiteral("<(/?)%1\\b[^>]*>").arg(QRegularExpression::escape(tag)),
        QRegularExpression::CaseInsensitiveOption);
    int depth = 0;
    qsizetype end = -1;
    auto it = boundary.globalMatch(html, open.capturedStart());
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        depth += m.captured(1).isEmpty() ? 1 : -1;
        if (depth == 0) {
            end = m.capturedEnd();
            break;
        }
    }
    if (end < 0) end = html.size();
    const QString element = html.mid(open.capturedStart(), end - open.capturedStart());
    static const QRegularExpression head(QStringLiteral("<head\\b[^>]*>.*</head>"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    const QString pageHead = head.match(html).captured(0);
    return QStringLiteral("<!DOCTYPE html><html>") + pageHead + QStringLiteral("<body class=\"una\">") +
           element + QStringLiteral("</body></html>");
}

namespace testing {

std::function<void(const std::string&, const std::string&)>& onScript() { return state().onScript; }
QWidget* window() { return state().window ? state().window->window() : nullptr; }
QTextBrowser* browser() { return state().window ? state().window->web() : nullptr; }
bool loaded() { return state().window && state().window->loaded(); }
std::optional<std::string> pending() {
    return state().window ? state().window->pending() : std::nullopt;
}
QWidget* popover() {
    return state().popover && state().popover->frame() && state().popover->frame()->isVisible()
               ? state().popover->frame()
               : nullptr;
}
QTextBrowser* popoverBrowser() { return state().popover ? state().popover->web() : nullptr; }
void reset() {
    State& s = state();
    s.popover.reset();
    s.window.reset();
    s.page = builtIn();
    s.urls = &URLPresenter::system();
    s.onScript = nullptr;
}

}  // namespace testing

}  // namespace Help
