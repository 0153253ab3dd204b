// Reading a text file of lines piece by piece through one buffer: a file of
// any size costs the buffer alone, and a buffer serves file after file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "util/file_handle.h"

namespace zafirel {

inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

class PieceReader {
 public:
  // Throws std::runtime_error naming the file when it cannot be opened.
  PieceReader(const std::filesystem::path& file, ReadBuffer& buffer);
  // The next piece, ending after a whole line (or at the end of the file);
  // empty at the end. A line as long as the whole buffer is cut there.
  // Throws std::runtime_error on a read error.
  std::string_view Next();
  std::uint64_t bytesRead() const { return bytesRead_; }

 private:
  std::string_view Take(std::size_t cut, std::size_t filled);

  FileDescriptor fd_;
  ReadBuffer& buffer_;
  std::size_t carry_ = 0, consumed_ = 0;
  std::uint64_t bytesRead_ = 0;
};

// Each line of a file in order, as LineList::FromText splits a text: each CR
// or LF ends a line, except the LF of a CR LF pair. visit returns false to
// stop. Throws as PieceReader does.
void ForEachLineOfFile(const std::filesystem::path& file, ReadBuffer& buffer,
                       const std::function<bool(std::string_view line)>& visit);

}  // namespace zafirel
