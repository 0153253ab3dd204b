// Text conversions between the program's single-byte ANSI text (Windows-1252),
// the OEM code page of the disc table's files (DOS code page 850) and UTF-8
// (the GUI toolkit and host file names). One table pair per conversion.
//
// ANSI <-> OEM keeps the length; a character the target lacks becomes "?".
// UTF-8 -> ANSI turns characters Windows-1252 lacks, and malformed bytes, into "?".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zafirel {

std::string AnsiToOem(std::string_view ansi);
std::string OemToAnsi(std::string_view oem);
std::string AnsiToUtf8(std::string_view ansi);
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
// UCS-2 big-endian (Joliet names and labels) into UTF-8; half of a surrogate
// pair, which UCS-2 cannot carry, becomes "?".
std::string Ucs2BeToUtf8(std::string_view ucs2);

// Upper-casing of OEM text: every letter the ANSI rule raises (accented ones
// too) is raised wherever code page 850 holds its capital, so "m\xA3sica"
// ("música") becomes "M\xE9SICA" ("MÚSICA"); any other byte is kept. Index
// keys of OEM tables and the album filter use this one rule.
std::string UpperOem(std::string_view oem);
void UpperOemInPlace(std::string& oem, std::size_t from = 0);
std::string Utf8ToAnsi(std::string_view utf8);

// Host paths (UTF-8) as settings text. A path Windows-1252 holds exactly is
// stored as ANSI, the form every installation reads; any other path is stored
// as UTF-8, unchanged. Stored text that is well-formed UTF-8 holding non-ASCII
// bytes is read as UTF-8, anything else as ANSI, so settings written as ANSI
// elsewhere read as before. A path whose ANSI bytes happen to be well-formed
// UTF-8 ("Ã©" is the UTF-8 of "é") is stored as UTF-8 too, so every
// well-formed host path comes back exactly. Host paths that are not
// well-formed UTF-8 do not come back: their bytes read as ANSI.
std::string HostPathToSetting(std::string_view utf8Path);
std::string HostPathFromSetting(std::string_view stored);

// A host path as the ANSI text shown in messages ("?" for the characters
// Windows-1252 lacks). Settings store paths through TIniEditor::WritePath.
std::string PathText(const std::filesystem::path& path);

}  // namespace zafirel
