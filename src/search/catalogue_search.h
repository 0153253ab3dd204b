// Searching every catalogue's file list: the search text cut into terms at
// "+", each catalogue file scanned in pieces as raw bytes with a
// case-insensitive (a to z) substring search, and the hits reported disc by
// disc under a heading. Memory stays flat: one piece of one file at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "search/search_filter.h"
#include "util/no_case_finder.h"

namespace zafirel {

class TTablas;

// At most this many matches get a disc heading (and a record).
inline constexpr int kResultSlots = 20000;

// The ten term slots of a search text: upper-cased (a to z), cut at "+" when
// it has more than one piece (else the whole text, "+" and all), each slot
// losing one trailing blank. Only slots 0 to 2 take part in matching.
using TerminosBusqueda = std::array<std::string, 10>;
TerminosBusqueda PrepareTerms(std::string_view text);

// The matching rule of one search: slot 0 alone, or slots 0 and 1 together,
// or slot 2 alone when slots 1 and 2 are given.
class LineRule {
 public:
  explicit LineRule(const TerminosBusqueda& terms);
  bool Matches(std::string_view line) const;
  // Calls visit for every line of the text (lines end at CR, LF or the end
  // of the text) that matches, in order.
  void ForEachMatch(std::string_view text,
                    const std::function<void(std::string_view line)>& visit) const;

 private:
  NoCaseFinder first_, second_, third_;
};

// What a search shows of a disc, by its file number ("AUTO").
struct DiscFacts {
  std::string title, number, album;
};
std::unordered_map<std::string, DiscFacts> ReadDiscFacts(TTablas& tablas);

// "TITLE - Nº: "7" - Album: "PC"".
std::string DiscHeading(std::string_view title, std::string_view number, std::string_view album);

struct SearchEvents {
  std::function<bool()> cancelled;  // asked before each file and each hit
  // After each piece read: the bytes read so far of the catalogues searched
  // (those of discs in the table) and the bytes they held when the search
  // began. Given a handler, the search looks the files' sizes up first.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  std::function<void(const std::string& heading)> titleHeading;
  std::function<void(const std::string& heading, const std::string& number)> discHeading;
  std::function<void(std::string_view path)> hit;            // field 0 of a matching line
  std::function<void(std::string_view line)> hitLine;        // the whole of it, after hit
  std::function<void(const std::string& number)> titleDisc;  // after titleHeading
  std::function<void(int matches)> matched;                  // after each line hit
};

struct SearchOutcome {
  std::string text;  // the search text upper-cased
  int matches = 0;   // title hits and line hits
  bool beyondLimit() const { return matches > kResultSlots; }
};

// Runs one search over the "*.Ct" files of the catalogue folder whose name
// (up to its first ".") is a disc's number in the disc table. Headings come
// before their hits; hits past the slot limit are counted, not reported. A
// title hit adds a heading ending in verCatalogos. Throws on a file that
// cannot be read; what was reported until then stands. A filter leaves out
// the discs and lines it does not keep, and the title hits when it judges
// lines (a title is no file of a kind, size or date); without one the hits
// are those of the text alone.
SearchOutcome BuscaEnArchivos(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                              std::string_view text, const std::string& verCatalogos,
                              const SearchEvents& events, const SearchFilter& filter = {});

}  // namespace zafirel
