#pragma once
// The identity of an indirect object: object number and generation.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct PDFRef {
    std::int64_t number = 0;
    std::int64_t generation = 0;

    constexpr PDFRef() = default;
    constexpr PDFRef(std::int64_t number, std::int64_t generation = 0)
        : number(number), generation(generation) {}

    // "12 0 R".
    std::string description() const;

    // Ordered by number, then generation.
    friend constexpr auto operator<=>(const PDFRef&, const PDFRef&) = default;
};

template <>
struct std::hash<PDFRef> {
    std::size_t operator()(const PDFRef& ref) const noexcept {
        std::uint64_t h = static_cast<std::uint64_t>(ref.number) * 0x9E3779B97F4A7C15ULL;
        h ^= static_cast<std::uint64_t>(ref.generation) + 0x7F4A7C15ULL + (h << 6) + (h >> 2);
        return static_cast<std::size_t>(h);
    }
};
