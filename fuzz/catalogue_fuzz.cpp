// Catalogue files: the input is a tree file and a file list (split at the
// first NUL byte), built into the folder tree, every folder listed, file
// lines looked up, the list searched with terms from its first line, and
// every line judged by a filter holding every kind of bound, and the two
// compared as a disc's old and new file lists.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "browse/folder_tree.h"
#include "search/catalogue_search.h"
#include "search/search_filter.h"
#include "store/line_list.h"
#include "store/list_changes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zafirel;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view treeText = input.substr(0, nul);
  const std::string_view listText =
      nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  const LineList tree = LineList::FromText(std::string(treeText));
  const LineList list = LineList::FromText(std::string(listText));
  const FolderTree folders = FolderTree::FromLines(tree);
  for (int node = 0; node < static_cast<int>(folders.Nodes().size()); ++node) {
    const std::string prefix = folders.Prefix(node);
    for (std::size_t line : ListFolderFiles(list, prefix))
      if (line >= list.size()) __builtin_trap();
    FindFileLine(list, folders.FolderPath(node), "LEEME.TXT");
    WalkToFolder(folders, prefix);
  }
  const std::string terms = list.empty() ? std::string("A+B") : std::string(list[0]).substr(0, 40);
  const LineRule rule(PrepareTerms(terms));
  rule.ForEachMatch(listText, [&](std::string_view line) {
    if (line.data() < listText.data() ||
        line.data() + line.size() > listText.data() + listText.size())
      __builtin_trap();
  });
  SearchFilter filter;
  filter.extensions = {"MP3", "TXT"};
  filter.minBytes = 1024;
  filter.maxBytes = std::uint64_t{1} << 40;
  filter.from = 19900101;
  filter.to = 20301231;
  for (const char* pattern : {"dd/MM/yyyy", "M/d/yy", "yyyy-MM-dd", "'d'"}) {
    filter.locale.shortDateFormat = pattern;
    for (std::size_t i = 0; i < list.size(); ++i) (void)filter.KeepsLine(list[i]);
    (void)ParseShortDate(listText.substr(0, 32), filter.locale);
  }
  (void)ParseSize(treeText.substr(0, 24));

  // Every line of either list is matched, added or removed exactly once.
  const auto inMemory = [](std::string_view text) {
    const int fd = memfd_create("list", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      __builtin_trap();
    return fd;
  };
  const int oldFd = inMemory(treeText), newFd = inMemory(listText);
  const auto lines = [](const LineList& list) {
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < list.size(); ++i) n += !list[i].empty();
    return n;
  };
  const ListComparison changes =
      CompareFileLists("/proc/self/fd/" + std::to_string(oldFd),
                       "/proc/self/fd/" + std::to_string(newFd), [](const FileChange& change) {
                         if (change.oldLine.empty() && change.newLine.empty()) __builtin_trap();
                       });
  if (changes.added + changes.changed + changes.unchanged != lines(list) ||
      changes.removed + changes.changed + changes.unchanged != lines(tree))
    __builtin_trap();
  close(oldFd);
  close(newFd);
  return 0;
}
