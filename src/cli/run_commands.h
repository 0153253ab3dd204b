// The commands that walk a drive: catalogue (a new disc) and update (a
// catalogued disc walked again), and the tables a new data folder needs.
#pragma once

#include <filesystem>

#include "cli/cli_support.h"

namespace zafirel::cli {

enum class Tables { kThere, kCreated, kNotCreated };

// Creates the disc and cover tables a data folder lacks, as the window's
// first start does. The test and the creation are one locked section, so
// programs starting together on a new folder make each table once.
[[nodiscard]] Tables CreateMissingTables(const std::filesystem::path& folder);

int Catalogue(const Options& options);
int Update(const Options& options);

}  // namespace zafirel::cli
