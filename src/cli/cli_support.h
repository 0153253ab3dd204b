// What the command-line commands share: options, the data folder and its
// tables, checked output (text, CSV or JSON records), failures and exit codes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_editor.h"
#include "store/catalogue_files.h"
#include "store/data_folder.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/records.h"

namespace zafirel::cli {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kDuplicate = 3, kNotFound = 4;
inline constexpr char kBusy[] =
    "another program is changing this data folder; try again in a few seconds";

// A long operation's progress as one line on the terminal, rewritten in
// place at most every tenth of a second: "zafirel-cli: <text> 42%".
class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(const std::string& text) : text_(AnsiToUtf8(text)) { Show(true); }
  ~TerminalProgress() override {
    step_ = maximum_;
    within_ = 0;
    Show(true);
    std::fputc('\n', stderr);
  }
  void SetMaximum(int maximum) override { maximum_ = std::max(1, maximum); }
  void SetPosition(int position) override { step_ = position, within_ = 0, Show(false); }
  void Step() override { ++step_, within_ = 0, Show(false); }
  void Within(std::uint64_t done, std::uint64_t total) override {
    within_ = total == 0 ? 0 : static_cast<double>(std::min(done, total)) / total;
    Show(false);
  }

 private:
  void Show(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = time;
    const double part = std::clamp((step_ + within_) / maximum_, 0.0, 1.0);
    std::fprintf(stderr, "\rzafirel-cli: %s %3d%%", text_.c_str(), static_cast<int>(part * 100));
    std::fflush(stderr);
  }
  std::string text_;
  double maximum_ = 100;
  double step_ = 0, within_ = 0;
  std::chrono::steady_clock::time_point shown_;
};

// Messages to standard error; every answer yes.
class Silent : public Dialogs {
 public:
  void PonerMensaje(const std::string& text) override;
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  // Shown only to a person: on a terminal.
  std::unique_ptr<Progress> ShowProgress(const std::string& text) override;
  void ProcessEvents() override {}
};

// The texts of the program's own messages (a failure's problem and cause,
// the upgrade's) come in English from the shipped English language file; a
// key it lacks stands for itself.
const Translate& English();
// What failed and why, in UTF-8.
std::string Why(const std::exception& error);
// Says why on standard error and gives the exit code.
int Fail(int code, const std::string& message);

// Standard output, checked: the cause of the first write that failed is
// kept, so a command whose output was lost (a full disc, a closed pipe)
// never ends as done.
void Write(std::string_view text);
bool OutputFailed();
// The command's exit code, or kFailed with the cause when its output did
// not all reach its destination.
int FinishOutput(int code);

struct Options {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;                 // the last of each
  std::map<std::string, std::vector<std::string>> repeated;  // every one, in order
  std::map<std::string, bool> flags;
  // Every value given for an option, in order.
  std::vector<std::string> All(const std::string& name) const;
};
// "--name value" for the named options, "--flag" for the flags, the rest in order.
std::optional<Options> Parse(int argc, char** argv, int from);

// "--format text|csv|json" into records (nothing for text): kDone, or
// kUsage with the wrong value said.
int ReadFormat(const Options& options, std::optional<RecordFormat>& records);

struct DataFolder {
  std::filesystem::path data;
  WorkingFolders below;
  std::unique_ptr<TIniEditor> settings;
};
DataFolder FindDataFolder(const Options& options);

// Opens the disc table with its indexes after mending what interrupted work
// left (see PrepareDataFolder); an older table is upgraded first. Readers
// pass no wait: while another program keeps the folder's lock, the mending
// is left to a later opening and the tables are read as they are.
bool OpenTables(TTablas& tablas, const DataFolder& folder, std::chrono::milliseconds lockWait);

// ANSI cells, tab-separated, as one UTF-8 line.
void PrintRow(const std::vector<std::string>& cells);

}  // namespace zafirel::cli
