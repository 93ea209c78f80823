#pragma once
// SHA-1 and SHA-256 over byte runs, one-shot or streamed.

#include "signing/DER.h"

#include <memory>
#include <string>

namespace Digest {

DER::Bytes sha1(const std::uint8_t* data, std::size_t size);
DER::Bytes sha256(const std::uint8_t* data, std::size_t size);
inline DER::Bytes sha1(const DER::Bytes& data) { return sha1(data.data(), data.size()); }
inline DER::Bytes sha256(const DER::Bytes& data) { return sha256(data.data(), data.size()); }

// Upper-case hexadecimal, two digits a byte, no separators.
std::string hexUpper(const std::uint8_t* data, std::size_t size);
inline std::string hexUpper(const DER::Bytes& data) { return hexUpper(data.data(), data.size()); }

// A SHA-256 fed in pieces.
class SHA256 {
public:
    SHA256();
    ~SHA256();
    SHA256(const SHA256&) = delete;
    SHA256& operator=(const SHA256&) = delete;
    void update(const std::uint8_t* data, std::size_t size);
    DER::Bytes finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Digest
