#include "ui/Palette.h"

#include "ui/Brand.h"

#include <QEvent>
#include <QWidget>

namespace Palette {

namespace {

QColor pick(const QPalette& palette, QColor light, QColor dark) {
    return isDark(palette) ? dark : light;
}

// Runs an action after each change of appearance of a widget.
class Watcher : public QObject {
public:
    Watcher(QWidget* widget, std::function<void()> action)
        : QObject(widget), widget_(widget), action_(std::move(action)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == widget_ && !running_ &&
            (type == QEvent::PaletteChange || type == QEvent::ApplicationPaletteChange)) {
            running_ = true;  // a palette or style sheet set by the action sends a change of its own
            action_();
            running_ = false;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* widget_;
    std::function<void()> action_;
    bool running_ = false;
};

}  // namespace

void onChange(QWidget* widget, std::function<void()> action) {
    if (widget && action) new Watcher(widget, std::move(action));
}

void follow(QWidget* widget, QPalette::ColorRole role, Colour colour) {
    if (!widget) return;
    const auto apply = [widget, role, colour] {
        const QWidget* parent = widget->parentWidget();
        const QPalette source = parent ? parent->palette() : QGuiApplication::palette();
        QPalette palette = widget->palette();
        palette.setColor(role, colour(source));
        widget->setPalette(palette);
    };
    apply();
    onChange(widget, apply);
}

bool isDark(const QPalette& palette) { return Brand::isDark(palette); }

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QColor accent(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Highlight); }
QColor label(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::WindowText); }
QColor secondaryLabel(const QPalette& palette) { return withAlpha(label(palette), 0.5); }
QColor tertiaryLabel(const QPalette& palette) { return withAlpha(label(palette), 0.26); }
QColor quaternaryLabel(const QPalette& palette) { return withAlpha(label(palette), 0.1); }
QColor separator(const QPalette& palette) { return withAlpha(label(palette), 0.1); }
QColor windowBackground(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Window); }
QColor controlBackground(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Base); }
QColor text(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Text); }

QColor green(const QPalette& palette) { return pick(palette, QColor(52, 199, 89), QColor(48, 209, 88)); }
QColor yellow(const QPalette& palette) { return pick(palette, QColor(255, 204, 0), QColor(255, 214, 10)); }
QColor orange(const QPalette& palette) { return pick(palette, QColor(255, 149, 0), QColor(255, 159, 10)); }
QColor red(const QPalette& palette) { return pick(palette, QColor(255, 59, 48), QColor(255, 69, 58)); }
QColor blue(const QPalette& palette) { return pick(palette, QColor(0, 122, 255), QColor(10, 132, 255)); }
QColor gray(const QPalette& palette) { return pick(palette, QColor(142, 142, 147), QColor(152, 152, 157)); }

}  // namespace Palette
