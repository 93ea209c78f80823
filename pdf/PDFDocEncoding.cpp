#include "pdf/PDFDocEncoding.h"

#include <array>

namespace {

// The whole byte-to-scalar table, computed at compile time from the codes that differ from Latin-1.
constexpr std::array<char32_t, 256> makeTable() {
    std::array<char32_t, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = static_cast<char32_t>(i);
    // Undefined codes read as a space.
    for (int i = 0x00; i <= 0x17; ++i)
        if (i != 0x09 && i != 0x0A && i != 0x0D) table[i] = U' ';
    table[0x7F] = table[0x9F] = table[0xAD] = U' ';
    constexpr char32_t low[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
    for (int i = 0; i < 8; ++i) table[0x18 + i] = low[i];
    constexpr char32_t high[31] = {
        0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
        0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
        0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E};
    for (int i = 0; i < 31; ++i) table[0x80 + i] = high[i];
    table[0xA0] = 0x20AC;
    return table;
}

constexpr std::array<char32_t, 256> kTable = makeTable();

}  // namespace

namespace PDFDocEncoding {

char32_t scalar(std::uint8_t byte) { return kTable[byte]; }

}  // namespace PDFDocEncoding
