#include "platform/LibsecretStore.h"

#include <libsecret/secret.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const SecretSchema* schema() {
    static const SecretSchema value = [] {
        SecretSchema s;
        std::memset(&s, 0, sizeof s);
        s.name = "es.calverin.Tindra.Password";
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &value;
}

struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

struct ObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using Service = std::unique_ptr<SecretService, ObjectUnref>;
using Collection = std::unique_ptr<SecretCollection, ObjectUnref>;

struct HashUnref {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
using Attributes = std::unique_ptr<GHashTable, HashUnref>;

struct ValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
using Value = std::unique_ptr<SecretValue, ValueUnref>;

struct ItemList {
    GList* list = nullptr;
    ~ItemList() { g_list_free_full(list, g_object_unref); }
};

// Errors that mean no Secret Service answers on the session bus.
bool meansUnavailable(const GError* e) {
    if (!e || e->domain != G_DBUS_ERROR) return false;
    switch (e->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
            return true;
        default:
            return e->code >= G_DBUS_ERROR_SPAWN_EXEC_FAILED && e->code <= G_DBUS_ERROR_SPAWN_NO_MEMORY;
    }
}

std::string messageOf(const GError* e) { return e && e->message ? e->message : "unknown error"; }

Attributes attributesFor(std::string_view service, std::string_view account) {
    const std::string s(service), a(account);
    return Attributes(secret_attributes_build(schema(), "service", s.c_str(), "account", a.c_str(), nullptr));
}

// The Secret Service with an open session, or null with the error.
Service connect(Error& error) {
    GError* raw = nullptr;
    Service service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw));
    error.reset(raw);
    if (!service && !error) error.reset(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "no secret service"));
    return service;
}

// The item found by its attributes, with its secret. Absent when the search finds nothing.
SecretRead searchItem(SecretService* secrets, GHashTable* attributes) {
    GError* raw = nullptr;
    ItemList items;
    items.list = secret_service_search_sync(
        secrets, schema(), attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &raw);
    Error error(raw);
    if (error) {
        auto status = meansUnavailable(error.get()) ? SecretRead::Status::unavailable : SecretRead::Status::failed;
        return {status, {}, messageOf(error.get())};
    }
    if (!items.list) return {SecretRead::Status::absent, {}, {}};

    // An item that is still locked after the unlock attempt, or whose secret does not load, is
    // there but unreadable: never report it as absent.
    auto* item = static_cast<SecretItem*>(items.list->data);
    if (secret_item_get_locked(item)) return {SecretRead::Status::failed, {}, "the item is locked"};
    Value value(secret_item_get_secret(item));
    if (!value) {
        raw = nullptr;
        if (secret_item_load_secret_sync(item, nullptr, &raw)) value.reset(secret_item_get_secret(item));
        error.reset(raw);
    }
    if (!value) {
        return {SecretRead::Status::failed, {}, error ? messageOf(error.get()) : "the secret could not be loaded"};
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return {SecretRead::Status::found, std::string(bytes ? bytes : "", bytes ? length : 0), {}};
}

// After a search that found nothing: whether the default collection, where a write puts and
// replaces the item, is open, asking to unlock it when it is locked. Some services (KeePassXC)
// show no items of a locked collection, so nothing found there is not yet "no item".
// Gives absent when it is open (or there is none), failed when it stays locked.
SecretRead defaultCollectionOpen(SecretService* secrets, bool& unlockedNow) {
    unlockedNow = false;
    GError* raw = nullptr;
    Collection collection(
        secret_collection_for_alias_sync(secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &raw));
    Error error(raw);
    if (error) {
        auto status = meansUnavailable(error.get()) ? SecretRead::Status::unavailable : SecretRead::Status::failed;
        return {status, {}, messageOf(error.get())};
    }
    if (!collection || !secret_collection_get_locked(collection.get())) return {SecretRead::Status::absent, {}, {}};

    GList* objects = g_list_append(nullptr, collection.get());
    GList* unlocked = nullptr;
    raw = nullptr;
    secret_service_unlock_sync(secrets, objects, nullptr, &unlocked, &raw);
    error.reset(raw);
    unlockedNow = unlocked != nullptr;
    g_list_free(objects);
    g_list_free_full(unlocked, g_object_unref);
    if (!unlockedNow) {
        return {SecretRead::Status::failed, {},
                error ? messageOf(error.get()) : "the default collection is locked and was not unlocked"};
    }
    return {SecretRead::Status::absent, {}, {}};
}

}  // namespace

SecretRead LibsecretStore::read(std::string_view service, std::string_view account) {
    Error error;
    Service secrets = connect(error);
    if (!secrets) return {SecretRead::Status::unavailable, {}, messageOf(error.get())};

    Attributes attributes = attributesFor(service, account);
    SecretRead result = searchItem(secrets.get(), attributes.get());
    if (result.status != SecretRead::Status::absent) return result;
    bool unlockedNow = false;
    result = defaultCollectionOpen(secrets.get(), unlockedNow);
    if (result.status != SecretRead::Status::absent || !unlockedNow) return result;
    // The collection was locked a moment ago: look again now that its items can be seen.
    return searchItem(secrets.get(), attributes.get());
}

SecretRead::Status LibsecretStore::lookUp(std::string_view service, std::string_view account) {
    Error error;
    Service secrets = connect(error);
    if (!secrets) return SecretRead::Status::unavailable;

    // Locked items are listed too; without SECRET_SEARCH_UNLOCK nothing is unlocked (no prompt),
    // and without SECRET_SEARCH_LOAD_SECRETS no secret is read.
    Attributes attributes = attributesFor(service, account);
    GError* raw = nullptr;
    ItemList items;
    items.list = secret_service_search_sync(secrets.get(), schema(), attributes.get(), SECRET_SEARCH_ALL, nullptr, &raw);
    error.reset(raw);
    if (error) return meansUnavailable(error.get()) ? SecretRead::Status::unavailable : SecretRead::Status::failed;
    return items.list ? SecretRead::Status::found : SecretRead::Status::absent;
}

void LibsecretStore::write(std::string_view service, std::string_view account, std::string_view label,
                           std::string_view data) {
    Error error;
    Service secrets = connect(error);
    if (!secrets) throw SecretStoreError(true, SecretMessages::unavailable);

    Attributes attributes = attributesFor(service, account);
    Value value(secret_value_new(data.data(), static_cast<gssize>(data.size()), "application/octet-stream"));
    auto fail = [](const GError* e) {
        bool unavailable = meansUnavailable(e);
        throw SecretStoreError(unavailable, unavailable ? SecretMessages::unavailable : SecretMessages::writeFailed);
    };

    // The existing item, in whichever collection it is, gets the new secret and keeps its label;
    // a new item goes to the default collection. Storing over the default collection alone would
    // leave a second item beside one kept elsewhere.
    GError* raw = nullptr;
    ItemList items;
    items.list = secret_service_search_sync(secrets.get(), schema(), attributes.get(),
                                            static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK),
                                            nullptr, &raw);
    error.reset(raw);
    if (error) fail(error.get());
    if (items.list) {
        auto* item = static_cast<SecretItem*>(items.list->data);
        if (secret_item_get_locked(item)) throw SecretStoreError(false, SecretMessages::writeFailed);
        raw = nullptr;
        gboolean replaced = secret_item_set_secret_sync(item, value.get(), nullptr, &raw);
        error.reset(raw);
        if (!replaced || error) fail(error.get());
        return;
    }

    const std::string title(label);
    raw = nullptr;
    gboolean stored = secret_service_store_sync(secrets.get(), schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                                title.c_str(), value.get(), nullptr, &raw);
    error.reset(raw);
    if (!stored || error) fail(error.get());
}

void LibsecretStore::remove(std::string_view service, std::string_view account) {
    Error error;
    Service secrets = connect(error);
    if (!secrets) throw SecretStoreError(true, SecretMessages::unavailable);

    Attributes attributes = attributesFor(service, account);
    GError* raw = nullptr;
    secret_service_clear_sync(secrets.get(), schema(), attributes.get(), nullptr, &raw);
    error.reset(raw);
    if (error) {
        bool unavailable = meansUnavailable(error.get());
        throw SecretStoreError(unavailable, unavailable ? SecretMessages::unavailable : SecretMessages::removeFailed);
    }
}
