// The one way the program writes a whole file: the bytes go to a temporary
// file in the target's folder, which is flushed to the disc and then renamed
// over the target, and the folder is flushed after the rename. A crash, a
// power cut or a full disc therefore leaves either the old file or the new
// one in the target's place, never a half-written or empty one.
//
// Temporary files carry kTempMarker and six random characters after the
// target's name; one left by an interrupted write is recognised by
// IsLeftoverTempFile and removed at the next start.
#pragma once

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "util/file_handle.h"

namespace zafirel {

inline constexpr std::string_view kTempMarker = ".tmp-";

// Returns false (and leaves any existing target untouched) when the file
// cannot be written whole; errno then tells why. So do the two below.
[[nodiscard]] bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same without the flushes, for transient copies in the temporary
// folder that nothing relies on after the program ends.
[[nodiscard]] bool WriteTransientFile(const std::filesystem::path& target, std::string_view bytes);

// The same for a file written piece by piece: write gets the temporary
// file's descriptor and returns false (errno saying why) when it cannot
// write; flush as WriteFileAtomically (true) or WriteTransientFile (false).
[[nodiscard]] bool WriteFileThrough(const std::filesystem::path& target,
                                    const std::function<bool(int fd)>& write, bool flush = true);

// Copies source over target the same way (through a flushed temporary file
// renamed over the target), keeping the source's modification time.
[[nodiscard]] bool CopyFileAtomically(const std::filesystem::path& source,
                                      const std::filesystem::path& target);

// The whole contents of a file, read in one pass; nothing when the file
// cannot be opened (errno then tells why) or a read fails.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// A file written piece by piece and put in place whole at the end, the same
// way as WriteFileAtomically: the pieces go to a working file beside the
// target (a temporary name, or one the caller gives), which Commit flushes
// and renames over the target. Until then the target is untouched; a working
// file not committed is removed when the writer ends. The first failure is
// kept (with its errno): later pieces are dropped and Commit reports it.
class StreamedFile {
 public:
  StreamedFile() = default;
  // Creates the working file (replacing one of the given name).
  explicit StreamedFile(std::filesystem::path target, std::filesystem::path working = {});
  StreamedFile(StreamedFile&&) noexcept = default;
  StreamedFile& operator=(StreamedFile&& other) noexcept;
  ~StreamedFile() { Discard(); }

  // False once anything failed (the working file could not be made included).
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }
  std::uint64_t bytes() const { return bytes_; }
  const std::filesystem::path& working() const { return working_; }

  // Buffered; the buffer goes to the file whenever it fills.
  void Append(std::string_view piece);
  // The descriptor, for a writer that fills the file itself (after Flush).
  int fd() const { return file_.get(); }
  [[nodiscard]] bool Flush();
  // Writes what is buffered, keeps an existing target's permissions (0644
  // for a new one), flushes the file to the disc unless told not to, renames
  // it over the target and flushes the folder. False (errno set, the working
  // file gone, the target as it was) when any step failed.
  [[nodiscard]] bool Commit(bool flush = true);
  // The file Commit puts the working file in place as, from now on.
  void Retarget(std::filesystem::path target) { target_ = std::move(target); }
  // Removes the working file; the target stays as it was.
  void Discard();

 private:
  void Fail(int cause);

  std::filesystem::path target_, working_;
  FileDescriptor file_;
  std::string buffer_;
  std::uint64_t bytes_ = 0;
  int error_ = EBADF;
};

// A name WriteFileAtomically gives its temporary files.
bool IsLeftoverTempFile(std::string_view fileName);

}  // namespace zafirel
