#pragma once
// A half-open range of positions in a pasted text. Positions are UTF-16 code-unit offsets, the
// unit a text view uses, so the profile pane can highlight a fact's source directly.

#include <cstddef>

struct TextRange {
    std::size_t start = 0;
    std::size_t end = 0;

    std::size_t length() const { return end > start ? end - start : 0; }
    bool empty() const { return end <= start; }
    // True when both ranges are non-empty and share at least one position; ranges that only
    // touch do not overlap.
    bool overlaps(const TextRange& other) const {
        return !empty() && !other.empty() && start < other.end && other.start < end;
    }
    bool operator==(const TextRange&) const = default;
};
