#include "util/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace zafirel {

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  std::string temp = target.string() + ".tmp-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  // Keep the permissions an existing target had; mkstemp gives 0600.
  struct stat st {};
  if (ok && ::stat(target.c_str(), &st) == 0)
    ::fchmod(fd, st.st_mode & 07777);
  else if (ok)
    ::fchmod(fd, 0644);
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace zafirel
