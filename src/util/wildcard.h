// Folder listings by a Windows-style name pattern ("*.htm*", "*.Len", "CDROM.*"):
// '*' matches any run of characters, '?' one character, letters compare
// without regard to case (a to z), as the platform's directory listing does.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

bool MatchesPattern(std::string_view name, std::string_view pattern);

// Names (UTF-8, no folder) of the regular files directly inside `folder`
// that match `pattern`, in name order without regard to case (upper-cased
// Windows-1252, then the names' bytes), as the walker orders a folder's
// names. A missing or unreadable folder gives an empty list.
std::vector<std::string> ListFiles(const std::filesystem::path& folder, std::string_view pattern);

}  // namespace zafirel
