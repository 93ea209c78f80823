#pragma once
// The small window of a running signing or save-only run: which document is being worked on,
// then the result ("✓ Guardado como «…»", "✓ 3 documentos firmados") with buttons to show the
// outputs in their folder, open the single output, or dismiss it. It closes by itself a while
// after showing the result. A window with no title bar and no close, minimise, maximise or full
// screen, moved by its background, titled (for window lists) by what the run does and whether it
// has ended; a window-manager close is ignored until the result is shown and dismisses the window
// after it. The owner keeps the object until
// the run ends; closing only hides the window.

#include <QObject>
#include <QPointer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QWidget;

class ProgressWindow : public QObject {
    Q_OBJECT
public:
    // How the buttons reach the desktop: show files selected in their folder; open a file in the
    // user's default application.
    struct Actions {
        std::function<void(const std::vector<std::filesystem::path>&)> reveal;
        std::function<void(const std::filesystem::path&)> open;
    };

    // What the run does: it names the window ("Firmando", then "Firmado"; "Guardando", then
    // "Guardado" on the save-only road).
    enum class Task { signing, saving };

    static constexpr int width = 440;
    static constexpr int height = 96;
    static constexpr std::chrono::milliseconds defaultAutoClose{8000};

    explicit ProgressWindow(Actions actions = {}, QObject* parent = nullptr);
    ~ProgressWindow() override;

    // Called once, when the window closes; the owner sets it after the result is shown.
    std::function<void()> onClose;

    // Centres the window on the screen, shows it and brings it to the front.
    void show();
    // The progress text.
    void update(const QString& text);
    // The run's task (signing until told otherwise).
    void setTask(Task task);
    // Shows the result for the outputs and starts the automatic close.
    void complete(const std::vector<std::filesystem::path>& outputs);
    // Hides the window and calls onClose, once.
    void close();

    // The buttons' actions.
    void reveal();
    void openSigned();
    void dismiss();

    // The delay of the automatic close after the result (tests shorten it).
    void setAutoCloseDelay(std::chrono::milliseconds delay) { autoClose_ = delay; }

    bool isClosed() const { return closed_; }
    const std::vector<std::filesystem::path>& outputs() const { return signed_; }

    QWidget* window() const { return window_; }
    // The whole text of the label (it shows it elided in the middle when it is too long).
    QString text() const;
    QLabel* label() const { return label_; }
    QWidget* spinner() const { return spinner_; }
    QPushButton* revealButton() const { return revealButton_; }
    QPushButton* openButton() const { return openButton_; }
    QPushButton* doneButton() const { return doneButton_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Actions actions_;
    QPointer<QWidget> window_;
    QWidget* spinner_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* revealButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    std::vector<std::filesystem::path> signed_;
    bool closed_ = false;
    bool showsResult_ = false;
    Task task_ = Task::signing;
    std::chrono::milliseconds autoClose_ = defaultAutoClose;
};
