// Runs a change the user started (deleting a disc, saving a page, changing
// a setting) and tells the user when it fails: the key's text, ": " and what
// failed with its cause (FailureMessage). The counterpart of Guarded, which
// only logs, for best-effort refreshes. scripts/check_guarded.py keeps the
// changes out of Guarded.
#pragma once

#include <exception>
#include <filesystem>
#include <string_view>

#include "util/dialogs.h"
#include "util/failure.h"

namespace zafirel {

// True when the step ran through.
template <typename Step>
bool Reported(Dialogs& dialogs, const Translate& traduce, std::string_view key, Step&& step) {
  try {
    step();
    return true;
  } catch (const std::exception& error) {
    dialogs.PonerMensaje(FailureMessage(traduce, key, error));
    return false;
  }
}

// Tells the user that a write which reports no exception was lost (a
// setting): the key's text, ": ", the file and the cause. Nothing when the
// cause is 0.
inline void ReportLostWrite(Dialogs& dialogs, const Translate& traduce, std::string_view key,
                            const std::filesystem::path& file, int cause) {
  if (cause == 0) return;
  const Failure lost("ErrorEscribirArchivo", "No se puede escribir en el archivo", file, cause);
  dialogs.PonerMensaje(FailureMessage(traduce, key, lost));
}

}  // namespace zafirel
