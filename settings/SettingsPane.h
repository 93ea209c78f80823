#pragma once
// The options pane, the home window's settings section: the defaults of the visible signature,
// form filling and AI recognition with the OpenRouter key, and what the AI service has cost. It
// shows either its options (a scroll area, at most 720 wide at the leading edge) or the AI call
// log page, in place. Every switch is stored at once; a setting that cannot be written is
// logged and the switch shows what is stored.

#include <QObject>
#include <QPointer>

#include <string>

#include "settings/SettingsContext.h"

class AIKeyControl;
class Defaults;
class AILogPage;
class QAbstractButton;
class QLabel;
class QScrollArea;
class QStackedLayout;
class QVBoxLayout;
class QWidget;
class SettingsGroup;
class ToneLabel;

class SettingsPane : public QObject {
    Q_OBJECT
public:
    static constexpr int contentWidth = 720;

    explicit SettingsPane(QObject* parent = nullptr,
                          SettingsContext& context = SettingsContext::standard());
    ~SettingsPane() override;

    QWidget* view() const { return view_; }
    // Shows the options (never the log page), brought up to date, key message cleared.
    void activate();

    // The parts, for tests.
    QAbstractButton* fullID() const { return fullID_; }
    QAbstractButton* branding() const { return branding_; }
    QAbstractButton* fillForms() const { return fillForms_; }
    QAbstractButton* aiSwitch() const { return aiSwitch_; }
    ToneLabel* aiDetail() const { return aiDetail_; }
    AIKeyControl* keyControl() const { return keyControl_; }
    QWidget* usage() const { return usage_; }
    QScrollArea* main() const { return main_; }
    AILogPage* log() const { return log_; }
    // The column of title, subtitle and groups inside the scroll area.
    QWidget* content() const { return content_; }
    bool showingLog() const;
    // Shows the log page, freshly loaded.
    void showLog();

public slots:
    void signatureChanged();
    void fillChanged();
    void aiToggled();
    void openAIHelp();

private:
    // The switches, the AI status, the usage group; the key control's message only when asked.
    void refresh(bool clearKeyMessage);
    void refreshUsage();
    SettingsGroup* formsGroup();
    // Stores a switch at once; a failure is logged and reported false.
    bool store(Defaults& defaults, const std::string& key, bool value);

    SettingsContext& context_;
    QPointer<QWidget> view_;
    QStackedLayout* stack_ = nullptr;
    QScrollArea* main_ = nullptr;
    QWidget* content_ = nullptr;
    QAbstractButton* fullID_ = nullptr;
    QAbstractButton* branding_ = nullptr;
    QAbstractButton* fillForms_ = nullptr;
    QAbstractButton* aiSwitch_ = nullptr;
    ToneLabel* aiDetail_ = nullptr;
    AIKeyControl* keyControl_ = nullptr;
    QWidget* usage_ = nullptr;
    QVBoxLayout* usageLayout_ = nullptr;
    AILogPage* log_ = nullptr;
};
