#pragma once
// Secret items by service and account: the generic-password items of the user's profile, the
// handwritten signature and the AI key. A read tells "no item" apart from "could not read", so a
// caller never overwrites an item it could not read.

#include <stdexcept>
#include <string>
#include <string_view>

struct SecretRead {
    enum class Status {
        found,        // the item exists and `data` holds its secret
        absent,       // the service answered: there is no such item
        unavailable,  // no secret service could be reached
        failed,       // the service answered but the item could not be read (locked, refused...)
    };
    Status status = Status::absent;
    std::string data;
    std::string detail;  // why the read failed, for the log
};

// A failed write or removal; what() is a complete Spanish sentence.
class SecretStoreError : public std::runtime_error {
public:
    SecretStoreError(bool unavailable, const std::string& message)
        : std::runtime_error(message), unavailable_(unavailable) {}
    // No secret service could be reached at all.
    bool unavailable() const { return unavailable_; }

private:
    bool unavailable_;
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual SecretRead read(std::string_view service, std::string_view account) = 0;
    // Whether the item exists, found by its attributes without reading its secret and without
    // asking to unlock anything: found, absent, unavailable or failed. An item of a locked
    // collection is found. A store that never asks anything answers with a read.
    virtual SecretRead::Status lookUp(std::string_view service, std::string_view account) {
        return read(service, account).status;
    }
    // Creates the item with `label`, or replaces the data of the existing one. Throws
    // SecretStoreError.
    virtual void write(std::string_view service, std::string_view account, std::string_view label,
                       std::string_view data) = 0;
    // Deletes the item; deleting a missing item is no error. Throws SecretStoreError.
    virtual void remove(std::string_view service, std::string_view account) = 0;
};

namespace SecretMessages {
// The sentences of the secret-store backends.
inline constexpr const char* unavailable =
    "No se ha encontrado ningún depósito de claves (Secret Service) en este equipo; inicia sesión en un escritorio "
    "con depósito de claves, como GNOME Keyring o KWallet, y vuelve a intentarlo.";
inline constexpr const char* writeFailed = "No se ha podido guardar la información en el depósito de claves.";
inline constexpr const char* removeFailed = "No se ha podido borrar la información del depósito de claves.";
}  // namespace SecretMessages
