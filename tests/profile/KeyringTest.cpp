// The profile store through a real Secret Service: this test program runs itself again inside a
// private D-Bus session with its own gnome-keyring daemon and a temporary home.
#include "platform/LibsecretStore.h"
#include "profile/ProfileStore.h"
#include "support/KeyringSession.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>
#include <gio/gio.h>


#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

SavedFact fact(const std::string& kind, const std::string& value) {
    return SavedFact{"empresa", kind, value, {{"via", "Calle Mayor"}}, "B12345674",
                     std::chrono::system_clock::from_time_t(1700000000)};
}

struct ItemInfo {
    bool exists = false;
    bool locked = false;
    std::string label;
    guint64 modified = 0;
};

// Calls the Secret Service directly over the session bus, bypassing libsecret's object caches.
GVariant* callSecrets(const char* path, const char* interface, const char* method, GVariant* arguments) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", path, interface, method, arguments,
                                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    g_object_unref(bus);
    return reply;
}

GVariant* itemProperty(const std::string& path, const char* name) {
    GVariant* reply = callSecrets(path.c_str(), "org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", "org.freedesktop.Secret.Item", name));
    if (!reply) return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    return value;
}

// The profile item's state; its properties stay readable while its collection is locked.
ItemInfo inspectItem() {
    ItemInfo info;
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", ProfileStore::service().c_str());
    g_variant_builder_add(&attributes, "{ss}", "account", ProfileStore::account);
    GVariant* reply = callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "SearchItems",
                                  g_variant_new("(a{ss})", &attributes));
    if (!reply) return info;
    GVariantIter* unlocked = nullptr;
    GVariantIter* locked = nullptr;
    g_variant_get(reply, "(aoao)", &unlocked, &locked);
    const gchar* path = nullptr;
    std::string item;
    if (g_variant_iter_next(unlocked, "&o", &path)) {
        item = path;
    } else if (g_variant_iter_next(locked, "&o", &path)) {
        item = path;
        info.locked = true;
    }
    g_variant_iter_free(unlocked);
    g_variant_iter_free(locked);
    g_variant_unref(reply);
    if (item.empty()) return info;
    info.exists = true;
    if (GVariant* label = itemProperty(item, "Label")) {
        info.label = g_variant_get_string(label, nullptr);
        g_variant_unref(label);
    }
    if (GVariant* modified = itemProperty(item, "Modified")) {
        info.modified = g_variant_get_uint64(modified);
        g_variant_unref(modified);
    }
    return info;
}

// Locks the default collection; true when it is locked afterwards.
bool lockDefault() {
    GVariant* alias = callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "ReadAlias",
                                  g_variant_new("(s)", "default"));
    if (!alias) return false;
    const gchar* collection = nullptr;
    g_variant_get(alias, "(&o)", &collection);
    const gchar* objects[] = {collection};
    GVariant* reply = callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock",
                                  g_variant_new("(@ao)", g_variant_new_objv(objects, 1)));
    bool locked = false;
    if (reply) {
        g_variant_unref(reply);
        GVariant* property = callSecrets(collection, "org.freedesktop.DBus.Properties", "Get",
                                         g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"));
        if (property) {
            GVariant* value = nullptr;
            g_variant_get(property, "(v)", &value);
            locked = g_variant_get_boolean(value);
            g_variant_unref(value);
            g_variant_unref(property);
        }
    }
    g_variant_unref(alias);
    return locked;
}

bool lockDefaultCollection() { return lockDefault() && inspectItem().locked; }

bool startKeyring() { return testutil::startPrivateKeyringDaemon(); }

}  // namespace

TEST(Keyring, RoundTripThroughGnomeKeyring) {
    if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("Keyring.RoundTripThroughGnomeKeyring");
    if (!startKeyring()) GTEST_SKIP() << "gnome-keyring-daemon did not start";

    LibsecretStore secrets;
    std::vector<std::string> logged;
    auto log = [&](std::string_view line) { logged.emplace_back(line); };
    ASSERT_EQ(ProfileStore::load(secrets).status, ProfileStore::Loaded::Status::absent);

    // Create.
    ProfileStore::save(secrets, {fact("telefono", "912 345 678"), fact("web", "pruebas.es")}, log);
    ItemInfo created = inspectItem();
    ASSERT_TRUE(created.exists);
    EXPECT_EQ(created.label, "Tindra: mis datos");
    auto loaded = ProfileStore::load(secrets);
    ASSERT_EQ(loaded.status, ProfileStore::Loaded::Status::stored);
    EXPECT_EQ(loaded.facts, (std::vector<SavedFact>{fact("telefono", "912 345 678"), fact("web", "pruebas.es")}));

    // Replace: the new value of the slot lands at the end.
    ProfileStore::save(secrets, {fact("telefono", "600 000 000")}, log);
    EXPECT_EQ(ProfileStore::facts(secrets),
              (std::vector<SavedFact>{fact("web", "pruebas.es"), fact("telefono", "600 000 000")}));

    // Remove.
    ProfileStore::remove(secrets, fact("web", "pruebas.es"), log);
    EXPECT_EQ(ProfileStore::facts(secrets), (std::vector<SavedFact>{fact("telefono", "600 000 000")}));
    ProfileStore::remove(secrets, fact("telefono", "600 000 000"), log);
    auto empty = secrets.read(ProfileStore::service(), ProfileStore::account);
    ASSERT_EQ(empty.status, SecretRead::Status::found);
    EXPECT_EQ(empty.data, "[]");
    EXPECT_TRUE(logged.empty());

    // The secret-store layer deletes the item itself.
    secrets.remove(ProfileStore::service(), ProfileStore::account);
    EXPECT_FALSE(inspectItem().exists);
    EXPECT_EQ(secrets.read(ProfileStore::service(), ProfileStore::account).status, SecretRead::Status::absent);

    // An existing item gets the new data in place and keeps its label.
    secrets.write(ProfileStore::service(), ProfileStore::account, "Etiqueta anterior", "[]");
    ProfileStore::save(secrets, {fact("web", "guardado.es")}, log);
    EXPECT_EQ(inspectItem().label, "Etiqueta anterior");
    EXPECT_EQ(ProfileStore::facts(secrets), (std::vector<SavedFact>{fact("web", "guardado.es")}));

    // A locked keyring whose unlock cannot be confirmed is unreadable, not empty, and a save
    // leaves the item as it was.
    if (!lockDefaultCollection()) GTEST_SKIP() << "the collection could not be locked";
    ItemInfo before = inspectItem();
    ASSERT_TRUE(before.locked);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(ProfileStore::load(secrets).status, ProfileStore::Loaded::Status::unreadable);
    EXPECT_THROW(ProfileStore::save(secrets, {fact("web", "otro.es")}, log), ProfileStore::Error);
    EXPECT_EQ(logged.size(), 1u);
    ItemInfo after = inspectItem();
    EXPECT_TRUE(after.exists);
    EXPECT_EQ(after.modified, before.modified);
}

// Nothing found in a locked collection that stays locked is no proof that there is no item (some
// services hide the items of a locked collection): the read fails and a save writes nothing.
TEST(Keyring, LockedCollectionIsNotAnEmptyProfile) {
    if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("Keyring.LockedCollectionIsNotAnEmptyProfile");
    if (!startKeyring()) GTEST_SKIP() << "gnome-keyring-daemon did not start";

    LibsecretStore secrets;
    ASSERT_EQ(secrets.read(ProfileStore::service(), ProfileStore::account).status, SecretRead::Status::absent);
    if (!lockDefault()) GTEST_SKIP() << "the collection could not be locked";
    EXPECT_EQ(ProfileStore::load(secrets).status, ProfileStore::Loaded::Status::unreadable);
    std::vector<std::string> logged;
    EXPECT_THROW(ProfileStore::save(secrets, {fact("web", "x.es")}, [&](std::string_view l) { logged.emplace_back(l); }),
                 ProfileStore::Error);
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_FALSE(inspectItem().exists);
}

// With a session bus but no Secret Service, saving fails with a Spanish sentence and reads
// report the service as unavailable.
TEST(Keyring, NoSecretServiceMeansNoSave) {
    if (!testutil::insideKeyringSession()) {
        if (!testutil::haveProgram("dbus-run-session")) GTEST_SKIP() << "dbus-run-session is missing";
        testutil::TempDir home;
        // An empty service folder: nothing can be activated on this bus.
        std::filesystem::create_directories(home.path() / "services");
        testutil::writeFile(home.path() / "bus.conf",
                            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\" "
                            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>"
                            "<type>session</type><listen>unix:tmpdir=/tmp</listen><servicedir>" +
                                (home.path() / "services").string() +
                                "</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        testutil::expectPassedInside(testutil::runInKeyringSession("Keyring.NoSecretServiceMeansNoSave", home.path(),
                                        {"--config-file=" + (home.path() / "bus.conf").string()}));
        return;
    }
    LibsecretStore secrets;
    EXPECT_EQ(secrets.read(ProfileStore::service(), ProfileStore::account).status, SecretRead::Status::unavailable);
    std::vector<std::string> logged;
    try {
        ProfileStore::save(secrets, {fact("web", "x.es")}, [&](std::string_view line) { logged.emplace_back(line); });
        FAIL() << "saved without a Secret Service";
    } catch (const ProfileStore::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Secret Service"), std::string::npos);
    }
    EXPECT_EQ(logged.size(), 1u);
    try {
        secrets.write("es.calverin.Tindra.prueba", "datos", "prueba", "x");
        FAIL() << "wrote without a Secret Service";
    } catch (const SecretStoreError& e) {
        EXPECT_TRUE(e.unavailable());
    }
}
