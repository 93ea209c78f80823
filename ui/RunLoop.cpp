#include "ui/RunLoop.h"

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <limits>

void onMainRunLoop(double seconds, std::function<void()> block) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !block) return;
    // Milliseconds, bounded to what a timer takes; NaN and negative delays mean now.
    double ms = seconds * 1000.0;
    if (!(ms > 0)) ms = 0;
    ms = std::min(ms, static_cast<double>(std::numeric_limits<int>::max()));
    const int delay = static_cast<int>(std::lround(ms));
    // Posted first, so the block never runs inside the caller, even from the main thread.
    QMetaObject::invokeMethod(
        app,
        [delay, block = std::move(block)]() mutable {
            if (delay == 0) {
                block();
            } else {
                QTimer::singleShot(delay, QCoreApplication::instance(), std::move(block));
            }
        },
        Qt::QueuedConnection);
}

void bringToFront(QWidget* window) {
    if (!window) {
        window = QApplication::activeWindow();
        if (!window) {
            const auto all = QApplication::topLevelWidgets();
            for (auto it = all.crbegin(); it != all.crend(); ++it) {
                QWidget* candidate = *it;
                if (candidate->isVisible() && !(candidate->windowFlags() & Qt::Popup) &&
                    candidate->windowType() != Qt::ToolTip) {
                    window = candidate;
                    break;
                }
            }
        }
    }
    if (!window) return;
    window = window->window();
    if (window->isMinimized()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
