#include "util/wildcard.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "util/codepage.h"
#include "util/text.h"

namespace zafirel {
namespace {

char FoldAZ(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool MatchesPlain(std::string_view name, std::string_view pattern) {
  // Iterative matcher with one backtrack point: linear for the patterns used here.
  std::size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || FoldAZ(pattern[p]) == FoldAZ(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (MatchesPlain(name, pattern)) return true;
  // As on the platform the patterns come from, a trailing ".*" also takes
  // names without an extension, so "*.*" lists every file.
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         MatchesPlain(name, pattern.substr(0, pattern.size() - 2));
}

std::vector<std::string> ListFiles(const std::filesystem::path& folder, std::string_view pattern) {
  std::vector<std::pair<std::string, std::string>> keyed;  // (Windows-1252 name, name)
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return {};
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!MatchesPattern(name, pattern)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // Followed, as a path to the file would be.
      struct stat info {};
      regular = ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    }
    if (regular) keyed.emplace_back(Utf8ToAnsi(name), std::string(name));
  }
  ::closedir(dir);
  // In the order the walker gives a folder's names, not the system's own.
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    const int order = CompareNamesNoCase(a.first, b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  std::vector<std::string> names;
  names.reserve(keyed.size());
  for (auto& [ansi, name] : keyed) names.push_back(std::move(name));
  return names;
}

}  // namespace zafirel
