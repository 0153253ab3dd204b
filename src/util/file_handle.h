// Owners of the system's file handles: an open file descriptor and an open
// folder listing. Each closes what it holds exactly once, on every path out
// of the scope that opened it, and can be moved but not copied. Closing in a
// destructor leaves errno as it was, so a caller can still read why the step
// before it failed.
#pragma once

#include <dirent.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>

namespace zafirel {

// A file time as nanoseconds since 1970 (UTC), the one form the program
// compares and stores them in.
inline std::int64_t Nanoseconds(const struct timespec& time) {
  return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}
// The clock those times are taken from, now.
inline std::int64_t NowNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  // open() resumed after an interrupting signal; an empty owner (errno set)
  // when the file cannot be opened.
  static FileDescriptor Open(const std::filesystem::path& path, int flags, mode_t mode = 0);

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it; the owner is empty after.
  int release() noexcept;
  // Closes now. Closing can report a late write failure (a full disc, a
  // network folder), which a file that was written must not ignore. The
  // owner is empty after, whatever the result; an empty owner reports true.
  [[nodiscard]] bool Close();

 private:
  int fd_ = -1;
};

class OpenFolder {
 public:
  OpenFolder() = default;
  // opendir(); not valid() (errno set) when the folder cannot be listed.
  explicit OpenFolder(const std::filesystem::path& path);
  // Lists the folder the descriptor is open on, which the listing then owns.
  // When that fails (not a folder, an empty owner) the descriptor is closed.
  explicit OpenFolder(FileDescriptor folder);
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder();

  DIR* get() const { return dir_; }
  bool valid() const { return dir_ != nullptr; }

 private:
  DIR* dir_ = nullptr;
};

// Memory that reads land in, starting on a cache line: the system copies a
// file's bytes into it at full speed. (Memory from malloc starts 16 bytes
// past such a boundary, and some processors copy there at half the rate.)
class ReadBuffer {
 public:
  explicit ReadBuffer(std::size_t size)
      : bytes_(new (std::align_val_t{kAlignment}) char[size]), size_(size) {}
  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  char& operator[](std::size_t i) { return bytes_[i]; }

 private:
  static constexpr std::size_t kAlignment = 64;
  struct Free {
    void operator()(char* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
  };
  std::unique_ptr<char[], Free> bytes_;
  std::size_t size_;
};

// read() resumed after an interrupting signal: the bytes read, 0 at the end
// of the file, -1 on an error.
ssize_t ReadSome(int fd, char* buffer, std::size_t size);

// pread() at offset until size bytes or the end of the file, resuming after
// interrupted or partial reads: the bytes read, -1 on an error.
ssize_t ReadAtOffset(int fd, std::uint64_t offset, char* buffer, std::size_t size);

// Writes the whole block, resuming after interrupted or partial writes; false
// (errno set) when the system took fewer bytes than the block holds.
[[nodiscard]] bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace zafirel
