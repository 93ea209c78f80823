#include "platform/MemorySecretStore.h"

SecretRead MemorySecretStore::read(std::string_view service, std::string_view account) {
    if (readFault == Fault::unavailable) return {SecretRead::Status::unavailable, {}, "no secret service"};
    if (readFault == Fault::failed) return {SecretRead::Status::failed, {}, "the collection is locked"};
    auto it = items.find({std::string(service), std::string(account)});
    if (it == items.end()) return {SecretRead::Status::absent, {}, {}};
    return {SecretRead::Status::found, it->second.data, {}};
}

void MemorySecretStore::write(std::string_view service, std::string_view account, std::string_view label,
                              std::string_view data) {
    if (writeFault == Fault::unavailable) throw SecretStoreError(true, SecretMessages::unavailable);
    if (writeFault == Fault::failed) throw SecretStoreError(false, SecretMessages::writeFailed);
    auto [it, created] = items.try_emplace({std::string(service), std::string(account)});
    if (created) it->second.label = label;
    it->second.data = data;
    ++writes;
}

void MemorySecretStore::remove(std::string_view service, std::string_view account) {
    if (writeFault == Fault::unavailable) throw SecretStoreError(true, SecretMessages::unavailable);
    if (writeFault == Fault::failed) throw SecretStoreError(false, SecretMessages::removeFailed);
    if (items.erase({std::string(service), std::string(account)})) ++writes;
}
