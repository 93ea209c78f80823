#include "ui/RunLoop.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdlib>
#include <limits>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

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

namespace {

// Under X11 a window manager may keep a window that asks for the focus behind the one the user
// is in (focus-stealing prevention), and Qt's request carries the time of this process's last
// input, long ago when another start of the application asks. The request is sent again the way
// the user's own tools (task bars, pagers) send it, which window managers always follow.
void askWindowManagerToActivate(QWidget* window) {
#if QT_CONFIG(xcb)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window->windowHandle()) return;
    xcb_connection_t* connection = x11->connection();
    if (!connection) return;
    static const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    if (!atom) return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = static_cast<xcb_window_t>(window->winId());
        event.type = atom->atom;
        event.data.data32[0] = 2;  // source: a tool acting for the user
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection);
    }
    std::free(atom);
#else
    (void)window;
#endif
}

}  // namespace

void bringToFront(QWidget* window) {
    if (!window) {
        window = QApplication::activeWindow();
        if (!window) {
            const auto all = QApplication::topLevelWidgets();
            for (auto it = all.crbegin(); it != all.crend(); ++it) {
                QWidget* candidate = *it;
                // The window type, not a flag test: Qt::Popup shares its bit with Qt::Window.
                const Qt::WindowType type = candidate->windowType();
                if (candidate->isVisible() && type != Qt::Popup &&
                    type != Qt::ToolTip && type != Qt::Desktop) {
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
    askWindowManagerToActivate(window);
}
