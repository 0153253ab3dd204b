// A disc walked again is put in place as one change: its new list and tree
// are first written whole beside the old ones ("N.Ct.new", "N.Ind.new"),
// then a note of the change ("N.Act": the record's new fields and which
// files the new ones are) is written, and only then are the files renamed
// over the old ones and the record changed. Whatever ends the program
// midway, the next opening of the data folder either finds no note (the old
// disc is whole; any new file is removed) or completes the change the note
// describes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zafirel {

class TTablas;

struct PendingUpdate {
  std::string number;
  // The record's fields that change, by name (ANSI values).
  std::vector<std::pair<std::string, std::string>> fields;
  // Which files the new list and tree are (their inodes), so that a note
  // whose files never got in place changes nothing.
  ino_t listInode = 0, treeInode = 0;
};

std::filesystem::path PendingListFile(const std::filesystem::path& catalogueFolder,
                                      std::string_view number);
std::filesystem::path PendingTreeFile(const std::filesystem::path& catalogueFolder,
                                      std::string_view number);

// Writes the note of the change of disc number (the record's new fields,
// and which files the new ones are), once both new files are in place beside
// the old ones; false (errno set) when it could not be written.
[[nodiscard]] bool WritePendingUpdate(
    const std::filesystem::path& catalogueFolder, std::string_view number,
    const std::vector<std::pair<std::string, std::string>>& fields);

// Under the data folder's lock: carries out the noted change of disc number
// (renames, record, search index) and removes its note. A note whose files
// are not the disc's is dropped with them; so is one whose disc is gone.
// False (errno set) when a step failed: the note stays for the next try.
// Throws what the table throws when the record cannot be changed.
[[nodiscard]] bool CompletePendingUpdate(TTablas& tablas,
                                         const std::filesystem::path& catalogueFolder,
                                         std::string_view number);

// Drops a change that was not noted yet: its new files go.
void DropPendingFiles(const std::filesystem::path& catalogueFolder, std::string_view number);

// At the opening of the data folder, under its lock, with the disc table
// open: completes every noted change that no live run is making, and
// removes new files without a note. Returns how many changes it completed.
int CompletePendingUpdates(TTablas& tablas, const std::filesystem::path& dataFolder,
                           const std::filesystem::path& catalogueFolder);

}  // namespace zafirel
