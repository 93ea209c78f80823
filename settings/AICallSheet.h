#pragma once
// The detail of one AI call: its form, date, model and outcome, and, on two tabs, the JSON that
// was sent and the one that came back, pretty-printed with sorted keys (or as logged when it is
// not JSON). A window-modal dialog opened with open(); "Copiar" puts the shown text on the
// clipboard, "Cerrar" (the default button, Return) closes it.

#include <QDialog>

#include "forms/ai/AICall.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabBar;

class AICallSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 720;
    static constexpr int sheetHeight = 560;
    static constexpr int minimumWidth = 480;
    static constexpr int minimumHeight = 360;
    // Deeper JSON is shown as logged (writing it out again would recurse that deep).
    static constexpr int maxDepth = 512;

    explicit AICallSheet(const AICall& call, QWidget* parent = nullptr);

    const AICall& call() const { return call_; }
    // The text for the selected tab.
    QString shown() const;
    // The text for a tab of a call: sent (true, "Enviado") or received.
    static QString shown(const AICall& call, bool sent);
    // `text` pretty-printed as JSON (two spaces, sorted keys, "/" as it is), or nothing when it
    // is not JSON, is nested deeper than maxDepth or is not valid UTF-8.
    static std::optional<std::string> prettyJSON(const std::string& text);

    QTabBar* tabs() const { return tabs_; }
    QPlainTextEdit* textView() const { return text_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* subtitleLabel() const { return subtitle_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* closeButton() const { return close_; }

public slots:
    void show_();
    void copyShown();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elideTitle();

    AICall call_;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* close_ = nullptr;
};
