// The one error type of the dBase engine. The problem text is ANSI (the
// program's own single-byte text) so it can be shown as is; what() adds the
// file it concerns.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "util/codepage.h"

namespace zafirel::dbf {

class DbfError : public std::runtime_error {
 public:
  explicit DbfError(std::string problem) : std::runtime_error(problem), problem_(problem) {}
  DbfError(std::string problem, const std::filesystem::path& file)
      : std::runtime_error(problem + ": " + Utf8ToAnsi(file.string())),
        problem_(std::move(problem)),
        file_(file) {}

  const std::string& Problem() const { return problem_; }
  const std::filesystem::path& File() const { return file_; }

 private:
  std::string problem_;
  std::filesystem::path file_;
};

}  // namespace zafirel::dbf
