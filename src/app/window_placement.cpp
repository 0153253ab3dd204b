#include "app/window_placement.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "settings/ini_editor.h"

namespace zafirel {
namespace {

constexpr const char* kSection = "Posicion";

std::string Four(int a, int b, int c, int d) {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", a, b, c, d);
  return text;
}

std::string SizeSuffix(const ScreenFacts& screen) {
  char text[32];
  std::snprintf(text, sizeof text, "(%dx%d)", screen.width, screen.height);
  return text;
}

bool ReadFour(const std::string& text, int& a, int& b, int& c, int& d) {
  char tail = 0;
  return std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &a, &b, &c, &d, &tail) == 4;
}

}  // namespace

void SavePlacement(TIniEditor& posicion, const WindowPlacement& p, const ScreenFacts& screen) {
  const std::string norm = Four(p.left, p.top, p.right, p.bottom);
  const std::string minMax = Four(-1, -1, -1, -1);
  posicion.WriteInt(kSection, "FormVersion", 0);
  posicion.WriteInt(kSection, "Flags", p.flags);
  posicion.WriteInt(kSection, "ShowCmd", p.showCmd);
  posicion.WriteInt(kSection, "PixelsPerInch", screen.pixelsPerInch);
  posicion.WriteStr(kSection, "MinMaxPos", minMax);
  posicion.WriteStr(kSection, "MinMaxPos" + SizeSuffix(screen), minMax);
  posicion.WriteStr(kSection, "NormPos", norm);
  posicion.WriteStr(kSection, "NormPos" + SizeSuffix(screen), norm);
}

std::optional<WindowPlacement> LoadPlacement(const TIniEditor& posicion,
                                             const ScreenFacts& screen) {
  WindowPlacement p;
  p.pixelsPerInch = static_cast<int>(posicion.ReadInt(kSection, "PixelsPerInch", -1));
  if (p.pixelsPerInch != screen.pixelsPerInch) return std::nullopt;
  std::string norm = posicion.ReadStr(kSection, "NormPos" + SizeSuffix(screen), "");
  if (norm.empty()) norm = posicion.ReadStr(kSection, "NormPos", "");
  if (!ReadFour(norm, p.left, p.top, p.right, p.bottom)) return std::nullopt;
  if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
  p.showCmd = static_cast<int>(posicion.ReadInt(kSection, "ShowCmd", 1));
  p.flags = static_cast<int>(posicion.ReadInt(kSection, "Flags", 0));
  return p;
}

WindowPlacement FitPlacement(WindowPlacement p, const ScreenArea& area) {
  if (area.width <= 0 || area.height <= 0) return p;
  const int width = std::min(p.right - p.left, area.width);
  const int height = std::min(p.bottom - p.top, area.height);
  p.left = std::clamp(p.left, area.left, area.left + area.width - width);
  p.top = std::clamp(p.top, area.top, area.top + area.height - height);
  p.right = p.left + width;
  p.bottom = p.top + height;
  return p;
}

}  // namespace zafirel
