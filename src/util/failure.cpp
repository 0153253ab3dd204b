#include "util/failure.h"

#include <cerrno>
#include <cstring>

#include "util/codepage.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace {

std::string SystemWording(int cause) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may not be in buffer.
  const char* text = strerror_r(cause, buffer, sizeof buffer);
  return Utf8ToAnsi(text);
}

std::string ProblemLine(std::string problem, const std::string& detail,
                        const std::filesystem::path& file) {
  if (!detail.empty()) problem += " " + detail;
  if (!file.empty()) problem += ": " + Utf8ToAnsi(file.string());
  return problem;
}

}  // namespace

Failure::Failure(std::string key, std::string problem, const std::filesystem::path& file, int cause,
                 std::string detail)
    : std::runtime_error(ProblemLine(problem, detail, file) +
                         (cause != 0 ? " (" + SystemWording(cause) + ")" : std::string())),
      key_(std::move(key)),
      problem_(std::move(problem)),
      file_(file),
      cause_(cause),
      detail_(std::move(detail)) {}

std::string CauseText(const Translate& traduce, int cause) {
  switch (cause) {
    case 0:
      return {};
    case ENOSPC:
    case EDQUOT:
      return traduce("CausaSinEspacio");
    case EACCES:
    case EPERM:
      return traduce("CausaSinPermiso");
    case EROFS:
      return traduce("CausaSoloLectura");
    case EFBIG:
      return traduce("CausaDemasiadoGrande");
    default:
      return traduce("CausaOtra") + " " + SystemWording(cause);
  }
}

std::string FailureText(const Translate& traduce, const std::exception& error) {
  if (dynamic_cast<const FolderBusy*>(&error) != nullptr) return traduce("CarpetaOcupada");
  const auto* failure = dynamic_cast<const Failure*>(&error);
  if (failure == nullptr) return error.what();
  std::string problem = failure->Problem();
  if (!failure->Key().empty()) {
    const std::string text = traduce(failure->Key());
    if (!text.empty()) problem = text;
  }
  std::string text = ProblemLine(problem, failure->Detail(), failure->File());
  if (failure->Cause() != 0) text += " (" + CauseText(traduce, failure->Cause()) + ")";
  return text;
}

std::string FailureText(const Translate& traduce, const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& failure) {
    return FailureText(traduce, failure);
  } catch (...) {
    return {};
  }
}

std::string FailureMessage(const Translate& traduce, std::string_view key,
                           const std::exception& error) {
  return traduce(key) + ": " + FailureText(traduce, error);
}

}  // namespace zafirel
