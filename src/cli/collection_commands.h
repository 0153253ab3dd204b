// The commands over the whole collection: search, duplicates and statistics.
#pragma once

#include "cli/cli_support.h"

namespace zafirel::cli {

int Search(const Options& options);
int Duplicates(const Options& options);
int Stats(const Options& options);

}  // namespace zafirel::cli
