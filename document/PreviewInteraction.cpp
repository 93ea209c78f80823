#include "document/PreviewInteraction.h"

#include <algorithm>
#include <cmath>

#include "document/TextBoxes.h"

namespace {

using Layout = PreviewGeometry::Layout;

Rect grown(const Rect& r, double d) {
    return {r.x - d, r.y - d, r.width + 2 * d, r.height + 2 * d};
}

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Corners of a rectangle in the order the handles are tested: BL, BR, TL, TR (y upwards).
Point corner(const Rect& r, int k) {
    switch (k) {
        case 0: return {r.minX(), r.minY()};
        case 1: return {r.maxX(), r.minY()};
        case 2: return {r.minX(), r.maxY()};
        default: return {r.maxX(), r.maxY()};
    }
}

// The overlap of two rectangles; nothing when they do not overlap in a positive area.
std::optional<Rect> intersection(const Rect& a, const Rect& b) {
    double x0 = std::max(a.minX(), b.minX()), y0 = std::max(a.minY(), b.minY());
    double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
    if (!(x1 > x0) || !(y1 > y0)) return std::nullopt;
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

constexpr PreviewInteraction::Cursor cornerCursors[4] = {
    PreviewInteraction::Cursor::resizeBottomLeft, PreviewInteraction::Cursor::resizeBottomRight,
    PreviewInteraction::Cursor::resizeTopLeft, PreviewInteraction::Cursor::resizeTopRight};

}  // namespace

// --- Helpers -------------------------------------------------------------------------------------

bool PreviewInteraction::listens() const {
    if (reportsSignatures) return reportsSignatures();
    return static_cast<bool>(model_.onSignaturesChange);
}

bool PreviewInteraction::clickable(const PreviewGeometry::FieldMark& mark) const {
    return mark.state != FillItem::State::other || mark.editable;
}

std::optional<Layout> PreviewInteraction::layoutOf(const std::vector<Layout>& layouts,
                                                   int page) const {
    for (const Layout& l : layouts)
        if (l.index == page) return l;
    return std::nullopt;
}

std::optional<std::pair<const PreviewGeometry::FieldMark*, Rect>> PreviewInteraction::fieldAt(
    Point p) const {
    for (const Layout& layout : model_.layouts()) {
        if (!layout.frame.contains(p)) continue;
        for (const PreviewGeometry::FieldMark& mark : model_.fieldMarks()) {
            if (mark.pageIndex != layout.index || !clickable(mark)) continue;
            Rect view = layout.transform.apply(mark.rect);
            if (grown(view, fieldHitMargin).contains(p)) return std::pair{&mark, view};
        }
    }
    return std::nullopt;
}

Point PreviewInteraction::pagePoint(const Layout& layout, Point p) {
    std::optional<AffineTransform> inverse = layout.transform.inverted();
    return inverse ? inverse->apply(p) : p;
}

std::optional<int> PreviewInteraction::cornerAt(const Rect& box, Point p) {
    for (int k = 0; k < 4; ++k)
        if (distance(corner(box, k), p) <= handleReach) return k;
    return std::nullopt;
}

Point PreviewInteraction::anchorFor(const Layout& layout, const Rect& pageRect, int k) {
    // The fixed corner is the one opposite the grabbed one on screen. On an upright page that is
    // page corner (maxX, maxY), (minX, maxY), (maxX, minY), (minX, minY) for handle BL, BR, TL,
    // TR; on a turned page it is whichever page corner shows there.
    Rect view = layout.transform.apply(pageRect);
    Point opposite = corner(view, 3 - k);
    Point best = corner(pageRect, 3 - k);
    double bestDistance = distance(layout.transform.apply(best), opposite);
    for (int j = 0; j < 4; ++j) {
        Point c = corner(pageRect, j);
        double d = distance(layout.transform.apply(c), opposite);
        if (d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

void PreviewInteraction::focus() {
    if (focusView) focusView();
}

void PreviewInteraction::invalidateCursors() {
    if (model_.cursorsChanged) model_.cursorsChanged();
}

// --- Geometry ------------------------------------------------------------------------------------

Rect PreviewInteraction::clamped(Rect rect, int pageIndex) const {
    const std::optional<DisplaySpace>& page = model_.page(pageIndex);
    if (!page) return rect;
    const DisplaySpace& space = *page;
    Rect box = space.page(space.bounds);  // the crop box, page space
    double w = std::min(rect.width, box.width);
    double h = std::min(rect.height, box.height);
    double x = std::min(std::max(rect.minX(), box.minX()), box.maxX() - w);
    double y = std::min(std::max(rect.minY(), box.minY()), box.maxY() - h);
    return {x, y, w, h};
}

Rect PreviewInteraction::resized(Point a, Point t, Size minimum) {
    auto far = [](double anchor, double pointer, double least) {
        if (anchor > pointer) return std::min(pointer, anchor - least);
        return pointer <= anchor + least ? anchor + least : pointer;
    };
    double fx = far(a.x, t.x, minimum.width);
    double fy = far(a.y, t.y, minimum.height);
    return {std::min(a.x, fx), std::min(a.y, fy), std::abs(fx - a.x), std::abs(fy - a.y)};
}

std::optional<SignatureCopy> PreviewInteraction::ghost(Point p) const {
    if (model_.tool() != PreviewGeometry::Tool::signature || model_.editor() || !model_.look() ||
        !listens())
        return std::nullopt;
    for (const PreviewGeometry::Frame& f : model_.signatureFrames())
        if (grown(f.box, copyHitMargin).contains(p)) return std::nullopt;
    std::vector<Layout> layouts = model_.layouts();
    for (const PreviewGeometry::TextMark& mark : model_.texts()) {
        std::optional<Layout> l = layoutOf(layouts, mark.pageIndex);
        if (l && grown(l->transform.apply(mark.rect), copyHitMargin).contains(p))
            return std::nullopt;
    }
    for (const PreviewGeometry::Frame& f : model_.freeSpaces())
        if (grown(f.box, fieldHitMargin).contains(p))
            return model_.spaces()[static_cast<std::size_t>(f.index)];
    if (fieldAt(p)) return std::nullopt;
    for (const Layout& layout : layouts) {
        if (!layout.frame.contains(p)) continue;
        Point pp = pagePoint(layout, p);
        const std::vector<SignatureCopy>& copies = model_.signatures();
        std::optional<int> picked = model_.picked();
        Rect rect;
        if (!copies.empty()) {
            int i = picked && *picked >= 0 && *picked < static_cast<int>(copies.size())
                        ? *picked
                        : static_cast<int>(copies.size()) - 1;
            Size s = copies[static_cast<std::size_t>(i)].rect.size();
            rect = {pp.x - s.width / 2, pp.y - s.height / 2, s.width, s.height};
        } else {
            rect = model_.look()->box(pp);
        }
        rect = clamped(rect, layout.index);
        rect = {std::round(rect.x), std::round(rect.y), std::round(rect.width),
                std::round(rect.height)};
        return SignatureCopy{layout.index, rect, std::nullopt};
    }
    return std::nullopt;
}

// --- Left button ---------------------------------------------------------------------------------

void PreviewInteraction::press(Point p, bool editorJustEnded) {
    // 1. A new gesture; an open editor ends (and reports) before anything else.
    drag_.reset();
    bool editorWasOpen = editorJustEnded || model_.editor().has_value();
    if (model_.editor() && endEditing) endEditing();

    // 2. A corner of the selected text mark.
    if (std::optional<int> selected = model_.selectedText()) {
        const auto& texts = model_.texts();
        auto it = std::find_if(texts.begin(), texts.end(),
                               [&](const PreviewGeometry::TextMark& m) { return m.id == *selected; });
        if (it != texts.end()) {
            if (std::optional<PreviewGeometry::Placed> f = model_.textFrame(*it)) {
                if (std::optional<int> k = cornerAt(grown(f->box, copyHitMargin), p)) {
                    PreviewGeometry::TextMark mark = *it;
                    if (onTextWillChange) onTextWillChange();
                    drag_ = ResizeText{mark.id, anchorFor(f->layout, mark.rect, *k)};
                    return;
                }
            }
        }
    }

    // 3. The body of a text mark, the topmost first.
    {
        std::vector<Layout> layouts = model_.layouts();
        const auto& texts = model_.texts();
        for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
            std::optional<Layout> l = layoutOf(layouts, it->pageIndex);
            if (!l || !grown(l->transform.apply(it->rect), copyHitMargin).contains(p)) continue;
            if (!model_.textFrame(*it)) break;
            PreviewGeometry::TextMark mark = *it;
            focus();
            model_.setSelectedText(mark.id);
            Point pp = pagePoint(*l, p);
            drag_ = MoveText{mark.id, {pp.x - mark.rect.minX(), pp.y - mark.rect.minY()}, p, false};
            return;
        }
    }

    // 4. Anything else drops the text selection and the ghost (not the pick).
    model_.setSelectedText(std::nullopt);
    model_.setGhost(std::nullopt);

    // 5. A corner of the current copy.
    if (std::optional<int> c = model_.current()) {
        for (const PreviewGeometry::Frame& f : model_.signatureFrames()) {
            if (f.index != *c) continue;
            if (std::optional<int> k = cornerAt(grown(f.box, copyHitMargin), p)) {
                Rect rect = model_.signatures()[static_cast<std::size_t>(f.index)].rect;
                focus();
                if (model_.onSignaturesWillChange)
                    model_.onSignaturesWillChange("Cambiar el tamaño de la firma");
                drag_ = Resize{f.index, anchorFor(f.layout, rect, *k)};
                return;
            }
            break;
        }
    }

    // 6. The body of a copy, the topmost first.
    {
        std::vector<PreviewGeometry::Frame> frames = model_.signatureFrames();
        for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
            if (!grown(it->box, copyHitMargin).contains(p)) continue;
            int index = it->index;
            Rect rect = model_.signatures()[static_cast<std::size_t>(index)].rect;
            Point pp = pagePoint(it->layout, p);
            focus();
            if (model_.onSignaturesWillChange) model_.onSignaturesWillChange("Mover la firma");
            model_.setPicked(index);
            drag_ = Move{index, {pp.x - rect.minX(), pp.y - rect.minY()}};
            return;
        }
    }

    // 7. A new copy where the ghost stands; never on the click that closed an editor.
    if (!editorWasOpen) {
        if (std::optional<SignatureCopy> g = ghost(p)) {
            if (std::optional<Layout> l = layoutOf(model_.layouts(), g->pageIndex)) {
                Point pp = pagePoint(*l, p);
                focus();
                if (model_.onSignaturesWillChange) model_.onSignaturesWillChange("Poner la firma");
                SignatureCopy copy{g->pageIndex,
                                   {std::round(g->rect.x), std::round(g->rect.y),
                                    std::round(g->rect.width), std::round(g->rect.height)},
                                   std::nullopt};
                std::vector<SignatureCopy> copies = model_.signatures();
                copies.push_back(copy);
                int index = static_cast<int>(copies.size()) - 1;
                if (model_.onSignaturesChange) model_.onSignaturesChange(copies);
                model_.setPicked(index);
                drag_ = Move{index, {pp.x - g->rect.minX(), pp.y - g->rect.minY()}};
                return;
            }
        }
    }

    // 8. A clickable field mark, whatever the tool.
    if (auto hit = fieldAt(p)) {
        int id = hit->first->id;
        if (onFieldClick) onFieldClick(id, hit->second);
        return;
    }

    // 9. The text tool adds a text box on the page.
    if (model_.tool() == PreviewGeometry::Tool::text) {
        for (const Layout& layout : model_.layouts()) {
            if (!layout.frame.contains(p)) continue;
            if (onTextAdd) onTextAdd(layout.index, pagePoint(layout, p));
            return;
        }
    }
    // 10. An empty place keeps the pick.
}

void PreviewInteraction::dragTo(Point p) {
    if (!drag_) return;
    std::vector<Layout> layouts = model_.layouts();
    const std::vector<SignatureCopy>& copies = model_.signatures();
    auto validCopy = [&](int index) { return index >= 0 && index < static_cast<int>(copies.size()); };

    if (const Move* move = std::get_if<Move>(&*drag_)) {
        if (!validCopy(move->index)) return;
        const SignatureCopy& copy = copies[static_cast<std::size_t>(move->index)];
        std::optional<Layout> l = layoutOf(layouts, copy.pageIndex);
        if (!l) return;
        Point pp = pagePoint(*l, p);
        Rect rect{pp.x - move->offset.x, pp.y - move->offset.y, copy.rect.width, copy.rect.height};
        model_.setSignature(move->index, clamped(rect, copy.pageIndex));
    } else if (const Resize* resize = std::get_if<Resize>(&*drag_)) {
        if (!validCopy(resize->index) || !model_.look()) return;
        const SignatureCopy& copy = copies[static_cast<std::size_t>(resize->index)];
        std::optional<Layout> l = layoutOf(layouts, copy.pageIndex);
        if (!l) return;
        Rect rect = resized(resize->anchor, pagePoint(*l, p), model_.look()->minimumSize());
        model_.setSignature(resize->index, clamped(rect, copy.pageIndex));
    } else if (MoveText* move = std::get_if<MoveText>(&*drag_)) {
        const auto& texts = model_.texts();
        auto it = std::find_if(texts.begin(), texts.end(),
                               [&](const PreviewGeometry::TextMark& m) { return m.id == move->id; });
        if (it == texts.end()) return;
        std::optional<PreviewGeometry::Placed> f = model_.textFrame(*it);
        if (!f) return;
        PreviewGeometry::TextMark mark = *it;
        int id = move->id;
        if (!move->moved) {
            if (distance(move->start, p) <= textDragThreshold) return;
            move->moved = true;
            // The owner may answer by pushing new marks; `move` stays valid (drag_ is untouched).
            if (onTextWillChange) onTextWillChange();
        }
        Point offset = move->offset;
        Point pp = pagePoint(f->layout, p);
        Rect rect = clamped({pp.x - offset.x, pp.y - offset.y, mark.rect.width, mark.rect.height},
                            mark.pageIndex);
        if (onTextChange) onTextChange(id, {std::round(rect.x), std::round(rect.y)}, mark.size);
    } else if (const ResizeText* resize = std::get_if<ResizeText>(&*drag_)) {
        const auto& texts = model_.texts();
        auto it = std::find_if(texts.begin(), texts.end(),
                               [&](const PreviewGeometry::TextMark& m) { return m.id == resize->id; });
        if (it == texts.end()) return;
        std::optional<PreviewGeometry::Placed> f = model_.textFrame(*it);
        if (!f) return;
        Point a = resize->anchor;
        Point pp = pagePoint(f->layout, p);
        double size = TextBoxes::size(std::abs(pp.y - a.y));
        double w = TextBoxes::width(it->text, size);
        double h = TextBoxes::height(size);
        double x = pp.x < a.x ? a.x - w : a.x;
        double y = pp.y < a.y ? a.y - h : a.y;
        int id = resize->id;
        if (onTextChange) onTextChange(id, {std::round(x), std::round(y)}, size);
    }
}

void PreviewInteraction::release() {
    if (drag_) {
        if (const MoveText* move = std::get_if<MoveText>(&*drag_); move && !move->moved) {
            int id = move->id;
            drag_.reset();
            if (onTextEdit) onTextEdit(id);
        }
    }
    drag_.reset();
    invalidateCursors();
}

// --- Keys ----------------------------------------------------------------------------------------

bool PreviewInteraction::keyDown(Key key, Modifiers modifiers) {
    if (key == Key::escape) {
        if (model_.tool() == PreviewGeometry::Tool::text) {
            model_.setTool(PreviewGeometry::Tool::signature);
            return true;
        }
        if (model_.selectedText()) {
            model_.setSelectedText(std::nullopt);
            return true;
        }
        if (model_.picked()) {
            model_.setPicked(std::nullopt);
            return true;
        }
    }
    if (key == Key::backspace || key == Key::forwardDelete) {
        if (std::optional<int> id = model_.selectedText()) {
            model_.setSelectedText(std::nullopt);
            if (onTextDelete) onTextDelete(*id);
            return true;
        }
        // Only a copy on a page that is shown: never one the user cannot see.
        if (model_.look() && model_.currentFrame()) {
            model_.removeSignature(*model_.current());
            return true;
        }
    }
    return turnPage(key, modifiers);
}

bool PreviewInteraction::turnPage(Key key, Modifiers modifiers) {
    int count = model_.pageCount();
    if (count <= sideBySidePages || modifiers.any()) return false;
    int page = model_.currentPage();
    int target = 0;
    switch (key) {
        case Key::home:
            target = 0;
            break;
        case Key::pageUp:
        case Key::left:
        case Key::up:
            target = std::max(page - 1, 0);
            break;
        case Key::end:
            target = std::max(count - 1, 0);
            break;
        case Key::pageDown:
        case Key::right:
        case Key::down:
            target = page + 1;
            break;
        default:
            return false;
    }
    model_.setCurrentPage(std::min(target, count - 1));
    return true;
}

// --- Hover and right button ----------------------------------------------------------------------

void PreviewInteraction::mouseMoved(Point p) {
    std::optional<SignatureCopy> g = ghost(p);
    model_.setGhost(g);
    if (g) {
        model_.setHovered(std::nullopt);
        return;
    }
    if (auto hit = fieldAt(p)) {
        model_.setHovered(hit->first->editable ? std::optional<int>(hit->first->id) : std::nullopt);
        return;
    }
    model_.setHovered(std::nullopt);
}

void PreviewInteraction::mouseExited() {
    model_.setHovered(std::nullopt);
    model_.setGhost(std::nullopt);
}

PreviewInteraction::RightPress PreviewInteraction::rightPress(Point p) {
    std::vector<PreviewGeometry::Frame> frames = model_.signatureFrames();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        if (!grown(it->box, copyHitMargin).contains(p)) continue;
        model_.setPicked(it->index);
        if (showCopyMenu) showCopyMenu();
        return RightPress::copyMenu;
    }
    if (auto hit = fieldAt(p)) {
        int id = hit->first->id;
        Rect view = hit->second;
        if (model_.editor() && endEditing) endEditing();
        if (onFieldMenu) onFieldMenu(id, view);
        return RightPress::fieldMenu;
    }
    return RightPress::none;
}

void PreviewInteraction::removePicked() {
    if (std::optional<int> c = model_.current()) model_.removeSignature(*c);
}

// --- Cursors -------------------------------------------------------------------------------------

std::vector<PreviewInteraction::CursorRect> PreviewInteraction::cursorRects(Rect visible) const {
    std::vector<CursorRect> out;
    auto add = [&](const Rect& r, Cursor cursor) {
        if (std::optional<Rect> cut = intersection(r, visible)) out.push_back({*cut, cursor});
    };
    auto corners = [&](const Rect& r) {
        for (int k = 0; k < 4; ++k) {
            Point c = corner(r, k);
            add({c.x - cornerSquare / 2, c.y - cornerSquare / 2, cornerSquare, cornerSquare},
                cornerCursors[k]);
        }
    };

    std::vector<Layout> layouts = model_.layouts();
    std::optional<Cursor> page;
    if (model_.tool() == PreviewGeometry::Tool::text)
        page = Cursor::iBeam;
    else if (model_.look() && listens())
        page = Cursor::crosshair;
    for (const Layout& layout : layouts) {
        if (page) add(layout.frame, *page);
        for (const PreviewGeometry::FieldMark& mark : model_.fieldMarks())
            if (mark.pageIndex == layout.index && clickable(mark))
                add(layout.transform.apply(mark.rect),
                    mark.editable ? Cursor::iBeam : Cursor::pointingHand);
    }
    for (const PreviewGeometry::Frame& f : model_.freeSpaces()) add(f.box, Cursor::crosshair);
    for (const PreviewGeometry::TextMark& mark : model_.texts()) {
        std::optional<PreviewGeometry::Placed> f = model_.textFrame(mark);
        if (!f) continue;
        Rect r = grown(f->box, copyHitMargin);
        add(r, Cursor::openHand);
        if (model_.selectedText() && *model_.selectedText() == mark.id) corners(r);
    }
    std::optional<int> current = model_.current();
    for (const PreviewGeometry::Frame& f : model_.signatureFrames()) {
        Rect r = grown(f.box, copyHitMargin);
        add(r, Cursor::openHand);
        if (current && *current == f.index) corners(r);
    }
    return out;
}

PreviewInteraction::Cursor PreviewInteraction::cursorAt(const std::vector<CursorRect>& rects,
                                                        Point p) {
    for (auto it = rects.rbegin(); it != rects.rend(); ++it)
        if (it->rect.contains(p)) return it->cursor;
    return Cursor::arrow;
}
