#include "scan/disc_update.h"

#include <cerrno>

#include "store/catalogue_files.h"
#include "store/pending_update.h"
#include "store/tablas.h"
#include "util/failure.h"
#include "util/file_writer.h"
#include "util/files.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotWrite(const fs::path& file, int cause, const std::string& number) {
  throw zafirel::Failure("ErrorEscribirCatalogo",
                         "No se pueden escribir los archivos del cat\xE1logo", file, cause, number);
}

}  // namespace

DiscUpdate::DiscUpdate(TTablas& tablas, const DriveMap& drives, const Locale& locale)
    : run(tablas, drives, locale), tablas_(tablas) {}

fs::path DiscUpdate::OldList() const {
  const fs::path list = ListFilePath(run.catalogueFolder, number_);
  // A disc whose list went missing had no files to keep.
  return IsRegularFile(list) ? list : fs::path("/dev/null");
}

RunResult DiscUpdate::Walk(const std::string& number, const std::string& root, bool subfolders,
                           const RunHooks& hooks) {
  Discard();
  switch (run.PrepareDrive(root)) {
    case CatalogueRun::DriveCheck::kNotARoot:
      return {RunOutcome::kNotARoot};
    case CatalogueRun::DriveCheck::kDriveError:
      return {RunOutcome::kDriveError};
    case CatalogueRun::DriveCheck::kNotAnImage:
      return {RunOutcome::kNotAnImage, root};
    case CatalogueRun::DriveCheck::kReady:
      break;
  }
  dbf::Table& discs = tablas_.TablaCDRom;
  if (!discs.Locate("AUTO", number)) return {RunOutcome::kNoSuchDisc, number};
  title_ = discs.AsString("TITULOCD");
  record_ = {{"ETIQUETA", discs.AsString("ETIQUETA"), run.Discos.VolumeName()},
             {"NSERIECD", discs.AsString("NSERIECD"), run.Discos.SerialNumber()},
             {"BYTESCD", discs.AsString("BYTESCD"), {}},
             {"TOTFILES", discs.AsString("TOTFILES"), {}},
             {"UNIDAD", discs.AsString("UNIDAD"), run.Buscador.Location().substr(0, 1)}};
  // The drive may hold another disc of the collection: that one is not this.
  const std::string serial = run.Discos.SerialNumber();
  for (discs.First(); !discs.Eof(); discs.Next())
    if (discs.AsString("NSERIECD") == serial && discs.AsString("AUTO") != number)
      return {RunOutcome::kDuplicate, discs.AsString("TITULOCD")};
  if (!run.CatalogueFolderWritable()) return {RunOutcome::kFolderNotWritable};
  if (!run.ClaimNumber(number)) return {RunOutcome::kBusy};
  number_ = number;

  if (hooks.beforeAppend) hooks.beforeAppend();
  std::string walkFailure;
  try {
    run.Walk(subfolders);
  } catch (const std::exception& error) {
    walkFailure = error.what();
    if (hooks.walkFailed) hooks.walkFailed(walkFailure);
  }
  if (hooks.afterWalk) hooks.afterWalk();
  if (run.Stopped()) {
    Discard();
    return {RunOutcome::kStopped};
  }
  // A walk cut short would show every file it missed as removed.
  if (!walkFailure.empty()) {
    Discard();
    return {RunOutcome::kDriveError, walkFailure};
  }
  try {
    if (run.WriteFailed()) CannotWrite(run.catalogueFolder, 0, number_);
    (void)run.WalkedList();
  } catch (const std::exception&) {
    const std::exception_ptr failure = std::current_exception();
    Discard();
    return {RunOutcome::kFilesNotWritten, {}, failure};
  }
  const RunProgress& walked = run.Progress();
  record_[2].after =
      run.Discos.WholeVolume() ? run.Discos.TotalDiskSpace() : MegabytesText(walked.bytes);
  record_[3].after = std::to_string(walked.files);
  std::erase_if(record_, [](const RecordChange& change) { return change.before == change.after; });
  return {RunOutcome::kCatalogued};
}

ListComparison DiscUpdate::Compare(const std::function<void(const FileChange&)>& visit) {
  return CompareFileLists(OldList(), run.WalkedList(), visit);
}

bool DiscUpdate::Apply() {
  failure_ = nullptr;
  const fs::path& folder = run.catalogueFolder;
  bool noted = false;
  try {
    FolderLock lock(tablas_.Folder());
    if (!tablas_.TablaCDRom.Locate("AUTO", number_))
      throw zafirel::Failure("DiscoNoEncontrado", "El disco ya no est\xE1 en la tabla", {}, 0,
                             number_);
    // The list as it stands now: a comment typed meanwhile is kept too.
    const fs::path list = PendingListFile(folder, number_);
    const fs::path tree = PendingTreeFile(folder, number_);
    StreamedFile kept(list);
    (void)CompareFileLists(OldList(), run.WalkedList(), {}, &kept);
    if (!kept.Commit()) CannotWrite(list, errno, number_);
    if (!run.CommitWalkedTree(tree)) {
      const int cause = errno;
      DropPendingFiles(folder, number_);
      CannotWrite(tree, cause, number_);
    }
    std::vector<std::pair<std::string, std::string>> fields;
    for (const RecordChange& change : record_) fields.emplace_back(change.field, change.after);
    if (!WritePendingUpdate(folder, number_, fields)) {
      const int cause = errno;
      DropPendingFiles(folder, number_);
      CannotWrite(folder, cause, number_);
    }
    noted = true;
    if (!CompletePendingUpdate(tablas_, folder, number_)) CannotWrite(folder, errno, number_);
  } catch (const std::exception&) {
    failure_ = std::current_exception();
    if (!noted) DropPendingFiles(folder, number_);
    return false;
  }
  Discard();
  return true;
}

void DiscUpdate::Discard() {
  run.EndClaim();
  number_.clear();
}

}  // namespace zafirel
