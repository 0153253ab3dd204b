#include "search/catalogue_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "search/trigram_index.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/file_handle.h"
#include "util/piece_reader.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

TerminosBusqueda PrepareTerms(std::string_view text) {
  TerminosBusqueda slots;
  const std::string upper = UpperAZ(text);
  const int pieces = CuentaTrozos(upper, '+');
  if (pieces <= 1) {
    slots[0] = upper;
  } else {
    for (int k = 0; k < pieces && k < static_cast<int>(slots.size()); ++k)
      slots[static_cast<std::size_t>(k)] = std::string(Trozo(upper, '+', k));
  }
  for (std::string& slot : slots)
    if (!slot.empty() && slot.back() == ' ') slot.pop_back();
  return slots;
}

LineRule::LineRule(const TerminosBusqueda& terms)
    : first_(terms[0]), second_(terms[1]), third_(terms[2]) {}

bool LineRule::Matches(std::string_view line) const {
  if (second_.empty()) return first_.Find(line) != std::string_view::npos;
  const bool both =
      first_.Find(line) != std::string_view::npos && second_.Find(line) != std::string_view::npos;
  return both || third_.Find(line) != std::string_view::npos;
}

void LineRule::ForEachMatch(std::string_view text,
                            const std::function<void(std::string_view line)>& visit) const {
  // Only lines holding the first term (or the third, when it counts alone)
  // can match: find those in the whole text, then test the rule on the line.
  constexpr std::size_t npos = std::string_view::npos;
  const bool thirdAlone = !second_.empty() && !third_.empty();
  std::size_t nextFirst = first_.Find(text, 0);
  std::size_t nextThird = thirdAlone ? third_.Find(text, 0) : npos;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (nextFirst != npos && nextFirst < pos) nextFirst = first_.Find(text, pos);
    if (nextThird != npos && nextThird < pos) nextThird = third_.Find(text, pos);
    const std::size_t hit = std::min(nextFirst, nextThird);
    if (hit == npos) return;
    std::size_t start = hit;
    while (start > pos && !IsLineEnd(text[start - 1])) --start;
    std::size_t end = hit;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    const std::string_view line = text.substr(start, end - start);
    if (Matches(line)) visit(line);
    pos = end + 1;
  }
}

std::string DiscHeading(std::string_view title, std::string_view number, std::string_view album) {
  std::string heading(title);
  heading += " - N\xBA: \"";
  heading += number;
  heading += "\" - Album: \"";
  heading += album;
  heading += '"';
  return heading;
}

std::unordered_map<std::string, DiscFacts> ReadDiscFacts(TTablas& tablas) {
  std::unordered_map<std::string, DiscFacts> discs;
  dbf::Table& table = tablas.TablaCDRom;
  for (table.First(); !table.Eof(); table.Next())
    discs.emplace(
        table.AsString("AUTO"),
        DiscFacts{table.AsString("TITULOCD"), table.AsString("NUMEROCD"), table.AsString("ALBUM")});
  return discs;
}

namespace {

// Bytes of a read piece: small enough to stay in the cache and to cost next
// to nothing to set up, large enough that a read call costs little per byte.
constexpr std::size_t kPieceBytes = std::size_t{128} << 10;

// The bytes of the catalogue files the search will read: those of discs in
// the table.
std::uint64_t BytesToRead(const fs::path& catalogueFolder, const std::vector<std::string>& names,
                          const std::unordered_map<std::string, DiscFacts>& discs,
                          const SearchFilter& filter) {
  std::uint64_t total = 0;
  for (const std::string& name : names) {
    struct stat info {};
    const auto disc = discs.find(DiscNumberOfFile(name));
    if (disc != discs.end() && filter.KeepsDisc(disc->first, disc->second.album) &&
        ::stat((catalogueFolder / name).c_str(), &info) == 0)
      total += static_cast<std::uint64_t>(info.st_size);
  }
  return total;
}

}  // namespace

SearchOutcome BuscaEnArchivos(TTablas& tablas, const fs::path& catalogueFolder,
                              std::string_view text, const std::string& verCatalogos,
                              const SearchEvents& events, const SearchFilter& filter) {
  SearchOutcome outcome;
  const bool judgeLines = filter.JudgesLines();
  outcome.text = UpperAZ(text);
  const TerminosBusqueda terms = PrepareTerms(text);
  const LineRule rule(terms);
  const std::unordered_map<std::string, DiscFacts> discs = ReadDiscFacts(tablas);
  // The catalogue files and the index's files, from one listing.
  std::vector<std::string> names, indexNames;
  for (std::string& name : ListFiles(catalogueFolder, "*")) {
    if (MatchesPattern(name, "*.Ct"))
      names.push_back(std::move(name));
    else if (MatchesPattern(name, std::string("*") + kIndexExtension))
      indexNames.push_back(std::move(name));
  }
  // The index rules out the blocks that cannot hold a hit; every line read
  // is still judged by the rule, so the hits are the same with it or without.
  SearchIndex index(catalogueFolder, indexNames);
  const bool indexed = index.Plan(terms);
  const std::uint64_t bytesTotal =
      events.progress ? BytesToRead(catalogueFolder, names, discs, filter) : 0;
  std::uint64_t bytesDone = 0;
  // The stamps are taken inside the folder: a look-up of one name each.
  const FileDescriptor folder =
      indexed ? FileDescriptor::Open(catalogueFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
              : FileDescriptor();
  ReadBuffer buffer(kPieceBytes);
  bool stop = false;
  for (const std::string& name : names) {
    if (stop || (events.cancelled && events.cancelled())) break;
    // Without the index every file is opened, a disc's or not; with it, only
    // a file the plan needs (the index proves the others hold no hit).
    std::optional<PieceReader> reader;
    const auto open = [&] { reader.emplace(catalogueFolder / name, buffer); };
    if (!indexed) open();
    const auto disc = discs.find(DiscNumberOfFile(name));
    if (disc == discs.end() || !filter.KeepsDisc(disc->first, disc->second.album)) continue;
    const DiscFacts& facts = disc->second;
    const auto heading = [&] { return DiscHeading(facts.title, facts.number, facts.album); };
    if (!judgeLines && !terms[0].empty() &&
        UpperAnsi(facts.title).find(terms[0]) != std::string::npos) {
      if (events.titleHeading) events.titleHeading(heading() + " " + verCatalogos);
      if (events.titleDisc) events.titleDisc(disc->first);
      ++outcome.matches;
    }
    bool headed = false;
    const auto search = [&] {
      for (std::string_view piece = reader->Next(); !piece.empty() && !stop;
           piece = reader->Next()) {
        if (events.progress) events.progress(bytesDone + reader->bytesRead(), bytesTotal);
        rule.ForEachMatch(piece, [&](std::string_view line) {
          if (stop || (events.cancelled && events.cancelled())) {
            stop = true;
            return;
          }
          if (judgeLines && !filter.KeepsLine(line)) return;
          ++outcome.matches;
          if (events.matched) events.matched(outcome.matches);
          if (outcome.matches > kResultSlots) return;  // counted, not listed
          if (!headed) {
            if (events.discHeading) events.discHeading(heading(), disc->first);
            headed = true;
          }
          if (events.hit) events.hit(Trozo(line, ';', 0));
          if (events.hitLine) events.hitLine(line);
        });
      }
    };
    const std::optional<ListStamp> stamp =
        indexed && folder.valid() ? StampOf(folder.get(), name.c_str()) : std::nullopt;
    const ReadPlan plan = indexed ? index.PlanFor(disc->first, stamp) : ReadPlan{};
    if (plan.kind != ReadPlan::Kind::kNothing && !reader) open();
    if (plan.kind == ReadPlan::Kind::kWhole) {
      search();
      bytesDone += reader->bytesRead();
      continue;
    }
    for (const auto& [begin, end] : plan.ranges) {
      if (stop) break;
      reader->Restrict(begin, end - begin);
      search();
    }
    bytesDone += stamp->size;  // the bytes passed over count as searched
    if (events.progress) events.progress(bytesDone, bytesTotal);
  }
  return outcome;
}

}  // namespace zafirel
