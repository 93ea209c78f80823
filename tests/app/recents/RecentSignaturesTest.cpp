#include "app/RecentSignatures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestUtil.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

system_clock::time_point at(double referenceSeconds) {
    return RecentSignatures::dateFromReferenceSeconds(referenceSeconds);
}

SigningRecord sampleRecord() {
    SigningRecord record;
    record.certificate = "0123456789ABCDEF0123456789ABCDEF01234567";
    record.visible = true;
    record.showFullID = false;
    record.showBranding = true;
    record.pageIndex = 0;
    record.rect = Rect{350, 80, 200, 60};
    FormFill fill;
    fill.name = "datos.nombre";
    fill.pageIndex = 0;
    fill.rect = {1, 2, 3, 4};
    fill.text = "Ana";
    record.fills = {fill};
    record.copies = std::vector<SignatureCopy>{{1, {10, 20, 30, 40}, true}};
    return record;
}

class RecentSignaturesTest : public ::testing::Test {
protected:
    testutil::TempDir folder;
    Defaults defaults{folder.path() / "defaults.json"};
    std::vector<std::string> logLines;
    RecentSignatures::LogLine log = [this](std::string_view line) { logLines.emplace_back(line); };

    fs::path file(const std::string& name, bool create = true) {
        fs::path path = folder.path() / name;
        if (create) testutil::writeFile(path, "%PDF-1.7\n");
        return path;
    }
    std::string storedText() {
        auto data = defaults.data(RecentSignatures::key);
        return data ? std::string(data->begin(), data->end()) : std::string("<none>");
    }
    void storeText(const std::string& text) {
        defaults.setData(RecentSignatures::key, Defaults::Data(text.begin(), text.end()));
    }
    void add(const fs::path& path, double date, std::optional<fs::path> original = std::nullopt,
             std::optional<SigningRecord> how = std::nullopt, const std::string& signer = "Ana") {
        RecentSignatures::add(path, signer, original, how, defaults, at(date), log);
    }
    std::vector<RecentSignature> stored() {
        return RecentSignatures::decode(storedText()).value_or(std::vector<RecentSignature>{});
    }
};

}  // namespace

TEST_F(RecentSignaturesTest, StoredJSONIsExactlyTheRecordedForm) {
    add("/tmp/x/a-firmado.pdf", 786000000.5, fs::path("/tmp/x/a.pdf"), sampleRecord(),
        "Ana Pérez");
    EXPECT_EQ(storedText(),
              R"([{"date":786000000.5,"how":{"certificate":"0123456789ABCDEF0123456789ABCDEF01234567",)"
              R"("copies":[{"handwritten":true,"pageIndex":1,"rect":[[10.0,20.0],[30.0,40.0]]}],)"
              R"("fills":[{"name":"datos.nombre","pageIndex":0,"rect":[[1.0,2.0],[3.0,4.0]],"text":"Ana"}],)"
              R"("pageIndex":0,"rect":[[350.0,80.0],[200.0,60.0]],"showBranding":true,)"
              R"("showFullID":false,"visible":true},"original":"/tmp/x/a.pdf",)"
              R"("path":"/tmp/x/a-firmado.pdf","signer":"Ana Pérez"}])");
    // And it reads back to the same values.
    std::vector<RecentSignature> list = stored();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].how, sampleRecord());
    EXPECT_EQ(RecentSignatures::referenceSeconds(list[0].date), 786000000.5);
}

TEST_F(RecentSignaturesTest, AddingAListedPathMovesItToTheFrontWithTheNewValues) {
    fs::path a = file("a-firmado.pdf"), b = file("b-firmado.pdf");
    add(a, 100, file("a.pdf"));
    add(b, 200);
    SigningRecord record = sampleRecord();
    add(a, 300, file("otro.pdf"), record, "Luis");
    std::vector<RecentSignature> list = RecentSignatures::all(defaults);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, a.string());
    EXPECT_EQ(list[0].signer, "Luis");
    EXPECT_EQ(list[0].original, (folder.path() / "otro.pdf").string());
    EXPECT_EQ(list[0].how, record);
    EXPECT_EQ(RecentSignatures::referenceSeconds(list[0].date), 300);
    EXPECT_EQ(list[1].path, b.string());
}

TEST_F(RecentSignaturesTest, CanonicallyEquivalentPathsAreOneEntry) {
    // "Canción" precomposed and with a combining accent.
    fs::path composed = file("Canci\xC3\xB3n.pdf");
    fs::path decomposed = folder.path() / "Cancio\xCC\x81n.pdf";
    add(composed, 1);
    add(decomposed, 2);
    EXPECT_EQ(stored().size(), 1u);
    RecentSignatures::remove(composed, defaults);
    EXPECT_TRUE(stored().empty());
    // Byte strings that are not UTF-8 are compared exactly.
    EXPECT_FALSE(RecentSignatures::samePath("/a/\xFF.pdf", "/a/\xFE.pdf"));
}

TEST_F(RecentSignaturesTest, ThirtyEntriesAtMostCountingMissingFiles) {
    for (int i = 0; i < 31; ++i) add(file("f" + std::to_string(i) + ".pdf", i % 2 == 0), i);
    std::vector<RecentSignature> all = stored();
    ASSERT_EQ(all.size(), 30u);
    EXPECT_EQ(all.front().path, (folder.path() / "f30.pdf").string());
    EXPECT_EQ(all.back().path, (folder.path() / "f1.pdf").string());  // f0 fell off
    // Missing files are hidden from the list, yet stay stored.
    std::vector<RecentSignature> shown = RecentSignatures::all(defaults);
    EXPECT_EQ(shown.size(), 15u);
    for (const auto& entry : shown) EXPECT_TRUE(fs::exists(entry.path));
}

TEST_F(RecentSignaturesTest, AnOverlongStoredListIsReadUpToTheLimit) {
    // Written by hand or by something else: far more entries than this code ever stores.
    std::string text = "[";
    for (int i = 0; i < 200; ++i) {
        const fs::path path = file("g" + std::to_string(i) + ".pdf");
        text += (i ? "," : "") + std::string(R"({"path":")") + path.string() +
                R"(","date":)" + std::to_string(1000 - i) + R"(,"signer":"Ana"})";
    }
    storeText(text + "]");
    std::vector<RecentSignature> shown = RecentSignatures::all(defaults);
    ASSERT_EQ(shown.size(), RecentSignatures::limit);
    EXPECT_EQ(shown.front().path, (folder.path() / "g0.pdf").string());
    EXPECT_EQ(shown.back().path, (folder.path() / "g29.pdf").string());
}

TEST_F(RecentSignaturesTest, OptionalKeysMissingOrNullReadAsAbsent) {
    fs::path a = file("a.pdf");
    storeText(R"([{"path":")" + a.string() + R"(","date":5,"signer":"Ana","original":null},)"
              R"({"path":")" + a.string() + R"(","date":6.5,"signer":"Ana","how":{"certificate":"AB",)"
              R"("visible":false,"showFullID":false,"showBranding":true,"fills":[],"pageIndex":null,"extra":1}}])");
    std::vector<RecentSignature> list = RecentSignatures::all(defaults);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].original);
    EXPECT_FALSE(list[0].how);
    EXPECT_FALSE(list[0].canSignAgain());
    ASSERT_TRUE(list[1].how);
    EXPECT_FALSE(list[1].how->pageIndex);
    EXPECT_FALSE(list[1].how->rect);
    EXPECT_FALSE(list[1].how->copies);
}

TEST_F(RecentSignaturesTest, AnyBadEntryMakesTheWholeListEmptyAndTheNextAddReplacesIt) {
    fs::path a = file("a.pdf");
    const std::string good = R"({"path":")" + a.string() + R"(","date":5,"signer":"Ana"})";
    for (std::string bad :
         {std::string("not json"), std::string(R"({"path":"x"})"),
          "[" + good + R"(,{"path":"x","date":"hoy","signer":"Ana"}])",
          "[" + good + R"(,{"path":"x","date":1,"signer":"Ana","how":{"certificate":"AB",)"
                       R"("visible":true,"showFullID":false,"showBranding":true}}])",
          "[" + good + R"(,{"path":"x","date":1,"signer":null}])"}) {
        SCOPED_TRACE(bad);
        storeText(bad);
        EXPECT_TRUE(RecentSignatures::all(defaults).empty());
    }
    add(file("nuevo.pdf"), 9);
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(RecentSignaturesTest, AbsentPartsAreLeftOutOfTheStoredForm) {
    SigningRecord record = sampleRecord();
    record.copies.reset();
    record.pageIndex.reset();
    record.rect.reset();
    add(file("a-firmado.pdf"), 1, std::nullopt, record);
    nlohmann::json entry = nlohmann::json::parse(storedText()).at(0);
    EXPECT_FALSE(entry.contains("original"));
    for (const char* key : {"copies", "pageIndex", "rect"}) EXPECT_FALSE(entry["how"].contains(key));
    EXPECT_TRUE(entry["how"].contains("fills"));
}

TEST_F(RecentSignaturesTest, RemovingWritesTheListBackEvenWhenNothingMatches) {
    fs::path a = file("a.pdf");
    add(a, 1);
    std::string before = storedText();
    RecentSignatures::remove(folder.path() / "otro.pdf", defaults);
    EXPECT_EQ(storedText(), before);
    RecentSignatures::remove(a, defaults);
    EXPECT_EQ(storedText(), "[]");
}

TEST_F(RecentSignaturesTest, ARecordWithANonFiniteNumberIsNotStored) {
    fs::path a = file("a.pdf");
    add(a, 1);
    std::string before = storedText();
    SigningRecord record = sampleRecord();
    record.rect = Rect{std::nan(""), 0, 10, 10};
    add(file("b.pdf"), 2, std::nullopt, record);
    EXPECT_EQ(storedText(), before);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("b.pdf"), std::string::npos);
    record = sampleRecord();
    record.fills[0].size = INFINITY;
    add(file("c.pdf"), 3, std::nullopt, record);
    EXPECT_EQ(storedText(), before);
    EXPECT_EQ(logLines.size(), 2u);
}

TEST_F(RecentSignaturesTest, TestingListReplacesAllOnly) {
    RecentSignature entry{"/nowhere/x.pdf", at(1), "Ana", std::nullopt, std::nullopt};
    RecentSignatures::testing() = std::vector<RecentSignature>{entry};
    EXPECT_EQ(RecentSignatures::all(defaults).size(), 1u);
    add(file("a.pdf"), 1);
    EXPECT_EQ(stored().size(), 1u);
    RecentSignatures::testing().reset();
    EXPECT_EQ(RecentSignatures::all(defaults).front().path, (folder.path() / "a.pdf").string());
}

TEST_F(RecentSignaturesTest, CanSignAgainNeedsTheSourceOnDisk) {
    fs::path source = file("a.pdf");
    RecentSignature entry{"/x/a-firmado.pdf", at(1), "Ana", source.string(), std::nullopt};
    EXPECT_TRUE(entry.canSignAgain());
    fs::remove(source);
    EXPECT_FALSE(entry.canSignAgain());
}
