// The usage summary: forms counted from runs of requests, the month's and total costs, amounts,
// dates and model names.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "settings/AILogRow.h"
#include "settings/AILogSummary.h"
#include "SettingsTestSupport.h"

using namespace settingstest;
namespace S = AILogSummary;

namespace {
const bool inMadrid = madrid();
const std::string nbsp = "\u00A0";

// Newest first, as the log gives them: `count` calls of `form`, `gap` seconds apart.
std::vector<AICall> run(const std::string& form, int count, int gap) {
    std::vector<AICall> calls;
    for (int i = count - 1; i >= 0; --i) calls.push_back(call(utc(2026, 6, 10, 9, 0) + std::chrono::seconds(gap * i), form));
    return calls;
}
}  // namespace

TEST(AILogSummary, FormsCountRuns) {
    ASSERT_TRUE(inMadrid);
    EXPECT_EQ(S::formsCount({}), 0);
    EXPECT_EQ(S::formsCount(run("A", 3, 60)), 1);
    EXPECT_EQ(S::formsCount(run("A", 3, 121)), 3);
    EXPECT_EQ(S::formsCount(run("A", 3, 120)), 1);  // exactly 120 s merges
    EXPECT_EQ(S::formsCount(run("A", 10, 100)), 1);  // measured from the neighbour
    // Newest first with a date earlier than its older neighbour: a negative gap merges.
    auto backwards = run("A", 2, 60);
    std::swap(backwards[0].date, backwards[1].date);
    EXPECT_EQ(S::formsCount(backwards), 1);
    // A, B, A within seconds.
    std::vector<AICall> aba{call(utc(2026, 6, 10, 9, 0, 4), "A"), call(utc(2026, 6, 10, 9, 0, 2), "B"),
                            call(utc(2026, 6, 10, 9, 0, 0), "A")};
    EXPECT_EQ(S::formsCount(aba), 3);
}

TEST(AILogSummary, TextAndMonth) {
    EXPECT_EQ(S::text({}, june15()), "Sin consultas todavía.");

    // 31 May 23:30 in Madrid is last month; 1 June 00:10 is this one.
    const auto lastMay = utc(2026, 5, 31, 21, 30);
    const auto firstJune = utc(2026, 5, 31, 22, 10);
    EXPECT_FALSE(S::inMonthOf(lastMay, june15()));
    EXPECT_TRUE(S::inMonthOf(firstJune, june15()));

    std::vector<AICall> calls{call(firstJune, "B", 0.02), call(lastMay, "A", 0.01),
                              call(lastMay - std::chrono::seconds(30), "A", std::nullopt)};
    EXPECT_EQ(S::formsCount(calls), 2);
    EXPECT_DOUBLE_EQ(S::totalCost(calls), 0.03);
    EXPECT_DOUBLE_EQ(S::monthCost(calls, june15()), 0.02);
    EXPECT_EQ(S::text(calls, june15()), "2 formularios · 3 consultas · 0,03" + nbsp + "US$ en total, 0,02" + nbsp +
                                            "US$ este mes");
    EXPECT_EQ(S::text({call(firstJune, "B", std::nullopt)}, june15()),
              "1 formulario · 1 consulta · 0,00" + nbsp + "US$ en total, 0,00" + nbsp + "US$ este mes");
}

TEST(AILogSummary, Money) {
    EXPECT_EQ(S::money(0), "0,00" + nbsp + "US$");
    EXPECT_EQ(S::money(0.0034), "0,003" + nbsp + "US$");
    EXPECT_EQ(S::money(0.00012), "0,0001" + nbsp + "US$");
    EXPECT_EQ(S::money(0.000001), "0,000001" + nbsp + "US$");
    EXPECT_EQ(S::money(0.0123), "0,01" + nbsp + "US$");
    EXPECT_EQ(S::money(12345.5), "12.345,50" + nbsp + "US$");
    EXPECT_EQ(S::money(std::nan("")), "—");
    EXPECT_EQ(S::money(INFINITY), "—");
    EXPECT_EQ(S::money(-0.0034), "-0,003" + nbsp + "US$");
}

TEST(AILogSummary, DatesModelsAndRows) {
    EXPECT_EQ(S::date(utc(2026, 9, 6, 0, 0)), "6 sept, 02:00");
    EXPECT_EQ(S::shortModel("typesafe/jev-1.13"), "jev-1.13");
    EXPECT_EQ(S::shortModel("v/m-x-20250101"), "m-x");
    EXPECT_EQ(S::shortModel("m-x-2025010"), "m-x-2025010");
    EXPECT_EQ(S::shortModel("plain"), "plain");
    EXPECT_EQ(S::capitalized("error 500"), "Error 500");
    EXPECT_EQ(S::capitalized("SIN conexión"), "Sin Conexión");

    AICall failed = call(utc(2026, 6, 1, 8, 0), "Modelo 303", std::nullopt, "sin conexión");
    failed.seconds = 12.25;
    failed.provider = "Acme";
    failed.model = "vendor/jev-2-20250101";
    const AILogRow row = AILogRow::of(failed);
    EXPECT_TRUE(row.failed);
    EXPECT_EQ(row.tokens, "—");
    EXPECT_EQ(row.cost, "Sin conexión");
    EXPECT_EQ(row.time, "12,2 s");
    EXPECT_EQ(row.model, "jev-2");
    EXPECT_EQ(row.modelTip, "vendor/jev-2-20250101\nProveedor: Acme");
    EXPECT_TRUE(row.tokensTip.empty());

    AICall huge = call(utc(2026, 6, 1, 8, 0), "X");
    huge.inputTokens = INT64_MAX;  // a hostile log: the sum saturates
    EXPECT_EQ(AILogRow::of(huge).tokens, std::to_string(INT64_MAX));
    EXPECT_EQ(AILogRow::of(huge).tokensTip, std::to_string(INT64_MAX) + " de entrada, 80 de salida");
}

TEST(AILogSummary, CommandLineDriver) {
    testutil::TempDir dir;
    AICall failed = call(utc(2026, 5, 31, 22, 10), "A", std::nullopt, "sin conexión");
    failed.seconds = 2;
    AICall ok = call(utc(2026, 5, 31, 21, 30), "A", 0.0034);
    ok.model = "v/m-x-20250101";
    AILog::add(ok, dir / "log.jsonl");
    AILog::add(failed, dir / "log.jsonl");
    const auto result = testutil::run({(testutil::toolsDir() / "ailogsummary").string(), "--now",
                                       "2026-06-15T12:00:00Z", (dir / "log.jsonl").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["text"], "2 formularios · 2 consultas · 0,003" + nbsp + "US$ en total, 0,00" + nbsp + "US$ este mes");
    EXPECT_EQ(json["calls"], 2);
    ASSERT_EQ(json["rows"].size(), 2u);
    EXPECT_EQ(json["rows"][0]["date"], "1 jun, 00:10");
    EXPECT_EQ(json["rows"][0]["cost"], "Sin conexión");
    EXPECT_EQ(json["rows"][0]["failed"], true);
    EXPECT_EQ(json["rows"][1]["model"], "m-x");
    EXPECT_EQ(json["rows"][1]["time"], "2,5 s");
}

// A log of 300 MB, written whole by earlier versions (answers of 4 MiB): the summary reads it line
// by line and never holds more than a few lines' worth of memory, and takes no more processor
// time than a few times what writing the log took this test (processor time, which a loaded
// machine does not stretch as it does the wall clock).
TEST(AILogSummary, ALongLogIsSummedInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own memory hides the reader's";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizers' own memory hides the reader's";
#endif
#endif
    testutil::TempDir dir;
    const auto path = dir / "Tindra-IA.jsonl";
    auto line = [](int n, const std::string& request, const std::string& response) {
        nlohmann::json record = call(utc(2026, 6, 1, 8, 0) + std::chrono::minutes(3 * n),
                                     "Formulario " + std::to_string(n % 7), 0.001).json();
        record["request"] = request;
        record["response"] = response;
        return record.dump() + "\n";
    };
    const std::string answer(4 << 20, 'a');
    const std::string structure(200 << 10, 'q');
    const std::string small(50 << 10, 's');
    int count = 0;
    const double writingStarted = testutil::threadSeconds();
    {
        std::ofstream out(path, std::ios::binary);
        for (int big = 0; big < 60; ++big) {
            out << line(count++, structure, answer);
            for (int i = 0; i < 17; ++i) out << line(count++, small, "{}");
        }
    }
    const double writing = testutil::threadSeconds() - writingStarted;
    ASSERT_GT(std::filesystem::file_size(path), 300u << 20);

    // GNU time reports the peak of the driver alone (a child spawned from this process would
    // count this process's memory too), and its user and system time.
    const auto rss = dir / "rss.txt";
    const auto result = testutil::run({"/usr/bin/time", "-f", "%M %U %S", "-o", rss.string(),
                                       (testutil::toolsDir() / "ailogsummary").string(), "--now",
                                       "2026-06-15T12:00:00Z", path.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    long kib = 0;
    double user = 0, system = 0;
    ASSERT_EQ(std::sscanf(testutil::readFile(rss).c_str(), "%ld %lf %lf", &kib, &user, &system), 3)
        << testutil::readFile(rss);
    const auto json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["calls"], count);
    EXPECT_EQ(json["rows"].size(), static_cast<std::size_t>(count));
    EXPECT_LT(kib, 50 * 1024) << "KiB at most";
    EXPECT_LT(user + system, 3 * writing + 0.5)
        << "s of processor time for the summary; writing the log took " << writing << " s";
}
