// The page bar's label: a page number changing moves none of the words round it, whatever the
// widths of the font's own figures.
#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ui/PageBar.h"

TEST(PageBar, APageNumberChangingMovesNothingElseInTheLabel) {
    // A font whose figures are of different widths (most text fonts have figures of one width):
    // the dingbats of fonts-urw-base35 (scripts/setup), loaded from their file rather than asked
    // of fontconfig by name, which falls back to a font of even figures where it does not list
    // them.
    const int loaded = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/urw-base35/D050000L.otf"));
    ASSERT_NE(loaded, -1) << "D050000L.otf of fonts-urw-base35 is missing: run scripts/setup";
    QFont font(QFontDatabase::applicationFontFamilies(loaded).value(0));
    font.setPixelSize(12);
    const QFontMetricsF metrics(font);
    auto width = [&](int number) { return metrics.horizontalAdvance(QString::number(number)); };
    qreal cell = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) cell = std::max(cell, metrics.horizontalAdvance(QChar(d)));
    // The three-figure page numbers of a 200-page document that set narrowest and widest.
    int narrow = 100, wide = 100;
    for (int n = 100; n < 200; ++n) {
        if (width(n) < width(narrow)) narrow = n;
        if (width(n) > width(wide)) wide = n;
    }
    ASSERT_GE(width(wide) - width(narrow), 3) << font.family().toStdString() << " sets its figures alike";

    QWidget host;
    host.resize(500, 80);
    PageBar::Look look;
    look.monospaceDigits = true;
    PageBar bar(&host, look);
    QLabel* label = bar.pageLabel();
    label->setFont(font);
    host.show();
    auto shot = [&](int page) {
        bar.setState({page - 1, 200});
        label->setFixedSize(PageBar::labelWidth(font, 200), label->sizeHint().height());
        QApplication::processEvents();
        return label->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage first = shot(narrow);
    const QImage second = shot(wide);
    ASSERT_EQ(first.size(), second.size());
    // The pictures differ only in the cells of the three figures.
    int from = first.width(), to = -1;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            if (first.pixel(x, y) != second.pixel(x, y)) {
                from = std::min(from, x);
                to = std::max(to, x);
            }
    ASSERT_GE(to, from) << "the label shows page " << narrow << " and page " << wide << " alike";
    EXPECT_LE(to - from + 1, static_cast<int>(std::ceil(3 * cell)) + 2)
        << "from page " << narrow << " to page " << wide << ", columns " << from << " to " << to
        << " of the label change, wider than the three figures' cells";
}
