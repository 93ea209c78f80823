#pragma once
// What a pane that only shows a PDF's pages needs of the page preview: open a file, turn pages,
// zoom, and hear about page and zoom changes. The document window's preview implements it; the
// application hands a pane one through its factories, so this library never links the preview.

#include <QColor>
#include <QMarginsF>
#include <QPointF>
#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

class PageViewer {
public:
    // Allowed zoom factors; 1 fits the visible pages to the drawing area.
    struct Range {
        double lowerBound = 1;
        double upperBound = 8;
    };
    static constexpr Range zoomRange{1.0, 8.0};

    virtual ~PageViewer() = default;

    // The view to place in the pane (owned by whoever owns the viewer).
    virtual QWidget* widget() = 0;

    // Shows the file from its first page; false, and no document, when it is missing, no regular
    // file, not a PDF, protected by a password or unreadable.
    virtual bool open(const std::filesystem::path& path) = 0;

    virtual int currentPage() const = 0;
    // Every set calls onPageChange; a change also puts the zoom back to 1 (without onZoomChange).
    virtual void setCurrentPage(int page) = 0;
    virtual int pageCount() const = 0;
    // True without a document or with fewer than 4 pages (all pages side by side).
    virtual bool showsAllPages() const = 0;

    virtual double zoom() const = 0;
    // Clamped into zoomRange; keeps `anchor` (widget coordinates; the centre of the drawing area
    // when nothing) in place; calls onZoomChange when the zoom changed.
    virtual void setZoom(double zoom, std::optional<QPointF> anchor = std::nullopt) = 0;
    // The current zoom times `factor` (1.5 to zoom in, 1 / 1.5 to zoom out).
    virtual void zoomBy(double factor) = 0;

    // The fill behind the pages.
    virtual void setBackground(const QColor& color) = 0;
    // Margins (left, top, right, bottom) that keep the pages away from the view's edges.
    virtual void setInsets(const QMarginsF& insets) = 0;

    // Called after every set of the current page, including the one of opening a document.
    std::function<void()> onPageChange;
    // Called after the zoom changed through setZoom.
    std::function<void()> onZoomChange;

protected:
    PageViewer() = default;
    PageViewer(const PageViewer&) = default;
    PageViewer& operator=(const PageViewer&) = default;
};
