#include "store/data_folder.h"

#include <sys/stat.h>

#include <ctime>
#include <optional>
#include <system_error>
#include <vector>

#include "store/catalogue_files.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/pending_update.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/file_change.h"
#include "util/file_writer.h"
#include "util/files.h"
#include "util/folder_lock.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// The key "STR(VAL(TotFiles))" gives an empty file count: ten characters.
constexpr const char kNoFileCountKey[] = "         0";

struct Unfinished {
  std::string number;
};

// Records without a file count. Through the "Archivos" index only the discs
// whose count reads as 0 are looked at; without it, every record is.
std::vector<Unfinished> FindUnfinished(TTablas& tablas) {
  dbf::Table& discs = tablas.TablaCDRom;
  std::vector<Unfinished> found;
  bool ranged = false;
  try {
    tablas.IndicesCDRom.Select(discs, "Archivos");
    if (auto tag = tablas.IndicesCDRom.CurrentTag()) {
      tag->SetRange(std::string(kNoFileCountKey));
      ranged = true;
    }
  } catch (const std::exception&) {
    tablas.IndicesCDRom.Select(discs, "");
  }
  for (discs.First(); !discs.Eof(); discs.Next())
    if (discs.AsString("TOTFILES").empty()) found.push_back({discs.AsString("AUTO")});
  if (ranged) tablas.IndicesCDRom.CurrentTag()->SetRange(std::nullopt);
  tablas.IndicesCDRom.Select(discs, "");
  return found;
}

// A record of a run that is not running any more: completed when both its
// files are there (the run ended between writing them and counting), else
// removed with whatever file it left.
void MendUnfinished(TTablas& tablas, const fs::path& dataFolder, const fs::path& catalogueFolder,
                    DataFolderRepairs& repairs) {
  for (const Unfinished& disc : FindUnfinished(tablas)) {
    const std::uint64_t number = DiscNumberValue(disc.number);
    if (number == UINT64_MAX || RunClaim::Claimed(dataFolder, number)) continue;
    dbf::Table& discs = tablas.TablaCDRom;
    if (!discs.Locate("AUTO", disc.number) || !discs.AsString("TOTFILES").empty()) continue;
    const fs::path list = ListFilePath(catalogueFolder, disc.number);
    if (IsRegularFile(list) && IsRegularFile(TreeFilePath(catalogueFolder, disc.number))) {
      const std::size_t lines = ReadCatalogueFile(list).size();
      discs.Edit();
      discs.SetString("TOTFILES", std::to_string(lines));
      if (discs.AsString("NUMEROCD").empty()) discs.SetString("NUMEROCD", disc.number);
      discs.Post();
      ++repairs.unfinishedCompleted;
    } else {
      discs.Delete();
      (void)DeleteCatalogueFiles(catalogueFolder, disc.number);  // whatever was left
      ++repairs.unfinishedRemoved;
    }
  }
}

}  // namespace

namespace {

// Removes the leftover temporary files among names, those of folder.
int RemoveLeftoverTempFiles(const fs::path& folder, const std::vector<std::string>& names,
                            bool onlyStale) {
  int removed = 0;
  const std::time_t now = std::time(nullptr);
  for (const std::string& name : names) {
    if (!IsLeftoverTempFile(name)) continue;
    struct stat info {};
    if (onlyStale && (::stat((folder / name).c_str(), &info) != 0 || now - info.st_mtime < 60))
      continue;
    if (RemoveFile(folder / name)) ++removed;
  }
  return removed;
}

}  // namespace

int RemoveLeftoverTempFiles(const fs::path& folder, bool onlyStale) {
  return RemoveLeftoverTempFiles(folder, ListFiles(folder, "*"), onlyStale);
}

void MarkIndexesInDoubt(const fs::path& dataFolder) {
  FolderLock lock(dataFolder);
  // Index files that are none of the table's ten go; the ten are rebuilt.
  for (const std::string& name : ListFiles(dataFolder, "*.mdx")) {
    bool ours = false;
    for (const IndexFile& index : kIndexFiles) ours |= name == index.file;
    if (!ours) (void)RemoveFile(dataFolder / name);
  }
  dbf::Table table(true);
  table.SetFolder(dataFolder);
  table.SetTableName(TTablas::kDiscTableName);
  table.SetShared(true);
  table.Open();
  table.SetIndexesInDoubt(true);
  table.Close();
}

void BuildMissingSearchIndex(const fs::path& dataFolder, const fs::path& catalogueFolder,
                             Dialogs& dialogs, const std::string& progressText) {
  if (ListFiles(catalogueFolder, "*.Ct").empty() ||
      !ListFiles(catalogueFolder, std::string("*") + kIndexExtension).empty())
    return;
  const FolderLock lock(dataFolder, std::chrono::milliseconds(0));
  const std::unique_ptr<Progress> progress = dialogs.ShowProgress(progressText);
  RebuildEvents events;
  // The window is shown and asked about a stop every 50 ms, not at every piece.
  auto shown = std::chrono::steady_clock::now();
  if (progress) {
    progress->SetMaximum(1);
    events.stopped = [&] { return progress->Stopped(); };
    events.progress = [&](std::uint64_t done, std::uint64_t total) {
      const auto now = std::chrono::steady_clock::now();
      if (now - shown < std::chrono::milliseconds(50)) return;
      shown = now;
      progress->Within(done, total);
      dialogs.ProcessEvents();
    };
  }
  (void)RebuildSearchIndex(catalogueFolder, events);
}

DataFolderRepairs PrepareDataFolder(const fs::path& dataFolder, const fs::path& catalogueFolder,
                                    const UpgradeContext& context,
                                    const std::string& indexProgressText,
                                    std::chrono::milliseconds wait) {
  DataFolderRepairs repairs;
  std::optional<FolderLock> lock;
  try {
    lock.emplace(dataFolder, wait);
  } catch (const FolderBusy&) {
    repairs.busy = true;
    return repairs;
  }
  if (ListFiles(dataFolder, TTablas::kDiscTableName).empty()) return repairs;

  // Every field but the album, which the upgrade adds to tables without it.
  UpgradeContext upgrade = context;
  upgrade.requiredFields.clear();
  for (const std::string& field : TTablas::DiscFieldList())
    if (field.rfind("ALBUM;", 0) != 0) upgrade.requiredFields.push_back(field);
  const UpgradeResult upgraded =
      ActualizaTabla("CDROM.Dbf", dataFolder, "ALBUM", "C", "50", 0, upgrade);
  repairs.tableConverted = upgraded.replaced && upgraded.mended == UpgradeReason::kDBase3;
  repairs.tableRepaired = upgraded.replaced && upgraded.mended == UpgradeReason::kMiscounted;
  for (const fs::path& folder : {dataFolder, dataFolder / "Archivos regenerados"})
    repairs.tempFilesRemoved += RemoveLeftoverTempFiles(folder, false);
  const std::vector<std::string> catalogueNames = ListFiles(catalogueFolder, "*");
  repairs.tempFilesRemoved += RemoveLeftoverTempFiles(catalogueFolder, catalogueNames, false);
  // The working files of a run that ended without finishing (a crash).
  for (const std::string& name : catalogueNames)
    if (const std::optional<std::string> number = RunWorkingFileNumber(name))
      if (!RunClaim::Claimed(dataFolder, DiscNumberValue(*number)) &&
          RemoveFile(catalogueFolder / name))
        ++repairs.tempFilesRemoved;

  TTablas tablas;
  tablas.SetFolder(dataFolder);
  repairs.indexesRebuilt = RegeneraIndices(tablas.TablaCDRom, dataFolder, context.dialogs,
                                           indexProgressText, &repairs.tableChangedElsewhere);
  try {
    tablas.OpenDiscTable();
    MendUnfinished(tablas, dataFolder, catalogueFolder, repairs);
    repairs.updatesCompleted = CompletePendingUpdates(tablas, dataFolder, catalogueFolder);
  } catch (const std::exception&) {
    // A table that cannot be opened or changed is reported by whoever opens it next.
  }
  tablas.IndicesCDRom.Detach(tablas.TablaCDRom);
  tablas.TablaCDRom.Close();
  return repairs;
}

}  // namespace zafirel
