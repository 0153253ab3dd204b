// Reading a text file of lines piece by piece through one buffer: a file of
// any size costs the buffer alone, and a buffer serves file after file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "util/file_handle.h"

namespace zafirel {

inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Where the line that begins at at ends (its CR or LF), or the text's end.
std::size_t LineEnd(std::string_view text, std::size_t at);

class PieceReader {
 public:
  // Throws std::runtime_error naming the file when it cannot be opened.
  PieceReader(const std::filesystem::path& file, ReadBuffer& buffer);
  // The next piece, ending after a whole line (or at the end of the file);
  // empty at the end. A line as long as the whole buffer is cut there.
  // Throws std::runtime_error on a read error.
  std::string_view Next();
  std::uint64_t bytesRead() const { return bytesRead_; }
  // From now on the pieces are those of the length bytes at offset, as if
  // they were the whole file (offset should start a line).
  void Restrict(std::uint64_t offset, std::uint64_t length);

 private:
  std::string_view Take(std::size_t cut, std::size_t filled);
  ssize_t Read(char* into, std::size_t size);

  FileDescriptor fd_;
  ReadBuffer& buffer_;
  std::size_t carry_ = 0, consumed_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool restricted_ = false;
  std::uint64_t position_ = 0, end_ = 0;  // of a restricted reader
};

// Each line of a file in order, as LineList::FromText splits a text: each CR
// or LF ends a line, except the LF of a CR LF pair. visit returns false to
// stop. Throws as PieceReader does.
void ForEachLineOfFile(const std::filesystem::path& file, ReadBuffer& buffer,
                       const std::function<bool(std::string_view line)>& visit);

}  // namespace zafirel
