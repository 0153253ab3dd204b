// A disc's two catalogue files in the catalogue folder, named by its number
// N: "N.Ind" (one line per folder, the full path ending in "\") and "N.Ct"
// (one line per file: path;size in KB;date[;description]). ANSI text, CR LF
// after every line, written whole; an empty list is a 0-byte file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "store/line_list.h"

namespace zafirel {

std::filesystem::path TreeFilePath(const std::filesystem::path& catalogueFolder,
                                   std::string_view number);
std::filesystem::path ListFilePath(const std::filesystem::path& catalogueFolder,
                                   std::string_view number);

// The disc a catalogue file belongs to, by the file's name (UTF-8): the name
// up to its first ".", in ANSI.
std::string DiscNumberOfFile(std::string_view fileName);

// A disc number's value, as the runs' claims count it; UINT64_MAX for a text
// that is no number (empty, a character other than a digit, too long).
std::uint64_t DiscNumberValue(std::string_view number);

// Written through a temporary file renamed over the target; false when the
// file could not be written (the old one is then left as it was).
[[nodiscard]] bool WriteCatalogueFile(const std::filesystem::path& file, const LineList& lines);
// Throws Failure naming the file when it cannot be read; a file larger than
// a LineList holds (LineList::kMostBytes) fails so, with the cause EFBIG.
LineList ReadCatalogueFile(const std::filesystem::path& file);
// The working file a catalogue run writes a catalogue file through ("N.Ct"
// gives "N.Ct.run"); it becomes the file when the run completes.
std::filesystem::path RunWorkingFile(const std::filesystem::path& catalogueFile);
// The disc number of a run's working file, by its name; nothing for any
// other name.
std::optional<std::string> RunWorkingFileNumber(std::string_view fileName);

// Deletes both files of a disc where they exist; true when neither is left.
[[nodiscard]] bool DeleteCatalogueFiles(const std::filesystem::path& catalogueFolder,
                                        std::string_view number);

// The working folders below the data folder, by their on-disc names.
struct WorkingFolders {
  std::filesystem::path data;
  std::filesystem::path catalogos;
  std::filesystem::path busquedas;
  std::filesystem::path exportar;
  std::filesystem::path temp;
};
WorkingFolders FoldersBelow(const std::filesystem::path& dataFolder);

// A file's size in kilobytes of 1024 bytes, rounded up.
std::uint64_t KilobytesOf(std::uint64_t bytes);

}  // namespace zafirel
