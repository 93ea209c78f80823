#include "platform/MemorySecretStore.h"
#include "profile/ProfileParser.h"
#include "profile/ProfileStore.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;

namespace {

const Clock::time_point t0 = Clock::from_time_t(978307200) + 800000000s;

SavedFact fact(std::string owner, std::string kind, std::string value, std::optional<std::string> subject = {},
               Clock::time_point updated = t0) {
    return SavedFact{std::move(owner), std::move(kind), std::move(value), {}, std::move(subject), updated};
}

std::vector<std::string> values(const std::vector<SavedFact>& facts) {
    std::vector<std::string> out;
    for (const auto& f : facts) out.push_back(f.value);
    return out;
}

struct Store : ::testing::Test {
    MemorySecretStore secrets;
    std::vector<std::string> logged;
    ProfileStore::LogLine log = [this](std::string_view line) { logged.emplace_back(line); };
    std::string& stored() { return secrets.items[{ProfileStore::service(), ProfileStore::account}].data; }
};

}  // namespace

TEST_F(Store, FirstSaveCreatesTheLabelledItem) {
    EXPECT_TRUE(ProfileStore::facts(secrets).empty());
    EXPECT_EQ(ProfileStore::load(secrets).status, ProfileStore::Loaded::Status::absent);
    ProfileStore::save(secrets, {fact("empresa", "telefono", "912 345 678", "B12345674")}, log);
    auto& item = secrets.items.at({"es.calverin.Tindra.misdatos", "datos"});
    EXPECT_EQ(item.label, "Tindra: mis datos");
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 1u);
}

TEST_F(Store, SlotsReplaceAndAppend) {
    ProfileStore::save(secrets,
                       {fact("empresa", "telefono", "111", "B1"), fact("empresa", "email", "a@b.es", "B1"),
                        fact("empresa", "telefono", "222", "B2"), fact("empresa", "telefono", "333"),
                        fact("texto", "parrafo", "uno"), fact("texto", "parrafo", "dos")},
                       log);
    // Replacement lands at the end; other subjects, no subject and other texts stay.
    ProfileStore::save(secrets, {fact("empresa", "telefono", "444", "B1"), fact("texto", "parrafo", "uno", {}, t0 + 5s)},
                       log);
    auto facts = ProfileStore::facts(secrets);
    EXPECT_EQ(values(facts), (std::vector<std::string>{"a@b.es", "222", "333", "dos", "444", "uno"}));
    EXPECT_EQ(facts.back().updated, t0 + 5s);
    // Within one call the later fact of a slot wins.
    ProfileStore::save(secrets, {fact("persona", "cp", "1", "X"), fact("persona", "cp", "2", "X")}, log);
    EXPECT_EQ(values(ProfileStore::facts(secrets)).back(), "2");
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 7u);
    // Canonically equivalent subjects are one slot.
    ProfileStore::save(secrets, {fact("persona", "cp", "3", "X\xCC\x81"), fact("persona", "cp", "4", "\xC3\x9D")}, log);
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 9u);
}

TEST_F(Store, RemoveNeedsTheExactDate) {
    ProfileStore::save(secrets, {fact("empresa", "web", "x.es", "B1")}, log);
    auto kept = ProfileStore::facts(secrets).at(0);
    auto other = kept;
    other.updated += 1us;
    ProfileStore::remove(secrets, other, log);
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 1u);
    ProfileStore::remove(secrets, kept, log);
    EXPECT_TRUE(ProfileStore::facts(secrets).empty());
    EXPECT_EQ(stored(), "[]");
}

TEST_F(Store, JsonForm) {
    SavedFact address = fact("empresa", "domicilio", "Calle Mayor 5", "B1", Clock::from_time_t(978307200) + 1500ms);
    address.parts = {{"via", "Calle Mayor"}, {"numero", "5"}};
    ProfileStore::save(secrets, {address, fact("texto", "parrafo", "ñandú")}, log);
    auto json = nlohmann::json::parse(stored());
    ASSERT_TRUE(json.is_array());
    EXPECT_EQ(json[0]["updated"].get<double>(), 1.5);
    EXPECT_EQ(json[0]["subject"], "B1");
    EXPECT_EQ(json[0]["parts"]["via"], "Calle Mayor");
    EXPECT_FALSE(json[1].contains("subject"));
    EXPECT_TRUE(json[1]["parts"].is_object());
    EXPECT_EQ(stored().find('\n'), std::string::npos);
    EXPECT_EQ(ProfileStore::facts(secrets), (std::vector<SavedFact>{address, fact("texto", "parrafo", "ñandú")}));

    auto decoded = ProfileStore::decode(
        R"([{"owner":"persona","kind":"cp","value":"1","parts":{},"updated":0,"subject":null,"extra":1}])");
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->at(0).subject);
    EXPECT_EQ(decoded->at(0).updated, Clock::from_time_t(978307200));
    EXPECT_FALSE(ProfileStore::decode(R"([{"owner":"persona","kind":"cp","value":"1","parts":{}}])"));
    EXPECT_FALSE(ProfileStore::decode(R"([{"owner":"persona","kind":"cp","value":"1","parts":{"a":1},"updated":0}])"));
    EXPECT_FALSE(ProfileStore::decode(R"({"owner":"persona"})"));
    EXPECT_FALSE(ProfileStore::decode("no es json"));
    EXPECT_FALSE(ProfileStore::decode(R"([{"owner":"p","kind":"k","value":"v","parts":{},"updated":1e300}])"));
}

// A list that cannot be read or decoded is never written over.
TEST_F(Store, UnreadableDataIsLeftAlone) {
    stored() = "{dañado";
    const int writes = secrets.writes;
    EXPECT_EQ(ProfileStore::load(secrets).status, ProfileStore::Loaded::Status::undecodable);
    EXPECT_TRUE(ProfileStore::facts(secrets).empty());
    EXPECT_THROW(ProfileStore::save(secrets, {fact("persona", "cp", "1")}, log), ProfileStore::Error);
    EXPECT_THROW(ProfileStore::remove(secrets, fact("persona", "cp", "1"), log), ProfileStore::Error);
    EXPECT_EQ(stored(), "{dañado");
    EXPECT_EQ(secrets.writes, writes);
    EXPECT_EQ(logged.size(), 2u);

    stored() = ProfileStore::encode({fact("persona", "cp", "1")});
    const std::string before = stored();
    for (auto fault : {MemorySecretStore::Fault::failed, MemorySecretStore::Fault::unavailable}) {
        secrets.readFault = fault;
        try {
            ProfileStore::save(secrets, {fact("persona", "cp", "2")}, log);
            FAIL() << "save over an unreadable item";
        } catch (const ProfileStore::Error& e) {
            EXPECT_NE(std::string(e.what()).find("depósito de claves"), std::string::npos);
        }
        EXPECT_THROW(ProfileStore::remove(secrets, fact("persona", "cp", "1"), log), ProfileStore::Error);
        EXPECT_EQ(stored(), before);
    }
    EXPECT_EQ(secrets.writes, writes);

    // Only a deliberate reset clears a damaged item, and then saving works again.
    secrets.readFault = MemorySecretStore::Fault::none;
    stored() = "{dañado";
    ProfileStore::reset(secrets, log);
    ProfileStore::save(secrets, {fact("persona", "cp", "1")}, log);
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 1u);
}

TEST_F(Store, FailedWriteIsReported) {
    secrets.writeFault = MemorySecretStore::Fault::unavailable;
    try {
        ProfileStore::save(secrets, {fact("persona", "cp", "1")}, log);
        FAIL() << "save without a secret service";
    } catch (const ProfileStore::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Secret Service"), std::string::npos);
    }
    EXPECT_TRUE(secrets.items.empty());
    EXPECT_EQ(logged.size(), 1u);
}

TEST(StoreCandidates, SubjectsFromTheFirstNumberOfEachOwner) {
    auto parsed = ProfileParser::facts("12345678Z\nB12345674\nX1234567L\nTeléfono: 612 345 678\n" + std::string(170, 'p'));
    auto saved = ProfileStore::candidates(parsed, t0);
    ASSERT_EQ(saved.size(), parsed.size());
    for (const auto& s : saved) {
        if (s.owner == "persona") {
            EXPECT_EQ(s.subject, "12345678Z") << s.value;
        } else if (s.owner == "empresa") {
            EXPECT_EQ(s.subject, "B12345674") << s.value;
        } else {
            EXPECT_FALSE(s.subject) << s.value;
        }
        EXPECT_EQ(s.updated, t0);
    }
    EXPECT_EQ(ProfileStore::candidates({{ProfileFact::Owner::person, "cp", "1", {}, {}}}, t0)[0].subject, std::nullopt);
}

TEST_F(Store, PreviousValue) {
    ProfileStore::save(secrets, {fact("empresa", "web", "old.es", "B1"), fact("texto", "parrafo", "t")}, log);
    EXPECT_EQ(ProfileStore::previous(secrets, fact("empresa", "web", "new.es", "B1"))->value, "old.es");
    EXPECT_FALSE(ProfileStore::previous(secrets, fact("empresa", "web", "old.es", "B1")));
    EXPECT_FALSE(ProfileStore::previous(secrets, fact("empresa", "web", "new.es", "B2")));
    EXPECT_FALSE(ProfileStore::previous(secrets, fact("texto", "parrafo", "u")));
}

TEST(StoreTitles, NamesAndDetails) {
    EXPECT_EQ(ProfileStore::name("nif", "persona"), "DNI o NIE");
    EXPECT_EQ(ProfileStore::name("nif", "empresa"), "NIF");
    EXPECT_EQ(ProfileStore::name("parrafo", "texto"), "Texto");
    EXPECT_EQ(ProfileStore::name("iban", "empresa"), "Cuenta (IBAN)");
    EXPECT_EQ(ProfileStore::name("otro_dato", "persona"), "Otro_dato");
    EXPECT_EQ(ProfileStore::name("Horario", "persona"), "Horario");

    SavedFact f = fact("empresa", "domicilio", "x");
    EXPECT_FALSE(ProfileStore::detail(f));
    f.parts = {{"via", "Calle Mayor"}, {"numero", "5"}, {"piso", "3º"}, {"puerta", "B"}, {"cp", "28013"},
               {"municipio", "Madrid"}};
    EXPECT_EQ(ProfileStore::detail(f), "Calle Mayor, 5 · 3º B · 28013 Madrid");
    f.parts = {{"cp", "28013"}};
    EXPECT_EQ(ProfileStore::detail(f), "28013");
    f.parts = {{"via", "Calle Mayor"}, {"municipio", "Madrid"}};
    EXPECT_EQ(ProfileStore::detail(f), "Calle Mayor · Madrid");
    f.parts = {{"resto", "local 3"}};
    EXPECT_EQ(ProfileStore::detail(f), "");
}

// A date read and written again stays the same date, so a listed fact can still be removed after
// other saves have rewritten the list.
TEST_F(Store, DatesSurviveRewrites) {
    for (const char* seconds : {"4293380.3539280565", "4195472.8350123046", "812345678.1234567", "1.5", "-12.25", "0"}) {
        const std::string json = std::string(R"([{"owner":"empresa","kind":"web","value":"x.es","parts":{},"updated":)") +
                                 seconds + "}]";
        auto first = ProfileStore::decode(json);
        ASSERT_TRUE(first) << seconds;
        auto again = ProfileStore::decode(ProfileStore::encode(*first));
        ASSERT_TRUE(again) << seconds;
        EXPECT_EQ(again->at(0).updated, first->at(0).updated) << seconds;
        EXPECT_EQ(ProfileStore::encode(*again), ProfileStore::encode(*first)) << seconds;

        stored() = json;
        const SavedFact listed = ProfileStore::facts(secrets).at(0);
        ProfileStore::save(secrets, {fact("empresa", "email", "a@b.es")}, log);
        ProfileStore::save(secrets, {fact("empresa", "cp", "28013")}, log);
        ProfileStore::remove(secrets, listed, log);
        EXPECT_EQ(values(ProfileStore::facts(secrets)), (std::vector<std::string>{"a@b.es", "28013"})) << seconds;
    }
}
