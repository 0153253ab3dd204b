// Helpers on the program's single-byte ANSI (Windows-1252) text.
//
// They run in tight loops over catalogue lines, so everything that can answer
// with a view into its argument does; a returned std::string_view points into
// the caller's text and lives as long as it does. Upper-casing goes through
// 256-entry tables, with an inline per-character form for callers that scan
// bytes themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zafirel {

namespace text_tables {

constexpr std::array<unsigned char, 256> MakeUpperAZ() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return table;
}

// Windows-1252 upper-casing: the Latin-1 letters sit 0x20 below their small
// forms (0xF7, the division sign, has no capital and 0xDF, sharp s, keeps its
// form); the four letters of the 0x80 row pair up separately.
constexpr std::array<unsigned char, 256> MakeUpperAnsi() {
  std::array<unsigned char, 256> table = MakeUpperAZ();
  for (int c = 0xE0; c <= 0xFE; ++c)
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 0x20);
  table[0x9A] = 0x8A;  // s caron
  table[0x9C] = 0x8C;  // oe
  table[0x9E] = 0x8E;  // z caron
  table[0xFF] = 0x9F;  // y diaeresis
  return table;
}

inline constexpr std::array<unsigned char, 256> kUpperAZ = MakeUpperAZ();
inline constexpr std::array<unsigned char, 256> kUpperAnsi = MakeUpperAnsi();

}  // namespace text_tables

// Only a to z change: the rule for every comparison unless told otherwise.
inline char UpperAZChar(char c) {
  return static_cast<char>(text_tables::kUpperAZ[static_cast<unsigned char>(c)]);
}

// The ANSI locale rule: accented letters change too.
inline char UpperAnsiChar(char c) {
  return static_cast<char>(text_tables::kUpperAnsi[static_cast<unsigned char>(c)]);
}

std::string UpperAZ(std::string_view text);
std::string UpperAnsi(std::string_view text);
void UpperAZInPlace(std::string& text);
void UpperAnsiInPlace(std::string& text);

// Equal after a-to-z upper-casing.
bool EqualsNoCaseAZ(std::string_view a, std::string_view b);

// Whether ANSI name a comes before b in the order folders are walked and
// listed: upper-cased Windows-1252 (accented letters included), a name that
// is the start of another first; -1, 0 or 1 as a three-way comparison.
int CompareNamesNoCase(std::string_view a, std::string_view b);

// Pieces got by cutting at the first separator until nothing is left: a
// trailing separator adds no piece, an empty text has none, and an empty
// piece between two separators counts ("a;;b" has three).
int CuentaTrozos(std::string_view text, char separator);

// The piece number n (from 0) of that cutting; empty when there is no such
// piece.
std::string_view Trozo(std::string_view text, char separator, int n);

// Upper-cases (ANSI rule) the first character and every character after a
// blank, "-" or "."; the rest is left as it is.
std::string Capitaliza(std::string_view text);

// Blanks are the space and the control characters below it (CR, LF, tab and
// the NULs a damaged field may hold).
std::string_view TrimRight(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimBlanks(std::string_view text);

// The number a text's digits spell, the rest passed over ("1.234 KB" ->
// 1234, "650 MB" -> 650).
std::uint64_t DigitsOf(std::string_view text);

}  // namespace zafirel
