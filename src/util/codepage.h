// Text conversions between the program's single-byte ANSI text (Windows-1252),
// the OEM code page of the disc table's files (DOS code page 850) and UTF-8
// (the GUI toolkit and host file names). One table pair per conversion.
//
// ANSI <-> OEM keeps the length; a character the target lacks becomes "?".
// UTF-8 -> ANSI turns characters Windows-1252 lacks, and malformed bytes, into "?".
#pragma once

#include <string>
#include <string_view>

namespace zafirel {

std::string AnsiToOem(std::string_view ansi);
std::string OemToAnsi(std::string_view oem);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace zafirel
