// The AI key through a real Secret Service: this program runs the test again inside a private
// D-Bus session with its own gnome-keyring daemon and a temporary home.
#include <gtest/gtest.h>
#include <gio/gio.h>


#include <cstdlib>

#include "forms/ai/JevLabeler.h"
#include "platform/LibsecretStore.h"
#include "support/KeyringSession.h"
#include "support/TestUtil.h"

namespace {

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
    if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("AIKeyring.RoundTripThroughGnomeKeyring");
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
