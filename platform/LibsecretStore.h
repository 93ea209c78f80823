#pragma once
// Secret items in the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC) through
// libsecret. Items carry the attributes "service" and "account"; new items go to the default
// collection. There is no fallback: without a Secret Service reads report it and writes throw.

#include "platform/SecretStore.h"

class LibsecretStore : public SecretStore {
public:
    SecretRead read(std::string_view service, std::string_view account) override;
    SecretRead::Status lookUp(std::string_view service, std::string_view account) override;
    void write(std::string_view service, std::string_view account, std::string_view label,
               std::string_view data) override;
    void remove(std::string_view service, std::string_view account) override;
};
