#include "store/pending_update.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <tuple>

#include "store/catalogue_files.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/file_change.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoteExtension = ".Act";
constexpr std::string_view kNewSuffix = ".new";
constexpr std::string_view kListInode = "*lista";
constexpr std::string_view kTreeInode = "*arbol";

fs::path NoteFile(const fs::path& catalogueFolder, std::string_view number) {
  return catalogueFolder / (std::string(number) + std::string(kNoteExtension));
}

fs::path NewFile(fs::path file) {
  file += kNewSuffix;
  return file;
}

ino_t InodeOf(const fs::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The note's lines "NAME=value"; nothing when it is missing or damaged.
std::optional<PendingUpdate> ReadNote(const fs::path& catalogueFolder, std::string_view number) {
  const std::optional<std::string> text = ReadWholeFile(NoteFile(catalogueFolder, number));
  if (!text) return std::nullopt;
  PendingUpdate update;
  update.number = std::string(number);
  bool complete = false;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 2);
    if (line == "*fin") {
      complete = rest.empty();
      break;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, equals), value = line.substr(equals + 1);
    if (name == kListInode)
      update.listInode = static_cast<ino_t>(DigitsOf(value));
    else if (name == kTreeInode)
      update.treeInode = static_cast<ino_t>(DigitsOf(value));
    else
      update.fields.emplace_back(name, value);
  }
  if (!complete || update.listInode == 0 || update.treeInode == 0) return std::nullopt;
  return update;
}

}  // namespace

fs::path PendingListFile(const fs::path& catalogueFolder, std::string_view number) {
  return NewFile(ListFilePath(catalogueFolder, number));
}

fs::path PendingTreeFile(const fs::path& catalogueFolder, std::string_view number) {
  return NewFile(TreeFilePath(catalogueFolder, number));
}

bool WritePendingUpdate(const fs::path& catalogueFolder, std::string_view number,
                        const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string text;
  for (const auto& [name, value] : fields) text += name + "=" + value + "\r\n";
  text += std::string(kListInode) + "=" +
          std::to_string(InodeOf(PendingListFile(catalogueFolder, number))) + "\r\n";
  text += std::string(kTreeInode) + "=" +
          std::to_string(InodeOf(PendingTreeFile(catalogueFolder, number))) + "\r\n";
  text += "*fin\r\n";
  return WriteFileAtomically(NoteFile(catalogueFolder, number), text);
}

void DropPendingFiles(const fs::path& catalogueFolder, std::string_view number) {
  (void)RemoveFile(PendingListFile(catalogueFolder, number));
  (void)RemoveFile(PendingTreeFile(catalogueFolder, number));
}

bool CompletePendingUpdate(TTablas& tablas, const fs::path& catalogueFolder,
                           std::string_view number) {
  const fs::path note = NoteFile(catalogueFolder, number);
  const std::optional<PendingUpdate> update = ReadNote(catalogueFolder, number);
  const auto drop = [&] {
    DropPendingFiles(catalogueFolder, number);
    return RemoveFile(note);
  };
  if (!update) return drop();
  const fs::path list = ListFilePath(catalogueFolder, number);
  const fs::path tree = TreeFilePath(catalogueFolder, number);
  // Each new file replaces the old one unless it did already.
  for (const auto& [from, to, inode] :
       {std::tuple{PendingListFile(catalogueFolder, number), list, update->listInode},
        std::tuple{PendingTreeFile(catalogueFolder, number), tree, update->treeInode}}) {
    if (InodeOf(from) == inode && !RenameFile(from, to)) return false;
  }
  // A note whose files are not in place (never were, or were replaced since
  // by another change) changes nothing more.
  if (InodeOf(list) != update->listInode || InodeOf(tree) != update->treeInode) return drop();
  dbf::Table& discs = tablas.TablaCDRom;
  if (discs.Locate("AUTO", number)) {
    discs.Edit();
    try {
      for (const auto& [name, value] : update->fields) discs.SetString(name, value);
      discs.Post();
    } catch (...) {
      discs.Cancel();
      throw;
    }
  }
  // The search index follows the new list; without it the disc is only read whole.
  (void)UpdateDiscIndex(catalogueFolder, number);
  return RemoveFile(note);
}

int CompletePendingUpdates(TTablas& tablas, const fs::path& dataFolder,
                           const fs::path& catalogueFolder) {
  // A disc's number as a live run would claim it; files of other names are no one's.
  const auto liveRunHolds = [&](const std::string& number) {
    const std::uint64_t value = DiscNumberValue(number);
    return value == UINT64_MAX || RunClaim::Claimed(dataFolder, value);
  };
  int completed = 0;
  for (const std::string& name : ListFiles(catalogueFolder, "*" + std::string(kNoteExtension))) {
    const std::string number = DiscNumberOfFile(name);
    if (liveRunHolds(number)) continue;
    try {
      if (CompletePendingUpdate(tablas, catalogueFolder, number)) ++completed;
    } catch (const std::exception&) {
      // The note stays for the next opening.
    }
  }
  // New files without a note belong to a change that never began.
  for (const std::string& name : ListFiles(catalogueFolder, "*" + std::string(kNewSuffix))) {
    const std::string number = DiscNumberOfFile(name);
    if (!liveRunHolds(number) && !fs::exists(NoteFile(catalogueFolder, number)))
      (void)RemoveFile(catalogueFolder / name);
  }
  return completed;
}

}  // namespace zafirel
