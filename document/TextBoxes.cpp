#include "document/TextBoxes.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "signing/PangoText.h"

namespace {

// Blanks and tabs off both ends; line breaks and other spaces stay.
std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Pango's font map is per thread; the text boxes live on the main thread.
const PangoText& measurer() {
    thread_local const PangoText text;
    return text;
}

}  // namespace

double TextBoxes::height(double size) { return std::round(size * 1.6); }

double TextBoxes::size(double height) {
    return std::min(maximumSize, std::max(minimumSize, std::round(height / 1.6)));
}

double TextBoxes::width(const std::string& text, double size) {
    double w = 0;
    if (!text.empty()) w = measurer().measure({TextRun{text, FontWeight::regular, size, 0}}).width;
    if (!std::isfinite(w)) w = 0;
    return std::max(std::ceil(w) + 6, height(size));
}

QFont TextBoxes::font(double size) {
    QFont font(QString::fromLatin1(PangoText::fontFamily));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setStyleHint(QFont::Helvetica);
    return font;
}

double TextBoxes::baseline(const Rect& rect, double size) {
    const double capHeight = QFontMetricsF(font(size)).capHeight();
    return rect.minY() + (rect.height - capHeight) / 2;
}

Rect TextBoxes::rect(const Box& box) {
    return {box.origin.x, box.origin.y, width(box.text, box.size), height(box.size)};
}

const TextBoxes::Box* TextBoxes::find(int id) const {
    auto it = std::find_if(boxes_.begin(), boxes_.end(), [id](const Box& b) { return b.id == id; });
    return it == boxes_.end() ? nullptr : &*it;
}

TextBoxes::Target TextBoxes::place(int pageIndex, Point point) {
    const int id = nextID_++;
    const Point origin{point.x - 2, point.y - 8};
    drafts_[id] = Draft{pageIndex, origin};
    return {{id}, pageIndex, {origin.x, origin.y, draftWidth, draftHeight}, {}};
}

std::optional<TextBoxes::Target> TextBoxes::target(int id) const {
    if (const Box* box = find(id)) return Target{{id}, box->pageIndex, rect(*box), box->text};
    auto draft = drafts_.find(id);
    if (draft == drafts_.end()) return std::nullopt;
    const Point o = draft->second.origin;
    return Target{{id}, draft->second.pageIndex, {o.x, o.y, draftWidth, draftHeight}, {}};
}

void TextBoxes::write(const std::string& text, int id) {
    const std::string value = trimmed(text);
    std::optional<Draft> draft;
    if (auto it = drafts_.find(id); it != drafts_.end()) {
        draft = it->second;
        drafts_.erase(it);
    }
    auto box = std::find_if(boxes_.begin(), boxes_.end(), [id](const Box& b) { return b.id == id; });
    if (value.empty()) {
        if (box != boxes_.end()) boxes_.erase(box);
        return;
    }
    if (box != boxes_.end()) {
        box->text = value;
    } else if (draft) {
        boxes_.push_back({id, draft->pageIndex, draft->origin, defaultSize, value});
    }
}

void TextBoxes::remove(int id) {
    std::erase_if(boxes_, [id](const Box& b) { return b.id == id; });
}

void TextBoxes::set(int id, Point origin, double size) {
    for (Box& box : boxes_) {
        if (box.id != id) continue;
        box.origin = origin;
        box.size = size;
        return;
    }
}

void TextBoxes::restore(const std::vector<FormFill>& fills) {
    for (const FormFill& fill : fills) {
        if (fill.name != fillName) continue;
        const double fontSize = fill.size ? *fill.size : size(fill.rect.height);
        // A hand-edited record may hold any number; the page index is kept within int.
        const auto page = static_cast<int>(std::clamp<std::int64_t>(
            fill.pageIndex, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        boxes_.push_back({nextID_++, page, fill.rect.origin(), fontSize, fill.text});
    }
}

std::vector<PreviewGeometry::TextMark> TextBoxes::marks() const {
    std::vector<PreviewGeometry::TextMark> out;
    out.reserve(boxes_.size());
    for (const Box& box : boxes_) out.push_back({box.id, box.pageIndex, rect(box), box.text, box.size});
    return out;
}

std::vector<FormFill> TextBoxes::fills() const {
    std::vector<FormFill> out;
    out.reserve(boxes_.size());
    for (const Box& box : boxes_)
        out.push_back({fillName, box.pageIndex, rect(box), box.text, true, box.size, std::nullopt});
    return out;
}
