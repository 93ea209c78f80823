#pragma once
// Page text built in a test, with a box for every character: no PDF, no Poppler.
//
//   SyntheticPage page;                       // A4, upright
//   page.write(72, 700, "Nombre: ______");     // left edge and bottom of the line, page space
//   FormPageText text = page.text();

#include <string>

#include "forms/reader/FormPageText.h"
#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "signing/UnicodeText.h"

class SyntheticPage {
public:
    explicit SyntheticPage(double width = 595, double height = 842, int rotation = 0)
        : space_(Rect{0, 0, width, height}, rotation) {}

    // Characters `advance` points apart, each `height` high, from (x, y) in display space (the
    // page space of an upright page); blanks take no box, as the text engine gives them. A line
    // feed is put before the text unless it starts the page.
    SyntheticPage& write(double x, double y, const std::string& utf8, double advance = 5,
                         double height = 10) {
        std::u16string s = UnicodeText::utf16(utf8);
        if (!text_.text.empty()) add(u'\n', {});
        for (std::size_t i = 0; i < s.size(); ++i) {
            double left = x + advance * static_cast<double>(i);
            if (s[i] == u' ' || s[i] == u'\n' || s[i] == u'\r')
                add(s[i], {});
            else
                add(s[i], {left, space_.bounds.height - y - height, advance, height});
        }
        return *this;
    }

    // Raw units with no box at all (line ends of the caller's choice).
    SyntheticPage& raw(const std::u16string& units) {
        for (char16_t c : units) add(c, {});
        return *this;
    }

    const PageText& pageText() const { return text_; }
    const DisplaySpace& space() const { return space_; }
    FormPageText text() const { return FormPageText(text_, space_); }

private:
    void add(char16_t c, PageTextBox box) {
        text_.text.push_back(c);
        text_.boxes.push_back(box);
    }

    DisplaySpace space_;
    PageText text_;
};
