#include "store/catalogue_files.h"

#include <cerrno>
#include <optional>
#include <stdexcept>

#include "util/codepage.h"
#include "util/failure.h"
#include "util/file_change.h"
#include "util/file_writer.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

fs::path TreeFilePath(const fs::path& catalogueFolder, std::string_view number) {
  return catalogueFolder / (std::string(number) + ".Ind");
}

fs::path ListFilePath(const fs::path& catalogueFolder, std::string_view number) {
  return catalogueFolder / (std::string(number) + ".Ct");
}

bool WriteCatalogueFile(const fs::path& file, const LineList& lines) {
  return WriteFileAtomically(file, lines.ToText());
}

LineList ReadCatalogueFile(const fs::path& file) {
  auto fail = [&](int cause) {
    return Failure("ErrorLeerArchivo", "No se puede leer el archivo", file, cause);
  };
  // Too large a file is refused before it is read, not cut short.
  std::error_code unknown;
  const std::uintmax_t size = fs::file_size(file, unknown);
  if (!unknown && size > LineList::kMostBytes) throw fail(EFBIG);
  std::optional<std::string> text = ReadWholeFile(file);
  if (!text) throw fail(errno);
  if (text->size() > LineList::kMostBytes) throw fail(EFBIG);  // grown meanwhile
  return LineList::FromText(std::move(*text));
}

namespace {
constexpr std::string_view kRunSuffix = ".run";
}  // namespace

fs::path RunWorkingFile(const fs::path& catalogueFile) {
  fs::path working = catalogueFile;
  working += kRunSuffix;
  return working;
}

std::string DiscNumberOfFile(std::string_view fileName) {
  return std::string(Trozo(Utf8ToAnsi(fileName), '.', 0));
}

std::uint64_t DiscNumberValue(std::string_view number) {
  if (number.empty() || number.size() > 18) return UINT64_MAX;
  std::uint64_t value = 0;
  for (const char c : number) {
    if (c < '0' || c > '9') return UINT64_MAX;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

std::optional<std::string> RunWorkingFileNumber(std::string_view name) {
  if (name.size() <= kRunSuffix.size() ||
      name.substr(name.size() - kRunSuffix.size()) != kRunSuffix)
    return std::nullopt;
  name.remove_suffix(kRunSuffix.size());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  const std::string_view extension = name.substr(dot);
  if (extension != ".Ct" && extension != ".Ind") return std::nullopt;
  const std::string_view number = name.substr(0, dot);
  for (const char c : number)
    if (c < '0' || c > '9') return std::nullopt;
  return std::string(number);
}

bool DeleteCatalogueFiles(const fs::path& catalogueFolder, std::string_view number) {
  const bool list = RemoveFile(ListFilePath(catalogueFolder, number));
  const bool tree = RemoveFile(TreeFilePath(catalogueFolder, number));
  return list && tree;
}

std::uint64_t KilobytesOf(std::uint64_t bytes) { return bytes / 1024 + (bytes % 1024 ? 1 : 0); }

WorkingFolders FoldersBelow(const std::filesystem::path& dataFolder) {
  return {dataFolder, dataFolder / "Catálogos", dataFolder / "Búsquedas", dataFolder / "Exportar",
          dataFolder / "Temp"};
}

}  // namespace zafirel
