// The border between the core's ANSI text and the toolkit's Unicode strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "util/codepage.h"

namespace zafirel {

inline QString Qs(std::string_view ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }
inline std::string Ansi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

}  // namespace zafirel
