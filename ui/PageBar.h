#pragma once
// The page-and-zoom bar floating over a page view (the document pane's and the signing window's):
// previous page, the page label, next page, then zoom out, "Ajustar" and zoom in. Its owner wires
// the buttons, fills the label and places the bar.

#include "ui/FloatingBar.h"

class QFont;
class QLabel;
class QToolButton;

class PageBar : public FloatingBar {
    Q_OBJECT
public:
    // How the owner's view draws its bar.
    struct Look {
        double symbolPoints = 16;
        // The disabled buttons show their symbol faded instead of the style's grey.
        bool fadedWhenDisabled = false;
        // The buttons keep the arrow over a view that sets another cursor.
        bool arrowCursor = false;
        // The page label sets its figures in cells of one width (tabular figures).
        bool monospaceDigits = false;
        // The bar takes its contents' size whenever they change.
        bool fixedSize = false;
    };

    explicit PageBar(QWidget* parent, const Look& look);

    QToolButton* previousPage() const { return previousPage_; }
    QToolButton* nextPage() const { return nextPage_; }
    QToolButton* zoomOut() const { return zoomOut_; }
    QToolButton* zoomIn() const { return zoomIn_; }
    QToolButton* zoomFit() const { return zoomFit_; }
    QLabel* pageLabel() const { return pageLabel_; }
    // The previous button, the label and the next button, shown or hidden together.
    QWidget* pageNavigation() const { return pageNavigation_; }

    // What the bar shows: page `page` (0-based) of `pageCount`, the navigation hidden when every
    // page shows at once, and which zoom buttons can act.
    struct State {
        int page = 0;
        int pageCount = 0;
        bool allPages = false;
        bool canZoomOut = false;
        bool canZoomIn = false;
        bool canZoomToFit = false;
    };
    void setState(const State& state);

    // "Página 3 de 12" for the 0-based page 2 of 12.
    static QString labelText(int page, int pageCount);
    // The label's width in `font`: room for the longest text of a document of `pageCount` pages.
    static int labelWidth(const QFont& font, int pageCount);

private:
    QToolButton* button(const QString& symbol, const QString& description, const Look& look);

    QToolButton* previousPage_ = nullptr;
    QToolButton* nextPage_ = nullptr;
    QToolButton* zoomOut_ = nullptr;
    QToolButton* zoomIn_ = nullptr;
    QToolButton* zoomFit_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QWidget* pageNavigation_ = nullptr;
};
