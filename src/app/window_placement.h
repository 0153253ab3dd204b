// The main window's placement, kept in section "Posicion" of the data
// folder's "Opcion.ini": the normal rectangle, whether the window was
// maximised, and the screen resolution it was saved under. A saved
// placement is applied only under the same resolution.
#pragma once

#include <optional>

namespace zafirel {

class TIniEditor;

struct WindowPlacement {
  int showCmd = 1;  // 1 normal, 3 maximised
  int flags = 0;
  int pixelsPerInch = 96;
  int left = 0, top = 0, right = 0, bottom = 0;  // normal rectangle
};

struct ScreenFacts {
  int width = 0;
  int height = 0;
  int pixelsPerInch = 96;
};

void SavePlacement(TIniEditor& posicion, const WindowPlacement& placement,
                   const ScreenFacts& screen);

// Where windows may stand on a screen: its space without the desktop's panels.
struct ScreenArea {
  int left = 0, top = 0, width = 0, height = 0;
};

// The placement with its normal rectangle moved, and shrunk where it is
// larger than the area, so that all of it lies on the area: a placement
// saved on a monitor that is gone, or larger than this screen, opens where
// it can be seen. An empty area leaves it as it is.
WindowPlacement FitPlacement(WindowPlacement placement, const ScreenArea& area);

// Nothing when no placement was saved, it does not read, or it was saved
// under another resolution. The key for the current screen size wins over
// the plain one.
std::optional<WindowPlacement> LoadPlacement(const TIniEditor& posicion, const ScreenFacts& screen);

}  // namespace zafirel
