#pragma once
// One recently signed PDF inside the home window, read-only: its icon, name and a line saying who
// signed it, when and in which folder; "Mostrar en la carpeta" and "Volver a editar"; its pages in
// a page viewer with a floating bar for page navigation and zoom. A missing or unreadable file
// shows a centred note instead of the pages and keeps the header.

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "app/RecentSignatures.h"
#include "ui/PageBar.h"
#include "ui/PageViewer.h"

class QLabel;
class QPushButton;
class QToolButton;
class QWidget;
class RevealPresenter;

class DocumentPane : public QObject {
    Q_OBJECT
public:
    // Space the viewer leaves for the floating bar at its bottom.
    static constexpr double bottomInset = 72;
    static constexpr int margin = 36;

    // `viewer` null: the document window's page preview. `reveal` null: the file manager.
    explicit DocumentPane(std::unique_ptr<PageViewer> viewer = nullptr,
                          RevealPresenter* reveal = nullptr, QObject* parent = nullptr);
    ~DocumentPane() override;

    QWidget* view() const { return view_; }
    std::function<void(const RecentSignature&)> onSignAgain;
    const std::optional<RecentSignature>& item() const { return item_; }

    // Shows an entry from its first page at zoom 1.
    void show(const RecentSignature& item);

    bool canZoomIn() const;
    bool canZoomOut() const;
    bool canZoomToFit() const;

    // Actions of the buttons and the View menu.
    void zoomInPressed();
    void zoomOutPressed();
    void zoomFitPressed();
    void showPreviousPage();
    void showNextPage();
    void signAgain();
    void revealFile();

    // "Firmado por Ana · 9 de diciembre de 2026, 10:30 · en Documentos".
    static QString detail(const RecentSignature& item);
    // The tooltip of "Volver a editar".
    static QString editToolTip(const RecentSignature& item);

    // Parts, for the window and for tests.
    PageViewer& viewer() const { return *viewer_; }
    QLabel* name() const { return name_; }
    QLabel* detailLabel() const { return detail_; }
    QLabel* missing() const { return missing_; }
    QLabel* pageLabel() const { return pageBar_->pageLabel(); }
    QPushButton* edit() const { return edit_; }
    QPushButton* reveal() const { return revealButton_; }
    PageBar* pageBar() const { return pageBar_; }
    QWidget* pageNavigation() const { return pageBar_->pageNavigation(); }
    QToolButton* previousPage() const { return pageBar_->previousPage(); }
    QToolButton* nextPage() const { return pageBar_->nextPage(); }
    QToolButton* zoomOut() const { return pageBar_->zoomOut(); }
    QToolButton* zoomIn() const { return pageBar_->zoomIn(); }
    QToolButton* zoomFit() const { return pageBar_->zoomFit(); }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void updatePageBar();
    void placeOverlays();
    bool hasDocument() const;

    std::unique_ptr<PageViewer> viewer_;
    RevealPresenter* reveal_ = nullptr;
    QPointer<QWidget> view_;
    QPointer<QWidget> previewWidget_;
    std::optional<RecentSignature> item_;
    bool opened_ = false;
    QLabel* icon_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* missing_ = nullptr;
    QPushButton* revealButton_ = nullptr;
    QPushButton* edit_ = nullptr;
    PageBar* pageBar_ = nullptr;
};
