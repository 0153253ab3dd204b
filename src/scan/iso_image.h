// An ISO 9660 disc image file read as a disc of its own, without mounting:
// its volume facts from the volume descriptors and its folders from the
// directory records. Names come from the Joliet tree when there is one (as
// Windows shows them), else from Rock Ridge NM entries, else the ISO 9660
// names without their ";1" version. The image is only read; damaged records,
// directory loops and huge folders cost bounded time and memory.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/file_handle.h"

namespace zafirel {

struct IsoDirEntry {
  std::string name;  // UTF-8, as the host would spell it
  bool folder = false;
  bool hidden = false;       // the record's "existence" flag
  std::uint64_t offset = 0;  // where its data (or its folder's records) begin in the image
  std::uint64_t size = 0;    // the whole file's size, all extents
  bool contiguous = true;    // its extents follow one another in the image
  std::time_t modified = 0;  // the recording date, as UTC seconds
};

class IsoImage {
 public:
  // Nothing when the file holds no ISO 9660 volume.
  static std::optional<IsoImage> Open(const std::filesystem::path& file);

  const std::filesystem::path& File() const { return file_; }
  std::uint32_t Serial() const { return serial_; }     // as Windows computes it
  const std::string& Label() const { return label_; }  // ANSI
  std::uint64_t VolumeBytes() const { return volumeBytes_; }
  const IsoDirEntry& Root() const { return root_; }

  // The entries of a folder ("." and ".." left out), in record order; at
  // most kMaxEntries. The caller keeps a folder from being listed twice (a
  // loop). All the listings of one image together read at most the image's
  // size and 64 MB more: the folders of a sound image lie apart, so only
  // crafted records that overlap ever reach that bound, and they get nothing.
  std::vector<IsoDirEntry> List(const IsoDirEntry& folder) const;

  static constexpr std::size_t kMaxEntries = 100000;
  static constexpr std::uint64_t kMaxFolderBytes = 64u << 20;

 private:
  IsoImage() = default;
  std::string ReadAt(std::uint64_t offset, std::size_t size) const;
  // Takes size bytes from the reading budget; false when it is spent.
  bool Spend(std::uint64_t size) const;

  std::filesystem::path file_;
  std::shared_ptr<FileDescriptor> fd_;
  std::uint32_t serial_ = 0;
  std::string label_;
  std::uint64_t volumeBytes_ = 0;
  std::uint64_t fileBytes_ = 0;
  std::shared_ptr<std::uint64_t> budget_;  // bytes the listings may still read
  std::uint32_t blockSize_ = 2048;
  enum class Names { kIso, kJoliet, kRockRidge } names_ = Names::kIso;
  std::size_t susSkip_ = 0;  // bytes before the Rock Ridge entries in each record
  IsoDirEntry root_;
};

}  // namespace zafirel
