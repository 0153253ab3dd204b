// The text of an INI file as the settings editor reads and edits it, without
// any file: the same rules as TIniEditor (see there), on bytes in memory.
// The language files are read the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zafirel::ini_text {

// The value of a key in a section, trimmed and without its quotes.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);
// The text with the key set (added where missing), removed, or its whole
// section removed.
std::string SetEntry(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);
std::string DeleteEntry(std::string_view text, std::string_view section, std::string_view key);
std::string DeleteSection(std::string_view text, std::string_view section);
// A stored number as ReadReal and ReadInt take it.
std::optional<double> ParseReal(std::string_view text);
std::optional<long> ParseInt(std::string_view text);

}  // namespace zafirel::ini_text
