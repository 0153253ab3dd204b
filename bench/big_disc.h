// One disc of millions of file lines, written straight to its two catalogue
// files through a small buffer (so making it costs the benchmark no memory of
// its size), with every kind of line a catalogue run writes: plain files,
// ".ZIP" archives with a description, with an empty one and with their
// members listed as a folder of the same name, empty folders, names with
// blanks, lower case, accented and other high bytes, "&" and "<", and a name
// holding ";" that shifts its fields.
//
// Layout: the root's own files, then kBigDiscFolder with `bigRows` files,
// then folders D:\DIRt\SUBs\ of 40 files each (every tenth one empty, each
// other one ending in an archive whose three members follow as a folder)
// until the disc holds `lines` file lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "store/catalogue_files.h"

namespace bench {

inline constexpr const char* kBigDiscFolder = "D:\\GRANDE\\";

struct BigDisc {
  std::size_t lines = 0, folders = 0;
  std::uintmax_t ctBytes = 0;
};

class BufferedFile {
 public:
  explicit BufferedFile(const std::filesystem::path& path)
      : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path.string());
  }
  ~BufferedFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  void Line(const std::string& text) {
    buffer_ += text;
    buffer_ += "\r\n";
    if (buffer_.size() >= (1u << 16)) Flush();
  }
  void Close() {
    Flush();
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok) throw std::runtime_error("cannot write " + path_.string());
  }

 private:
  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
      throw std::runtime_error("cannot write " + path_.string());
    buffer_.clear();
  }
  std::filesystem::path path_;
  std::FILE* file_;
  std::string buffer_;
};

inline BigDisc WriteBigDisc(const std::filesystem::path& catalogueFolder, const std::string& number,
                            std::size_t lines, std::size_t bigRows) {
  BufferedFile tree(zafirel::TreeFilePath(catalogueFolder, number));
  BufferedFile list(zafirel::ListFilePath(catalogueFolder, number));
  BigDisc made;
  auto folder = [&](const std::string& path) {
    tree.Line(path);
    ++made.folders;
  };
  auto file = [&](const std::string& text) {
    list.Line(text);
    ++made.lines;
  };
  folder("D:\\");
  file("D:\\LEEME.TXT;3;25/12/2003");
  file("D:\\Autorun.inf;1;01/02/1999");
  file("D:\\M\xFAsica y m\xE1s \x80\xFF.TXT;0;31/12/1999");
  file("D:\\A;B.TXT;7;01/01/2001");
  file("D:\\ROTO.ZIP;17;03/02/2001;");
  file("D:\\HERRAM.ZIP;512;03/02/2001;Utilidades de disco <nuevas> & m\xE1s");
  folder(kBigDiscFolder);
  for (std::size_t f = 0; f < bigRows && made.lines < lines; ++f)
    file(std::string(kBigDiscFolder) + "FOTO" + std::to_string(f) + ".JPG;" +
         std::to_string(f % 4096) + ";14/07/2005" + (f % 97 == 0 ? ";Vacaciones en la costa" : ""));
  std::string path;
  for (int top = 0; made.lines < lines; ++top) {
    const std::string parent = "D:\\DIR" + std::to_string(top) + "\\";
    folder(parent);
    for (int sub = 0; sub < 100 && made.lines < lines; ++sub) {
      path = parent + (sub % 3 == 0 ? "sub " : "SUB") + std::to_string(sub) + "\\";
      folder(path);
      if (sub % 10 == 9) continue;  // an empty folder
      for (int f = 0; f < 39 && made.lines < lines; ++f)
        file(path + "ARCHIVO" + std::to_string(f) + ".TXT;" + std::to_string(f * 37 % 5000) +
             ";25/12/2003" + (f % 13 == 0 ? ";Comentario del usuario" : ""));
      if (made.lines >= lines) break;
      file(path + "PAQUETE.ZIP;1536;03/02/2001;Paquete de programas");
      folder(path + "PAQUETE.ZIP\\");
      for (const char* member :
           {"README.TXT;2;03/02/2001", "SETUP.EXE;300;03/02/2001", "DATOS.DAT;1234567;03/02/2001"})
        if (made.lines < lines) file(path + "PAQUETE.ZIP\\" + member);
    }
  }
  tree.Close();
  list.Close();
  made.ctBytes = std::filesystem::file_size(zafirel::ListFilePath(catalogueFolder, number));
  return made;
}

}  // namespace bench
