// Deleting a disc from the data folder: its record, its two catalogue files
// and its cover pictures.
#pragma once

#include <filesystem>
#include <string_view>

namespace zafirel {

class TTablas;

// Under the data folder's write lock, locates the disc whose number is given
// on the main cursor; when found, deletes its record, then its picture
// records (so a later disc given the same number does not inherit them) and
// its catalogue files (missing ones skipped). The record goes first, so an
// interrupted deletion never leaves a disc without its files. False when no
// record has the number; throws when the record cannot be deleted.
bool DeleteDisc(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                std::string_view number);

}  // namespace zafirel
