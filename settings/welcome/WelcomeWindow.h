#pragma once
// The first-run window: four pages (how signing works, what this computer needs, form filling,
// the optional AI service) that the user steps through with "Atrás" and a pill-shaped next button,
// over an animated dark background. The window is made once with the pages; it survives its
// close and reports through onClose the home-window section the user asked for, if any.
//
// A window of fixed size with a dark palette, without the window manager's title bar: its own
// close button sits in the top right corner, and pressing its background moves it. Return runs goNext, except in the key field, where it saves the key and
// goes no further. Main thread only.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "ui/HomeSection.h"
#include "settings/SettingsContext.h"
#include "settings/welcome/WelcomeGeometry.h"

class AIKeyControl;
class HeroBand;
class PageDots;
class PageStage;
class PillButton;
class QPushButton;
class QVBoxLayout;
class QWidget;
class Switch;

class WelcomeWindow : public QObject {
    Q_OBJECT
public:
    struct Page {
        QWidget* view = nullptr;
        // The page's entrance animation; runs every time the page comes on screen.
        std::function<void()> play;
    };

    // `installed`: this copy is installed (the file manager's entries are written); `certificates`:
    // how many signing certificates the certificate store holds; `startAt`: the first page
    // (clamped into the pages).
    WelcomeWindow(bool installed, int certificates, int startAt = 0,
                  SettingsContext& context = SettingsContext::standard());
    ~WelcomeWindow() override;

    // Called each time the window closes: with .profile after "Abrir Mis datos", else nothing. The
    // owner may drop the window from inside the call.
    std::function<void(std::optional<HomeSection>)> onClose;

    // Goes to page `from` when given (without animation), centres the window, brings it to the
    // front and plays the current page's entrance.
    void show(std::optional<int> from = 0);

    // Puts page `n` on the stage; nothing for the current page or one outside the pages. Animated:
    // a push (a fade under reduced motion) and the page's entrance.
    void go(int n, bool animated);
    void updateButtons();

    // The process's window geometry.
    static const WelcomeGeometry& geometry() { return WelcomeGeometry::current(); }

    // Parts, for the owner and tests.
    QWidget* window() const;
    std::vector<Page>& pages() { return pages_; }
    int page() const { return page_; }
    std::optional<HomeSection> section() const { return section_; }
    HeroBand* band() const;
    PageStage* stage() const { return stage_; }
    PageDots* dots() const { return dots_; }
    QPushButton* back() const { return back_; }
    PillButton* next() const { return next_; }
    Switch* fillSwitch() const { return fillSwitch_; }
    AIKeyControl* keyControl() const { return keyControl_; }

public slots:
    void goNext();
    void goBack();
    void fillChanged();
    void openReport();
    void openProfile();

private:
    class Frame;
    enum class Check { ok, warning, info };

    void build(bool installed, int certificates);
    void closed();
    bool returnPressed();

    // The pages and their building blocks (WelcomePages.cpp).
    Page page(const QString& kicker, const std::optional<QString>& tag, const QString& title,
              const QString& subtitle, QWidget* body, std::function<void()> play);
    Page howItWorks();
    Page ready(bool installed, int certificates);
    Page forms();
    Page ai();
    QWidget* textPair(const QString& title, const QString& detail);
    QWidget* check(Check kind, const QString& title, const QString& detail);
    QWidget* column(const std::vector<QWidget*>& views, int spacing);
    QWidget* list(const QString& title, const QString& symbol, const QColor& color,
                  const QStringList& items);
    QWidget* link(const QString& title, const QString& symbol, void (WelcomeWindow::*action)());

    SettingsContext& context_;
    QPointer<Frame> window_;
    std::vector<Page> pages_;
    int page_ = -1;
    std::optional<HomeSection> section_;
    PageStage* stage_ = nullptr;
    PageDots* dots_ = nullptr;
    QPushButton* back_ = nullptr;
    PillButton* next_ = nullptr;
    Switch* fillSwitch_ = nullptr;
    AIKeyControl* keyControl_ = nullptr;
};
