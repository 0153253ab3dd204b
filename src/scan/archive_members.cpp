#include "scan/archive_members.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>

#include <array>
#include <memory>

#include "util/file_handle.h"
#include "util/text.h"

namespace zafirel {

namespace {

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

// A run of a file as libarchive's input, read with pread so that the run
// may lie anywhere in a larger file.
struct SpanReader {
  FileDescriptor fd;
  std::uint64_t offset = 0, length = 0, position = 0;
  std::array<char, 64 * 1024> buffer{};
};

la_ssize_t ReadSpan(archive*, void* data, const void** block) {
  auto& span = *static_cast<SpanReader*>(data);
  const std::uint64_t left = span.length - span.position;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(left, span.buffer.size()));
  const ssize_t got =
      ReadAtOffset(span.fd.get(), span.offset + span.position, span.buffer.data(), want);
  if (got < 0) return ARCHIVE_FATAL;
  span.position += static_cast<std::uint64_t>(got);
  *block = span.buffer.data();
  return got;
}

la_int64_t SeekSpan(archive*, void* data, la_int64_t request, int whence) {
  auto& span = *static_cast<SpanReader*>(data);
  const la_int64_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? static_cast<la_int64_t>(span.position)
                                               : static_cast<la_int64_t>(span.length);
  la_int64_t target = base + request;
  if (target < 0) return ARCHIVE_FATAL;
  if (static_cast<std::uint64_t>(target) > span.length)
    target = static_cast<la_int64_t>(span.length);
  span.position = static_cast<std::uint64_t>(target);
  return target;
}

la_int64_t SkipSpan(archive*, void* data, la_int64_t request) {
  auto& span = *static_cast<SpanReader*>(data);
  const std::uint64_t step = std::min<std::uint64_t>(
      static_cast<std::uint64_t>(std::max<la_int64_t>(request, 0)), span.length - span.position);
  span.position += step;
  return static_cast<la_int64_t>(step);
}

ArchiveHandle NewReader() {
  ArchiveHandle a(archive_read_new());
  if (!a) return a;
  archive_read_support_format_zip(a.get());
  archive_read_support_format_7zip(a.get());
  archive_read_support_format_rar(a.get());
  archive_read_support_format_rar5(a.get());
  archive_read_support_format_tar(a.get());
  archive_read_support_format_cab(a.get());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_filter_bzip2(a.get());
  archive_read_support_filter_xz(a.get());
  return a;
}

// A member's path as names, with empty, "." and ".." parts dropped so that
// nothing climbs out of the archive's folder.
std::vector<std::string> PathParts(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find_first_of("/\\", at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    if (!part.empty() && part != "." && part != "..") parts.emplace_back(part);
    at = end + 1;
  }
  return parts;
}

enum class Passed { kPassed, kOverBudget, kDamaged };

// Reads or passes over a member's data. A compressed stream must be
// unpacked to reach the next header: that costs the budget, and a member
// that would overspend it ends the listing. Only an inner archive's bytes
// are kept (an inner archive larger than its limit is not kept).
Passed PassMember(archive* a, std::uint64_t& budget, std::string* keep,
                  const std::function<bool()>& keepGoing) {
  if (keep == nullptr && archive_filter_count(a) <= 1)
    return archive_read_data_skip(a) == ARCHIVE_OK ? Passed::kPassed : Passed::kDamaged;
  const void* block = nullptr;
  std::size_t size = 0;
  la_int64_t at = 0;
  for (;;) {
    const int r = archive_read_data_block(a, &block, &size, &at);
    if (r == ARCHIVE_EOF) return Passed::kPassed;
    if (r < ARCHIVE_WARN) return Passed::kDamaged;
    if (keepGoing && !keepGoing()) return Passed::kDamaged;
    if (size > budget) return Passed::kOverBudget;
    budget -= size;
    if (keep != nullptr) {
      if (keep->size() + size > kMaxInnerArchiveBytes) {
        keep->clear();
        keep = nullptr;
      } else {
        keep->append(static_cast<const char*>(block), size);
      }
    }
  }
}

std::optional<std::vector<ArchiveMember>> ListOpen(archive* a, bool openInner,
                                                   const std::function<bool()>& keepGoing) {
  std::vector<ArchiveMember> members;
  std::uint64_t budget = kMaxUnpackedBytes;
  archive_entry* entry = nullptr;
  for (;;) {
    const int r = archive_read_next_header(a, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) return std::nullopt;  // damaged: the archive's line alone
    if (keepGoing && !keepGoing()) return std::nullopt;
    if (archive_entry_is_encrypted(entry)) return std::nullopt;
    if (members.size() >= kMaxArchiveMembers) break;
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr) name = archive_entry_pathname(entry);
    const std::string_view path = name != nullptr ? name : "";
    const mode_t type = archive_entry_filetype(entry);
    ArchiveMember member;
    member.path = PathParts(path);
    member.folder = type == AE_IFDIR;
    const bool usable = !member.path.empty() && path.size() <= kMaxMemberName &&
                        (member.folder || type == AE_IFREG);
    member.size = archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0
                      ? static_cast<std::uint64_t>(archive_entry_size(entry))
                      : 0;
    member.modified = archive_entry_mtime(entry);
    std::string inner;
    const bool wantInner = usable && openInner && !member.folder &&
                           IsArchiveName(member.path.back()) &&
                           member.size <= kMaxInnerArchiveBytes;
    const Passed passed = PassMember(a, budget, wantInner ? &inner : nullptr, keepGoing);
    if (passed == Passed::kDamaged) return std::nullopt;
    if (passed == Passed::kPassed && wantInner && !inner.empty())
      member.inner = ListArchiveBytes(inner);
    if (usable) members.push_back(std::move(member));
    if (passed == Passed::kOverBudget) break;  // this member's header and those before stand
  }
  if (archive_read_has_encrypted_entries(a) > 0) return std::nullopt;
  return members;
}

}  // namespace

bool IsArchiveName(std::string_view name) {
  static constexpr std::array<std::string_view, 11> kEndings = {
      ".ZIP",  ".7Z",      ".RAR", ".TAR",    ".TGZ", ".TAR.GZ",
      ".TBZ2", ".TAR.BZ2", ".TXZ", ".TAR.XZ", ".CAB"};
  const std::string upper = UpperAZ(name);
  for (const std::string_view ending : kEndings)
    if (upper.size() > ending.size() && upper.ends_with(ending)) return true;
  return false;
}

std::optional<std::vector<ArchiveMember>> ListArchive(const ByteSpan& span,
                                                      const std::function<bool()>& keepGoing) {
  auto reader = std::make_unique<SpanReader>();
  reader->fd = FileDescriptor::Open(span.file, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (!reader->fd.valid()) return std::nullopt;
  reader->offset = span.offset;
  reader->length = span.length;
  ArchiveHandle a = NewReader();
  if (!a) return std::nullopt;
  archive_read_set_read_callback(a.get(), ReadSpan);
  archive_read_set_seek_callback(a.get(), SeekSpan);
  archive_read_set_skip_callback(a.get(), SkipSpan);
  archive_read_set_callback_data(a.get(), reader.get());
  if (archive_read_open1(a.get()) != ARCHIVE_OK) return std::nullopt;
  return ListOpen(a.get(), true, keepGoing);
}

std::optional<std::vector<ArchiveMember>> ListArchiveBytes(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  ArchiveHandle a = NewReader();
  if (!a || archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK)
    return std::nullopt;
  return ListOpen(a.get(), false, nullptr);
}

}  // namespace zafirel
