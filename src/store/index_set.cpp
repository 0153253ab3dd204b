#include "store/index_set.h"

#include <unistd.h>

#include <system_error>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
#include "store/index_stamp.h"
#include "util/dialogs.h"
#include "util/file_change.h"
#include "util/folder_lock.h"
#include "util/scope_guard.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

fs::path IndexFilePath(const fs::path& folder, std::string_view file) {
  const std::vector<std::string> found = ListFiles(folder, file);
  return folder / (found.empty() ? std::string(file) : found.front());
}

std::function<void()>& RebuiltForAChange() {
  static std::function<void()> notice;
  return notice;
}

void IndexSet::Attach(dbf::Table& cursor, const fs::path& folder) {
  Detach(cursor);
  std::optional<std::uint64_t> digest = Proven(cursor, folder);
  std::vector<std::shared_ptr<dbf::AttachedIndex>> files;
  if (digest) files = OpenFiles(cursor, folder);
  if (!digest || files.size() != kIndexFiles.size()) {
    // Rebuilt here when nobody else is changing the folder; else (another
    // program at work, a read-only folder) built in memory for as long as
    // the cursor is open, so that every order shows the same discs.
    files.clear();
    digest = RebuildAll(cursor, folder, std::chrono::milliseconds(0), nullptr);
    if (digest) files = OpenFiles(cursor, folder);
    if (!digest || files.size() != kIndexFiles.size()) return AttachInMemory(cursor);
  }
  const fs::path tableFile = cursor.Path();
  cursor.AddObserver(std::make_shared<StampKeeper>(folder, tableFile, *digest, [&cursor, folder]() {
    std::optional<std::uint64_t> rebuilt = RebuildAll(cursor, folder, kLockWait, nullptr);
    if (rebuilt && RebuiltForAChange()) RebuiltForAChange()();
    return rebuilt;
  }));
  for (auto& attached : files) {
    cursor.AddObserver(attached);
    indexes_.push_back(std::move(attached));
  }
  cursor.SetIndexGuard(true, true);
  UseForFinding(cursor);
}

std::vector<std::shared_ptr<dbf::AttachedIndex>> IndexSet::OpenFiles(dbf::Table& cursor,
                                                                     const fs::path& folder) {
  std::vector<std::shared_ptr<dbf::AttachedIndex>> files;
  for (const IndexFile& index : kIndexFiles) {
    try {
      auto attached =
          std::make_shared<dbf::AttachedIndex>(cursor, IndexFilePath(folder, index.file));
      if (!EqualsNoCaseAZ(attached->TagName(), index.tag) ||
          !attached->Order()->Info().codePageUpper)
        continue;  // not the file it claims, or keys raised by another rule
      files.push_back(std::move(attached));
    } catch (const std::exception&) {
      // Missing or damaged: the set is rebuilt.
    }
  }
  return files;
}

// The files are built beside the system's temporary files, opened and
// removed from the folder at once: they live as long as the cursor keeps
// them open, and cost disc space, not memory. Where that cannot be done,
// their bytes are held in memory.
void IndexSet::AttachInMemory(dbf::Table& cursor) {
  static unsigned serial = 0;
  const fs::path temp = [] {
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error);
    return error ? fs::path() : folder;
  }();
  std::vector<dbf::IndexBuild> builds;
  std::vector<std::string> bytes(kIndexFiles.size());
  for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
    const IndexFile& index = kIndexFiles[i];
    dbf::IndexBuild build{cursor.Path().parent_path() / index.file,
                          index.tag,
                          index.expression,
                          index.unique,
                          &bytes[i],
                          true};
    if (!temp.empty()) {
      build.file = temp / ("zafirel-" + std::to_string(::getpid()) + "-" +
                           std::to_string(++serial) + "-" + std::string(index.file));
      build.inMemory = nullptr;
    }
    builds.push_back(build);
  }
  std::vector<std::exception_ptr> failures = dbf::BuildIndexFiles(cursor, builds);
  for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
    if (failures[i] && builds[i].inMemory == nullptr) {
      // No room in the temporary folder: this one in memory.
      (void)RemoveFile(builds[i].file);
      builds[i].file = cursor.Path().parent_path() / kIndexFiles[i].file;
      builds[i].inMemory = &bytes[i];
      failures[i] = dbf::BuildIndexFiles(cursor, {builds[i]}).front();
    }
    if (failures[i]) continue;
    try {
      dbf::RawFile file = builds[i].inMemory
                              ? dbf::RawFile::InMemory(std::move(bytes[i]), builds[i].file)
                              : dbf::RawFile::Open(builds[i].file);
      if (!builds[i].inMemory) (void)RemoveFile(builds[i].file);
      auto attached = std::make_shared<dbf::AttachedIndex>(cursor, std::move(file));
      cursor.AddObserver(attached);
      indexes_.push_back(std::move(attached));
    } catch (const std::exception&) {
      if (!builds[i].inMemory) (void)RemoveFile(builds[i].file);
    }
  }
  // The files in the data folder do not hear of changes made now: they stay
  // in doubt.
  cursor.SetIndexGuard(true, false);
  UseForFinding(cursor);
}

// Locate asks the attached indexes for the records that may hold a value.
void IndexSet::UseForFinding(dbf::Table& cursor) {
  std::vector<std::shared_ptr<dbf::AttachedIndex>> indexes = indexes_;
  cursor.SetFinder([indexes](std::string_view field,
                             std::string_view record) -> std::optional<std::vector<std::uint32_t>> {
    for (const auto& index : indexes)
      if (auto found = index->Candidates(field, record)) return found;
    return std::nullopt;
  });
}

void IndexSet::Detach(dbf::Table& cursor) {
  cursor.SetFinder(nullptr);
  cursor.ClearObservers();
  cursor.SetIndexGuard(true, false);
  cursor.SetOrder(nullptr);
  indexes_.clear();
  current_.clear();
}

void IndexSet::Select(dbf::Table& cursor, std::string_view tag) {
  if (tag.empty()) {
    cursor.SetOrder(nullptr);
    current_.clear();
    return;
  }
  for (const auto& index : indexes_) {
    if (EqualsNoCaseAZ(index->TagName(), tag)) {
      index->Order()->SetRange(std::nullopt);
      cursor.SetOrder(index->Order());
      current_ = index->TagName();
      return;
    }
  }
  throw dbf::DbfError("No se puede encontrar el \xEDndice " + std::string(tag), cursor.Path());
}

namespace {

// The path a rebuilt index file is written to; a file of the same name spelled
// otherwise goes first. Empty when that one cannot be removed.
fs::path FreshIndexFile(const fs::path& folder, std::string_view tag) {
  const std::string file = std::string(tag) + ".Mdx";
  const fs::path existing = IndexFilePath(folder, file);
  if (existing != folder / file && !RemoveFile(existing)) return {};
  return folder / file;
}

}  // namespace

void IndexSet::Indexa2(dbf::Table& cursor, const fs::path& folder, std::string_view tag,
                       std::string_view expression, std::string_view filter, bool ascending,
                       bool unique) {
  Detach(cursor);
  try {
    if (!filter.empty() || !ascending) return;
    // The new file replaces the old one by a rename.
    const fs::path file = FreshIndexFile(folder, tag);
    if (file.empty()) return;
    dbf::BuildIndexFile(cursor, file, tag, expression, unique);
    auto attached = std::make_shared<dbf::AttachedIndex>(cursor, file);
    cursor.AddObserver(attached);
    indexes_.push_back(std::move(attached));
    UseForFinding(cursor);
    Select(cursor, tag);
  } catch (const std::exception&) {
    Detach(cursor);
  }
}

std::shared_ptr<dbf::MdxTag> IndexSet::CurrentTag() const {
  for (const auto& index : indexes_)
    if (index->TagName() == current_) return index->Order();
  return nullptr;
}

namespace {

// A file counts as present only when it opens, checks out, holds its tag and
// raises its keys by the table's code page.
bool Usable(const fs::path& file, std::string_view tag) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return false;
  try {
    const dbf::mdx::TagInfo info = dbf::MdxTag::Open(file).Info();
    return EqualsNoCaseAZ(info.tagName, tag) && info.codePageUpper;
  } catch (const std::exception&) {
    return false;
  }
}

// Writes the chosen files anew from one reading of the open cursor's table;
// how many were written.
int BuildFiles(dbf::Table& cursor, const fs::path& folder, const std::vector<bool>& which,
               Progress* progress) {
  std::vector<dbf::IndexBuild> builds;
  for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
    if (!which[i]) continue;
    const IndexFile& index = kIndexFiles[i];
    const fs::path file = FreshIndexFile(folder, index.tag);
    if (file.empty()) {
      if (progress) progress->Step();  // skipped; the rest go on
      continue;
    }
    builds.push_back({file, index.tag, index.expression, index.unique});
  }
  int built = 0;
  // The bar steps once a file and shows how far the file under way has got.
  std::uint64_t perFile = 1;
  const dbf::BuildProgress within = [&](std::uint64_t done, std::uint64_t total) {
    if (!progress) return true;
    perFile = std::max<std::uint64_t>(1, total / std::max<std::size_t>(1, builds.size()));
    progress->Within(done % perFile, perFile);
    return !progress->Stopped();
  };
  for (const std::exception_ptr& failure : dbf::BuildIndexFiles(
           cursor, builds,
           [&] {
             if (progress) progress->Step();
           },
           within))
    built += failure ? 0 : 1;
  return built;
}

// With every file built: the mark of a cut-short change goes and the stamp
// says which table they follow. The table's digest, or nothing when either
// could not be written.
std::optional<std::uint64_t> SettleRebuilt(dbf::Table& cursor, const fs::path& folder) {
  try {
    if (cursor.IndexesInDoubt()) cursor.SetIndexesInDoubt(false);
    std::uint64_t digest = 0;
    if (StampTable(folder, cursor.Path(), &digest)) return digest;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> IndexSet::Proven(dbf::Table& cursor, const fs::path& folder) {
  try {
    std::uint64_t digest = 0;
    if (!cursor.IndexesInDoubt() &&
        CheckIndexStamp(folder, cursor.Path(), &digest) != StampProof::kNone)
      return digest;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<std::uint64_t> IndexSet::RebuildAll(dbf::Table& cursor, const fs::path& folder,
                                                  std::chrono::milliseconds wait,
                                                  Progress* progress) {
  try {
    if (::access(folder.c_str(), W_OK) != 0) return std::nullopt;  // a read-only folder
    FolderLock lock(folder, wait);
    if (std::optional<std::uint64_t> digest = Proven(cursor, folder)) {
      // Another program rebuilt them meanwhile.
      bool usable = true;
      for (const IndexFile& index : kIndexFiles)
        usable = usable && Usable(IndexFilePath(folder, index.file), index.tag);
      if (usable) return digest;
    }
    const std::vector<bool> all(kIndexFiles.size(), true);
    if (BuildFiles(cursor, folder, all, progress) != static_cast<int>(kIndexFiles.size()))
      return std::nullopt;
    return SettleRebuilt(cursor, folder);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int RegeneraIndices(dbf::Table& cursor, const fs::path& folder, Dialogs& dialogs,
                    const std::string& progressText, bool* tableChanged) {
  FolderLock lock(folder);
  std::vector<bool> missing;
  int count = 0;
  {
    cursor.Open();
    const ScopeGuard closer([&] { cursor.Close(); });
    // A change cut short, or another program's change of the table, may have
    // left any index behind its table: all go.
    const bool inDoubt = cursor.IndexesInDoubt();
    const StampProof proof = CheckIndexStamp(folder, cursor.Path(), nullptr, true);
    const bool follow = !inDoubt && proof != StampProof::kNone;
    if (tableChanged) *tableChanged = !inDoubt && proof == StampProof::kNone;
    for (const IndexFile& index : kIndexFiles) {
      missing.push_back(!follow || !Usable(IndexFilePath(folder, index.file), index.tag));
      count += missing.back();
    }
  }
  if (count == 0) return 0;
  if (tableChanged && *tableChanged) {
    // A data folder of an earlier version has no stamp yet: nothing changed.
    std::error_code ec;
    if (!fs::exists(folder / kIndexStampName, ec)) *tableChanged = false;
  }
  std::unique_ptr<Progress> progress = dialogs.ShowProgress(progressText);
  if (progress) progress->SetMaximum(count);
  int built = 0;
  try {
    cursor.Open();
    const ScopeGuard closer([&] { cursor.Close(); });
    built = BuildFiles(cursor, folder, missing, progress.get());
    if (built == count) (void)SettleRebuilt(cursor, folder);
  } catch (const std::exception&) {
    // A cursor that does not open builds nothing.
  }
  return built;
}

}  // namespace zafirel
