// The one error type of the dBase engine. The problem text is ANSI (the
// program's own single-byte text) and names the problem for the log and
// what(), which adds the file it concerns and the system's reason; what the
// user reads comes from the language key the problem maps to (KeyOfProblem)
// and from the cause (an errno value), turned into words by FailureText.
#pragma once

#include <cerrno>  // the causes the engine passes on
#include <filesystem>
#include <string>
#include <string_view>

#include "util/failure.h"

namespace zafirel::dbf {

// The language key of an engine problem text: the file-access problems have
// one each, those of a damaged file share one, the rest (a closed table, a
// number out of range) another.
inline std::string KeyOfProblem(std::string_view problem) {
  struct Entry {
    std::string_view problem, key;
  };
  static constexpr Entry kKeys[] = {
      {"No se puede abrir el archivo", "ErrorAbrirArchivo"},
      {"No se puede leer el archivo", "ErrorLeerArchivo"},
      {"No se puede escribir en el archivo", "ErrorEscribirArchivo"},
      {"El archivo es de solo lectura", "ErrorEscribirArchivo"},
      {"El archivo est\xE1 truncado", "ArchivoTruncado"},
      {"No es un archivo normal", "ErrorAbrirArchivo"},
      {"No se puede crear la tabla", "ErrorCrearArchivo"},
      {"No se puede crear el archivo de memos", "ErrorCrearArchivo"},
      {"No se puede crear el archivo de \xEDndice", "ErrorCrearArchivo"},
      {"A la tabla le falta el campo", "FaltaCampo"},
  };
  for (const Entry& entry : kKeys)
    if (entry.problem == problem) return std::string(entry.key);
  for (std::string_view mark : {"da\xF1", "v\xE1lid", "demasiado largo", "encontrar el \xEDndice"})
    if (problem.find(mark) != std::string_view::npos) return "ArchivoDanado";
  return "ErrorTabla";
}

class DbfError : public Failure {
 public:
  explicit DbfError(std::string problem) : Failure(KeyOfProblem(problem), problem) {}
  DbfError(std::string problem, const std::filesystem::path& file, int cause = 0,
           std::string detail = {})
      : Failure(KeyOfProblem(problem), problem, file, cause, std::move(detail)) {}
};

}  // namespace zafirel::dbf
