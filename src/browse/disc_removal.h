// Deleting a disc from the data folder: its record, its two catalogue files
// and its cover pictures.
#pragma once

#include <filesystem>
#include <string_view>

namespace zafirel {

class TTablas;

// Locates the disc whose number is given on the main cursor; when found,
// deletes its catalogue files (missing ones skipped, failures ignored), its
// picture records (so a later disc given the same number does not inherit
// them) and then its record. False when no record has the number.
bool DeleteDisc(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                std::string_view number);

}  // namespace zafirel
