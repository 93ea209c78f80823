#pragma once
// The home window: the application's main window. A sidebar with the product's mark, the three
// sections ("Firmar", "Mis datos", "Opciones"), the recently signed documents and a footer of
// links; a content area showing one section: the drop zone with its tips, the profile pane, the
// options pane, or one signed document (DocumentPane). The whole window takes dropped PDFs.
//
// It never signs or opens a panel itself: it reports to its owner, the application delegate,
// through its callbacks. Main thread only.

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RecentSignatures.h"
#include "ui/SectionPane.h"
#include "ui/HomeSection.h"
#include "ui/MenuResponder.h"

class Defaults;
class DocumentPane;
class DropZone;
class QLabel;
class QListWidget;
class QMainWindow;
class QMenu;
class QStackedLayout;
class QTimer;
class QWidget;
class RevealPresenter;
class SidebarItem;
class TipCard;
class URLPresenter;

class HomeWindow : public QObject, public MenuResponder {
    Q_OBJECT
public:
    using Section = HomeSection;

    static constexpr int sidebarWidth = 240;
    // Room above the sidebar's header and the content (the title and menu bars sit above both).
    static constexpr int topInset = 24;
    static constexpr int defaultWidth = 1040;
    static constexpr int defaultHeight = 700;
    static constexpr int minimumWidth = 900;
    static constexpr int minimumHeight = 600;
    // The window's frame (Qt's saved geometry, as data) in the user defaults.
    static constexpr char frameKey[] = "windowFrame.Main";
    // How long after the last move or resize the frame is saved.
    static constexpr std::chrono::milliseconds frameSaveDelay{500};

    // What the window uses of the application.
    struct Services {
        Defaults* defaults = nullptr;       // recent signatures and the window's frame
        URLPresenter* urls = nullptr;       // opening files and web pages
        RevealPresenter* reveal = nullptr;  // "Mostrar en la carpeta"
        // The panes of "Mis datos" and "Opciones"; empty (or a null pane): an empty section.
        std::function<std::unique_ptr<SectionPane>()> profilePane;
        std::function<std::unique_ptr<SectionPane>()> settingsPane;
        std::function<void(std::optional<std::string>)> help;  // "Ayuda"
        std::function<void()> relaunchFinder;                   // "Reiniciar el gestor de archivos"
        std::function<std::chrono::system_clock::time_point()> now;
        // The available area (global coordinates) of the screen a window frame opens on; empty:
        // that of the screen under the frame's middle, else of the primary screen.
        std::function<QRect(const QRect& frame)> screenArea;
        // The application's: AppServices::standard() and Help.
        static Services standard();
    };

    // A window's geometry (without its title bar and borders, `margins` round it) moved and, when
    // it must, shrunk so that with its margins it lies within `area`; never smaller than
    // `minimum` unless the area is.
    static QRect fitted(const QRect& geometry, const QMargins& margins, const QRect& area,
                        const QSize& minimum);

    explicit HomeWindow(bool showFinderHint, QObject* parent = nullptr);
    HomeWindow(bool showFinderHint, Services services, QObject* parent = nullptr);
    ~HomeWindow() override;

    // PDFs dropped on the window, on the pass after the drop.
    std::function<void(std::vector<std::filesystem::path>)> onFiles;
    // The drop zone or "Elegir PDF…" was clicked: choose files.
    std::function<void()> onChoose;
    // "Volver a editar…" on a recent signature.
    std::function<void(const RecentSignature&)> onSignAgain;
    // The user closed the window; the owner may drop it from inside the call.
    std::function<void()> onClose;

    // Switches to `section` (nothing: the current one), reloads the list and brings the window
    // to the front.
    virtual void show(std::optional<HomeSection> section);
    // Shows one recent signature in the document section.
    void show(const RecentSignature& document);
    // Reads the recent signatures again (after a signing run).
    void reload();
    // Stores the window's frame now (it is stored a moment after each move or resize, and when the
    // window closes or goes).
    void saveFrame();
    virtual bool isVisible() const;
    // The top-level widget (null in fakes without one).
    virtual QWidget* window() const;
    HomeSection section() const { return section_; }

    // Actions: the sidebar, its footer, Escape.
    void goSign();
    void goProfile();
    void goSettings();
    void relaunchFinder();
    void openHelp();
    void openCalverin();
    void cancelOperation();

    // Row actions on the list's clicked row (nothing when it is not a row).
    void showClicked();
    void openClicked();
    void revealClicked();
    void signAgainClicked();
    void removeClicked();
    int clickedRow() const { return clickedRow_; }
    // The context menu for a point of the list's viewport, prepared as a right click there would
    // (the clicked row, the enabled items), not shown.
    QMenu* contextMenu(const QPoint& viewportPoint);

    // MenuResponder: the View menu's zoom items, for the document section.
    bool respondsTo(MenuAction action) const override;
    void perform(MenuAction action) override;
    bool validateMenuItem(const QAction& item) const override;

    // Parts, for tests.
    const std::vector<RecentSignature>& items() const { return items_; }
    QListWidget* list() const { return list_; }
    QLabel* emptyLabel() const { return emptyLabel_; }
    DropZone* dropZone() const { return dropZone_; }
    QWidget* signView() const { return signView_; }
    QWidget* sectionStack() const { return sectionStack_; }
    std::vector<TipCard*> tipCards() const { return tipCards_; }
    SidebarItem* navigationItem(HomeSection section) const;
    std::vector<SidebarItem*> footerItems() const { return footer_; }
    // The view shown in the content area now.
    QWidget* currentView() const;
    DocumentPane* documentPane() const { return document_.get(); }
    SectionPane* profilePane() const { return profile_.get(); }
    SectionPane* settingsPane() const { return settings_.get(); }
    bool panesMade() const { return panesMade_; }

protected:
    // For fakes: no widget is made.
    struct NoWindow {};
    explicit HomeWindow(NoWindow, QObject* parent = nullptr);

private:
    friend class HomeFrame;

    void buildSidebar(QWidget* sidebar, bool showFinderHint);
    void buildSign();
    void buildList();
    void showSection(HomeSection section);
    void makePanes();
    QWidget* viewOf(HomeSection section);
    std::optional<RecentSignature> clickedItem() const;
    void windowWillClose();
    void frameChanged();
    void fitToScreen();
    void applyColors();

    Services services_;
    HomeSection section_ = HomeSection::sign;
    QPointer<QMainWindow> window_;
    QTimer* frameTimer_ = nullptr;
    QStackedLayout* container_ = nullptr;
    QWidget* signView_ = nullptr;
    QWidget* sectionStack_ = nullptr;
    QWidget* profileView_ = nullptr;
    QWidget* settingsView_ = nullptr;
    std::unique_ptr<SectionPane> profile_;
    std::unique_ptr<SectionPane> settings_;
    std::unique_ptr<DocumentPane> document_;
    bool panesMade_ = false;
    std::map<HomeSection, SidebarItem*> navigation_;
    std::vector<SidebarItem*> footer_;
    std::vector<TipCard*> tipCards_;
    DropZone* dropZone_ = nullptr;
    QListWidget* list_ = nullptr;
    QWidget* emptyArea_ = nullptr;
    QLabel* emptyLabel_ = nullptr;
    QLabel* heading_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* signAgainAction_ = nullptr;
    int clickedRow_ = -1;
    std::vector<RecentSignature> items_;
};
