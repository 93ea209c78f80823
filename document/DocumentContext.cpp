#include "document/DocumentContext.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui/DocumentHost.h"
#include "document/HandwritingSheet.h"
#include "document/HandwritingStore.h"
#include "document/formfill/FormFillController.h"
#include "forms/ai/AISettings.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/FieldLabeler.h"
#include "platform/Defaults.h"
#include "platform/LibsecretStore.h"
#include "profile/ProfileStore.h"

namespace {

// Stands in for the application: no help popover, no profile section, and the first filled-copy
// name without looking for a free one.
class StandInHost final : public DocumentHost {
public:
    void popHelp(const std::string&, QWidget*) override {}
    void showProfile() override {}
    std::filesystem::path filledCopy(const std::filesystem::path& source) override {
        return source.parent_path() / (source.stem().string() + "-rellenado.pdf");
    }
};

}  // namespace

DocumentContext& DocumentContext::standard() {
    static LibsecretStore secrets;
    static StandInHost host;
    static DocumentContext context = [] {
        DocumentContext c;
        c.secrets = &secrets;
        c.defaults = &Defaults::standard();
        c.now = [] { return std::chrono::system_clock::now(); };
        // The AI service when its switch is on and a key is set, else the rules. The values of
        // Mis datos are masked out of what the service is sent.
        c.labeller = [](const std::vector<FormUnit>& units, const std::string& formName,
                        std::stop_token stop) {
            auto facts = [] { return ProfileStore::facts(*DocumentContext::standard().secrets); };
            return FieldLabeler::labelling(units, formName, JevLabeler::labeler(AISettings::standard(), facts),
                                           stop);
        };
        // The form section of a single document: the form-fill controller, when it has
        // something to fill.
        c.formSection = [](std::vector<FormField> fields, const std::string& formName,
                           const Certificate& certificate,
                           DocumentContext& context) -> std::unique_ptr<FormSection> {
            return FormFillController::make(std::move(fields), formName, certificate, context);
        };
        c.visibleFrame = []() -> std::optional<QRect> {
            QScreen* screen = QGuiApplication::primaryScreen();
            if (!screen) return std::nullopt;
            return screen->availableGeometry();
        };
        c.host = &host;
        // The handwritten signature in the secret store, read through whatever store the
        // application has installed by then.
        c.handwriting = [] { return HandwritingStore::handwriting(*DocumentContext::standard().secrets); };
        c.presentHandwritingSheet = [](QWidget* window, std::function<void(bool)> completion) {
            return HandwritingSheet::present(window, std::move(completion), DocumentContext::standard());
        };
        c.handwritingNotifier = &HandwritingStore::notifier();
        return c;
    }();
    return context;
}
