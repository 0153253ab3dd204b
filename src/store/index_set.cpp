#include "store/index_set.h"

#include <system_error>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
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

void IndexSet::Attach(dbf::Table& cursor, const fs::path& folder) {
  Detach(cursor);
  for (const IndexFile& index : kIndexFiles) {
    try {
      auto attached =
          std::make_shared<dbf::AttachedIndex>(cursor, IndexFilePath(folder, index.file));
      if (!EqualsNoCaseAZ(attached->TagName(), index.tag)) continue;  // not the file it claims
      cursor.AddObserver(attached);
      indexes_.push_back(std::move(attached));
    } catch (const std::exception&) {
      // Missing or damaged: left out until the next start rebuilds it.
    }
  }
  // Changes made without every index leave the indexes in doubt.
  cursor.SetIndexGuard(true, indexes_.size() == kIndexFiles.size());
  UseForFinding(cursor);
}

// Locate asks the attached indexes for the records that may hold a value.
void IndexSet::UseForFinding(dbf::Table& cursor) {
  std::vector<std::shared_ptr<dbf::AttachedIndex>> indexes = indexes_;
  cursor.SetFinder([indexes](std::string_view field, std::string_view record)
                       -> std::optional<std::vector<std::uint32_t>> {
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

}  // namespace

int RegeneraIndices(dbf::Table& cursor, const fs::path& folder, Dialogs& dialogs,
                    const std::string& progressText) {
  FolderLock lock(folder);
  std::vector<bool> missing;
  int count = 0;
  {
    cursor.Open();
    const ScopeGuard closer([&] { cursor.Close(); });
    // A change cut short may have left any index behind its table: all go.
    const bool inDoubt = cursor.IndexesInDoubt();
    for (const IndexFile& index : kIndexFiles) {
      missing.push_back(inDoubt || !Usable(IndexFilePath(folder, index.file), index.tag));
      count += missing.back();
    }
  }
  if (count == 0) return 0;
  std::unique_ptr<Progress> progress = dialogs.ShowProgress(progressText);
  if (progress) progress->SetMaximum(count);
  int built = 0;
  try {
    cursor.Open();
    const ScopeGuard closer([&] { cursor.Close(); });
    // All the files are built from one reading of the table.
    std::vector<dbf::IndexBuild> builds;
    for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
      if (!missing[i]) continue;
      const IndexFile& index = kIndexFiles[i];
      const fs::path file = FreshIndexFile(folder, index.tag);
      if (file.empty()) {
        if (progress) progress->Step();  // skipped; start-up goes on
        continue;
      }
      builds.push_back({file, index.tag, index.expression, index.unique});
    }
    for (const std::exception_ptr& failure :
         dbf::BuildIndexFiles(cursor, builds, [&] {
           if (progress) progress->Step();
         }))
      built += failure ? 0 : 1;
  } catch (const std::exception&) {
    // A cursor that does not open builds nothing.
  }
  if (built == count) {
    // Every index now matches the table: the mark of a cut-short change goes.
    try {
      cursor.Open();
      const ScopeGuard closer([&] { cursor.Close(); });
      if (cursor.IndexesInDoubt()) cursor.SetIndexesInDoubt(false);
    } catch (const std::exception&) {
    }
  }
  return built;
}

}  // namespace zafirel
