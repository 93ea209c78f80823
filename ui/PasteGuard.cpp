#include "ui/PasteGuard.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

namespace PasteGuard {

namespace {

bool editable(const QObject* object) {
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(object)) return !plain->isReadOnly();
    if (auto* rich = qobject_cast<const QTextEdit*>(object)) return !rich->isReadOnly();
    if (auto* line = qobject_cast<const QLineEdit*>(object)) return !line->isReadOnly();
    return false;
}

// The text widget a middle click on `object` pastes into: a line edit itself, a text edit
// through its viewport.
bool editableUnderMouse(const QObject* object) {
    if (qobject_cast<const QLineEdit*>(object)) return editable(object);
    const QObject* parent = object->parent();
    auto* area = qobject_cast<const QAbstractScrollArea*>(parent);
    return area && area->viewport() == object && editable(area);
}

// Whether the clipboard offers nothing at all: no data, not even a format name.
bool offersNothing(QClipboard::Mode mode) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    return !data || data->formats().isEmpty();
}

class Guard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (!key->matches(QKeySequence::Paste) || !editable(watched)) return false;
                return offersNothing(QClipboard::Clipboard);
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease: {
                // The selection's paste, on X11: a middle click in the text.
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::MiddleButton) return false;
                if (!QGuiApplication::clipboard()->supportsSelection()) return false;
                if (!editableUnderMouse(watched)) return false;
                return offersNothing(QClipboard::Selection);
            }
            default: return false;
        }
    }
};

QPointer<Guard>& installed() {
    static QPointer<Guard> guard;
    return guard;
}

}  // namespace

void install() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || installed()) return;
    auto* guard = new Guard(application);
    application->installEventFilter(guard);
    installed() = guard;
}

}  // namespace PasteGuard
