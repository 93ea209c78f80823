#pragma once
// A preview model on pages of 600 x 612 points in a 1000 x 700 view: the pages are shown at scale
// 1, so a page point (x, y) of a page on screen is the view point (x + 200, y + 48) when one page
// is shown. The owner's callbacks are logged and the reported copies written back.
#include <string>
#include <vector>

#include "document/PreviewGeometry.h"
#include "document/PreviewInteraction.h"

namespace interactiontest {

constexpr Rect page{0, 0, 600, 612};

inline std::vector<std::optional<DisplaySpace>> pages(int count) {
    return std::vector<std::optional<DisplaySpace>>(static_cast<std::size_t>(count),
                                                    DisplaySpace(page, 0));
}

// The view point of a page point when one page is shown.
inline Point v(double x, double y) {
    return {x + 200, y + 48};
}

inline std::string number(double value) {
    std::string s = std::to_string(value);
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

inline std::string describe(const Rect& r) {
    return number(r.x) + "," + number(r.y) + "," + number(r.width) + "," + number(r.height);
}

struct Rig {
    PreviewGeometry model;
    PreviewInteraction interaction{model};
    std::vector<std::string> log;
    std::vector<std::vector<SignatureCopy>> reports;

    explicit Rig(int pageCount = 1, bool writeBack = true) {
        model.setSize({1000, 700});
        model.setDocument(pages(pageCount));
        model.setLook(PreviewGeometry::Look::card(SignatureStamp{}));
        model.onSignaturesWillChange = [this](const std::string& name) {
            log.push_back("will:" + name);
        };
        model.onSignaturesChange = [this, writeBack](const std::vector<SignatureCopy>& copies) {
            reports.push_back(copies);
            log.push_back("change");
            if (writeBack) model.setSignatures(copies);
        };
        model.onPageChange = [this] { log.push_back("page:" + std::to_string(model.currentPage())); };
        PreviewInteraction& i = interaction;
        i.onFieldClick = [this](int id, Rect r) {
            log.push_back("field:" + std::to_string(id) + ":" + describe(r));
        };
        i.onFieldMenu = [this](int id, Rect) { log.push_back("fieldMenu:" + std::to_string(id)); };
        i.onTextAdd = [this](int pageIndex, Point p) {
            log.push_back("textAdd:" + std::to_string(pageIndex) + ":" + number(p.x) + "," +
                          number(p.y));
        };
        i.onTextEdit = [this](int id) { log.push_back("textEdit:" + std::to_string(id)); };
        i.onTextWillChange = [this] { log.push_back("textWill"); };
        i.onTextChange = [this](int id, Point o, double size) {
            log.push_back("text:" + std::to_string(id) + ":" + number(o.x) + "," + number(o.y) +
                          ":" + number(size));
        };
        i.onTextDelete = [this](int id) { log.push_back("textDelete:" + std::to_string(id)); };
        i.showCopyMenu = [this] { log.push_back("menu"); };
        i.endEditing = [this] {
            log.push_back("endEditing");
            model.setEditor(std::nullopt);
        };
    }

    // The last reported copies' rectangles.
    std::vector<Rect> lastRects() const {
        std::vector<Rect> out;
        if (reports.empty()) return out;
        for (const SignatureCopy& c : reports.back()) out.push_back(c.rect);
        return out;
    }

    void clear() {
        log.clear();
        reports.clear();
    }
};

}  // namespace interactiontest
