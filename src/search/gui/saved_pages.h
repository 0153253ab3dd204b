// What the search page and the collection dialogs share: saving a results
// tree as a page and opening it, and letting the window breathe during long
// work.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "search/html_pages.h"
#include "util/gui/services.h"

namespace zafirel {

// Writes a file with write (which throws what keeps it from being
// written), opens it in the desktop's viewer and says so (or why not).
void SaveAndOpen(const PageServices& services, const std::filesystem::path& file,
                 const std::function<void()>& write);
// The same for a results tree's page.
void SaveAndOpenPage(const PageServices& services, const std::filesystem::path& page,
                     std::string_view title, const ResultsWalk& walk);

// A progress handler that lets pending events run at most every 75 ms.
std::function<void(std::uint64_t, std::uint64_t)> EventsNowAndThen(Dialogs& dialogs);

}  // namespace zafirel
