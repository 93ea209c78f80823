#include "forms/reader/FormPageText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "forms/reader/FormReader.h"
#include "forms/reader/TextSpace.h"
#include "pdf/PDFFile.h"
#include "pages/content/PageAnnotation.h"
#include "signing/UnicodeText.h"

namespace {

Rect unite(const Rect& a, const Rect& b) {
    double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

bool finite(const PageTextBox& b) {
    return std::isfinite(b.x) && std::isfinite(b.y) && std::isfinite(b.width) &&
           std::isfinite(b.height);
}

bool isBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

// A widget's text that runs on past its right edge: the last unit inside ends within this of
// the edge, or the next one starts before it; the units after it are at most
// max(minSpillGap, spillGapShare x height) apart (the blank between two words of one text).
constexpr double spillEdge = 1;
constexpr double minSpillGap = 6;
constexpr double spillGapShare = 0.6;

}  // namespace

std::vector<Rect> FormPageText::coveredBy(PDFFile& file, const PDFObject* annots,
                                          std::size_t limit) {
    std::vector<Rect> out;
    const std::vector<PDFObject>* list = annots ? annots->array() : nullptr;
    if (!list) return out;
    const std::size_t n = std::min(list->size(), limit);
    for (std::size_t k = 0; k < n; ++k) {
        const PDFDictionary* a = file.dictionary(&(*list)[k]);
        if (!a) continue;
        const PDFObject* subtype = file.resolve(a->get("Subtype"));
        const std::string* name = subtype ? subtype->name() : nullptr;
        if (!name || (*name != "Widget" && *name != "FreeText")) continue;
        bool shows = *name == "FreeText" || a->contains("AP");
        if (!shows) {
            for (const PDFDictionary* d : PageAnnotation::parentChain(file, a)) {
                const PDFObject* v = file.resolve(d->get("V"));
                if (!v) continue;
                // Only an empty text string shows nothing; the bytes tell without decoding them.
                const std::string* bytes = v->stringData();
                shows = !bytes || !(bytes->empty() || *bytes == "\xFE\xFF");
                break;
            }
        }
        if (!shows) continue;
        if (std::optional<Rect> r = PageAnnotation::rectangle(file, a->get("Rect")))
            out.push_back(*r);
    }
    return out;
}

template <typename Visit>
void FormPageText::centresIn(const Rect& rect, Visit visit) const {
    const double minX = rect.minX(), maxX = rect.maxX(), minY = rect.minY(), maxY = rect.maxY();
    if (!(minX <= maxX) || !(minY <= maxY)) return;
    const double lastRow = std::floor(maxY);
    auto byRowThenX = [](const Centre& c, std::pair<double, double> key) {
        return c.row < key.first || (c.row == key.first && c.x < key.second);
    };
    auto it = std::lower_bound(centres_.begin(), centres_.end(),
                               std::make_pair(std::floor(minY), minX), byRowThenX);
    while (it != centres_.end() && it->row <= lastRow) {
        const double row = it->row;
        if (it->x < minX)  // the first entry of a later row: on to the rectangle's left edge
            it = std::lower_bound(it, centres_.end(), std::make_pair(row, minX), byRowThenX);
        for (; it != centres_.end() && it->row == row && it->x <= maxX; ++it)
            if (it->y >= minY && it->y <= maxY)
                visit(static_cast<std::size_t>(it - centres_.begin()));
        // On to the next row.
        it = std::lower_bound(it, centres_.end(),
                              std::make_pair(row, std::numeric_limits<double>::infinity()),
                              byRowThenX);
    }
}

void FormPageText::dropCovered(const std::vector<Rect>& covered) {
    // Dropped centres are skipped through `next` (the next live position, path halving), so that
    // each centre is dropped once however many rectangles overlap it.
    const std::size_t n = centres_.size();
    std::vector<std::size_t> next(n + 1);
    std::iota(next.begin(), next.end(), 0);
    auto live = [&](std::size_t k) {
        while (next[k] != k) {
            next[k] = next[next[k]];
            k = next[k];
        }
        return k;
    };
    auto byRowThenX = [](const Centre& c, std::pair<double, double> key) {
        return c.row < key.first || (c.row == key.first && c.x < key.second);
    };
    auto position = [&](std::size_t from, double row, double x) {
        return static_cast<std::size_t>(
            std::lower_bound(centres_.begin() + static_cast<std::ptrdiff_t>(from), centres_.end(),
                             std::make_pair(row, x), byRowThenX) -
            centres_.begin());
    };
    // The rectangle that covers each dropped unit.
    constexpr std::uint32_t none = UINT32_MAX;
    std::vector<std::uint32_t> coveredBy(text_.size(), none);
    for (std::size_t ri = 0; ri < covered.size(); ++ri) {
        const Rect& r = covered[ri];
        const double minX = r.minX(), maxX = r.maxX(), minY = r.minY(), maxY = r.maxY();
        if (!(minX <= maxX) || !(minY <= maxY)) continue;
        const double lastRow = std::floor(maxY);
        std::size_t k = live(position(0, std::floor(minY), minX));
        while (k < n && centres_[k].row <= lastRow) {
            const double row = centres_[k].row;
            if (centres_[k].x < minX) {
                k = live(position(k, row, minX));
                if (k >= n || centres_[k].row != row) continue;
            }
            while (k < n && centres_[k].row == row && centres_[k].x <= maxX) {
                if (centres_[k].y >= minY && centres_[k].y <= maxY) {
                    hasBox_[centres_[k].index] = false;
                    coveredBy[centres_[k].index] = static_cast<std::uint32_t>(ri);
                    next[k] = k + 1;
                }
                k = live(k + 1);
            }
            if (k < n && centres_[k].row == row)
                k = live(position(k, row, std::numeric_limits<double>::infinity()));
        }
    }
    // The text engine does not clip an appearance to its box: a value longer than its widget
    // runs on past the right edge. The units that go on from the last one inside, on its line
    // and no further apart than the letters of one text, are the widget's too.
    std::uint32_t spilling = none;  // the rectangle whose text the units go on from
    std::size_t last = 0;           // the last unit of that text so far
    bool spilled = false;           // `last` lies past the edge
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (isBreak(text_[i])) {
            spilling = none;
            continue;
        }
        if (coveredBy[i] != none) {
            spilling = coveredBy[i];
            last = i;
            spilled = false;
            continue;
        }
        if (!hasBox_[i] || spilling == none) continue;
        const Rect& before = pageBoxes_[last];
        const Rect& box = pageBoxes_[i];
        const Rect& widget = covered[spilling];
        const bool pastEdge = spilled || before.maxX() >= widget.maxX() - spillEdge ||
                              box.minX() < widget.maxX();
        const double gap = box.minX() - before.maxX();
        const bool sameLine =
            std::abs(box.midY() - before.midY()) < 0.5 * std::max(box.height, before.height);
        if (pastEdge && sameLine && gap >= -spillEdge &&
            gap < std::max(minSpillGap, spillGapShare * box.height)) {
            hasBox_[i] = false;
            last = i;
            spilled = true;
        } else {
            spilling = none;
        }
    }

    // What a widget shows is no printed text in any reading of the page: its units become
    // blanks, which every reader of the text skips, so positions stay those of the text engine.
    auto isSurrogate = [](char16_t c) { return c >= 0xD800 && c <= 0xDFFF; };
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t index = centres_[k].index;
        if (hasBox_[index]) {
            centres_[kept++] = centres_[k];
            continue;
        }
        // Never leave half of a surrogate pair.
        if (text_[index] >= 0xD800 && text_[index] <= 0xDBFF && index + 1 < text_.size() &&
            isSurrogate(text_[index + 1]))
            text_[index + 1] = u' ';
        else if (text_[index] >= 0xDC00 && isSurrogate(text_[index]) && index > 0 &&
                 isSurrogate(text_[index - 1]))
            text_[index - 1] = u' ';
        text_[index] = u' ';
    }
    centres_.resize(kept);
}

FormPageText::FormPageText(const PageText& text, const DisplaySpace& space,
                           const std::vector<Rect>& covered)
    : space_(space) {
    std::size_t length = std::min(text.text.size(), maxUnits);
    // Never cut a surrogate pair in two.
    if (length < text.text.size() && length > 0 && text.text[length - 1] >= 0xD800 &&
        text.text[length - 1] <= 0xDBFF)
        --length;
    text_.assign(text.text, 0, length);

    pageBoxes_.assign(length, Rect{});
    displayBoxes_.assign(length, Rect{});
    hasBox_.assign(length, false);
    centres_.reserve(length);
    const std::size_t withBoxes = std::min(length, text.boxes.size());
    const Rect& crop = space_.bounds;
    for (std::size_t i = 0; i < withBoxes; ++i) {
        const PageTextBox& b = text.boxes[i];
        if (b.isEmpty() || !finite(b) || isBreak(text_[i])) continue;
        Rect display = space_.textBox(b);
        // Text outside the crop box is not shown: it is no caption of anything.
        if (!crop.contains({display.midX(), display.midY()})) continue;
        Rect page = space_.page(display);
        if (!std::isfinite(page.midX()) || !std::isfinite(page.midY())) continue;
        displayBoxes_[i] = display;
        pageBoxes_[i] = page;
        hasBox_[i] = true;
        centres_.push_back({std::floor(page.midY()), page.midX(), page.midY(), i});
    }
    std::sort(centres_.begin(), centres_.end(), [](const Centre& a, const Centre& b) {
        if (a.row != b.row) return a.row < b.row;
        if (a.x != b.x) return a.x < b.x;
        return a.index < b.index;
    });
    if (!covered.empty()) dropCovered(covered);

    // Words: runs of units with boxes and without white space, with the extent of their centres.
    wordOf_.assign(length, noWord);
    for (std::size_t i = 0; i < length; ++i) {
        if (!hasBox_[i] || TextSpace::isSpace(text_[i])) continue;
        const double x = pageBoxes_[i].midX(), y = pageBoxes_[i].midY();
        if (i == 0 || wordOf_[i - 1] == noWord) {
            words_.push_back({x, x, y, y, pageBoxes_[i], i, i});
        } else {
            Word& w = words_.back();
            w.minX = std::min(w.minX, x);
            w.maxX = std::max(w.maxX, x);
            w.minY = std::min(w.minY, y);
            w.maxY = std::max(w.maxY, y);
            w.box = unite(w.box, pageBoxes_[i]);
            w.last = i;
        }
        wordOf_[i] = static_cast<std::uint32_t>(words_.size() - 1);
    }

    std::size_t start = 0;
    auto closeLine = [&](std::size_t end) { lines_.push_back({start, end, bounds(start, end)}); };
    for (std::size_t i = 0; i < length; ++i) {
        if (!isBreak(text_[i])) continue;
        closeLine(i);
        start = i + 1;
    }
    if (start < length) closeLine(length);
}

std::optional<Rect> FormPageText::pageBox(std::size_t i) const {
    if (i >= hasBox_.size() || !hasBox_[i]) return std::nullopt;
    return pageBoxes_[i];
}

std::optional<Rect> FormPageText::displayBox(std::size_t i) const {
    if (i >= hasBox_.size() || !hasBox_[i]) return std::nullopt;
    return displayBoxes_[i];
}

std::optional<Rect> FormPageText::bounds(std::size_t from, std::size_t to) const {
    to = std::min(to, hasBox_.size());
    std::optional<Rect> out;
    for (std::size_t i = from; i < to; ++i) {
        if (!hasBox_[i]) continue;
        out = out ? unite(*out, pageBoxes_[i]) : pageBoxes_[i];
    }
    return out;
}

std::string FormPageText::textIn(const Rect& rect) const {
    std::vector<std::size_t> hits;
    centresIn(rect, [&](std::size_t k) { hits.push_back(centres_[k].index); });
    if (hits.empty()) return "";
    if (hits.size() > maxCharactersPerRect) {
        std::nth_element(hits.begin(), hits.begin() + maxCharactersPerRect, hits.end());
        hits.resize(maxCharactersPerRect);
    }
    std::sort(hits.begin(), hits.end());

    // Whole words only: a word that the rectangle's edge cuts belongs to a text beside it (the
    // caption of the neighbouring field), and none of its letters is read here. The one exception
    // is a lone caption word wider than a small field's band: when the rectangle holds no whole
    // word, a cut word that holds more than half of its extent inside and spans the rectangle's
    // middle (it stands over the field the band is centred on) is read whole, its letters outside
    // included. A neighbour's caption starts beside the field, never over its middle.
    enum class Cut : std::uint8_t { whole, lone, out };
    auto mostlyInside = [](double from, double to, double min, double max) {
        return 2 * (std::min(to, max) - std::max(from, min)) > to - from;
    };
    auto spans = [](double from, double to, double middle) {
        return from <= middle && middle <= to;
    };
    auto cutOf = [&](const Word& word) {
        const bool acrossX = word.minX >= rect.minX() && word.maxX <= rect.maxX();
        const bool acrossY = word.minY >= rect.minY() && word.maxY <= rect.maxY();
        if (acrossX && acrossY) return Cut::whole;
        const Rect& b = word.box;
        if (acrossY && mostlyInside(b.minX(), b.maxX(), rect.minX(), rect.maxX()) &&
            spans(b.minX(), b.maxX(), rect.midX()))
            return Cut::lone;
        if (acrossX && mostlyInside(b.minY(), b.maxY(), rect.minY(), rect.maxY()) &&
            spans(b.minY(), b.maxY(), rect.midY()))
            return Cut::lone;
        return Cut::out;
    };
    bool anyWhole = false;
    for (std::size_t h : hits) {
        const std::uint32_t w = wordOf_[h];
        if (w != noWord && cutOf(words_[w]) == Cut::whole) {
            anyWhole = true;
            break;
        }
    }
    std::vector<std::size_t> kept;
    kept.reserve(hits.size());
    for (std::size_t h : hits) {
        const std::uint32_t w = wordOf_[h];
        if (w == noWord) {
            kept.push_back(h);
            continue;
        }
        if (!kept.empty() && wordOf_[kept.back()] == w) continue;  // read whole already
        const Word& word = words_[w];
        const Cut cut = cutOf(word);
        if (cut == Cut::out || (cut == Cut::lone && anyWhole)) continue;
        for (std::size_t i = word.first; i <= word.last && kept.size() < maxCharactersPerRect; ++i)
            kept.push_back(i);
    }
    hits = std::move(kept);

    std::u16string out;
    out.reserve(hits.size() * 2);
    for (std::size_t k = 0; k < hits.size(); ++k) {
        if (k > 0 && hits[k] != hits[k - 1] + 1) out.push_back(u' ');
        out.push_back(text_[hits[k]]);
    }
    return UnicodeText::utf8(FormReader::clean(out));
}

std::size_t FormPageText::wordCount(std::u16string_view text) {
    std::size_t words = 0;
    bool inWord = false;
    for (char16_t c : text) {
        if (c == u' ') {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++words;
        }
    }
    return words;
}
