// The search index: for each disc's file list ("N.Ct"), cut into blocks of
// whole lines, the three-byte sequences (trigrams, letters a to z folded to
// upper case as the search compares them) each block holds. A search for a
// term of three bytes or more reads only the blocks that hold every trigram
// of the term, and confirms every line there with the same matcher as a full
// scan, so the index can only make a search faster: a disc the index does not
// cover, or covers for another version of its file, is read whole.
//
// This part writes the index; the search reads it (search/trigram_index.h).
// The index lives in the catalogue folder as segment files: "N.Tri" holds
// disc N alone, written whenever its file list changes; "Indice-K.Tri" hold
// many discs each, written by a full rebuild. A segment names, for each disc, the
// size, modification time and inode of the file list it was built from (its
// stamp); a disc's part counts only while its file list still has that stamp.
// The format is described in docs/search-index.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/file_handle.h"

namespace zafirel {

inline constexpr const char* kIndexExtension = ".Tri";
// The segments a full rebuild writes, "Indice-1.Tri" on; a disc's own
// segment is named after the disc ("N.Tri").
std::string GroupSegmentName(int k);

// What says which version of a file list a disc's part of the index follows.
struct ListStamp {
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::uint64_t inode = 0;
  bool operator==(const ListStamp&) const = default;
};
// The stamp of a file as it is now; nothing when it cannot be examined.
std::optional<ListStamp> StampOf(const std::filesystem::path& file);
// The same for file name inside the folder open as folderFd.
std::optional<ListStamp> StampOf(int folderFd, const char* name);

// A disc as a segment's disc table gives it.
struct SegmentDisc {
  std::string name;  // "N"
  ListStamp stamp;
  std::uint32_t firstBlock = 0, blockCount = 0;
  std::uint32_t endsCheck = 0;  // of its block ends
};
// What a segment file says of itself: its header and disc table, read and
// checked; the rest is read as a search needs it.
struct SegmentHead {
  std::uint64_t fileLength = 0, blocksAt = 0, pageIndexAt = 0, pagesAt = 0, pageCount = 0;
  std::uint32_t blockCount = 0;
  std::int64_t builtNs = 0;        // when its building began
  std::vector<SegmentDisc> discs;  // in block order
};
// The head of the segment open as fd; nothing when anything in it is amiss.
std::optional<SegmentHead> ReadSegmentHead(int fd);

// Builds a segment from file lists, disc after disc (in any order; a
// segment keeps them in the order given).
class SegmentBuilder {
 public:
  // The trigrams of fresh blocks wait in a compact form until foldBytes of
  // them are merged into the postings: the larger, the fewer merges and the
  // more memory.
  explicit SegmentBuilder(std::size_t foldBytes = std::size_t{8} << 20);
  ~SegmentBuilder();
  SegmentBuilder(const SegmentBuilder&) = delete;
  SegmentBuilder& operator=(const SegmentBuilder&) = delete;
  // Adds the disc of the file list named name ("N", without ".Ct") whose
  // stamp is stamp: its bytes come in pieces, in order, between BeginDisc
  // and EndDisc.
  void BeginDisc(const std::string& name, const ListStamp& stamp);
  void Feed(std::string_view piece);
  void EndDisc();
  // The same for a list read from file through buffer; goOn, asked after
  // each piece with the bytes read so far, may end it early. The bytes read,
  // nothing when it was ended. Throws Failure naming the file when it cannot
  // be read.
  std::optional<std::uint64_t> AddList(const std::filesystem::path& file, const std::string& name,
                                       const ListStamp& stamp, ReadBuffer& buffer,
                                       const std::function<bool(std::uint64_t read)>& goOn = {});
  // The same for a list held whole.
  void AddDisc(const std::string& name, const ListStamp& stamp, std::string_view text);
  // About what the builder holds, which grows with the blocks added.
  std::size_t MemoryBytes() const;
  bool Empty() const;
  // Writes the segment to file as WriteFileAtomically does (false, errno
  // set, when it could not); the builder is spent after.
  [[nodiscard]] bool Write(const std::filesystem::path& file);

 private:
  // The segment's bytes but its pages, which go to pages.
  std::string Encode(std::string& pages);

  struct State;
  std::unique_ptr<State> state_;
};

// After disc number's file list changed (written anew, or removed), under
// the data folder's lock: the disc's own segment follows it, or goes with it,
// and the index is compacted (CompactSearchIndex).
// A list written within the last seconds gets a modification time a few
// seconds back first, so that its stamp tells any later change apart. False
// (errno set) when the segment could not be written or removed; searches
// then read the disc whole, as its stamp no longer matches.
[[nodiscard]] bool UpdateDiscIndex(const std::filesystem::path& catalogueFolder,
                                   std::string_view number);

// About the memory a segment may take while it is built: a rebuild starts
// a new segment once the one being built holds this much.
inline constexpr std::size_t kSegmentBudget = std::size_t{40} << 20;

// How many segment files the index may have before they are merged: each
// search opens every one.
struct CompactionLimits {
  int looseSegments = 16;  // discs' own segments, merged into a group
  int groups = 8;          // many-disc segments, the smaller half merged
};
// Keeps the index to a few files, under the data folder's lock: once
// limits.looseSegments discs have segments of their own, they become a
// group segment ("Indice-K.Tri", K above any other); once there are more
// than limits.groups groups, the smallest are merged into one, their discs
// read again from their lists. A disc's own segment whose list is gone is
// removed. A failure leaves the files as they were (an index with more
// files is only slower).
void CompactSearchIndex(const std::filesystem::path& catalogueFolder,
                        const CompactionLimits& limits = {});

// What a full rebuild reports and asks as it goes.
struct RebuildEvents {
  std::function<bool()> stopped;  // asked between pieces read
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;  // bytes of file lists
};
enum class RebuildOutcome { kDone, kStopped };

// Rebuilds the index of the catalogue folder from every file list in it
// (the caller holds the data folder's lock): the discs in name order, a
// segment each time the one being built holds about budget bytes, then the
// segments of an earlier rebuild and the discs' own segments go. A stopped
// rebuild leaves the old segments as they were (an index they do not follow
// only makes searches slower). Throws Failure naming the file when a
// segment cannot be written or a file list cannot be read.
RebuildOutcome RebuildSearchIndex(const std::filesystem::path& catalogueFolder,
                                  const RebuildEvents& events, std::size_t budget = kSegmentBudget);

}  // namespace zafirel
