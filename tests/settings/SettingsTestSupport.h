#pragma once
// Fakes and a temporary context for the settings tests: a key service answering what the test
// says, a runner that holds jobs until the test runs them, recording presenters and host, and a
// context over a temporary folder (defaults, AI log). Madrid time and a Spanish default locale
// are set before any test runs.

#include <QCoreApplication>
#include <QLocale>

#include <unicode/timezone.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"
#include "forms/ai/AICall.h"
#include "forms/ai/AILog.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "settings/AIKeyService.h"
#include "settings/BackgroundRunner.h"
#include "settings/SettingsContext.h"
#include "settings/SettingsHost.h"
#include "support/TestUtil.h"

namespace settingstest {

// Europe/Madrid for the C library and ICU, es_ES for Qt (a number written with the locale
// would show a comma).
inline bool madrid() {
    setenv("TZ", "Europe/Madrid", 1);
    tzset();
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Madrid"));
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    return true;
}

struct FakeKeys : AIKeyService {
    bool stored = false;
    std::string key;
    std::optional<bool> answer = true;
    bool saveWorks = true;
    std::vector<std::string> checked;
    int saves = 0;
    int removals = 0;

    bool hasKey() override { return stored; }
    std::optional<bool> check(const std::string& k, std::stop_token) override {
        checked.push_back(k);
        return answer;
    }
    bool save(const std::string& k) override {
        ++saves;
        if (!saveWorks) return false;
        stored = true;
        key = k;
        return true;
    }
    void removeKey() override {
        ++removals;
        stored = false;
        key.clear();
    }
};

// Holds every job until runAll(), which runs them here and delivers what they posted.
struct HeldRunner : BackgroundRunner {
    std::vector<Job> jobs;
    void run(Job job) override { jobs.push_back(std::move(job)); }
    void runAll() {
        auto held = std::move(jobs);
        jobs.clear();
        for (auto& job : held) job(std::stop_token{});
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

struct FakeURLs : URLPresenter {
    std::vector<QUrl> opened;
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

struct FakeReveal : RevealPresenter {
    std::vector<std::vector<std::filesystem::path>> revealed;
    void reveal(const std::vector<std::filesystem::path>& files) override { revealed.push_back(files); }
};

struct FakeHost : SettingsHost {
    std::vector<std::string> help;
    int fronts = 0;
    void showHelp(const std::string& section) override { help.push_back(section); }
    void bringToFront() override { ++fronts; }
};

// 15 June 2026, 12:00 UTC.
inline std::chrono::system_clock::time_point june15() {
    using namespace std::chrono;
    return sys_days{year{2026} / June / 15} + hours{12};
}

inline std::chrono::sys_seconds utc(int y, unsigned m, unsigned d, int h, int min, int s = 0) {
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{min} + seconds{s};
}

inline AICall call(std::chrono::sys_seconds date, std::string form, std::optional<double> cost = 0.001,
                   std::string result = "ok") {
    AICall made;
    made.date = date;
    made.form = std::move(form);
    made.model = "typesafe/jev-1.13";
    made.fields = 10;
    made.inputTokens = 1200;
    made.outputTokens = 80;
    made.cost = cost;
    made.seconds = 2.5;
    made.result = std::move(result);
    made.request = R"({"model":"typesafe/jev-1.13"})";
    made.response = R"({"answers":{}})";
    return made;
}

// A context over a temporary folder, with every collaborator faked.
struct Context {
    testutil::TempDir dir;
    std::shared_ptr<Defaults> defaults = std::make_shared<Defaults>(dir / "defaults.json");
    std::shared_ptr<MemorySecretStore> secrets = std::make_shared<MemorySecretStore>();
    FakeKeys keys;
    HeldRunner runner;
    FakeURLs urls;
    FakeReveal reveal;
    FakeHost host;
    std::vector<std::string> logged;
    SettingsContext context;

    Context() {
        context.defaults = defaults.get();
        context.ai.defaults = defaults;
        context.ai.secrets = secrets;
        context.ai.environment = [](const std::string&) { return std::optional<std::string>(); };
        context.ai.account = "tester";
        context.ai.logPath = dir / "Tindra-IA.jsonl";
        context.keys = &keys;
        context.urls = &urls;
        context.reveal = &reveal;
        context.runner = &runner;
        context.now = [] { return june15(); };
        context.log = [this](std::string_view line) { logged.emplace_back(line); };
        context.host = &host;
    }

    // Writes the calls into the AI log, given newest first as the log reads them.
    void writeLog(const std::vector<AICall>& newestFirst) {
        for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
            AILog::add(*it, context.ai.logPath);
        }
    }
};

}  // namespace settingstest
