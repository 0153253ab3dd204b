#include "util/files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <system_error>

#include "util/file_change.h"
#include "util/file_handle.h"

namespace zafirel {
namespace {

constexpr std::size_t kCopyBlock = 16384;

bool CopyContents(int from, int to) {
  char buffer[kCopyBlock];
  for (;;) {
    const ssize_t n = ReadSome(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return false;  // a read error must not pass for the end of the file
    if (!MayChangeFile()) return false;
    if (!WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
  }
}

}  // namespace

std::string NombreSinExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::uint64_t FileSizeByName(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return 0;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

bool CopiaArchivo(const std::filesystem::path& source, const std::filesystem::path& target) {
  const FileDescriptor from = FileDescriptor::Open(source, O_RDONLY | O_CLOEXEC);
  if (!from.valid()) return false;
  struct stat sourceInfo {};
  if (::fstat(from.get(), &sourceInfo) != 0) return false;
  struct stat targetInfo {};
  if (::stat(target.c_str(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
      targetInfo.st_ino == sourceInfo.st_ino)
    return false;

  if (!MayChangeFile()) return false;
  FileDescriptor to = FileDescriptor::Open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (!to.valid()) return false;
  const bool copied = CopyContents(from.get(), to.get());
  // The date travels even after a failed copy, as the copy step always ends
  // with it; only the result tells whether the target is whole.
  const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
  ::futimens(to.get(), times);
  const bool closed = to.Close();
  return copied && closed;
}

}  // namespace zafirel
