// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

// The code page 932 table of Windows workstations, as the conversion in Cp932.cpp reads it.
// Cp932Table.cpp is generated from Python's cp932 codec by scripts/generate-cp932-table.
namespace Cp932::Table
{

// Rows of the double-byte table: the lead bytes 81-9F, then E0-FC.
constexpr int LeadCount = 0x9F - 0x81 + 1 + 0xFC - 0xE0 + 1;
// Columns: the bytes 40-FC after a lead byte (7F among them, never defined).
constexpr int TrailFirst = 0x40;
constexpr int TrailCount = 0xFC - TrailFirst + 1;

// What each byte decodes to on its own; a lead byte (whose trail did not come) is U+FFFD.
extern const char16_t singles[256];
// The character of each lead/trail pair; 0 where the code page leaves the pair undefined.
extern const char16_t pairs[LeadCount][TrailCount];

// A character and its bytes as one number: one byte below 0x100, else lead * 0x100 + trail.
struct Encoding {
    char16_t ch;
    std::uint16_t bytes;
};
// Every character the code page encodes, sorted by character. Where several pairs decode to
// one character, the pair listed is the one the encoder chooses.
extern const std::span<const Encoding> encodings;

} // namespace Cp932::Table
