// What changed on a disc since it was catalogued: its catalogued file list
// against the list of a new walk, file by file (matched by path, without the
// drive letter), and the new list with what the user wrote into the old one
// carried over.
//
// A walk lists a folder's files, then each subfolder's, every level in name
// order without regard to case; lists in that order are compared as they are
// read, so memory stays a buffer per list whatever the disc holds. A list in
// another order (written by another program, or with entries renamed) is
// sorted in memory first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace zafirel {

class StreamedFile;

// The order of two catalogue paths ("D:\DOCS\A.TXT") as a walk lists them,
// the drive letters passed over: by folder, a folder's own files before its
// subfolders' content, names without regard to case and then byte by byte.
int CompareWalkOrder(std::string_view a, std::string_view b);

enum class ChangeKind { kAdded, kRemoved, kChanged };

// One file that changed; each line as it stands in its list (the missing one
// empty), valid during the visit.
struct FileChange {
  ChangeKind kind;
  std::string_view oldLine, newLine;
};

struct ListComparison {
  std::uint64_t added = 0, removed = 0, changed = 0, unchanged = 0;
  // Files still there whose comment (or other last field) was carried over.
  std::uint64_t commentsKept = 0;
  // Lines that had to be sorted in memory first (neither list was in walk order).
  bool sortedInMemory = false;

  std::uint64_t Changes() const { return added + removed + changed; }
};

// Compares the old list with the new, calling visit (when given) for each
// file added, removed or changed (size or date), in walk order. When kept is
// given, it receives the new list, line for line, with the last field of a
// file still there taken from the old line: a comment typed on it, kept
// unless the file is an archive whose new line carries a description of its
// own and that changed. Throws Failure naming a list that cannot be read.
ListComparison CompareFileLists(const std::filesystem::path& oldList,
                                const std::filesystem::path& newList,
                                const std::function<void(const FileChange&)>& visit,
                                StreamedFile* kept = nullptr);

}  // namespace zafirel
