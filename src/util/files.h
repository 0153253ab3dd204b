// Small file helpers shared by the table upgrade, the catalogue run and the
// browsing pages. Host paths are std::filesystem::path; the Windows-style paths
// the user sees are plain ANSI text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zafirel {

// The file name of a path without its folders ("\" or "/") and without its
// last extension: "D:\DATOS\CDROM.DBF" gives "CDROM", "a.tar.gz" gives "a.tar".
std::string NombreSinExtension(std::string_view path);

// Whether a regular file is there (no error when the folder is missing).
bool IsRegularFile(const std::filesystem::path& path);

}  // namespace zafirel
