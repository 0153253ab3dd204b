#include "store/catalogue_files.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "util/codepage.h"
#include "util/file_change.h"
#include "util/file_writer.h"

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
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("No se puede leer " + Utf8ToAnsi(file.string()));
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  std::string text;
  if (!ec) text.reserve(size);
  text.assign(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) throw std::runtime_error("No se puede leer " + Utf8ToAnsi(file.string()));
  return LineList::FromText(std::move(text));
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
