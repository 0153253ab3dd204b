// The search index as one search reads it: which blocks of which discs can
// hold a line that matches the terms (see store/search_index.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "search/catalogue_search.h"
#include "store/search_index.h"

namespace zafirel {

// Which bytes of a disc's file list a search must read.
struct ReadPlan {
  enum class Kind { kWhole, kNothing, kRanges };
  Kind kind = Kind::kWhole;
  // For kRanges: [begin, end) byte ranges, each starting and ending at a line
  // boundary, in order and apart.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
};

// The index of a catalogue folder as one search sees it.
class SearchIndex {
 public:
  // Opens the segments found among fileNames (the folder's names); damaged
  // segments are left out without a word.
  SearchIndex(const std::filesystem::path& catalogueFolder,
              const std::vector<std::string>& fileNames);
  ~SearchIndex();
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  // Works out, for the search terms, which blocks of which discs can hold a
  // matching line. False when the index cannot narrow the search (no term of
  // three bytes, or most bytes would be read anyway): every disc is then read
  // whole.
  bool Plan(const TerminosBusqueda& terms);
  // What to read of the file list of disc name ("N"), whose stamp is stamp.
  ReadPlan PlanFor(const std::string& name, const std::optional<ListStamp>& stamp);

 private:
  struct Segment;
  std::vector<std::unique_ptr<Segment>> segments_;
  bool planned_ = false;
};

}  // namespace zafirel
