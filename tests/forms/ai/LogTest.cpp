// The AI call log: records as JSON lines, appends from many threads, damaged files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "forms/ai/AILog.h"
#include "support/TestUtil.h"

namespace {

AICall sample(std::string form = "Solicitud") {
    using namespace std::chrono;
    return AICall{sys_days{2026y / 3 / 5} + 9h + 30min, std::move(form), "typesafe/jev-1.13", "Proveedor",
                  10, 1200, 80, 0.0042, 1.25, "ok", "{\"a\":1}", "{\"answers\":{}}"};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

TEST(AILog, RecordsAsJSONLinesNewestFirst) {
    testutil::TempDir dir;
    const auto path = dir / "Tindra-IA.jsonl";
    EXPECT_TRUE(AILog::calls(path).empty());  // missing file

    AICall first = sample("Primero");
    first.request = "{\n\"varias\": \"líneas\"\n}";
    AICall bare{first.date, "Segundo", "typesafe/jev-1.13", std::nullopt, 3, std::nullopt, std::nullopt,
                std::nullopt, 0.5, "sin conexión", std::nullopt, std::nullopt};
    AILog::add(first, path);
    AILog::add(bare, path);

    const auto text = testutil::readFile(path);
    const auto written = lines(text);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(text.back(), '\n');
    const auto json = nlohmann::json::parse(written[1]);
    EXPECT_EQ(json["date"], "2026-03-05T09:30:00Z");
    for (const char* absent : {"provider", "inputTokens", "outputTokens", "cost", "request", "response"}) {
        EXPECT_FALSE(json.contains(absent)) << absent;
    }
    const auto calls = AILog::calls(path);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], bare);
    EXPECT_EQ(calls[1], first);
}

TEST(AILog, DamagedLinesCostOnlyThemselves) {
    testutil::TempDir dir;
    const auto path = dir / "Tindra-IA.jsonl";
    const std::string good = sample().json().dump();
    nlohmann::json nulls = sample("Nulos").json();
    nulls["provider"] = nullptr;
    nulls["response"] = nullptr;
    nlohmann::json noResult = sample().json();
    noResult.erase("result");
    nlohmann::json wrongType = sample().json();
    wrongType["inputTokens"] = "12";
    nlohmann::json offset = sample("Desfase").json();
    offset["date"] = "2026-03-05T10:30:00+01:00";
    testutil::writeFile(path, good + "\nbasura {\n\n\n" + nulls.dump() + "\n" + noResult.dump() + "\n" +
                                  wrongType.dump() + "\n{\"date\":\"ayer\"}\n" + offset.dump());  // no final LF
    const auto calls = AILog::calls(path);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].form, "Desfase");
    EXPECT_EQ(calls[0].date, sample().date);
    EXPECT_EQ(calls[1].form, "Nulos");
    EXPECT_FALSE(calls[1].provider);
    EXPECT_FALSE(calls[1].response);
    EXPECT_EQ(calls[2], sample());

    // A line over the reading limit is skipped without loading it whole.
    std::string huge = "{\"form\":\"" + std::string(AILog::maxLineBytes + 10, 'x') + "\"}\n";
    testutil::writeFile(path, huge + good + "\n");
    EXPECT_EQ(AILog::calls(path).size(), 1u);
}

// A record keeps the beginning of a long request or answer and says how much was left out; lines
// written whole by earlier versions are read with their texts cut alike, escapes intact.
TEST(AILog, LongTextsAreKeptInPart) {
    testutil::TempDir dir;
    const auto path = dir / "Tindra-IA.jsonl";
    AICall big = sample("Grande");
    big.response = std::string(std::size_t(1) << 20, 'r');
    AILog::add(big, path);
    EXPECT_LT(std::filesystem::file_size(path), AILog::maxTextBytes + 1024);
    auto calls = AILog::calls(path);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].request, big.request);
    ASSERT_TRUE(calls[0].response);
    EXPECT_LE(calls[0].response->size(), AILog::maxTextBytes);
    EXPECT_EQ(calls[0].response->compare(0, 200000, *big.response, 0, 200000), 0);
    EXPECT_NE(calls[0].response->find("\n… [recortado: "), std::string::npos);

    std::string answer;
    while (answer.size() < (std::size_t(3) << 20)) answer += "\"é😀\\\n";
    nlohmann::json old = sample("Antiguo").json();
    old["response"] = answer;
    old["request"] = answer;
    testutil::writeFile(path, old.dump(-1, ' ', true) + "\n" + old.dump() + "\n" + sample().json().dump() + "\n");
    calls = AILog::calls(path);
    ASSERT_EQ(calls.size(), 3u);
    for (int i : {1, 2}) {
        for (const auto& text : {calls[i].request, calls[i].response}) {
            ASSERT_TRUE(text);
            EXPECT_LE(text->size(), AILog::maxTextBytes);
            const std::size_t marker = text->find("\n… [recortado: ");
            ASSERT_NE(marker, std::string::npos);
            EXPECT_GT(marker, AILog::maxTextBytes / 2);
            EXPECT_EQ(answer.compare(0, marker, *text, 0, marker), 0);
        }
    }
    EXPECT_EQ(calls[0], sample());
    // The usage figures read no texts.
    for (const AICall& call : AILog::calls(path, AILog::Texts::dropped)) {
        EXPECT_FALSE(call.request);
        EXPECT_FALSE(call.response);
    }
}

TEST(AILog, ConcurrentAppendsGiveWholeLines) {
    testutil::TempDir dir;
    const auto path = dir / "Tindra-IA.jsonl";
    std::vector<std::thread> threads;
    for (int t = 0; t < 20; ++t) {
        threads.emplace_back([t, &path] {
            for (int i = 0; i < 50; ++i) {
                AICall call = sample("Hilo " + std::to_string(t));
                call.fields = i;
                call.request = std::string(2000 + 37 * i, 'a' + static_cast<char>(t));
                AILog::add(call, path);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const auto written = lines(testutil::readFile(path));
    ASSERT_EQ(written.size(), 1000u);
    for (const auto& line : written) ASSERT_TRUE(AICall::fromJSON(nlohmann::json::parse(line)));
    EXPECT_EQ(AILog::calls(path).size(), 1000u);
}

TEST(AILog, FreshStateFolderAndUnwritableLog) {
    testutil::TempDir dir;
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_STATE_HOME", (dir / "estado").c_str(), 1);
    const auto url = AILog::url();
    EXPECT_EQ(url, dir / "estado" / "tindra" / "Tindra-IA.jsonl");
    AILog::add(sample());
    if (old) setenv("XDG_STATE_HOME", saved.c_str(), 1); else unsetenv("XDG_STATE_HOME");

    struct stat info {};
    ASSERT_EQ(stat(url.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(url.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(AILog::calls(url).size(), 1u);

    // A log that exists but cannot be opened for writing is left byte for byte as it was.
    const std::string before = testutil::readFile(url);
    chmod(url.c_str(), 0400);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root writes anyway: drop to an unprivileged user, for whom the folder is closed too.
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        AILog::add(sample("No debe escribirse"), url);
        _exit(0);
    }
    const testutil::ChildEnd end = testutil::waitForChild(child, "the child that adds to a read-only log");
    ASSERT_FALSE(end.timedOut) << end.sentence;
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(WEXITSTATUS(end.status), 0);
    EXPECT_EQ(testutil::readFile(url), before);
}

}  // namespace
