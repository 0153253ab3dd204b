// The border between the core's ANSI text and the toolkit's Unicode strings.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

#include "util/codepage.h"

namespace zafirel {

inline QString Qs(std::string_view ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }
inline std::string Ansi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }
// A host path shown as it is, characters Windows-1252 lacks included.
inline QString QsPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// The text of a multi-line box in ANSI with the CR LF line ends of stored text.
inline std::string AnsiLines(const QString& boxText) {
  const std::string text = Ansi(boxText);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The long part of a "short|long" hint.
inline QString LongHint(const QString& hint) {
  const int bar = hint.indexOf(QLatin1Char('|'));
  return bar >= 0 ? hint.mid(bar + 1) : hint;
}

}  // namespace zafirel
