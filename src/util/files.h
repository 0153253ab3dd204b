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

// The size in bytes of a regular file; 0 when it is missing or not a file.
std::uint64_t FileSizeByName(const std::filesystem::path& path);

// Copies source over target (created or replaced) in blocks of 16384 bytes
// and gives the copy the source's modification time. False when the source
// cannot be opened, the target cannot be created, a block could not be read
// or written whole, or both names are the same file (which the copy would
// otherwise truncate).
[[nodiscard]] bool CopiaArchivo(const std::filesystem::path& source,
                                const std::filesystem::path& target);

}  // namespace zafirel
