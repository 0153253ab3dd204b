#include "util/piece_reader.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "util/codepage.h"
#include "util/failure.h"

namespace zafirel {

std::size_t LineEnd(std::string_view text, std::size_t at) {
  const char* from = text.data() + at;
  std::size_t left = text.size() - at;
  if (const void* cr = std::memchr(from, '\r', left))
    left = static_cast<std::size_t>(static_cast<const char*>(cr) - from);
  if (const void* lf = std::memchr(from, '\n', left))
    left = static_cast<std::size_t>(static_cast<const char*>(lf) - from);
  return at + left;
}

PieceReader::PieceReader(const std::filesystem::path& file, ReadBuffer& buffer)
    : fd_(FileDescriptor::Open(file, O_RDONLY | O_CLOEXEC)), buffer_(buffer) {
  if (!fd_.valid()) throw Failure("ErrorLeerArchivo", "No se puede leer el archivo", file, errno);
}

std::string_view PieceReader::Next() {
  if (carry_ > 0) std::memmove(buffer_.data(), buffer_.data() + consumed_, carry_);
  std::size_t filled = carry_;
  for (;;) {
    const std::size_t before = filled;
    const ssize_t got = Read(buffer_.data() + filled, buffer_.size() - filled);
    if (got < 0) throw Failure("ErrorLeerArchivo", "No se puede leer el archivo", {}, errno);
    filled += static_cast<std::size_t>(got);
    bytesRead_ += static_cast<std::uint64_t>(got);
    if (got == 0) return Take(filled, filled);  // the end: what is left is the last piece
    std::size_t cut = filled;
    while (cut > before && !IsLineEnd(buffer_[cut - 1])) --cut;
    if (cut > before) return Take(cut, filled);
    // A line as long as the whole buffer is no line this program wrote: it
    // is cut there, so memory stays one buffer whatever the file holds.
    if (filled == buffer_.size()) return Take(filled, filled);
  }
}

void PieceReader::Restrict(std::uint64_t offset, std::uint64_t length) {
  restricted_ = true;
  position_ = offset;
  end_ = offset + length;
  carry_ = consumed_ = 0;
}

ssize_t PieceReader::Read(char* into, std::size_t size) {
  if (!restricted_) return ReadSome(fd_.get(), into, size);
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, end_ - position_));
  if (size == 0) return 0;
  const ssize_t got = ReadAtOffset(fd_.get(), position_, into, size);
  if (got > 0) position_ += static_cast<std::uint64_t>(got);
  return got;
}

// The first cut bytes of the filled ones are the piece; the rest waits.
std::string_view PieceReader::Take(std::size_t cut, std::size_t filled) {
  carry_ = filled - cut;
  consumed_ = cut;
  return std::string_view(buffer_.data(), cut);
}

void ForEachLineOfFile(const std::filesystem::path& file, ReadBuffer& buffer,
                       const std::function<bool(std::string_view line)>& visit) {
  PieceReader reader(file, buffer);
  bool afterCr = false;  // the last piece ended with a CR, whose LF may open this one
  for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
    const char* start = piece.data();
    const char* const end = start + piece.size();
    if (afterCr && *start == '\n') ++start;
    afterCr = false;
    while (start < end) {
      const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end - start));
      if (lf == nullptr) lf = end;
      const auto* cr = static_cast<const char*>(std::memchr(start, '\r', lf - start));
      const char* stop = cr != nullptr ? cr : lf;
      if (!visit(std::string_view(start, stop - start))) return;
      if (stop == end) break;  // the last line, without an end
      start = stop + 1;
      if (cr != nullptr && start == end) afterCr = true;
      if (cr != nullptr && start < end && *start == '\n') ++start;  // CR LF ends one line
    }
  }
}

}  // namespace zafirel
