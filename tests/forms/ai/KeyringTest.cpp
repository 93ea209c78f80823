// The AI key through a real Secret Service: this program runs the test again inside a private
// D-Bus session with its own gnome-keyring daemon and a temporary home.
#include <gtest/gtest.h>
#include <gio/gio.h>

#include <sys/stat.h>

#include <cstdlib>

#include "forms/ai/JevLabeler.h"
#include "platform/LibsecretStore.h"
#include "support/TestUtil.h"

namespace {

constexpr const char* kInside = "TINDRA_AI_KEYRING_SESSION";

void runInPrivateSession(const std::string& test) {
    if (!testutil::haveProgram("dbus-run-session") || !testutil::haveProgram("gnome-keyring-daemon")) {
        GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon is missing";
    }
    testutil::TempDir home;
    for (const char* sub : {".local/share", ".local/state", ".config", ".cache", "run"}) {
        std::filesystem::create_directories(home.path() / sub);
    }
    chmod((home.path() / "run").c_str(), 0700);
    const auto h = home.path();
    const auto r = testutil::run({"timeout", "120", "env", "HOME=" + h.string(),
                                  "XDG_DATA_HOME=" + (h / ".local/share").string(),
                                  "XDG_STATE_HOME=" + (h / ".local/state").string(),
                                  "XDG_CONFIG_HOME=" + (h / ".config").string(),
                                  "XDG_CACHE_HOME=" + (h / ".cache").string(),
                                  "XDG_RUNTIME_DIR=" + (h / "run").string(), std::string(kInside) + "=1",
                                  // glib and libsecret keep per-process caches for good.
                                  "ASAN_OPTIONS=detect_leaks=0", "dbus-run-session", "--",
                                  std::filesystem::read_symlink("/proc/self/exe").string(),
                                  "--gtest_filter=" + test});
    if (r.out.find("[  SKIPPED ]") != std::string::npos && r.out.find("[  PASSED  ] 1 test") == std::string::npos) {
        GTEST_SKIP() << "no Secret Service could be started:\n" << r.out << r.err;
    }
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out << r.err;
}

// How many items of the service the Secret Service holds, asked over the bus directly.
int itemsOfService(const char* service) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return -1;
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", service);
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "SearchItems",
        g_variant_new("(a{ss})", &attributes), nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply) return -1;
    GVariantIter* unlocked = nullptr;
    GVariantIter* locked = nullptr;
    g_variant_get(reply, "(aoao)", &unlocked, &locked);
    const int count = static_cast<int>(g_variant_iter_n_children(unlocked) + g_variant_iter_n_children(locked));
    g_variant_iter_free(unlocked);
    g_variant_iter_free(locked);
    g_variant_unref(reply);
    return count;
}

TEST(AIKeyring, RoundTripThroughGnomeKeyring) {
    if (!std::getenv(kInside)) return runInPrivateSession("AIKeyring.RoundTripThroughGnomeKeyring");
    if (testutil::run({"gnome-keyring-daemon", "--unlock", "--components=secrets"}, "tindra-prueba").exitCode != 0) {
        GTEST_SKIP() << "gnome-keyring-daemon did not start";
    }
    AISettings settings = AISettings::standard();
    settings.environment = [](const std::string&) { return std::optional<std::string>(); };
    ASSERT_FALSE(settings.account.empty());
    EXPECT_FALSE(JevLabeler::hasKey(settings));

    ASSERT_TRUE(JevLabeler::save("sk-or-primera\n", settings));
    EXPECT_TRUE(JevLabeler::hasKey(settings));
    EXPECT_EQ(JevLabeler::key(settings), "sk-or-primera");
    ASSERT_TRUE(JevLabeler::save("sk-or-segunda", settings));
    EXPECT_EQ(JevLabeler::key(settings), "sk-or-segunda");
    EXPECT_EQ(itemsOfService("openrouter-tindra"), 1);

    JevLabeler::removeKey(settings);
    EXPECT_FALSE(JevLabeler::hasKey(settings));
    EXPECT_EQ(itemsOfService("openrouter-tindra"), 0);
}

}  // namespace
