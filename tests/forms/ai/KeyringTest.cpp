// The AI key through a real Secret Service: this program runs the test again inside a private
// D-Bus session with its own gnome-keyring daemon and a temporary home.
#include <gtest/gtest.h>
#include <gio/gio.h>


#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

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

// The calls this process sends to the Secret Service that could ask the user something or read a
// secret, seen on the shared session-bus connection that libsecret uses too. It lives as long as
// the process: a filter may still run on the bus thread after it is removed.
struct PromptWatch {
    std::mutex mutex;
    std::vector<std::string> calls;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    guint filter = 0;

    static PromptWatch& shared() {
        static PromptWatch* watch = new PromptWatch;
        return *watch;
    }
    PromptWatch() {
        if (bus) filter = g_dbus_connection_add_filter(bus, &PromptWatch::see, this, nullptr);
    }
    std::vector<std::string> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    static GDBusMessage* see(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
        if (incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL) return message;
        const char* member = g_dbus_message_get_member(message);
        const char* interface = g_dbus_message_get_interface(message);
        const std::string name = member ? member : "";
        if (name == "Unlock" || name == "Prompt" || name == "GetSecrets" || name == "GetSecret" ||
            (interface && std::string(interface) == "org.freedesktop.Secret.Prompt")) {
            auto* self = static_cast<PromptWatch*>(data);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->calls.push_back(name);
        }
        return message;
    }
};

// Locks the default collection over the bus (the Secret Service locks without asking).
bool lockDefaultCollection() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* alias = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "ReadAlias",
        g_variant_new("(s)", "default"), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    bool locked = false;
    if (alias) {
        const char* path = nullptr;
        g_variant_get(alias, "(&o)", &path);
        const char* objects[] = {path, nullptr};
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock",
            g_variant_new("(^ao)", objects), G_VARIANT_TYPE("(aoo)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
            nullptr);
        if (reply) {
            GVariantIter* done = nullptr;
            const char* prompt = nullptr;
            g_variant_get(reply, "(ao&o)", &done, &prompt);
            locked = g_variant_iter_n_children(done) == 1 && std::string(prompt) == "/";
            g_variant_iter_free(done);
            g_variant_unref(reply);
        }
        g_variant_unref(alias);
    }
    g_object_unref(bus);
    return locked;
}

TEST(AIKeyring, RoundTripThroughGnomeKeyring) {
    if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("AIKeyring.RoundTripThroughGnomeKeyring");
    if (!testutil::startPrivateKeyringDaemon()) {
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

// "Is a key stored" asks nothing of a locked keyring and reads no secret: the item is there.
TEST(AIKeyring, ALockedKeyringHasTheKeyWithoutAPrompt) {
    if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("AIKeyring.ALockedKeyringHasTheKeyWithoutAPrompt");
    if (!testutil::startPrivateKeyringDaemon()) {
        GTEST_SKIP() << "gnome-keyring-daemon did not start";
    }
    AISettings settings = AISettings::standard();
    settings.environment = [](const std::string&) { return std::optional<std::string>(); };
    ASSERT_TRUE(JevLabeler::save("sk-or-guardada", settings));
    ASSERT_TRUE(lockDefaultCollection());

    PromptWatch& watch = PromptWatch::shared();
    ASSERT_NE(watch.bus, nullptr);
    EXPECT_TRUE(JevLabeler::hasKey(settings));
    EXPECT_EQ(watch.seen(), std::vector<std::string>{});

    // Without an item for the account the answer is no, still without asking.
    settings.account = "otra-cuenta";
    EXPECT_FALSE(JevLabeler::hasKey(settings));
    EXPECT_EQ(watch.seen(), std::vector<std::string>{});
}

}  // namespace
