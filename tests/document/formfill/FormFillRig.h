#pragma once
// What the form-section tests share: fields made by hand, test certificates, a document context
// with in-memory defaults and secrets, labellers (immediate, held on a gate, throwing) and a wait
// for the main thread's queue.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextDocument>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/DocumentContext.h"
#include "document/formfill/FormFillController.h"
#include "forms/plan/FillItem.h"
#include "forms/reader/FormField.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "platform/Preferences.h"
#include "signing/Certificate.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

namespace formfillrig {

inline FormField text(int id, Rect rect, std::string left = {}, int page = 0) {
    FormField f;
    f.id = id;
    f.pageIndex = page;
    f.name = "campo" + std::to_string(id);
    f.kind = FormField::Kind::text;
    f.rect = rect;
    f.left = std::move(left);
    return f;
}

inline FormField tick(int id, Rect rect, int page = 0) {
    FormField f = text(id, rect, {}, page);
    f.name = "";
    f.kind = FormField::Kind::check;
    f.drawn = true;
    f.exportValue = "X";
    return f;
}

inline FormField checkBox(int id, Rect rect) {
    FormField f = text(id, rect);
    f.kind = FormField::Kind::check;
    f.exportValue = "Sí";
    return f;
}

inline FillItem item(FormField field, std::optional<std::string> label, std::string value = {},
                     std::optional<std::string> source = {}) {
    FillItem i;
    i.field = std::move(field);
    if (label) i.label = FieldLabel{*label, std::nullopt, 0.95};
    i.value = std::move(value);
    i.source = std::move(source);
    i.state = FillItem::State::suggested;
    return i;
}

inline Certificate certificate(const std::string& given, const std::string& surnames, const std::string& id,
                               std::optional<std::string> organization = {}) {
    testpki::CertSpec spec;
    spec.subject = {{"C", "ES"}, {"serialNumber", "IDCES-" + id}, {"GN", given}, {"SN", surnames}};
    if (organization) {
        spec.subject.push_back({"O", *organization});
        spec.subject.push_back({"2.5.4.97", "VATES-B12345674"});
    }
    spec.subject.push_back({"CN", surnames + " " + given + " - " + id});
    auto issued = testpki::sharedCA().issue(spec);
    auto c = Certificate::fromDER(issued.der, std::chrono::system_clock::now());
    if (!c) throw std::runtime_error("test certificate refused");
    return *c;
}

inline const Certificate& ana() {
    static const Certificate c = certificate("ANA", "GARCIA LOPEZ", "12345678Z");
    return c;
}
inline const Certificate& luis() {
    static const Certificate c = certificate("LUIS", "MARTIN PEREZ", "87654321X");
    return c;
}

// Labels answered at once.
inline DocumentContext::Labeller immediate(Labels labels, std::atomic<int>* calls = nullptr) {
    return [labels, calls](const std::vector<FormUnit>&, const std::string&, std::stop_token) {
        if (calls) ++*calls;
        return labels;
    };
}

// How long a test waits for a labelling worker or for the main thread's queue to get somewhere.
inline constexpr int workerLimitMs = 60000;

// A labeller whose n-th call waits until open(n) (or for two minutes at most); each call answers
// its own labels.
class Gate {
public:
    explicit Gate(std::vector<Labels> answers) : answers_(std::move(answers)) {}
    ~Gate() {
        openAll();
        if (!QThreadPool::globalInstance()->waitForDone(workerLimitMs))
            ADD_FAILURE() << "The labelling workers did not end within " << workerLimitMs / 1000
                          << " s of their gate opening.";
    }

    DocumentContext::Labeller labeller() {
        return [this](const std::vector<FormUnit>&, const std::string&, std::stop_token) {
            std::unique_lock lock(mutex_);
            const std::size_t n = calls_++;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::minutes(2),
                              [&] { return all_ || (n < opened_.size() && opened_[n]); });
            ++ended_;
            return n < answers_.size() ? answers_[n] : Labels{};
        };
    }
    void open(std::size_t n) {
        std::lock_guard lock(mutex_);
        if (opened_.size() <= n) opened_.resize(n + 1, false);
        opened_[n] = true;
        changed_.notify_all();
    }
    void openAll() {
        std::lock_guard lock(mutex_);
        all_ = true;
        changed_.notify_all();
    }
    // Waits (off the queue) until `n` calls have started.
    bool started(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(workerLimitMs),
                                 [&] { return calls_ >= n; });
    }
    std::size_t ended() {
        std::lock_guard lock(mutex_);
        return ended_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Labels> answers_;
    std::vector<bool> opened_;
    std::size_t calls_ = 0;
    std::size_t ended_ = 0;
    bool all_ = false;
};

// Runs the main thread's queue until `done`; false after a minute.
inline bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > workerLimitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A label's text as the user reads it (rich text flattened, no-break spaces as blanks).
inline std::string shown(const QLabel* label) {
    QString t = label->text();
    if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(t)) {
        QTextDocument document;
        document.setHtml(t);
        t = document.toPlainText();
    }
    t.replace(QChar(0x00A0), QChar(' '));
    return t.toStdString();
}

struct Rig {
    testutil::TempDir dir;
    Defaults defaults{dir / "defaults.json"};
    MemorySecretStore secrets;
    DocumentContext context;
    std::atomic<int> labelCalls{0};

    explicit Rig(bool fillForms, Labels labels = {}) {
        context.secrets = &secrets;
        context.defaults = &defaults;
        context.now = [] { return std::chrono::system_clock::from_time_t(1778000000); };  // May 2026
        context.labeller = immediate(std::move(labels), &labelCalls);
        Preferences::setFillForms(fillForms, defaults);
    }

    std::unique_ptr<FormFillController> make(std::vector<FormField> fields, const Certificate& c = ana()) {
        auto controller = FormFillController::make(std::move(fields), "solicitud", c, context);
        if (controller) controller->aiOn = [] { return false; };
        return controller;
    }
};

}  // namespace formfillrig
