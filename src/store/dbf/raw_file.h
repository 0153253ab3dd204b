// An open file read and written at explicit offsets without any buffering of
// its own, so that two cursors on the same table (or another program) always
// see each other's writes. Errors are DbfError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

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

  bool IsOpen() const { return fd_ >= 0; }
  bool Writable() const { return writable_; }
  const std::filesystem::path& Path() const { return path_; }
  void Close();

  std::uint64_t Size() const;
  // Reads up to n bytes; fewer only at the end of the file.
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t n) const;
  // Reads exactly n bytes or throws "the file is truncated".
  void ReadExactly(std::uint64_t offset, char* buffer, std::size_t n) const;
  std::string ReadString(std::uint64_t offset, std::size_t n) const;
  void WriteAt(std::uint64_t offset, const char* data, std::size_t n);
  void WriteAt(std::uint64_t offset, const std::string& data) {
    WriteAt(offset, data.data(), data.size());
  }

 private:
  int fd_ = -1;
  bool writable_ = false;
  std::filesystem::path path_;
};

}  // namespace zafirel::dbf
