// An open file read and written at explicit offsets without any buffering of
// its own, so that two cursors on the same table (or another program) always
// see each other's writes. Errors are DbfError naming the file.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/file_handle.h"

namespace zafirel::dbf {

class RawFile {
 public:
  RawFile() = default;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  ~RawFile();

  // Opens for reading and writing, or for reading only when the file may not
  // be written (a read-only copy); Writable() tells which.
  static RawFile Open(const std::filesystem::path& path);
  // A file held in memory under a name, read and written as one on disc
  // would be: what the fuzz targets feed the engine, nothing touching the disc.
  static RawFile InMemory(std::string bytes, std::filesystem::path name);

  bool IsOpen() const { return fd_.valid() || memory_ != nullptr; }
  bool Writable() const { return writable_; }
  const std::filesystem::path& Path() const { return path_; }
  void Close();

  std::uint64_t Size() const;
  // True when the path now names another file than the one open (another
  // program replaced it by a rename); false when the path is gone.
  bool Replaced() const;

  // Changes whenever the file may have changed: at once at every write
  // through any RawFile of this process on the same file, and within a tick
  // of the system's coarse clock (4 ms at most, else a millisecond) when the
  // file's size or modification time moves (another program). Lets readers
  // keep what they read until then.
  struct Version {
    std::uint64_t writes = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t epoch = 0;  // FolderLock::Epoch(): another program may have written since
    bool operator==(const Version&) const = default;
  };
  Version CurrentVersion() const;
  // Keeps the pages of the file that were read (up to limit bytes of them)
  // and serves reads from them while the file does not change under another
  // writer; this RawFile's own writes update them. Opening costs the pages
  // read, not the file's size, and walking a table in an index order costs
  // no system call a record. Past the limit one window of the file slides
  // along with the reads: a few KB read at a time where reads jump about,
  // growing up to kMaxWindow while they run on in file order, so reading
  // there costs one system call for many records whatever the file's size.
  void SetReadCacheLimit(std::uint64_t limit) {
    ReleaseArena();
    cacheLimit_ = limit;
  }
  // Bytes every writer changes with each change (a table's header): when a
  // lock was taken since the copy was made, the copy still serves if these
  // bytes on disc are as in the copy; without them it is read anew.
  void SetCacheFingerprint(std::uint64_t offset, std::size_t length) {
    fingerprintOffset_ = offset;
    fingerprintLength_ = length;
  }

  // Reads this program has asked of the system through any RawFile so far.
  static std::uint64_t SystemReads();

  // Has the next look at the version ask the file system at once.
  void Revalidate() const { stattedAt_ = INT64_MIN; }
  // The write counter alone, without asking the file system.
  std::uint64_t WriteCount() const { return writes_ ? *writes_ : 0; }
  // Reads up to n bytes; fewer only at the end of the file.
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t n) const;
  // Reads exactly n bytes or throws "the file is truncated".
  void ReadExactly(std::uint64_t offset, char* buffer, std::size_t n) const;
  std::string ReadString(std::uint64_t offset, std::size_t n) const;
  // Reads straight from the file, keeping nothing: for one pass over a whole
  // file, which would only push out the pages kept. Fewer bytes only at the
  // end of the file.
  std::size_t ReadPassing(std::uint64_t offset, char* buffer, std::size_t n) const;
  // Asks the processor to fetch bytes of a page already held, for a read
  // that is coming; does nothing otherwise.
  void Prefetch(std::uint64_t offset, std::size_t n) const;
  void WriteAt(std::uint64_t offset, const char* data, std::size_t n);
  // Cuts the file to size bytes (never lengthens it).
  void Truncate(std::uint64_t size);
  void WriteAt(std::uint64_t offset, const std::string& data) {
    WriteAt(offset, data.data(), data.size());
  }

 private:
  FileDescriptor fd_;
  bool writable_ = false;
  int readOnlyCause_ = 0;  // why the file could only be opened for reading
  struct Memory {
    std::string bytes;
    std::uint64_t writes = 0;
  };
  std::shared_ptr<Memory> memory_;   // the bytes of a file held in memory
  std::uint64_t* writes_ = nullptr;  // shared by every RawFile on the same file
  bool CacheServes() const;
  std::optional<std::string_view> Page(std::uint64_t index) const;
  void DropPages() const;
  void ReleaseArena();
  void CacheWrite(std::uint64_t offset, const char* data, std::size_t n);

  bool FromWindow(std::uint64_t offset, char* buffer, std::size_t n, std::size_t& got) const;

  static constexpr std::size_t kCachePage = std::size_t{64} << 10;
  static constexpr std::size_t kMinWindow = std::size_t{4} << 10;
  static constexpr std::size_t kMaxWindow = std::size_t{1} << 20;
  // The window past the pages kept: bytes from windowStart_ on; fewer than
  // its capacity only at the end of the file. Good while the pages are.
  mutable std::string window_;
  mutable std::uint64_t windowStart_ = 0;
  mutable std::size_t windowLength_ = 0;
  mutable std::size_t windowSize_ = kMinWindow;
  std::uint64_t cacheLimit_ = 0;
  static constexpr std::uint32_t kNotHeld = UINT32_MAX;
  // Page i of the file lives at arena_ + i × kCachePage; pageLength_ says how
  // many of its bytes are held (kNotHeld: none yet).
  mutable char* arena_ = nullptr;
  mutable std::vector<std::uint32_t> pageLength_;
  mutable bool cacheValid_ = false;
  mutable std::uint64_t cacheWrites_ = 0;
  mutable std::uint64_t cacheEpoch_ = 0;
  std::uint64_t fingerprintOffset_ = 0;
  std::size_t fingerprintLength_ = 0;
  bool FingerprintHolds() const;
  mutable std::optional<Version> cacheStamp_;  // unknown right after our own write
  mutable Version statted_;                    // the last fstat, and when it was taken
  mutable std::int64_t stattedAt_ = INT64_MIN;
  std::filesystem::path path_;
};

}  // namespace zafirel::dbf
