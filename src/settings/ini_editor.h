// TIniEditor: one INI settings file, read and written key by key with the
// semantics of the Windows private profile functions, so settings and
// language files stay interchangeable with the ones other installations write.
//
// The editor holds no file contents: every read opens the file afresh and
// every write reads, edits and rewrites it whole (through WriteFileAtomically),
// so several editors may point at the same file. Reads never fail; a missing
// file, section or key gives the default. Writes the host cannot carry out
// (missing folder, read-only or unreadable file) are lost; LastWriteCause
// tells a caller that reports it why.
//
// File format: "[Section]" lines open sections, "key=value" lines hold
// entries, lines whose first non-blank is ";" are comments. Section and key
// names match regardless of ASCII letter case; blanks around names and values
// are ignored and one pair of double quotes around a value is dropped. When a
// section or key appears twice the first one counts for reads and rewrites;
// deletions remove every copy so that the next read gives the default. Bytes
// are stored as given (ANSI), host paths as WritePath says. Lines this editor
// does not change keep their bytes and line ends; lines it adds end in CR LF,
// a rewritten entry keeps the line end it had.
//
// Limits: section names, keys and values are cut to 255 bytes, both when
// written and in what a read returns (the default included); host paths
// (ReadPath, WritePath) are never cut, since a cut path names another folder.
// Line breaks inside a written name, value or path become blanks, so a value
// can never open a section of its own.
//
// Host file names: the file name of the resolved path is matched against the
// files of its folder without regard to ASCII case, as on the system the
// format comes from ("Opcion.INI" and "opcion.ini" are one file). A symbolic
// link is written through, not replaced.
//
// Not thread-safe; SetApplicationFolder is meant to be called once at start.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zafirel {

enum class TFileLocation { ApplicationPath, WindowsPath, PathInFileName };

class TIniEditor {
 public:
  TIniEditor();  // FileName empty, FileLocation ApplicationPath

  // The program's folder (host path, UTF-8), the base of ApplicationPath.
  static void SetApplicationFolder(std::string folder);

  void SetFileName(std::string name) { file_name_ = std::move(name); }
  const std::string& FileName() const { return file_name_; }

  // Computes the base folder (with a trailing "/"): the application folder
  // for ApplicationPath; for WindowsPath the user's configuration folder
  // ($XDG_CONFIG_HOME when absolute, else $HOME/.config), this host having no Windows
  // folder; none for PathInFileName.
  void SetFileLocation(TFileLocation location);
  TFileLocation FileLocation() const { return location_; }

  // The file the next read or write uses: FileName alone when there is no
  // base folder, when it is drive-qualified ("C:...") or an absolute host
  // path; base + the rest when it starts with "\"; else base + FileName.
  // ".INI" is added when the last component (after "/" or "\") has no ".".
  // Empty while FileName is empty.
  std::string ResolvedPath() const;

  // The default when section, key or FileName is empty (the file is not
  // opened then) or when the entry is missing.
  std::string ReadStr(std::string_view section, std::string_view key, std::string_view def) const;
  // Nothing happens unless section and FileName are non-empty. An empty key
  // deletes the whole section, an empty value deletes the key; otherwise the
  // value replaces the existing one in place or is added at the end of its
  // section (a new section goes to the end of the file, a new file is made).
  void WriteStr(std::string_view section, std::string_view key, std::string_view value);

  // A host path, stored as HostPathToSetting gives it (ANSI where
  // Windows-1252 holds it exactly, else UTF-8), whole, and quoted when it
  // begins or ends with a blank or a quote pair. Nothing when the entry is
  // missing; an empty path when its value is empty. Writing an empty path
  // deletes the key, as WriteStr does.
  std::optional<std::filesystem::path> ReadPath(std::string_view section,
                                                std::string_view key) const;
  void WritePath(std::string_view section, std::string_view key, const std::filesystem::path& path);

  // True exactly for "TRUE" and "YES" in any case, and for "1".
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  void WriteBool(std::string_view section, std::string_view key, bool value);  // "True"/"False"

  // The first character of the stored value. A key stored with an empty value
  // has no character to give: the default is returned then, as for a missing key.
  char ReadChar(std::string_view section, std::string_view key, char def) const;
  void WriteChar(std::string_view section, std::string_view key, char value);

  // Accepts blanks, an optional sign, digits with "." or "," as decimal point
  // and an optional exponent; anything else (or a number out of range) gives
  // the default.
  double ReadReal(std::string_view section, std::string_view key, double def) const;
  // Up to 15 significant digits, "." as decimal point, an exponent only when
  // needed; independent of the process locale.
  void WriteReal(std::string_view section, std::string_view key, double value);

  // ReadReal truncated toward zero ("-7.5" gives -7); the default when the
  // text is no number or does not fit.
  long ReadInt(std::string_view section, std::string_view key, long def) const;
  void WriteInt(std::string_view section, std::string_view key, long value);

  // Why the last write was lost (an errno value), 0 when it landed: for a
  // caller that tells the user.
  int LastWriteCause() const { return last_write_cause_; }

  void EraseSection(std::string_view section) { WriteStr(section, {}, {}); }
  void EraseEntry(std::string_view section, std::string_view key) { WriteStr(section, key, {}); }

 private:
  // The stored text of the entry, whole or cut to 255 bytes; nothing when absent.
  std::optional<std::string> ReadWholeValue(std::string_view section, std::string_view key) const;
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
  // Writes the value as given: already one line, already cut when it must be.
  void WriteValue(std::string_view section, std::string_view key, const std::string& entry_value);

  std::string file_name_;
  TFileLocation location_ = TFileLocation::ApplicationPath;
  std::string base_folder_;
  int last_write_cause_ = 0;
};

}  // namespace zafirel
