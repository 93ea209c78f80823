#pragma once
// Who bounds the page process's memory. Normally the process itself, with an address-space limit;
// a build with AddressSanitizer reserves terabytes of address space for its shadow memory, so
// there the application watches the process's resident memory and ends it past the same bound.

namespace PageProcessMemory {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool watchedByParent = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool watchedByParent = true;
#else
inline constexpr bool watchedByParent = false;
#endif
#else
inline constexpr bool watchedByParent = false;
#endif

}  // namespace PageProcessMemory
