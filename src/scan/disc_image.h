// A disc image file read as a disc of its own, without mounting: its volume
// facts and its folders, from the UDF volume where the image carries a
// readable one (as Windows reads such discs: DVD and Blu-ray images, and the
// images whose ISO 9660 tree only holds a note that the disc is UDF), else
// from its ISO 9660 volume. The image is only read; damaged records, loops
// and huge folders cost bounded time and memory.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "util/file_handle.h"

namespace zafirel {

struct ImageEntry {
  std::string name;  // UTF-8, as the host would spell it
  bool folder = false;
  bool hidden = false;       // the record's "existence" (hidden) flag
  std::uint64_t offset = 0;  // files: where their data begin; folders: where they are described
  std::uint64_t size = 0;    // the whole file's size, all extents
  bool contiguous = true;    // its data lie in one run of the image
  std::time_t modified = 0;  // as UTC seconds
  std::uint64_t node = 0;    // where the reader finds the entry's own description
};

class DiscImage {
 public:
  // Nothing when the file holds neither a UDF nor an ISO 9660 volume.
  static std::unique_ptr<DiscImage> Open(const std::filesystem::path& file);
  virtual ~DiscImage() = default;

  const std::filesystem::path& File() const { return file_; }
  std::uint32_t Serial() const { return serial_; }     // as Windows computes it
  const std::string& Label() const { return label_; }  // ANSI
  std::uint64_t VolumeBytes() const { return volumeBytes_; }
  std::uint32_t BlockSize() const { return blockSize_; }
  // "CDFS" or "UDF", as Windows names them.
  virtual const char* FileSystem() const = 0;
  const ImageEntry& Root() const { return root_; }

  // The entries of a folder ("." and ".." left out), in record order; at
  // most kMaxEntries. The caller keeps a folder from being listed twice (a
  // loop, told by its offset). All the listings of one image together read
  // at most the image's size and 64 MB more: the records of a sound image
  // lie apart, so only crafted records that overlap ever reach that bound,
  // and they get nothing.
  virtual std::vector<ImageEntry> List(const ImageEntry& folder) const = 0;

  static constexpr std::size_t kMaxEntries = 100000;
  static constexpr std::uint64_t kMaxFolderBytes = 64u << 20;

 protected:
  DiscImage() = default;
  // Opens the file for reading; false when it cannot be.
  bool OpenFile(const std::filesystem::path& file);
  // At most size bytes from offset, never past the file's end.
  std::string ReadAt(std::uint64_t offset, std::size_t size) const;
  // Takes size bytes from the reading budget; false when it is spent.
  bool Spend(std::uint64_t size) const;

  std::filesystem::path file_;
  std::shared_ptr<FileDescriptor> fd_;
  std::uint64_t fileBytes_ = 0;
  std::shared_ptr<std::uint64_t> budget_;  // bytes the listings may still read
  std::uint32_t serial_ = 0;
  std::string label_;
  std::uint64_t volumeBytes_ = 0;
  std::uint32_t blockSize_ = 2048;
  ImageEntry root_;
};

}  // namespace zafirel
