#include "search/gui/saved_pages.h"

#include <chrono>

#include "settings/language.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"

namespace zafirel {

void SaveAndOpenPage(const PageServices& services, const std::filesystem::path& page,
                     std::string_view title, const ResultsWalk& walk) {
  SaveAndOpen(services, page, [&] { GrabarLaBusqueda(page, title, walk); });
}

void SaveAndOpen(const PageServices& services, const std::filesystem::path& page,
                 const std::function<void()>& write) {
  Dialogs& dialogs = services.dialogs;
  try {
    write();
    const std::string shown = Utf8ToAnsi(page.string());
    if (dialogs.OpenDocument(page))
      dialogs.PonerMensaje(services.leng.Traduce("NombreDocumento") + " " + shown);
    else
      dialogs.PonerMensaje(services.leng.Traduce("ErrorHTML") + " " + shown);
  } catch (const std::exception& error) {
    dialogs.PonerMensaje(FailureText(services.leng.Translator(), error));
  }
}

std::function<void(std::uint64_t, std::uint64_t)> EventsNowAndThen(Dialogs& dialogs) {
  using Clock = std::chrono::steady_clock;
  return [&dialogs, next = Clock::now()](std::uint64_t, std::uint64_t) mutable {
    if (Clock::now() < next) return;
    next = Clock::now() + std::chrono::milliseconds(75);
    dialogs.ProcessEvents();
  };
}

}  // namespace zafirel
