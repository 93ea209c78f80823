#include "ui/Brand.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include <cmath>
#include <mutex>

#include "ui/Palette.h"

static void initTindraUiResources() { Q_INIT_RESOURCE(tindra_ui); }

namespace Brand {

void initResources() {
    static std::once_flag once;
    std::call_once(once, [] { initTindraUiResources(); });
}

QColor DynamicColor::at(const QPalette& palette) const { return isDark(palette) ? dark : light; }

QColor DynamicColor::operator()(const QWidget* widget) const { return resolve(isDark(widget)); }

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}

bool isDark(const QWidget* widget) {
    return isDark(widget ? widget->palette() : QGuiApplication::palette());
}

QUrl website() { return QUrl(QStringLiteral("https://") + websiteHost); }
QUrl help() { return QUrl(QStringLiteral("https://") + websiteHost + QStringLiteral("/ayuda/")); }
QUrl calverin() { return QUrl(QStringLiteral("https://") + calverinHost); }
QUrl formsReport() {
    return QUrl(QStringLiteral("https://") + websiteHost + QStringLiteral("/formularios/"));
}

QIcon mark() {
    initResources();
    const QIcon window = QGuiApplication::windowIcon();
    if (!window.isNull()) return window;
    return QIcon(QStringLiteral(":/tindra/tindra.svg"));
}

QString& calverinMarkResource() {
    static QString path = QStringLiteral(":/tindra/Mark.svg");
    return path;
}

QIcon calverinMark() {
    initResources();
    const QString path = calverinMarkResource();
    if (!QFile::exists(path)) return QIcon();
    QIcon icon(path);
    if (icon.pixmap(16, 16).isNull()) return QIcon();
    return icon;
}

QFont systemFont(double size, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setWeight(weight);
    return font;
}

QFont titleFont(double size, QFont::Weight weight) { return systemFont(size, weight); }

namespace {

// The byline; follows palette changes while it uses the default colour.
class Byline : public QWidget {
public:
    Byline(double size, std::optional<QColor> color, QWidget* parent)
        : QWidget(parent), color_(color) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        by_ = new QLabel(QStringLiteral("by"), this);
        by_->setFont(systemFont(size, QFont::Normal));
        markView_ = new QLabel(this);
        const int side = static_cast<int>(std::lround(size + 2));
        markView_->setFixedSize(side, side);
        markView_->setAlignment(Qt::AlignCenter);
        const QIcon icon = calverinMark();
        if (!icon.isNull()) markView_->setPixmap(icon.pixmap(side, side));
        name_ = new QLabel(QStringLiteral("Calverin"), this);
        name_->setFont(systemFont(size, QFont::Medium));
        row->addWidget(by_, 0, Qt::AlignVCenter);
        row->addWidget(markView_, 0, Qt::AlignVCenter);
        row->addWidget(name_, 0, Qt::AlignVCenter);
        applyColor();
    }

protected:
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && !applying_) applyColor();
    }

private:
    void applyColor() {
        applying_ = true;
        const QColor color = color_ ? *color_ : Palette::secondaryLabel(palette());
        for (QLabel* label : {by_, name_}) {
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, color);
            label->setPalette(p);
        }
        applying_ = false;
    }

    std::optional<QColor> color_;
    QLabel* by_ = nullptr;
    QLabel* markView_ = nullptr;
    QLabel* name_ = nullptr;
    bool applying_ = false;
};

}  // namespace

QWidget* byCalverin(double size, std::optional<QColor> color, QWidget* parent) {
    auto* view = new Byline(size, color, parent);
    view->setObjectName(QStringLiteral("byCalverin"));
    return view;
}

}  // namespace Brand
