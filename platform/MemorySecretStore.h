#pragma once
// Secret items kept in memory, for tests: any fault a real secret service can show can be
// switched on.

#include "platform/SecretStore.h"

#include <map>
#include <string>
#include <utility>

class MemorySecretStore : public SecretStore {
public:
    struct Item {
        std::string label;
        std::string data;
    };
    enum class Fault { none, unavailable, failed };

    SecretRead read(std::string_view service, std::string_view account) override;
    void write(std::string_view service, std::string_view account, std::string_view label,
               std::string_view data) override;
    void remove(std::string_view service, std::string_view account) override;

    std::map<std::pair<std::string, std::string>, Item> items;
    Fault readFault = Fault::none;
    Fault writeFault = Fault::none;
    int writes = 0;   // successful writes and removals
};
