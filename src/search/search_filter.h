// What narrows a search besides its text: kinds of file (extensions), a
// size range, a date range, albums and discs. Lines are judged on what they
// hold: the size in kilobytes rounded up and the date in the short date
// pattern they were written with.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "util/locale.h"

namespace zafirel {

class TIniEditor;

// The named kinds of file, each a list of extensions kept in the settings'
// "TiposArchivo" section under its key, with these lists until the user
// changes them.
struct FileKind {
  std::string_view key;       // the settings key and the window's caption key
  std::string_view name;      // its name on the command line
  std::string_view defaults;  // "MP3,FLAC,..."
};
extern const std::array<FileKind, 6> kFileKinds;
inline constexpr std::string_view kFileKindsSection = "TiposArchivo";

// The extensions of a kind named by its key or its command-line name (any
// case), upper-case without dots; nothing for an unknown kind.
std::optional<std::vector<std::string>> KindExtensions(const TIniEditor& settings,
                                                       std::string_view kind);
// "mp3, .Flac" -> {"MP3", "FLAC"}.
std::vector<std::string> ExtensionList(std::string_view text);

// "700", "64K", "10M", "2G" (any case): bytes, K, M and G being 1024,
// 1024² and 1024³. Nothing for anything else.
std::optional<std::uint64_t> ParseSize(std::string_view text);
// "2024-01-31" as 20240131; nothing for anything else.
std::optional<int> ParseIsoDate(std::string_view text);

struct SearchFilter {
  std::set<std::string, std::less<>> extensions;  // upper-case, without the dot; empty: any
  // Bytes; a line passes when its kilobytes (rounded up, as stored) reach
  // the kilobytes the bound rounds up to: "--min-size 1M" keeps 1024 KB and
  // more, "--max-size 1M" 1024 KB and less.
  std::optional<std::uint64_t> minBytes, maxBytes;
  std::optional<int> from, to;   // yyyymmdd, both days included
  std::set<std::string> albums;  // as stored (ANSI), compared without case; empty: any
  std::set<std::string> discs;   // disc numbers (their file's number); empty: any
  Locale locale;                 // the pattern the lines' dates were written with

  // Whether the filter looks at lines at all (kinds, sizes or dates).
  bool JudgesLines() const;
  bool KeepsDisc(std::string_view number, std::string_view album) const;
  // A line of a file list: "path;KB;date[;comment]". A line whose size or
  // date cannot be read does not pass a size or date bound.
  bool KeepsLine(std::string_view line) const;

 private:
  // The date reader for the locale last judged with (worked out once).
  mutable std::optional<std::pair<std::string, ShortDateReader>> dates_;
};

}  // namespace zafirel
