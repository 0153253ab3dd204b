// A failure the user is told about, carried up from the step that met it:
// what went wrong (a language key and the program's own text for it), what
// it concerns (a file, a name) and the operating system's reason (an errno
// value, 0 when the system gave none). The core keeps no language: the layer
// that shows the message turns the key and the reason into the user's
// language (FailureText).
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zafirel {

class Failure : public std::runtime_error {
 public:
  // problem is ANSI and stands in for the key where no language is at hand
  // (what(), the program's log); detail follows it ("... el campo ALBUM").
  Failure(std::string key, std::string problem, const std::filesystem::path& file = {},
          int cause = 0, std::string detail = {});

  const std::string& Key() const { return key_; }
  const std::string& Problem() const { return problem_; }
  const std::filesystem::path& File() const { return file_; }
  const std::string& Detail() const { return detail_; }
  int Cause() const { return cause_; }

 private:
  std::string key_;
  std::string problem_;
  std::filesystem::path file_;
  int cause_;
  std::string detail_;
};

// The text of a language key (Language::Traduce, or the command line's own).
using Translate = std::function<std::string(std::string_view key)>;

// The reason behind an errno value in the user's language: the common ones
// (full disc, no permission, read-only file system, file too large) by a
// key of their own, any other as a general text and the system's wording.
// Empty for 0.
std::string CauseText(const Translate& traduce, int cause);

// What the user reads for a failure (ANSI): a Failure's key text, detail,
// file and reason; the lock's refusal as "CarpetaOcupada"; anything else by
// its own text.
std::string FailureText(const Translate& traduce, const std::exception& error);
// The same for a failure kept for later; empty when there is none.
std::string FailureText(const Translate& traduce, const std::exception_ptr& error);

// The key's text, ": " and the failure's text: "could not delete the
// catalogue: cannot write the file: /x/CDROM.DBF (no space left on the disk)".
std::string FailureMessage(const Translate& traduce, std::string_view key,
                           const std::exception& error);

}  // namespace zafirel
