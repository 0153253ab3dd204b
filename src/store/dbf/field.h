// Field definitions of a dBase table and the "NAME;TYPE;WIDTH;DECIMALS"
// definition lines tables are created from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel::dbf {

// The code page a table stores its text in; key expressions raise letters
// (UPPER) by its rule.
enum class StoredText { kAnsi, kOem };

// type: 'C' character, 'N' numeric, 'M' memo (10-byte block number),
// 'D' date (8 bytes, YYYYMMDD), 'L' logical (1 byte).
struct FieldDef {
  std::string name;  // upper case, at most 10 characters
  char type = 'C';
  int width = 0;
  int decimals = 0;
};

inline constexpr std::size_t kMaxFieldName = 10;

// Parses lines such as "TITULOCD;C;75;0". Names are upper-cased (a to z);
// D and L fields get their fixed widths whatever the line says. Throws
// DbfError("La lista de campos es inválida") for an empty list, a duplicate
// name or a malformed line.
std::vector<FieldDef> ParseFieldList(const std::vector<std::string>& specs);

// True when the definition could be stored in a dBase IV descriptor: a name
// of 1 to 10 letters, digits or "_" starting with a letter, a known type and a
// width and decimals that type allows.
bool IsValidField(const FieldDef& field);

// The bytes a numeric field stores for text: right-aligned, exactly
// `decimals` digits after the point (rounded half up), blanks for an empty
// text. nullopt when the text is not a decimal number or does not fit.
std::optional<std::string> EncodeNumeric(std::string_view text, const FieldDef& field);

}  // namespace zafirel::dbf
