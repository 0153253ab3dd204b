#include "scan/catalogue_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "scan/disc_image.h"
#include "scan/zip_description.h"
#include "store/catalogue_files.h"
#include "store/dbf/dbf_error.h"
#include "store/disc_removal.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/failure.h"
#include "util/file_change.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

std::string FileListLine(const std::string& folder, const FileInfo& info, const Locale& locale,
                         const std::string& suffix) {
  std::string line;
  line.reserve(folder.size() + info.name.size() + 24 + suffix.size());
  line += folder;
  line += info.name;
  line += ';';
  line += std::to_string(KilobytesOf(info.size));
  line += ';';
  line += FormatShortDate(info.modified.tm_year + 1900, info.modified.tm_mon + 1,
                          info.modified.tm_mday, locale);
  line += suffix;
  return line;
}

CatalogueRun::CatalogueRun(TTablas& tablas, const DriveMap& drives, const Locale& locale)
    : Buscador(drives), Discos(drives), tablas_(tablas), drives_(drives), locale_(locale) {}

CatalogueRun::DriveCheck CatalogueRun::PrepareDrive(const std::string& root) {
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return DriveCheck::kNotARoot;
  const std::optional<fs::path> host = drives_.FolderOf(root[0]);
  std::error_code ec;
  if (host && fs::is_regular_file(*host, ec) && !DiscImage::Open(*host))
    return DriveCheck::kNotAnImage;
  try {
    Buscador.SetLocation(root);
    Discos.SetDrive(root);
  } catch (const std::exception&) {
    return DriveCheck::kDriveError;
  }
  return DriveCheck::kReady;
}

std::optional<std::string> CatalogueRun::DuplicateTitle() {
  dbf::Table& discs = tablas_.TablaCDRom;
  if (!discs.Locate("NSERIECD", Discos.SerialNumber())) return std::nullopt;
  return discs.AsString("TITULOCD");
}

bool CatalogueRun::CatalogueFolderWritable() const {
  std::error_code ec;
  return fs::is_directory(catalogueFolder, ec) &&
         ::access(catalogueFolder.c_str(), W_OK | X_OK) == 0;
}

void CatalogueRun::AppendDisc() {
  FolderLock lock(tablas_.Folder());
  int next = tablas_.IncrementaNHistoria();
  // A live run elsewhere may hold the number (its record deleted meanwhile).
  for (int tries = 0; !claim_.Claim(tablas_.Folder(), static_cast<std::uint64_t>(next)); ++next)
    if (tries++ > 1000) throw std::runtime_error("No hay n\xFAmero libre para el disco");
  const std::string number = std::to_string(next);
  dbf::Table& discs = tablas_.TablaCDRom;
  discs.Append();
  NumeroNuevo = number;
  discs.SetString("AUTO", number);
  discs.SetString("UNIDAD", Buscador.Location().substr(0, 1));
  discs.SetString("NUMEROCD", "");
  discs.SetString("NSERIECD", Discos.SerialNumber());
  discs.SetString("ETIQUETA", Discos.VolumeName());
  const std::string label = Discos.VolumeName();
  discs.SetString("TITULOCD", TitleForLabel(label));
  discs.SetString("BYTESCD", Discos.TotalDiskSpace());
  try {
    discs.Post();
    newRecNo_ = discs.RecNo();
  } catch (const std::exception&) {
    discs.Cancel();
    NumeroNuevo.clear();
    claim_.Release();
    throw;
  }
}

void CatalogueRun::Walk(bool subfolders) {
  // The last run's description thread goes before the copies it kept.
  lines_.reset();
  copies_.reset();
  progress_ = RunProgress{};
  progress_.totalBytes = Discos.UsedBytes();
  writeFailed_ = false;
  started_ = std::chrono::steady_clock::now();
  lastTick_ = started_ - progressInterval;  // the first folder is shown at once
  const ScopeGuard clock([&] {
    elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    progress_.seconds = elapsedSeconds;
  });
  list_ = StreamedFile(ListFilePath(catalogueFolder, NumeroNuevo),
                       RunWorkingFile(ListFilePath(catalogueFolder, NumeroNuevo)));
  tree_ = StreamedFile(TreeFilePath(catalogueFolder, NumeroNuevo),
                       RunWorkingFile(TreeFilePath(catalogueFolder, NumeroNuevo)));
  if (!list_.ok() || !tree_.ok()) {
    writeFailed_ = true;
    throw Failure("ErrorEscribirCatalogo", "No se pueden escribir los archivos del cat\xE1logo",
                  list_.ok() ? tree_.working() : list_.working(),
                  list_.ok() ? tree_.error() : list_.error(), NumeroNuevo);
  }
  Buscador.SetFilename("*.*");
  Buscador.Subfolders = subfolders;
  Buscador.Archives = Archives;
  lines_.emplace(list_);
  Buscador.OnNewFolder = [this](TFindFile&, const std::string& folder, bool&) {
    describedFolder_.reset();
    tree_.Append(folder);
    tree_.Append("\r\n");
    Written(tree_);
    ++progress_.folders;
    Tick(&folder);
  };
  Buscador.OnFound = [this](TFindFile&, const std::string& folder, FileInfo& info) {
    BuscadorFound(folder, info);
  };
  Buscador.OnBusy = [this](TFindFile&) { Tick(nullptr); };
  const auto finishLines = [&] {
    describedFolder_.reset();
    if (Stopped()) return;  // the disc goes again: nothing waiting is wanted
    lines_->Finish();
    Written(list_);
    // The copies are a by-product: the descriptions are in the lines.
    if (copies_) (void)copies_->Flush();
  };
  try {
    Buscador.Execute();
  } catch (...) {
    finishLines();
    throw;
  }
  finishLines();
}

void CatalogueRun::Written(StreamedFile& file) {
  if (file.ok() || writeFailed_) return;
  writeFailed_ = true;
  Buscador.Abort();
}

void CatalogueRun::Tick(const std::string* folder) {
  if (!onProgress) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastTick_ < progressInterval) return;
  lastTick_ = now;
  if (folder != nullptr) progress_.folder = *folder;
  progress_.seconds = std::chrono::duration<double>(now - started_).count();
  try {
    onProgress(progress_);
  } catch (const std::exception&) {
    // A failure while showing the progress does not end the walk.
  }
}

DescribedLines::Ending CatalogueRun::ZipEnding(const FileInfo& info) {
  if (!copies_) copies_.emplace(tempFolder);
  // Only the last copy of each name is wanted: a few names at a time are kept.
  if (copies_->Kept() > 64) (void)copies_->Flush();
  DescriptionCopies* copies = &*copies_;
  const std::uint64_t turn = ++zipTurn_;  // the archive's place in the walk
  const auto described = [](const auto& read) -> std::string {
    try {
      return read().LineSuffix();
    } catch (const std::exception&) {
      return ZipDescription{ZipDescription::Kind::kUnreadable, {}}.LineSuffix();
    }
  };
  if (!Buscador.ImageFile().empty()) {
    // Inside a disc image the archive is read where it lies in the image.
    if (!info.imageOffset)
      return [] { return ZipDescription{ZipDescription::Kind::kUnreadable, {}}.LineSuffix(); };
    return [=, image = Buscador.ImageFile(), offset = *info.imageOffset, size = info.size] {
      return described([&] { return ReadZipDescription(image, offset, size, *copies, turn); });
    };
  }
  // A copy of the walker's descriptor, which the walker may close before
  // the archives are read; a copy that cannot be made reads as unreadable.
  if (!describedFolder_)
    describedFolder_ =
        std::make_shared<FileDescriptor>(::fcntl(Buscador.CurrentFolderFd(), F_DUPFD_CLOEXEC, 0));
  return [=, folder = describedFolder_,
          name = std::string(info.hostName ? info.hostName : info.name.c_str()), size = info.size] {
    return described(
        [&] { return ReadZipDescription(folder->get(), name.c_str(), size, *copies, turn); });
  };
}

void CatalogueRun::BuscadorFound(const std::string& folder, const FileInfo& info) {
  const std::size_t dot = info.name.rfind('.');
  if (Zips && !info.inArchive && dot != std::string::npos &&
      UpperAZ(info.name.substr(dot)) == ".ZIP")
    lines_->AddDescribed(FileListLine(folder, info, locale_, {}), ZipEnding(info));
  else
    lines_->Add(FileListLine(folder, info, locale_, {}));
  Written(list_);
  ++progress_.files;
  progress_.bytes += info.size;
  Tick(&folder);
}

// The run's own record: its number, this drive's serial and no count yet,
// found where it was appended (another record holding the same number never
// stands in for it), else by its number.
bool CatalogueRun::LocateNewDisc() {
  dbf::Table& discs = tablas_.TablaCDRom;
  const auto isOurs = [&] {
    return discs.AsString("AUTO") == NumeroNuevo &&
           discs.AsString("NSERIECD") == Discos.SerialNumber() &&
           discs.AsString("TOTFILES").empty();
  };
  if (NumeroNuevo.empty()) return false;
  try {
    discs.GoTo(newRecNo_);
    if (isOurs()) return true;
  } catch (const dbf::DbfError&) {
    // Gone from its place: looked for by number.
  }
  return discs.Locate("AUTO", NumeroNuevo) && isOurs();
}

void CatalogueRun::DiscardDisc() {
  list_.Discard();
  tree_.Discard();
  if (!NumeroNuevo.empty()) {
    FolderLock lock(tablas_.Folder());
    if (LocateNewDisc()) DeleteDisc(tablas_, catalogueFolder, NumeroNuevo);
  }
  NumeroNuevo.clear();
  claim_.Release();
}

bool CatalogueRun::CommitFiles() {
  if (!list_.Commit()) return false;
  if (tree_.Commit()) return true;
  const int cause = errno;
  (void)RemoveFile(ListFilePath(catalogueFolder, NumeroNuevo));
  errno = cause;
  return false;
}

bool CatalogueRun::FinishDisc() {
  FolderLock lock(tablas_.Folder());
  bool finished = false;
  try {
    if (LocateNewDisc()) {
      if (!CommitFiles())
        throw Failure("ErrorEscribirCatalogo", "No se pueden escribir los archivos del cat\xE1logo",
                      catalogueFolder, errno, NumeroNuevo);
      dbf::Table& discs = tablas_.TablaCDRom;
      discs.Edit();
      discs.SetString("TOTFILES", std::to_string(progress_.files));
      // A folder catalogued as a disc is as large as what it holds.
      if (!Discos.WholeVolume()) discs.SetString("BYTESCD", MegabytesText(progress_.bytes));
      discs.SetString("NUMEROCD", discs.AsString("AUTO"));
      discs.Post();
      finished = true;
      // The search index follows the new disc; without it the disc is only read whole.
      (void)UpdateDiscIndex(catalogueFolder, NumeroNuevo);
    }
  } catch (const std::exception&) {
    finishFailure_ = std::current_exception();
    tablas_.TablaCDRom.Cancel();
  }
  list_.Discard();
  tree_.Discard();
  if (!finished) {
    // Whatever of the disc reached the disc goes again.
    try {
      if (LocateNewDisc()) DeleteDisc(tablas_, catalogueFolder, NumeroNuevo);
    } catch (const std::exception&) {
      // Left for the next opening of the folder, which removes unfinished runs.
    }
    NumeroNuevo.clear();
  }
  claim_.Release();
  return finished;
}

bool CatalogueRun::ClaimNumber(const std::string& number) {
  const std::uint64_t value = DiscNumberValue(number);
  if (value == UINT64_MAX || !claim_.Claim(tablas_.Folder(), value)) return false;
  NumeroNuevo = number;
  return true;
}

const fs::path& CatalogueRun::WalkedList() {
  if (!list_.Flush())
    throw Failure("ErrorEscribirCatalogo", "No se pueden escribir los archivos del cat\xE1logo",
                  list_.working(), list_.error(), NumeroNuevo);
  return list_.working();
}

bool CatalogueRun::CommitWalkedTree(const fs::path& target) {
  tree_.Retarget(target);
  return tree_.Commit();
}

void CatalogueRun::EndClaim() {
  list_.Discard();
  tree_.Discard();
  NumeroNuevo.clear();
  claim_.Release();
}

RunResult CatalogueRun::Catalogue(const std::string& root, bool subfolders, const RunHooks& hooks) {
  switch (PrepareDrive(root)) {
    case DriveCheck::kNotARoot:
      return {RunOutcome::kNotARoot, {}};
    case DriveCheck::kDriveError:
      return {RunOutcome::kDriveError, {}};
    case DriveCheck::kNotAnImage:
      return {RunOutcome::kNotAnImage, PathText(*drives_.FolderOf(root[0]))};
    case DriveCheck::kReady:
      break;
  }
  if (hooks.beforeDuplicateTest) hooks.beforeDuplicateTest();
  if (const std::optional<std::string> title = DuplicateTitle())
    return {RunOutcome::kDuplicate, *title};
  if (!CatalogueFolderWritable()) return {RunOutcome::kFolderNotWritable, {}};

  if (hooks.beforeAppend) hooks.beforeAppend();
  RunResult result;
  bool walked = false;
  try {
    AppendDisc();
    if (hooks.discAppended) hooks.discAppended(tablas_.TablaCDRom.AsString("TITULOCD"));
    walked = true;
    try {
      Walk(subfolders);
    } catch (const std::exception& error) {
      if (hooks.walkFailed) hooks.walkFailed(error.what());
    }
  } catch (const FolderBusy&) {
    result = {RunOutcome::kBusy, {}};
  } catch (const std::exception& error) {
    // Nothing was walked and nothing is left.
    result = {RunOutcome::kRecordNotWritten, error.what(), std::current_exception()};
  }
  if (hooks.afterWalk) hooks.afterWalk();
  if (!walked) return result;

  if (Stopped()) {
    try {
      DiscardDisc();
    } catch (const std::exception&) {
      // Left for the next opening of the folder, which removes unfinished runs.
    }
    return {RunOutcome::kStopped, {}};
  }
  if (hooks.beforeFinish) hooks.beforeFinish();
  try {
    if (FinishDisc()) return {RunOutcome::kCatalogued, {}};
  } catch (const FolderBusy&) {
    try {
      DiscardDisc();
    } catch (const std::exception&) {
      // Left for the next opening of the folder, which removes unfinished runs.
    }
    return {RunOutcome::kFilesNotWritten, "busy"};
  }
  return {RunOutcome::kFilesNotWritten, {}, finishFailure_};
}

}  // namespace zafirel
