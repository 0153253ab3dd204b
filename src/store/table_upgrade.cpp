#include "store/table_upgrade.h"

#include <fcntl.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "store/dbf/table.h"
#include "util/codepage.h"
#include "util/failure.h"
#include "util/file_change.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/files.h"
#include "util/scope_guard.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {

namespace {

const char kBackupFolder[] = "Archivos regenerados";
const char kCopied[] = "Correcto: Tabla copiada con \xE9xito: ";

class UpgradeLog {
 public:
  void Ok(const std::string& text) { lines_.push_back("Correcto: " + text); }
  void Fail(const std::string& text) { lines_.push_back("Fallo: " + text); }
  void Add(const std::string& line) { lines_.push_back(line); }
  void Save(const std::filesystem::path& file) const {
    std::string bytes;
    for (const std::string& line : lines_) bytes += line + "\r\n";
    (void)WriteFileAtomically(file, bytes);  // the log is a report, not data
  }

 private:
  std::vector<std::string> lines_;
};

// Every name the run works with, worked out once. Texts are ANSI, paths host.
struct UpgradeNames {
  std::string table;  // as the caller spelled it
  std::string base;   // table name without extension
  std::string ext;    // its extension with the dot
  std::string folderText;
  std::filesystem::path folder;
  std::filesystem::path backup;

  std::string InFolder(const std::string& entry) const { return folderText + "\\" + entry; }
  std::string InBackup(const std::string& entry) const {
    return folderText + "\\" + kBackupFolder + "\\" + entry;
  }
};

UpgradeNames MakeNames(const std::string& tableName, const std::filesystem::path& folder) {
  UpgradeNames names;
  names.table = tableName;
  names.base = NombreSinExtension(tableName);
  names.ext = tableName.substr(std::min(tableName.size(), names.base.size()));
  std::string text = folder.string();
  if (!text.empty() && text.back() == '\\') text.pop_back();
  names.folder = text;
  names.folderText = Utf8ToAnsi(text);
  names.backup = names.folder / kBackupFolder;
  return names;
}

std::string TwoDigits(int value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string Timestamp(const UpgradeContext& context) {
  std::tm now = context.now();
  return FormatShortDate(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, context.locale) + ", " +
         TwoDigits(now.tm_hour) + ":" + TwoDigits(now.tm_min);
}

bool ParseWidth(const std::string& text, int& width) {
  std::string_view trimmed = TrimBlanks(text);
  const char* end = trimmed.data() + trimmed.size();
  auto [ptr, error] = std::from_chars(trimmed.data(), end, width);
  return !trimmed.empty() && error == std::errc() && ptr == end;
}

// Numbers of any kind come back as whole numbers of width 11: the width the
// engine gives an integer field.
std::string DefinitionLine(const dbf::FieldDef& field) {
  if (field.type == 'N' || field.type == 'F') return field.name + ";N;11;0";
  return field.name + ";" + std::string(1, field.type) + ";" + std::to_string(field.width) + ";0";
}

// A memo's descriptor is always 10 wide; a date's width is fixed by the
// engine and a number without a width gets the integer width.
std::string NewFieldLine(const std::string& name, const std::string& type,
                         const std::string& size) {
  std::string upper = UpperAZ(TrimBlanks(type));
  std::string width;
  if (upper == "C")
    width = size;
  else if (upper == "D")
    width = "0";
  else if (upper == "N")
    width = "11";
  else if (upper == "M")
    width = "10";
  else
    throw std::invalid_argument("unsupported field type");
  return name + ";" + upper + ";" + width + ";0";
}

struct FieldPlan {
  std::vector<std::string> lines;
  bool alreadyUpdated = false;
};

// A table rebuilt only to be mended (it has the field) keeps every field
// exactly as it was.
FieldPlan PlanFields(const std::vector<dbf::FieldDef>& fields, const std::string& fieldName,
                     const std::string& fieldType, const std::string& fieldSize, int mode,
                     bool hasField, UpgradeLog& log) {
  FieldPlan plan;
  const std::string wanted = UpperAZ(fieldName);
  for (const dbf::FieldDef& field : fields) {
    if (mode != 1 && hasField) {
      plan.lines.push_back(field.name + ";" + std::string(1, field.type) + ";" +
                           std::to_string(field.width) + ";" + std::to_string(field.decimals));
      continue;
    }
    if (mode != 1 || UpperAZ(field.name) != wanted) {
      plan.lines.push_back(DefinitionLine(field));
      continue;
    }
    int width = 0;
    if (ParseWidth(fieldSize, width) && width == field.width) {
      plan.alreadyUpdated = true;
      log.Ok("El campo " + fieldName + " existe y ya ha sido actualizado");
    } else {
      plan.lines.push_back(fieldName + ";" + fieldType + ";" + fieldSize + ";0");
    }
  }
  if (mode != 1 && !hasField) plan.lines.push_back(NewFieldLine(fieldName, fieldType, fieldSize));
  return plan;
}

void RemoveFiles(const std::filesystem::path& folder, const std::string& pattern) {
  for (const std::string& entry : ListFiles(folder, pattern)) (void)RemoveFile(folder / entry);
}

// A new table left by an earlier run would make the creation fail; it is
// only an old by-product, so it gives way.
void CreateNewTable(dbf::Table& table, const UpgradeNames& names,
                    const std::vector<std::string>& lines) {
  RemoveFiles(names.backup, AnsiToUtf8(names.base) + "Creada.*");
  table.CreateTable(dbf::ParseFieldList(lines));
}

void CopyRecords(dbf::Table& from, dbf::Table& to, Progress* progress) {
  const std::vector<dbf::FieldDef> fields = from.Fields();
  for (from.First(); !from.Eof(); from.Next()) {
    to.Append();
    for (const dbf::FieldDef& field : fields)
      if (to.FieldIndex(field.name) >= 0) to.SetString(field.name, from.AsString(field.name));
    to.Post();
    if (progress) {
      progress->Step();
      // Stopping leaves the old table in place, untouched.
      if (progress->Stopped()) throw std::runtime_error("the upgrade was stopped");
    }
  }
}

// An existing file of that name in folder, whatever its case, else the name.
std::string SpellingIn(const std::filesystem::path& folder, const std::string& name) {
  std::vector<std::string> found = ListFiles(folder, name);
  return found.empty() ? name : found.front();
}

// The journal of a swap: while it exists, the new files in the backup folder
// are complete and must replace the old ones. Lines "new entry;target".
std::filesystem::path JournalOf(const UpgradeNames& names) {
  return names.backup / AnsiToUtf8("Regenerar" + names.table + ".pendiente");
}

struct SwapStep {
  std::string entry;   // the new file in the backup folder
  std::string target;  // its name in the data folder
};

std::vector<SwapStep> PlanSwap(const UpgradeNames& names) {
  const std::size_t baseLength = AnsiToUtf8(names.base).size();
  std::vector<SwapStep> steps;
  for (const std::string& entry : ListFiles(names.backup, AnsiToUtf8(names.base) + "Creada.*")) {
    if (IsLeftoverTempFile(entry)) continue;
    const std::size_t dot = entry.rfind('.');
    steps.push_back(
        {entry, SpellingIn(names.folder, entry.substr(0, baseLength) +
                                             entry.substr(std::min(dot, entry.size())))});
  }
  return steps;
}

bool WriteJournal(const UpgradeNames& names, const std::vector<SwapStep>& steps) {
  std::string text;
  for (const SwapStep& step : steps) text += step.entry + ";" + step.target + "\n";
  return WriteFileAtomically(JournalOf(names), text);
}

std::vector<SwapStep> ReadJournal(const std::filesystem::path& journal) {
  std::vector<SwapStep> steps;
  std::ifstream in(journal, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t semicolon = line.find(';');
    if (semicolon == std::string::npos) continue;
    SwapStep step{line.substr(0, semicolon), line.substr(semicolon + 1)};
    // Only plain names inside the two folders.
    if (step.entry.find('/') != std::string::npos || step.target.find('/') != std::string::npos ||
        step.entry.empty() || step.target.empty() || step.entry[0] == '.' || step.target[0] == '.')
      continue;
    steps.push_back(std::move(step));
  }
  return steps;
}

// The new files, written through the table engine, reach the disc before
// the journal says they are complete.
bool SyncFiles(const std::filesystem::path& folder, const std::vector<SwapStep>& steps) {
  for (const SwapStep& step : steps) {
    const FileDescriptor file = FileDescriptor::Open(folder / step.entry, O_RDONLY | O_CLOEXEC);
    if (!file.valid() || !SyncDescriptor(file.get())) return false;
  }
  return true;
}

// Each new file replaces its target by a rename: the folder always holds a
// whole old file or a whole new one under each name.
bool CopyNewFilesIn(const UpgradeNames& names, const std::vector<SwapStep>& steps,
                    UpgradeLog& log) {
  bool complete = true;
  for (const SwapStep& step : steps) {
    if (CopyFileAtomically(names.backup / step.entry, names.folder / step.target)) {
      log.Add(kCopied + names.InBackup(Utf8ToAnsi(step.entry)));
    } else {
      log.Add("Fallo:  Tabla no copiada: " + names.InBackup(Utf8ToAnsi(step.entry)));
      complete = false;
    }
  }
  return complete;
}

// Puts the old files back when the new ones could not all be copied in, so
// the folder never ends up with half a table.
bool RestoreOldFiles(const UpgradeNames& names, const std::vector<SwapStep>& steps,
                     const std::vector<std::string>& backedUp, UpgradeLog& log) {
  bool restored = true;
  for (const SwapStep& step : steps) {
    if (std::find(backedUp.begin(), backedUp.end(), step.target) == backedUp.end() &&
        !RemoveFile(names.folder / step.target))
      restored = false;
  }
  for (const std::string& entry : backedUp) {
    if (CopyFileAtomically(names.backup / entry, names.folder / entry)) {
      log.Ok("Tabla restaurada: " + names.InFolder(Utf8ToAnsi(entry)));
    } else {
      log.Fail("Tabla no restaurada: " + names.InFolder(Utf8ToAnsi(entry)));
      restored = false;
    }
  }
  return restored;
}

// Copies every old file into the backup folder; false when one could not be
// copied (the swap must not go on without a way back).
bool BackUpOldFiles(const UpgradeNames& names, std::vector<std::string>& backedUp,
                    UpgradeLog& log) {
  bool all = true;
  for (const std::string& entry : ListFiles(names.folder, AnsiToUtf8(names.base) + ".*")) {
    if (IsLeftoverTempFile(entry)) continue;
    if (!CopyFileAtomically(names.folder / entry, names.backup / entry)) {
      log.Fail("Tabla no copiada: " + names.InBackup(Utf8ToAnsi(entry)));
      all = false;
      continue;
    }
    backedUp.push_back(entry);
    log.Add(kCopied + names.InBackup(Utf8ToAnsi(entry)));
  }
  return all;
}

// Old files that no new file replaces (an old index, say) leave the folder;
// their copies stay in the backup folder.
void RemoveReplacedLeftovers(const UpgradeNames& names, const std::vector<SwapStep>& steps,
                             const std::vector<std::string>& backedUp, UpgradeLog& log) {
  for (const std::string& entry : backedUp) {
    const bool replaced = std::any_of(steps.begin(), steps.end(),
                                      [&](const SwapStep& step) { return step.target == entry; });
    if (replaced || RemoveFile(names.folder / entry))
      log.Ok("Tabla borrada con \xE9xito: " + names.InFolder(Utf8ToAnsi(entry)));
    else
      log.Fail("Tabla no borrada: " + names.InFolder(Utf8ToAnsi(entry)));
  }
}

// The old table goes to the backup folder as a copy, the journal is written,
// the new files are renamed into place, and the journal goes. Killed at any
// point, the folder holds the old table whole (no journal yet) or the next
// start finishes the swap from the journal.
// True when the new table is in place.
[[nodiscard]] bool SwapFiles(const UpgradeNames& names, UpgradeLog& log) {
  const std::vector<SwapStep> steps = PlanSwap(names);
  std::vector<std::string> backedUp;
  if (!BackUpOldFiles(names, backedUp, log) || !SyncFiles(names.backup, steps) ||
      !WriteJournal(names, steps)) {
    log.Fail("Tabla no actualizada: " + names.InFolder(names.table));
    return false;
  }
  if (!CopyNewFilesIn(names, steps, log)) {
    if (RestoreOldFiles(names, steps, backedUp, log)) (void)RemoveFile(JournalOf(names));
    return false;
  }
  RemoveReplacedLeftovers(names, steps, backedUp, log);
  (void)RemoveFile(JournalOf(names));
  return true;
}

// A swap cut short: the journal names the complete new files, which are
// copied in again (each by a rename), so the folder ends with the new table.
void FinishSwap(const UpgradeNames& names, const UpgradeContext& context) {
  UpgradeLog log;
  log.Ok("Archivo creado : " + Timestamp(context));
  log.Ok("Tabla : " + names.table);
  const std::vector<SwapStep> steps = ReadJournal(JournalOf(names));
  std::error_code error;
  const bool whole = !steps.empty() && std::all_of(steps.begin(), steps.end(), [&](auto& step) {
    return std::filesystem::is_regular_file(names.backup / step.entry, error);
  });
  if (whole && CopyNewFilesIn(names, steps, log)) {
    (void)RemoveFile(JournalOf(names));
    log.Ok("Actualizaci\xF3n interrumpida terminada: " + names.InFolder(names.table));
  } else if (!whole) {
    // The new files are gone: the old table comes back from its copies in
    // the backup folder, and the next start upgrades it again.
    bool restored = true;
    for (const std::string& entry : ListFiles(names.backup, AnsiToUtf8(names.base) + ".*"))
      restored &= CopyFileAtomically(names.backup / entry, names.folder / entry);
    if (restored) (void)RemoveFile(JournalOf(names));
    log.Fail("Actualizaci\xF3n interrumpida sin tabla nueva: " + names.InFolder(names.table));
  }
  log.Save(names.backup / AnsiToUtf8("Regenerar" + names.table + ".ini"));
}

bool HasField(const dbf::Table& table, const std::string& name) {
  return table.FieldIndex(name) >= 0;
}

// The fields of the list the table lacks (by name and type), named with
// ", " between them; empty when it has them all.
std::string MissingFields(const dbf::Table& table, const std::vector<std::string>& required) {
  std::string missing;
  for (const dbf::FieldDef& field : dbf::ParseFieldList(required)) {
    const int index = table.FieldIndex(field.name);
    if (index >= 0 && table.Fields()[static_cast<std::size_t>(index)].type == field.type) continue;
    missing += (missing.empty() ? "" : ", ") + field.name;
  }
  return missing;
}

// Why a table that has the field must be rebuilt all the same; empty when
// it need not.
UpgradeReason MendReason(dbf::Table& table) {
  if (table.NeedsUpgrade()) return UpgradeReason::kDBase3;
  if (table.CountDamaged()) return UpgradeReason::kMiscounted;
  return UpgradeReason::kNone;
}

const char* MendLogLine(UpgradeReason reason) {
  return reason == UpgradeReason::kDBase3
             ? "La tabla y su archivo de memos son de dBase III, procediendo..."
             : "La cabecera no cuenta los registros que tiene el archivo, procediendo...";
}

bool MakeBackupFolder(const UpgradeNames& names, const UpgradeContext& context) {
  std::error_code error;
  if (std::filesystem::is_directory(names.backup, error)) return true;
  if (std::filesystem::create_directory(names.backup, error) && !error) return true;
  context.dialogs.PonerMensaje(context.traduce("ErrorCrearDirectorio") + " " +
                               names.InFolder(kBackupFolder) + " (" +
                               CauseText(context.traduce, error.value()) + ")");
  return false;
}

// Steps from the definition lines to the closed tables; true when the new
// table holds every record and may replace the old one.
bool RebuildTable(dbf::Table& oldTable, const UpgradeNames& names, const std::string& fieldName,
                  const std::string& fieldType, const std::string& fieldSize, int mode,
                  const UpgradeContext& context, UpgradeLog& log, bool& alreadyUpdated) {
  std::unique_ptr<Progress> progress =
      context.dialogs.ShowProgress(context.traduce("Actualizando") + " " + names.table);
  dbf::Table newTable(false);
  newTable.SetFolder(names.backup);
  newTable.SetTableName(AnsiToUtf8(names.base + "Creada" + names.ext));
  // Both tables close however the copy ends.
  const ScopeGuard closer([&] {
    oldTable.Close();
    newTable.Close();
  });

  bool created = false;
  try {
    FieldPlan plan = PlanFields(oldTable.Fields(), fieldName, fieldType, fieldSize, mode,
                                HasField(oldTable, fieldName), log);
    alreadyUpdated = plan.alreadyUpdated;
    if (!alreadyUpdated) {
      CreateNewTable(newTable, names, plan.lines);
      created = true;
    }
  } catch (const std::exception& error) {
    log.Fail("Fallo al asignar todos los campos a la tabla Destino");
    // The disc refused the new table (full, read-only): that reason is the
    // one the caller reports, not the copy's into no table.
    if (const auto* failure = dynamic_cast<const Failure*>(&error); failure && failure->Cause())
      throw;
  }
  // With the field already at its width no new table was meant to exist.
  if (alreadyUpdated) return false;

  // A table of that name that this run did not create is a leftover and
  // never takes the records.
  bool opened = false;
  try {
    if (created) newTable.Open();
    opened = created;
  } catch (const std::exception&) {
  }
  if (!opened) log.Fail("Fallo al abrir la tabla Destino");

  oldTable.First();
  const std::uint32_t count = oldTable.RecordCount();
  if (progress) progress->SetMaximum(static_cast<int>(count));
  log.Ok("Exportando " + std::to_string(count) + " registros");
  // Records and no new table to take them: the copy fails and the error
  // reaches the caller with the old table still in place.
  CopyRecords(oldTable, newTable, progress.get());
  if (progress) progress->SetPosition(static_cast<int>(count));
  // Record numbers change with the rebuild: whatever indexes the folder
  // holds no longer fit the new table, which says so until they are rebuilt.
  if (created && opened) newTable.SetIndexesInDoubt(true);
  return created && opened;
}

}  // namespace

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

UpgradeResult ActualizaTabla(const std::string& tableName, const std::filesystem::path& folder,
                             const std::string& fieldName, const std::string& fieldType,
                             const std::string& fieldSize, int mode,
                             const UpgradeContext& context) {
  const UpgradeNames names = MakeNames(tableName, folder);
  if (mode != 1 && !context.requiredFields.empty()) {
    // Another application's table is refused before anything is written.
    dbf::Table table(false);
    table.SetFolder(names.folder);
    table.SetTableName(AnsiToUtf8(names.table));
    std::string missing;
    try {
      table.Open();
      missing = MissingFields(table, context.requiredFields);
    } catch (const std::exception&) {
      // Not a table at all: the steps below log it.
    }
    if (!missing.empty()) {
      context.dialogs.PonerMensaje(context.traduce("TablaAjena") + " " +
                                   Utf8ToAnsi(table.Path().string()) + ": " + missing);
      return {};
    }
  }
  if (!MakeBackupFolder(names, context)) return {};
  std::error_code error;
  if (std::filesystem::exists(JournalOf(names), error)) FinishSwap(names, context);
  const std::filesystem::path logFile =
      names.backup / AnsiToUtf8("Regenerar" + names.table + ".ini");
  UpgradeLog log;

  dbf::Table oldTable(false);
  oldTable.SetFolder(names.folder);
  oldTable.SetTableName(AnsiToUtf8(names.table));
  try {
    oldTable.Open();
  } catch (const std::exception&) {
    log.Fail("Tabla Origen no fue creada");
    log.Save(logFile);
    return {};
  }
  if (names.base.empty()) {
    oldTable.Close();
    log.Fail("Tabla Destino no fue creada");
    log.Save(logFile);
    return {};
  }
  UpgradeResult result;
  result.mended = mode != 1 ? MendReason(oldTable) : UpgradeReason::kNone;
  if (mode != 1 && HasField(oldTable, fieldName) && result.mended == UpgradeReason::kNone) {
    oldTable.Close();
    return result;
  }

  log.Ok("Archivo creado : " + Timestamp(context));
  log.Ok("Tabla : " + names.table);
  if (mode != 1 && !HasField(oldTable, fieldName))
    log.Ok("El campo " + fieldName + " no existe, procediendo...");
  if (result.mended != UpgradeReason::kNone) log.Ok(MendLogLine(result.mended));

  bool alreadyUpdated = false;
  bool replace = RebuildTable(oldTable, names, fieldName, fieldType, fieldSize, mode, context, log,
                              alreadyUpdated);
  result.replaced = replace && SwapFiles(names, log);
  log.Save(logFile);
  return result;
}

}  // namespace zafirel
