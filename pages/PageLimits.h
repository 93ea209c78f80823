#pragma once
// How long and how much a document's pages may take. Every page is read by a process of its own
// (the page process), which runs under hard limits; the application gives each request a
// deadline and gives the page up when the process does not answer by then.

#include <chrono>
#include <cstdint>

#include "pages/PageProcessMemory.h"

namespace PageLimits {

using std::chrono::milliseconds;

// A build with AddressSanitizer runs the page process's every allocation through the sanitizer,
// several times slower than the build users run: its deadlines are as many times longer, so that
// ordinary pages are read there as they are here.
inline constexpr int slowdown = PageProcessMemory::watchedByParent ? 3 : 1;

// Opening the document in the page process: reading its cross-reference table and page tree.
inline constexpr milliseconds openTime{5000 * slowdown};
// A page's text with its boxes, or its words alone.
inline constexpr milliseconds textTime{2000 * slowdown};
// A page drawn in grey for its ink (the placement search, the form reader).
inline constexpr milliseconds inkTime{2000 * slowdown};
// A tile of the preview.
inline constexpr milliseconds tileTime{5000 * slowdown};

// Address space of the page process: Poppler, its fonts and decoders on top of the document's own
// bytes (added to this). A page that needs more ends the process, not the application.
inline constexpr std::int64_t memoryBytes = std::int64_t(1) << 30;
// Processor time the page process may use for one request before the kernel stops it, should the
// application not be there to end it at its deadline.
inline constexpr int cpuSecondsPerRequest = 10;

// The longest text or words answer the application takes from the page process. A page's text
// travels with a box per UTF-16 unit, 34 bytes a unit: the densest pages of real manuals measured
// here hold about 3,500 characters (some 120 KB of answer), and a page of small print in columns a
// few times that. 32 MB is nearly a million units, far past any page a person reads; an answer
// that says it is longer is not a page's text. (Image answers are bounded by the size asked.)
inline constexpr std::uint64_t maxTextAnswerBytes = std::uint64_t(32) << 20;

}  // namespace PageLimits
