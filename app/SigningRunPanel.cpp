// The signing run's window in the application: the document window's SigningPanel, its window
// given the application's menu bar with the panel as its responder (zoom, undo and redo).
#include "app/SigningWindow.h"

#include "ui/MainMenu.h"
#include "document/SigningPanel.h"

namespace {

class SigningPanelWindow : public SigningWindow {
public:
    SigningPanelWindow(std::vector<Certificate> certificates,
                       std::vector<std::filesystem::path> files,
                       std::optional<SigningRecord> previous, std::optional<std::string> replacing,
                       std::size_t received)
        : panel_(std::make_unique<SigningPanel>(std::move(certificates), std::move(files),
                                                std::move(previous), std::move(replacing))) {
        panel_->setReceived(received);
        if (QWidget* window = panel_->window()) MainMenu::attach(window, panel_.get());
    }

    void begin(std::function<void(std::optional<SigningOptions>)> completion) override {
        panel_->begin(std::move(completion));
    }

    SigningPanel& panel() { return *panel_; }

private:
    std::unique_ptr<SigningPanel> panel_;
};

}  // namespace

SigningWindow::Factory SigningWindow::standardFactory() {
    return [](std::vector<Certificate> certificates, std::vector<std::filesystem::path> files,
              std::optional<SigningRecord> previous, std::optional<std::string> replacing,
              std::size_t received) -> std::unique_ptr<SigningWindow> {
        return std::make_unique<SigningPanelWindow>(std::move(certificates), std::move(files),
                                                    std::move(previous), std::move(replacing),
                                                    received);
    };
}
