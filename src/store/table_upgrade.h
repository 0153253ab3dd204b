// Brings a dBase table written by an earlier version up to date by rebuilding
// it: a new table with the old fields plus the added (or resized) one, every
// live record copied over by field name, the old files kept in the folder
// "Archivos regenerados" and the new ones put in their place. Each step goes
// to the log "Archivos regenerados/Regenerar<table name>.ini" (ANSI lines,
// CR LF), replaced whole at the end of a run.
//
// Runs at start-up before the table is opened for use. Field and record text
// is copied byte for byte, so an OEM table stays OEM.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "util/dialogs.h"
#include "util/locale.h"

namespace zafirel {

struct UpgradeContext {
  // The text of a language key.
  std::function<std::string(std::string_view key)> traduce;
  Dialogs& dialogs;
  const Locale& locale;
  // Local time of the log's first line; tests pass a fixed one.
  std::function<std::tm()> now;
  // "NAME;TYPE;WIDTH;DECIMALS" lines of the fields the table must have
  // already (all but the one added): a table lacking one is another
  // application's, and is refused untouched, with a message naming them.
  std::vector<std::string> requiredFields = {};
};

// The local time now, for UpgradeContext::now outside the tests.
std::tm LocalTimeNow();

// Why a table that has the field was rebuilt all the same.
enum class UpgradeReason { kNone, kDBase3, kMiscounted };

struct UpgradeResult {
  bool replaced = false;  // the rebuilt table is in place
  UpgradeReason mended = UpgradeReason::kNone;
};

// mode 0: add the field when the table lacks it (a table that has it is left
// alone, no log written, unless it must be rebuilt all the same: a dBase III
// table with its memo, or a header whose record count disagrees with the
// file; the rebuild keeps every record present, the old files in the backup
// folder); mode 1: give the existing field the new type and width. fieldType
// is one of "C", "D", "N", "M"; another letter is logged as a definition
// failure and no new table is made. The texts are ANSI. Exceptions reach the
// caller only when the new table cannot be written (a Failure with the
// system's reason: a full disc) or the record copy fails (a value that does
// not fit the new field, or records and no new table to take them); the old
// table then stays in place and no log is written.
[[nodiscard]] UpgradeResult ActualizaTabla(const std::string& tableName,
                                           const std::filesystem::path& folder,
                                           const std::string& fieldName,
                                           const std::string& fieldType,
                                           const std::string& fieldSize, int mode,
                                           const UpgradeContext& context);

}  // namespace zafirel
