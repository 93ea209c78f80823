#include "document/PreviewGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The card's default box round a point and its smallest size.
constexpr Size cardSize{250, 72};
constexpr Size handwritingMinimum{24, 10};

// Zooms of a two-finger double tap.
constexpr double smartZoom = 2.5;

// Scroll-zoom steps per unit of delta: pixel deltas and wheel lines.
constexpr double preciseZoomStep = 0.01;
constexpr double lineZoomStep = 0.1;

// The inline editor: its font is 0.6 of the field's height, at least 11 points; its height adds
// room for the line and the border; it is at least 120 points wide.
constexpr double editorMinimumFont = 11;
constexpr double editorFontRatio = 0.6;
constexpr double editorLineRatio = 1.35;
constexpr double editorPadding = 6;
constexpr double editorMinimumWidth = 120;

// Strict overlap: rectangles that only touch do not intersect; an empty one meets nothing.
bool intersects(const Rect& a, const Rect& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

// The rotation a display frame applies, from its transform's linear part.
int rotationOf(const AffineTransform& t) {
    if (t.a == 0 && t.b < 0) return 90;
    if (t.a < 0) return 180;
    if (t.a == 0 && t.b > 0) return 270;
    return 0;
}

// The smallest rectangle of whole points holding `r`.
Rect integral(const Rect& r) {
    double x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    double x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

// --- Look ---------------------------------------------------------------------------------------

void PreviewGeometry::Look::draw(cairo_t* cr, Rect rect, int pageRotation) const {
    if (const SignatureStamp* s = stamp())
        s->draw(cr, rect, pageRotation);
    else if (const Handwriting* h = image())
        h->draw(cr, rect, pageRotation);
}

Rect PreviewGeometry::Look::box(Point around) const {
    if (const Handwriting* h = image()) return h->box(around);
    return {around.x - cardSize.width / 2, around.y - cardSize.height / 2, cardSize.width,
            cardSize.height};
}

Size PreviewGeometry::Look::minimumSize() const {
    return isCard() ? minimumStampSize : handwritingMinimum;
}

// --- Hooks ---------------------------------------------------------------------------------------

void PreviewGeometry::redraw() const {
    if (needsDisplay) needsDisplay();
}

void PreviewGeometry::invalidateCursors() const {
    if (cursorsChanged) cursorsChanged();
}

void PreviewGeometry::placeEditor() const {
    if (layoutEditor) layoutEditor();
}

void PreviewGeometry::setZoomValue(double zoom) {
    zoom_ = zoom;
    placeEditor();
}

void PreviewGeometry::setPanValue(Point pan) {
    pan_ = pan;
    placeEditor();
}

// --- Document and page ---------------------------------------------------------------------------

void PreviewGeometry::setDocument(Frames pages) {
    const int count = static_cast<int>(pages.size());
    setDocument(std::make_shared<const Frames>(std::move(pages)), count, std::nullopt);
}

void PreviewGeometry::setDocument(std::shared_ptr<const Frames> frames, int count,
                                  std::optional<DisplaySpace> unread) {
    hasDocument_ = true;
    pages_ = std::move(frames);
    count_ = std::max(count, 0);
    unread_ = std::move(unread);
    setCurrentPage(0);
}

void PreviewGeometry::updatePages(std::shared_ptr<const Frames> frames, int count,
                                  std::optional<DisplaySpace> unread) {
    if (!hasDocument_) return;
    pages_ = std::move(frames);
    count_ = std::max(count, 0);
    unread_ = std::move(unread);
    const int page = std::clamp(currentPage_, 0, std::max(count_ - 1, 0));
    if (page != currentPage_) {
        setCurrentPage(page);
        return;
    }
    clampPan();
    redraw();
    invalidateCursors();
    placeEditor();
}

void PreviewGeometry::clearDocument() {
    hasDocument_ = false;
    pages_ = std::make_shared<const Frames>();
    count_ = 0;
    unread_.reset();
    setCurrentPage(0);
}

const std::optional<DisplaySpace>& PreviewGeometry::page(int index) const {
    static const std::optional<DisplaySpace> none;
    if (index < 0 || index >= pageCount()) return none;
    const auto i = static_cast<std::size_t>(index);
    return i < pages_->size() ? (*pages_)[i] : unread_;
}

bool PreviewGeometry::showsAllPages() const {
    return !hasDocument_ || pageCount() < sideBySideLimit + 1;
}

std::vector<int> PreviewGeometry::visiblePages() const {
    int count = pageCount();
    if (count == 0) return {};
    if (count <= sideBySideLimit) {
        std::vector<int> all(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) all[static_cast<std::size_t>(i)] = i;
        return all;
    }
    return {std::clamp(currentPage_, 0, count - 1)};
}

void PreviewGeometry::setCurrentPage(int page) {
    int previous = currentPage_;
    currentPage_ = page;
    if (page != previous) {
        setZoomValue(1);
        setPanValue({0, 0});
        setGhost(std::nullopt);
    }
    redraw();
    invalidateCursors();
    placeEditor();
    if (onPageChange) onPageChange();
}

// --- View ----------------------------------------------------------------------------------------

void PreviewGeometry::setSize(Size size) {
    size_ = size;
    clampPan();
    invalidateCursors();
    placeEditor();
}

void PreviewGeometry::setInsets(Insets insets) {
    insets_ = insets;
    redraw();
}

// --- Values pushed in ----------------------------------------------------------------------------

void PreviewGeometry::setLook(std::optional<Look> look) {
    look_ = std::move(look);
    ++lookGeneration_;
    redraw();
    invalidateCursors();
}

void PreviewGeometry::setSignatures(std::vector<SignatureCopy> signatures) {
    signatures_ = std::move(signatures);
    if (picked_ && *picked_ >= static_cast<int>(signatures_.size())) picked_.reset();
    redraw();
    invalidateCursors();
}

void PreviewGeometry::setSpaces(std::vector<SignatureCopy> spaces) {
    spaces_ = std::move(spaces);
    redraw();
}

void PreviewGeometry::setFieldMarks(std::vector<FieldMark> marks) {
    fieldMarks_ = std::move(marks);
    redraw();
    invalidateCursors();
}

void PreviewGeometry::setTexts(std::vector<TextMark> texts) {
    texts_ = std::move(texts);
    if (selectedText_ && std::none_of(texts_.begin(), texts_.end(),
                                      [&](const TextMark& m) { return m.id == *selectedText_; }))
        selectedText_.reset();
    redraw();
    invalidateCursors();
}

void PreviewGeometry::setTool(Tool tool) {
    Tool previous = tool_;
    tool_ = tool;
    setGhost(std::nullopt);
    redraw();
    invalidateCursors();
    if (tool != previous && onToolChange) onToolChange();
}

// --- Pointer and keyboard state ------------------------------------------------------------------

void PreviewGeometry::setPicked(std::optional<int> index) {
    picked_ = index;
    redraw();
    invalidateCursors();
}

std::optional<int> PreviewGeometry::current() const {
    if (picked_) return picked_;
    if (signatures_.empty()) return std::nullopt;
    return static_cast<int>(signatures_.size()) - 1;
}

void PreviewGeometry::setGhost(std::optional<SignatureCopy> ghost) {
    if (ghost == ghost_) return;
    ghost_ = std::move(ghost);
    redraw();
}

void PreviewGeometry::setSelectedText(std::optional<int> id) {
    selectedText_ = id;
    redraw();
    invalidateCursors();
}

void PreviewGeometry::setHovered(std::optional<int> id) {
    if (id == hovered_) return;
    hovered_ = id;
    redraw();
}

void PreviewGeometry::setEditor(std::optional<Editor> editor) {
    editor_ = std::move(editor);
    redraw();
    placeEditor();
}

// --- Geometry ------------------------------------------------------------------------------------

Rect PreviewGeometry::area() const {
    return {insets_.left, insets_.bottom + labelStrip, size_.width - insets_.left - insets_.right,
            size_.height - insets_.top - insets_.bottom - labelStrip};
}

std::vector<Size> PreviewGeometry::pageSizes() const {
    std::vector<Size> sizes;
    for (int index : visiblePages()) {
        const std::optional<DisplaySpace>& space = page(index);
        if (!space) continue;
        // The display frame's bounds are the crop box already turned by a quarter turn.
        sizes.push_back(space->bounds.size());
    }
    return sizes;
}

PreviewGeometry::Fit PreviewGeometry::fit(const std::vector<Size>& sizes) const {
    double width = 0, height = 0;
    for (const Size& s : sizes) {
        width += s.width;
        height = std::max(height, s.height);
    }
    if (sizes.empty()) height = 1;
    double gaps = sizes.empty() ? 0 : pageGap * static_cast<double>(sizes.size() - 1);
    Rect a = area();
    double base = std::min((a.width - gaps) / std::max(width, 1.0), a.height / height);
    if (!(base >= 0.01)) base = 0.01;
    double scale = base * zoom_;
    return {scale, {width * scale + gaps, height * scale}};
}

std::vector<PreviewGeometry::Layout> PreviewGeometry::layouts() const {
    std::vector<Layout> out;
    std::vector<int> visible = visiblePages();
    std::vector<Size> sizes;
    std::vector<int> indices;
    for (int index : visible) {
        const std::optional<DisplaySpace>& space = page(index);
        if (!space) continue;
        sizes.push_back(space->bounds.size());
        indices.push_back(index);
    }
    if (sizes.empty()) return out;
    Fit f = fit(sizes);
    Rect a = area();
    double x = a.midX() - f.content.width / 2 + pan_.x;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const DisplaySpace& space = *page(indices[i]);
        Size s = sizes[i];
        Layout layout;
        layout.index = indices[i];
        layout.frame = {x, a.midY() - s.height * f.scale / 2 + pan_.y, s.width * f.scale,
                        s.height * f.scale};
        layout.displaySize = s;
        const AffineTransform& d = space.toDisplay;
        layout.toDisplay = d;
        layout.transform = {d.a * f.scale,
                            d.b * f.scale,
                            d.c * f.scale,
                            d.d * f.scale,
                            d.tx * f.scale + layout.frame.minX(),
                            d.ty * f.scale + layout.frame.minY()};
        layout.rotation = rotationOf(d);
        out.push_back(layout);
        x += layout.frame.width + pageGap;
    }
    return out;
}

void PreviewGeometry::clampPan() {
    Fit f = fit(pageSizes());
    Rect a = area();
    double mx = std::max(0.0, (f.content.width - a.width) / 2 + panOverscroll);
    double my = std::max(0.0, (f.content.height - a.height) / 2 + panOverscroll);
    Point clamped{std::clamp(pan_.x, -mx, mx), std::clamp(pan_.y, -my, my)};
    if (!(clamped == pan_)) setPanValue(clamped);
}

std::optional<PreviewGeometry::Layout> PreviewGeometry::layoutOf(const std::vector<Layout>& layouts,
                                                                 int page) const {
    for (const Layout& l : layouts)
        if (l.index == page) return l;
    return std::nullopt;
}

std::vector<PreviewGeometry::Frame> PreviewGeometry::signatureFrames() const {
    std::vector<Frame> out;
    if (!look_) return out;
    std::vector<Layout> all = layouts();
    for (std::size_t i = 0; i < signatures_.size(); ++i) {
        const SignatureCopy& copy = signatures_[i];
        if (std::optional<Layout> l = layoutOf(all, copy.pageIndex))
            out.push_back({static_cast<int>(i), *l, l->transform.apply(copy.rect)});
    }
    return out;
}

std::optional<PreviewGeometry::Placed> PreviewGeometry::currentFrame() const {
    std::optional<int> c = current();
    if (!c) return std::nullopt;
    for (const Frame& f : signatureFrames())
        if (f.index == *c) return Placed{f.layout, f.box};
    return std::nullopt;
}

std::optional<PreviewGeometry::Placed> PreviewGeometry::textFrame(const TextMark& mark) const {
    std::optional<Layout> l = layoutOf(layouts(), mark.pageIndex);
    if (!l) return std::nullopt;
    return Placed{*l, l->transform.apply(mark.rect)};
}

std::vector<PreviewGeometry::Frame> PreviewGeometry::freeSpaces() const {
    std::vector<Frame> out;
    if (!look_ || tool_ != Tool::signature) return out;
    std::vector<Layout> all = layouts();
    for (std::size_t i = 0; i < spaces_.size(); ++i) {
        const SignatureCopy& space = spaces_[i];
        bool taken =
            std::any_of(signatures_.begin(), signatures_.end(), [&](const SignatureCopy& c) {
                return c.pageIndex == space.pageIndex &&
                       intersects(c.rect.insetBy(copyMargin, copyMargin), space.rect);
            });
        if (taken) continue;
        if (std::optional<Layout> l = layoutOf(all, space.pageIndex))
            out.push_back({static_cast<int>(i), *l, l->transform.apply(space.rect)});
    }
    return out;
}

std::optional<PreviewGeometry::EditorFrame> PreviewGeometry::editorFrame() const {
    if (!editor_) return std::nullopt;
    std::optional<Layout> l = layoutOf(layouts(), editor_->pageIndex);
    if (!l) return std::nullopt;
    Rect r = l->transform.apply(editor_->rect);
    double font = std::max(editorMinimumFont, r.height * editorFontRatio);
    double h = std::round(font * editorLineRatio + editorPadding);
    return EditorFrame{
        integral({r.minX(), r.midY() - h / 2, std::max(editorMinimumWidth, r.width), h}), font};
}

// --- Changes of the copies -----------------------------------------------------------------------

void PreviewGeometry::setSignature(int index, Rect rect) {
    if (index < 0 || index >= static_cast<int>(signatures_.size())) return;
    std::vector<SignatureCopy> copies = signatures_;
    SignatureCopy& copy = copies[static_cast<std::size_t>(index)];
    copy.rect = {std::round(rect.x), std::round(rect.y), std::round(rect.width),
                 std::round(rect.height)};
    copy.handwritten = std::nullopt;
    if (onSignaturesChange) onSignaturesChange(copies);
}

void PreviewGeometry::removeSignature(int index) {
    if (index < 0 || index >= static_cast<int>(signatures_.size())) return;
    if (onSignaturesWillChange) onSignaturesWillChange("Quitar la firma");
    std::vector<SignatureCopy> copies = signatures_;
    copies.erase(copies.begin() + index);
    picked_.reset();
    redraw();
    invalidateCursors();
    if (onSignaturesChange) onSignaturesChange(copies);
}

// --- Zoom and scrolling --------------------------------------------------------------------------

void PreviewGeometry::setZoom(double value, std::optional<Point> anchor) {
    if (!std::isfinite(value)) return;
    double z = zoomRange.clamp(value);
    if (z == zoom_) return;
    Rect a = area();
    Point c{a.midX(), a.midY()};
    Point at = anchor.value_or(c);
    double r = z / zoom_;
    Point pan{pan_.x + (1 - r) * (at.x - (c.x + pan_.x)),
              pan_.y + (1 - r) * (at.y - (c.y + pan_.y))};
    // The row scales about c + pan except for the gaps between side-by-side pages, which keep
    // their width: a page k places off the middle of n sits (k - (n - 1) / 2) gaps off that
    // scaling. Without this the content under an anchor on an outer page would slide sideways by
    // a gap for every step of zoom.
    std::vector<Layout> shown = layouts();
    if (shown.size() > 1) {
        std::size_t k = 0;
        double nearest = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const Rect& f = shown[i].frame;
            double away = at.x < f.minX() ? f.minX() - at.x : at.x > f.maxX() ? at.x - f.maxX() : 0;
            if (away < nearest) {
                nearest = away;
                k = i;
            }
        }
        double offMiddle = static_cast<double>(k) - static_cast<double>(shown.size() - 1) / 2;
        pan.x += (r - 1) * pageGap * offMiddle;
    }
    setPanValue(pan);
    setZoomValue(z);
    setGhost(std::nullopt);
    if (z == 1) setPanValue({0, 0});
    clampPan();
    redraw();
    invalidateCursors();
    if (onZoomChange) onZoomChange();
}

void PreviewGeometry::zoomBy(double factor) {
    if (!std::isfinite(factor)) return;
    std::optional<Placed> f = currentFrame();
    if (!f) {
        setZoom(zoom_ * factor, std::nullopt);
        return;
    }
    setZoom(zoom_ * factor, Point{f->box.midX(), f->box.midY()});
    if (zoom_ <= 1) return;
    if (std::optional<Placed> b = currentFrame()) {
        Rect a = area();
        setPanValue({pan_.x + (a.midX() - b->box.midX()), pan_.y + (a.midY() - b->box.midY())});
        clampPan();
        redraw();
        invalidateCursors();
    }
}

void PreviewGeometry::magnify(double magnification, Point location) {
    if (!std::isfinite(magnification)) return;
    setZoom(zoom_ * (1 + magnification), location);
}

void PreviewGeometry::smartMagnify(Point location) {
    setZoom(zoom_ > 1 ? 1.0 : smartZoom, location);
}

double PreviewGeometry::scrollZoomFactor(const Scroll& event) {
    double dy = event.inverted ? -event.dy : event.dy;
    double k = event.precise ? preciseZoomStep : lineZoomStep;
    return std::exp(dy * k);
}

bool PreviewGeometry::scroll(const Scroll& event) {
    if (!std::isfinite(event.dx) || !std::isfinite(event.dy)) return true;
    if (event.zoomKey) {
        setZoom(zoom_ * scrollZoomFactor(event), event.location);
        return true;
    }
    if (zoom_ > 1) {
        Point pan{pan_.x + event.dx, pan_.y - event.dy};
        setPanValue(pan);
        clampPan();
        redraw();
        invalidateCursors();
        return true;
    }
    int count = pageCount();
    if (count < sideBySideLimit + 1) return false;

    scrollAccumulator_ += event.dy;
    if (event.phase == Scroll::Phase::ended) {
        scrollAccumulator_ = 0;
        return true;
    }
    if (scrollAccumulator_ < -pageTurnDistance && currentPage_ < count - 1) {
        setCurrentPage(currentPage_ + 1);
        scrollAccumulator_ = 0;
    } else if (scrollAccumulator_ > pageTurnDistance && currentPage_ >= 1) {
        setCurrentPage(currentPage_ - 1);
        scrollAccumulator_ = 0;
    } else if (event.phase == Scroll::Phase::none) {
        // A wheel never ends a gesture: a sum pushing past the first or the last page would grow
        // without bound, and scrolling back would need as many notches again. Drop it.
        bool pastLast = scrollAccumulator_ < 0 && !(currentPage_ < count - 1);
        bool pastFirst = scrollAccumulator_ > 0 && !(currentPage_ >= 1);
        if (pastLast || pastFirst) scrollAccumulator_ = 0;
    }
    return true;
}
