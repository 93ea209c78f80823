#include "signing/SignatureCues.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>

#include "platform/Regex.h"
#include "signing/UnicodeText.h"

namespace SignatureCues {
namespace {

// ---------------------------------------------------------------------------------------------
// Patterns: compiled once on first use, then only read (matchers are made per search).

const char* patternSource(Pattern pattern) {
    switch (pattern) {
        case Pattern::cue:
            return R"(\b(fdo\b\.?|asdo\b\.?|)"
                   R"((?:firmado|signat|signed|firma|signatura|sinatura|sinadura|signature)\b))";
        case Pattern::role:
            return R"(\b(interesad[oa]|interessad[ao]|interessat|solicitante|sol·licitant|)"
                   R"(declarante|declarant|licitador[a]?|contratista|firmante|signant)\b)";
        case Pattern::otherParty:
            return R"(\b(banco|entidad|caja de ahorros|entitat|administraci|registro|registre|)"
                   R"(ayuntamiento|ajuntament|órgano|funcionari))";
    }
    return "";
}

const Regex& compiled(Pattern pattern) {
    static const Regex cue(patternSource(Pattern::cue), Regex::caseInsensitive);
    static const Regex role(patternSource(Pattern::role), Regex::caseInsensitive);
    static const Regex otherParty(patternSource(Pattern::otherParty), Regex::caseInsensitive);
    switch (pattern) {
        case Pattern::cue:
            return cue;
        case Pattern::role:
            return role;
        case Pattern::otherParty:
            return otherParty;
    }
    return cue;
}

bool anyMatch(Pattern pattern, std::u16string_view text) {
    return compiled(pattern).search(text);
}

// ---------------------------------------------------------------------------------------------
// Characters.

bool isBlank(char16_t c) {
    return c == u'\t' || c == u' ' || c == u'\u00A0';
}
bool isBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

bool startsWith(std::u16string_view s, std::u16string_view p) {
    return s.size() >= p.size() && s.substr(0, p.size()) == p;
}
bool contains(std::u16string_view s, std::u16string_view p) {
    return s.find(p) != std::u16string_view::npos;
}

std::u16string_view slice(std::u16string_view text, TextRange r) {
    return text.substr(r.location, r.length);
}

// ---------------------------------------------------------------------------------------------
// Geometry.

bool intersects(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

std::optional<Rect> intersection(const Rect& a, const Rect& b) {
    double x0 = std::max(a.minX(), b.minX()), x1 = std::min(a.maxX(), b.maxX());
    double y0 = std::max(a.minY(), b.minY()), y1 = std::min(a.maxY(), b.maxY());
    if (!(x1 > x0) || !(y1 > y0)) return std::nullopt;
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

double intersectionArea(const Rect& a, const Rect& b) {
    double w = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    double h = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return w > 0 && h > 0 ? w * h : 0;
}

// The bounds of the characters of a range in display space, as a text selection would show them;
// nothing when no character of the range has a box.
std::optional<Rect> selectionBounds(const PageText& page, TextRange range,
                                    const DisplaySpace& space) {
    std::size_t end = std::min(range.end(), std::min(page.text.size(), page.boxes.size()));
    std::optional<Rect> out;
    for (std::size_t i = range.location; i < end; ++i) {
        const PageTextBox& b = page.boxes[i];
        if (b.isEmpty()) continue;
        Rect r = space.textBox(b);
        if (!out) {
            out = r;
        } else {
            double x0 = std::min(out->minX(), r.minX()), y0 = std::min(out->minY(), r.minY());
            double x1 = std::max(out->maxX(), r.maxX()), y1 = std::max(out->maxY(), r.maxY());
            out = Rect{x0, y0, x1 - x0, y1 - y0};
        }
    }
    return out;
}

// A cue near an existing signature widget belongs to that widget.
bool nearWidget(const Rect& anchor, const std::vector<Rect>& widgets) {
    for (const Rect& w : widgets) {
        bool xOverlap = anchor.minX() < w.maxX() && w.minX() < anchor.maxX();
        bool yOverlap = anchor.minY() < w.maxY() && w.minY() < anchor.maxY();
        if (xOverlap && intersects(anchor, {w.x, w.y - 30, w.width, w.height + 60})) return true;
        if (yOverlap && intersects(anchor, {w.x - 20, w.y, w.width + 40, w.height})) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Anchors and boxes.

enum class Side { above, right, below };

struct Entry {
    std::u16string keyword;  // the lowercased cue word, or "role"
    std::u16string text;     // the page text the anchor covers
    Rect anchor;             // display space
};

struct Box {
    Rect rect;
    bool ruledCell = false;
};

struct Search {
    const InkMap& ink;
    Rect pageBox;
    std::vector<Rect> others;
};

struct BoxSize {
    double w;
    double h;
};

std::optional<BoxSize> sizeFrom(const Rect& A) {
    double w = std::min(A.width - 10, 250.0);
    double h = std::min({A.height - 10, 80.0, w / 1.5});
    if (!(h >= 30)) return std::nullopt;
    w = std::min(w, 5 * h);
    if (!(w >= 110)) return std::nullopt;
    return BoxSize{w, h};
}

std::optional<Box> rightSide(const Search& s, const Rect& anchor) {
    double limit = s.pageBox.maxX();
    for (const Rect& o : s.others)
        if (o.minX() > anchor.maxX() && o.minY() < anchor.maxY() && o.maxY() > anchor.minY())
            limit = std::min(limit, o.minX() - 12);

    // A ruled table cell beside the cue.
    if (std::optional<Rect> cell = s.ink.cell(anchor, limit); cell && cell->width >= 120) {
        std::optional<BoxSize> size = sizeFrom(*cell);
        if (!size) return std::nullopt;
        return Box{{cell->midX() - size->w / 2, cell->midY() - size->h / 2, size->w, size->h},
                   true};
    }

    // Open space.
    double x0 = anchor.maxX() + 4;
    double lo = anchor.minY() - 1, hi = anchor.maxY() + 1;
    double limit2 = std::min(x0 + 320, s.pageBox.maxX());
    for (const Rect& o : s.others)
        if (o.minX() > anchor.maxX() && o.maxY() > anchor.minY() - 1 &&
            o.minY() < anchor.maxY() + 1)
            limit2 = std::min(limit2, o.minX() - 12);
    if (x0 + 1 > limit2) return std::nullopt;
    double n = 0;
    while (x0 + n + 1 <= limit2 && s.ink.isEmpty({x0 + n, lo, 1, hi - lo})) n += 1;
    if (n < 110) return std::nullopt;
    // (An anchor far off the page, where a step of 1 no longer changes the number, stops too.)
    while (lo - 1 >= s.pageBox.minY() && anchor.minY() - (lo - 1) <= 60 && lo - 1 < lo &&
           s.ink.isEmpty({x0, lo - 1, n, 1}))
        lo -= 1;
    while (hi + 1 <= s.pageBox.maxY() && (hi + 1) - anchor.maxY() <= 60 && hi + 1 > hi &&
           s.ink.isEmpty({x0, hi, n, 1}))
        hi += 1;
    Rect A{x0, lo, n, hi - lo};
    std::optional<BoxSize> size = sizeFrom(A);
    if (!size) return std::nullopt;
    double y = anchor.midY() - size->h / 2;
    y = std::max(y, A.minY() + 5);
    y = std::min(y, A.maxY() - 5 - size->h);
    return Box{{A.minX() + 5, y, size->w, size->h}};
}

std::optional<Box> verticalSide(const Search& s, const Rect& anchor, bool above) {
    const InkMap& ink = s.ink;
    const Rect& page = s.pageBox;
    double rowTolerance = std::max(anchor.height, 12.0);
    double left0 = std::max(page.minX(), anchor.minX() - 320);
    double right0 = std::min(anchor.maxX() + 320, page.maxX());
    for (const Rect& o : s.others) {
        if (!(std::abs(o.midY() - anchor.midY()) < rowTolerance)) continue;
        if (o.maxX() <= anchor.minX()) left0 = std::max(left0, o.maxX() + 12);
        if (o.minX() >= anchor.maxX()) right0 = std::min(right0, o.minX() - 12);
    }
    double left = std::max(anchor.minX(), left0);
    double right = std::min(right0, std::max(anchor.maxX(), anchor.minX() + 40));
    if (!(right > left)) return std::nullopt;

    // Free rows over the starting span.
    double n = 0;
    while (n < 320) {
        double y = above ? anchor.maxY() + 2 + n : anchor.minY() - 3 - n;
        if (y < page.minY() || y + 1 > page.maxY()) break;
        if (!ink.isEmpty({left, y, right - left, 1})) break;
        n += 1;
    }
    if (n < 30) return std::nullopt;
    double bandLo = above ? anchor.maxY() + 2 : anchor.minY() - 2 - n;

    // Widen the span over the band's height.
    double l = left, r = right;
    bool leftAtInk = false, rightAtInk = false;
    while (l - 1 >= left0) {
        if (!ink.isEmpty({l - 1, bandLo, 1, n})) {
            leftAtInk = true;
            break;
        }
        l -= 1;
    }
    while (r + 1 <= right0) {
        if (!ink.isEmpty({r, bandLo, 1, n})) {
            rightAtInk = true;
            break;
        }
        r += 1;
    }
    bool enclosed = leftAtInk && rightAtInk;

    Rect A{l, bandLo, r - l, n};
    std::optional<BoxSize> size = sizeFrom(A);
    if (!size) return std::nullopt;
    double w = size->w, h = size->h;

    double x;
    if (enclosed || A.width <= w + 10) {
        x = A.midX() - w / 2;
    } else {
        x = std::max(anchor.minX(), A.minX() + 5);
        if (A.maxX() - 5 - x >= 110) w = std::min(w, A.maxX() - 5 - x);
        if (x > A.maxX() - 5 - w) x = A.maxX() - 5 - w;
    }
    double y;
    if (A.height <= h + 40)
        y = A.midY() - h / 2;
    else
        y = above ? A.minY() + 5 : A.maxY() - 5 - h;
    return Box{{x, y, w, h}};
}

std::optional<Box> searchSide(const Search& s, const Rect& anchor, Side side) {
    switch (side) {
        case Side::above:
            return verticalSide(s, anchor, true);
        case Side::below:
            return verticalSide(s, anchor, false);
        case Side::right:
            return rightSide(s, anchor);
    }
    return std::nullopt;
}

const char* sideWord(Side side) {
    switch (side) {
        case Side::above:
            return "Sobre";
        case Side::right:
            return "A la derecha de";
        case Side::below:
            return "Debajo de";
    }
    return "";
}

struct Found {
    Box box;
    Side side;
};

std::optional<Found> chooseBox(const Search& s, const Entry& entry) {
    const Rect& anchor = entry.anchor;
    if (isNameCue(entry.keyword) || entry.keyword == u"role") {
        std::vector<Side> order = isNameCue(entry.keyword)
                                      ? std::vector<Side>{Side::above, Side::right}
                                      : std::vector<Side>{Side::below, Side::above};
        for (Side side : order)
            if (std::optional<Box> box = searchSide(s, anchor, side)) return Found{*box, side};
        return std::nullopt;
    }
    std::vector<Side> order = contains(entry.text, u":")
                                  ? std::vector<Side>{Side::right, Side::below}
                                  : std::vector<Side>{Side::above, Side::below, Side::right};
    std::optional<Found> best;
    for (Side side : order) {
        std::optional<Box> box = searchSide(s, anchor, side);
        if (!box) continue;
        if (box->ruledCell) return Found{*box, side};
        double area = box->rect.width * box->rect.height;
        if (!best || area > best->box.rect.width * best->box.rect.height) best = Found{*box, side};
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// Entries from matches.

struct EntryBuilder {
    const CuePage& page;
    const PageText& text;
    std::vector<Entry>& entries;

    // Adds the entry unless its anchor is missing, off the page, near a signature widget or
    // already taken. Only the part of the text on the shown page counts: a box is never sought
    // next to text that cannot be seen.
    void add(std::u16string keyword, TextRange range) {
        std::u16string_view s = text.text;
        std::optional<Rect> anchor = selectionBounds(text, range, page.space);
        if (anchor) anchor = intersection(*anchor, page.space.bounds);
        if (!anchor || anchor->isEmpty()) return;
        if (nearWidget(*anchor, page.signatureWidgets)) return;
        for (const Entry& e : entries)
            if (e.anchor == *anchor) return;
        entries.push_back({std::move(keyword), std::u16string(slice(s, range)), *anchor});
    }
};

// Cue and role matches that a page turns into entries; a page with more (hostile, or a text that is
// all signature words) is not a form to sign at every one of them.
constexpr std::size_t maxMatchesPerPage = 500;

// The line around a match with what the rules ask of it, worked out once per line: matches come
// in text order, often many to a line.
class Lines {
public:
    struct Line {
        std::size_t rawStart = 0, rawEnd = 0;  // between the surrounding line breaks
        TextRange range;                       // trimmed (fullLine)
        std::size_t characters = 0;
        bool electronic = false;  // mentions an electronic or digital signature
    };

    explicit Lines(std::u16string_view text) : text_(text) {}

    // The line of position q, which is no line break.
    const Line& at(std::size_t q) {
        if (valid_ && q >= line_.rawStart && q < line_.rawEnd) return line_;
        valid_ = true;
        line_.rawStart = q;
        while (line_.rawStart > 0 && !isBreak(text_[line_.rawStart - 1])) --line_.rawStart;
        line_.rawEnd = q;
        while (line_.rawEnd < text_.size() && !isBreak(text_[line_.rawEnd])) ++line_.rawEnd;
        line_.range = fullLine(text_, q);
        std::u16string_view lineText = slice(text_, line_.range);
        line_.characters = UnicodeText::characterCount(lineText);
        std::u16string lower = UnicodeText::lower(lineText);
        line_.electronic = contains(lower, u"electr") || contains(lower, u"digital");
        return line_;
    }

private:
    std::u16string_view text_;
    bool valid_ = false;
    Line line_;
};

void cueEntries(EntryBuilder& builder, const std::vector<TextRange>& cues) {
    std::u16string_view text = builder.text.text;
    std::vector<std::u16string> keywords;
    std::vector<bool> alone;
    keywords.reserve(cues.size());
    for (const TextRange& m : cues) {
        keywords.push_back(UnicodeText::lower(slice(text, m)));
        alone.push_back(standsAlone(text, m.location));
    }

    // The next cue that starts a part of its own (alone, or a name cue) ends a cue's segment;
    // matches come in text order.
    std::vector<std::size_t> stops(cues.size(), text.size());
    for (std::size_t k = cues.size(); k-- > 1;)
        stops[k - 1] = alone[k] || isNameCue(keywords[k]) ? cues[k].location : stops[k];

    Lines lines(text);
    std::size_t untrimmed = std::u16string_view::npos, trimmed = 0;  // the last segment end
    for (std::size_t k = 0; k < std::min(cues.size(), maxMatchesPerPage); ++k) {
        const std::size_t q = cues[k].location;
        const std::u16string& keyword = keywords[k];
        const Lines::Line& line = lines.at(q);
        if (line.electronic) continue;

        // Up to the line break or the stop, without trailing blanks (never before q + 1: the
        // match begins with a letter). Several cues can end at one place.
        std::size_t end = std::min(stops[k], line.rawEnd);
        if (end != untrimmed) {
            untrimmed = end;
            while (end > q && isBlank(text[end - 1])) --end;
            trimmed = end;
        }
        TextRange segment{q, trimmed - q};

        TextRange chosen;
        if (startsWith(keyword, u"fdo") || startsWith(keyword, u"asdo") || line.characters < 51) {
            chosen = alone[k] || isNameCue(keyword) ? segment : line.range;
        } else if (alone[k] && contains(UnicodeText::prefix(slice(text, segment), 45), u":")) {
            chosen = segment;
        } else {
            continue;
        }
        builder.add(keyword, chosen);
    }
}

void roleEntries(EntryBuilder& builder, const std::vector<TextRange>& roles,
                 const std::vector<TextRange>& cues) {
    std::u16string_view text = builder.text.text;
    Lines lines(text);
    for (std::size_t k = 0; k < std::min(roles.size(), maxMatchesPerPage); ++k) {
        const Lines::Line& line = lines.at(roles[k].location);
        std::u16string_view lineText = slice(text, line.range);
        if (line.characters > 40 || contains(lineText, u":")) continue;
        auto next = std::lower_bound(
            cues.begin(), cues.end(), line.range.location,
            [](const TextRange& c, std::size_t location) { return c.location < location; });
        if (next != cues.end() && next->location < line.range.end()) continue;
        builder.add(u"role", line.range);
    }
}

// ---------------------------------------------------------------------------------------------
// A quick test before the regular expressions: most pages of a long document hold none of the
// words, and a plain scan for their stems costs far less than a case-insensitive match.

// Characters whose full case folding holds ASCII letters ("ß" is "ss", "ﬁ" is "fi", the Kelvin
// sign is "k"...): a text with one of them is left to the regular expression.
bool foldsToASCII(char16_t c) {
    switch (c) {
        case 0x00DF: case 0x0130: case 0x0149: case 0x017F: case 0x01F0: case 0x1E9E:
        case 0x212A:
            return true;
        default:
            return (c >= 0x1E96 && c <= 0x1E9A) || (c >= 0xFB00 && c <= 0xFB06);
    }
}

// Stems, lowercase, of which every match of the pattern holds at least one.
const std::vector<std::u16string_view>& stems(Pattern pattern) {
    static const std::vector<std::u16string_view> cue{u"fdo",    u"asdo",     u"firma",
                                                      u"signat", u"signed",   u"sinatura",
                                                      u"sinadura"};
    static const std::vector<std::u16string_view> role{
        u"interesad", u"interessad", u"interessat",  u"solicitante", u"sol\u00b7licitant",
        u"declarant", u"licitador",  u"contratista", u"firmante",    u"signant"};
    static const std::vector<std::u16string_view> none;
    switch (pattern) {
        case Pattern::cue:
            return cue;
        case Pattern::role:
            return role;
        case Pattern::otherParty:
            return none;
    }
    return none;
}

// False only when none of the patterns can match anywhere in the text.
bool mayMatch(std::initializer_list<Pattern> patterns, std::u16string_view text) {
    for (Pattern pattern : patterns)
        if (stems(pattern).empty()) return true;
    std::u16string lowered(text);
    for (char16_t& c : lowered) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        else if (c >= 0x80 && foldsToASCII(c))
            return true;
    }
    for (Pattern pattern : patterns)
        for (std::u16string_view stem : stems(pattern))
            if (lowered.find(stem) != std::u16string::npos) return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::vector<TextRange> matches(Pattern pattern, std::u16string_view text) {
    std::vector<TextRange> out;
    if (text.empty() || !mayMatch({pattern}, text)) return out;
    for (const Regex::Match& m : compiled(pattern).matches(text))
        out.push_back({m.range.start, m.range.end - m.range.start});
    return out;
}

bool hasAnchorWords(std::u16string_view text) {
    if (text.empty()) return false;
    return mayMatch({Pattern::cue, Pattern::role}, text) &&
           (anyMatch(Pattern::cue, text) || anyMatch(Pattern::role, text));
}

bool mayHaveAnchorWords(std::u16string_view text) {
    return !text.empty() && mayMatch({Pattern::cue, Pattern::role}, text);
}

TextRange fullLine(std::u16string_view text, std::size_t q) {
    q = std::min(q, text.size());
    std::size_t start = q;
    while (start > 0 && !isBreak(text[start - 1])) --start;
    std::size_t end = q;
    while (end < text.size() && !isBreak(text[end])) ++end;
    while (start < end && isBlank(text[start])) ++start;
    if (start == end) return {end, 0};
    while (end > start && isBlank(text[end - 1])) --end;
    return {start, end - start};
}

bool isNameCue(std::u16string_view keyword) {
    if (startsWith(keyword, u"signatur")) return false;
    for (std::u16string_view p : {u"fdo", u"asdo", u"firmado", u"signat", u"signed"})
        if (startsWith(keyword, p)) return true;
    return false;
}

bool standsAlone(std::u16string_view text, std::size_t q) {
    std::size_t blanks = 0;
    for (std::size_t i = std::min(q, text.size()); i > 0; --i) {
        char16_t c = text[i - 1];
        if (isBlank(c)) {
            ++blanks;
            continue;
        }
        return isBreak(c) || blanks >= 2;
    }
    return true;
}

std::u16string quote(std::u16string_view text, std::u16string_view keyword) {
    std::size_t count = UnicodeText::characterCount(text);
    if (count <= 40) return std::u16string(text);
    std::u16string lowered = UnicodeText::lower(text);
    std::size_t at = lowered.find(keyword);
    std::u16string out;
    if (at != std::u16string::npos && UnicodeText::characterIndex(lowered, at) > count / 2) {
        out = u"…";
        out.append(UnicodeText::suffix(text, 39));
    } else {
        out.assign(UnicodeText::prefix(text, 39));
        out.append(u"…");
    }
    return out;
}

std::vector<SignaturePlacement> placements(const CuePage& page) {
    std::vector<SignaturePlacement> out;
    if (!page.text || page.text->text.empty()) return out;
    std::u16string_view text = page.text->text;

    std::vector<TextRange> cues = matches(Pattern::cue, text);
    std::vector<TextRange> roles = matches(Pattern::role, text);
    if (cues.empty() && roles.empty()) return out;

    std::vector<Entry> entries;
    EntryBuilder builder{page, *page.text, entries};
    cueEntries(builder, cues);
    roleEntries(builder, roles, cues);
    if (entries.empty() || (!page.inkMap && !page.keptInk)) return out;
    std::optional<InkMap> made;
    const InkMap* ink = nullptr;
    if (page.keptInk) {
        ink = page.keptInk();
    } else if ((made = page.inkMap())) {
        ink = &*made;
    }
    if (!ink) return out;

    const Rect pageBox = page.space.bounds.insetBy(24, 24);
    const int p = page.pageIndex + 1;
    for (const Entry& entry : entries) {
        Search search{*ink, pageBox, {}};
        for (const Entry& e : entries)
            if (!(e.anchor == entry.anchor)) search.others.push_back(e.anchor);
        std::optional<Found> found = chooseBox(search, entry);
        if (!found) continue;

        Rect rect = page.space.page(found->box.rect);
        bool merged = false;
        for (SignaturePlacement& earlier : out) {
            double smaller =
                std::min(rect.width * rect.height, earlier.rect.width * earlier.rect.height);
            if (intersectionArea(rect, earlier.rect) > smaller / 2) {
                earlier.context.append("\n").append(UnicodeText::utf8(entry.text));
                merged = true;
                break;
            }
        }
        if (merged) continue;

        std::string label = sideWord(found->side);
        label.append(" «").append(UnicodeText::utf8(quote(entry.text, entry.keyword)));
        label.append("» · pág. ").append(std::to_string(p));
        int rank = anyMatch(Pattern::otherParty, entry.text) ? 2 : 1;
        out.push_back(SignaturePlacement{SignaturePlacement::Target::area(p, rect), page.pageIndex,
                                         rect, std::move(label), UnicodeText::utf8(entry.text),
                                         true, false, rank});
    }
    return out;
}

}  // namespace SignatureCues
