// The one text type of the core: UTF-16 code units with Windows semantics
// (lengths count UTF-16 units, case folding is per unit as the registry does
// it). Conversion to other encodings happens only at adapters and file formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hs {

using Text = std::u16string;
using TextView = std::u16string_view;

// UTF-8 <-> UTF-16. Malformed input and unpaired surrogates become U+FFFD.
Text FromUtf8(std::string_view utf8);
std::string ToUtf8(TextView text);

// Single-byte Windows code page 1252 (the "ANSI" text of REGEDIT4 files and
// single-byte archive strings on an English system).
Text FromCp1252(std::string_view bytes);

// Upper-case mapping of one UTF-16 unit as the registry compares names:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char16_t UpcaseUnit(char16_t c);
char16_t LowercaseUnit(char16_t c);
Text Upcase(TextView text);
Text Lowercase(TextView text);
bool EqualsNoCase(TextView a, TextView b);
// <0, 0, >0 as the registry orders names (by their upper-case form).
int CompareNoCase(TextView a, TextView b);
bool StartsWithNoCase(TextView text, TextView prefix);

// Trims the white space that the C runtime's iswspace knows in the ASCII range
// (space, tab, CR, LF, VT, FF).
Text Trim(TextView text);

// Splits at every occurrence of sep (empty pieces kept).
std::vector<Text> Split(TextView text, char16_t sep);

// Decimal formatting helpers for log lines and file names.
Text ToText(std::int64_t value);
// printf-style zero-padded decimal, e.g. ZeroPad(7, 8) == u"00000007".
Text ZeroPad(std::uint64_t value, int width);

// Raw little-endian UTF-16 bytes of a text (no terminator) and back.
std::vector<std::uint8_t> ToUtf16leBytes(TextView text);
Text FromUtf16leBytes(const std::uint8_t* data, std::size_t size);

}  // namespace hs
