#pragma once
// A window holding a 1000 x 700 page preview of pages of 600 x 612 points (scale 1: the page point
// (x, y) is the widget point (x + 200, 652 - y)), its callbacks logged and its copies written back
// as the signing window does; the window logs the keys that reach it.
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "InteractionRig.h"
#include "document/PagesPreview.h"
#include "document/preview/PreviewTestSupport.h"

namespace interactiontest {

class Host : public QWidget {
public:
    std::vector<std::string> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        keys.push_back(QKeySequence(event->key()).toString().toStdString());
    }
};

inline std::string join(const std::vector<int>& ids) {
    std::string s;
    for (int id : ids) s += (s.empty() ? "" : ",") + std::to_string(id);
    return s;
}

struct WidgetRig {
    Host host;
    PagesPreview* view = nullptr;
    std::vector<std::string> log;

    explicit WidgetRig(int pageCount = 1) {
        host.resize(1000, 700);
        view = new PagesPreview(&host);
        view->setGeometry(0, 0, 1000, 700);
        view->setBackground(QColor(196, 202, 208));
        view->setDocument(PreviewDocument::fromData(previewtest::textPages(pageCount, 600, 612)));
        view->setLook(PagesPreview::Look::card(previewtest::stamp()));
        view->onSignaturesWillChange = [this](const std::string& name) {
            log.push_back("will:" + name);
        };
        view->onSignaturesChange = [this](const std::vector<SignatureCopy>& copies) {
            log.push_back("change:" + std::to_string(copies.size()));
            view->setSignatures(copies);
        };
        view->onFieldClick = [this](int id, const QRectF&) {
            log.push_back("field:" + std::to_string(id));
        };
        view->onFieldMenu = [this](int id, const QRectF&) {
            log.push_back("fieldMenu:" + std::to_string(id));
        };
        view->onFieldEdit = [this](const std::vector<int>& ids, const std::string& text) {
            log.push_back("edit:" + join(ids) + ":" + text +
                          (view->inlineEditor() ? ":editor open" : ""));
        };
        view->onFieldTab = [this](int id, bool forward) {
            log.push_back("tab:" + std::to_string(id) + ":" + (forward ? "1" : "0"));
        };
        view->onTextAdd = [this](int page, Point p) {
            log.push_back("textAdd:" + std::to_string(page) + ":" + number(p.x) + "," + number(p.y));
        };
        view->onTextEdit = [this](int id) { log.push_back("textEdit:" + std::to_string(id)); };
        view->onTextWillChange = [this] { log.push_back("textWill"); };
        view->onTextChange = [this](int id, Point o, double size) {
            log.push_back("text:" + std::to_string(id) + ":" + number(o.x) + "," + number(o.y) +
                          ":" + number(size));
        };
        view->onTextDelete = [this](int id) { log.push_back("textDelete:" + std::to_string(id)); };
        host.show();
        QApplication::setActiveWindow(&host);
        activeOk = QTest::qWaitForWindowActive(&host);
        view->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }

    bool activeOk = false;

    // The widget point of a page point.
    QPoint at(double x, double y) const { return view->toWidget(v(x, y)).toPoint(); }

    void press(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(view, button, Qt::NoModifier, p);
    }
    void release(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(view, button, Qt::NoModifier, p);
    }
    // A move with the left button held.
    void dragTo(QPoint p) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), view->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
    // A move without a button.
    void hover(QPoint p) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), view->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }

    // Types text into the focused widget as key events carrying the text.
    static void type(const QString& text) {
        for (QChar c : text) {
            QWidget* focus = QApplication::focusWidget();
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(focus, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(focus, &release);
        }
    }
    static void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }
};

}  // namespace interactiontest
