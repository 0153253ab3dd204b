// Everything that would show a dialog or touch the desktop goes through this
// interface: the GUI implements it with real widgets, tests with scripted
// answers. All texts are ANSI (Windows-1252), as everywhere in the core.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zafirel {

// A modeless progress window for one long operation; destroying it closes it.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void SetMaximum(int maximum) = 0;
  virtual void SetPosition(int position) = 0;
  virtual void Step() = 0;  // advance by one and repaint
  // How far the step under way has gone (done of total), for a step that
  // takes long; shown between this step and the next.
  virtual void Within(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
  // The user asked the operation to stop; only operations that lose nothing
  // by stopping look at it.
  virtual bool Stopped() const { return false; }
};

// A drive the drive chooser offers.
struct DriveChoice {
  char letter = 0;
  std::string label;   // ANSI, may be empty
  std::string folder;  // the host folder, ANSI
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The program's own modal message box; returns when the user closed it.
  virtual void PonerMensaje(const std::string& text) = 0;
  // The button Enter presses in a question.
  enum class Default { kCancel, kOk };
  // The platform's OK/Cancel box; true for OK. Questions that throw
  // something away default to Cancel; those that keep what the user just
  // chose, to OK.
  virtual bool ConfirmOkCancel(const std::string& caption, const std::string& text,
                               Default pressed) = 0;
  // A question with a long list the user may open to read (the changes an
  // update makes); without a way to show the list, the question alone.
  virtual bool ConfirmWithDetails(const std::string& caption, const std::string& text,
                                  const std::string& details, Default pressed) {
    (void)details;
    return ConfirmOkCancel(caption, text, pressed);
  }
  // Shows the progress window with its label text, range 0..100 until set.
  virtual std::unique_ptr<Progress> ShowProgress(const std::string& text) = 0;
  // Lets the window system handle pending events (repaint, a Stop click).
  virtual void ProcessEvents() = 0;
  // Opens a page or a folder in the desktop's viewer for it; false when
  // nothing could open it.
  virtual bool OpenDocument(const std::filesystem::path& document) {
    (void)document;
    return false;
  }
  // Asks for an existing file, starting in a folder, offering the files that
  // match the pattern under a description; empty when cancelled.
  virtual std::filesystem::path ChooseFile(const std::string& title, const std::string& description,
                                           const std::string& pattern,
                                           const std::filesystem::path& startFolder) {
    (void)title, (void)description, (void)pattern, (void)startFolder;
    return {};
  }
  // Asks for the drive to catalogue: "D:\" for a drive, the host folder
  // (ANSI) when the user picked another folder, empty when cancelled.
  virtual std::string ChooseDrive(const std::string& title,
                                  const std::vector<DriveChoice>& drives) {
    (void)title;
    (void)drives;
    return {};
  }
};

// Shows nothing and answers OK: for work without a window (benchmarks,
// index builds run from the command line, tests that ignore the dialogs).
class SilentDialogs : public Dialogs {
 public:
  void PonerMensaje(const std::string&) override {}
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  std::unique_ptr<Progress> ShowProgress(const std::string&) override { return nullptr; }
  void ProcessEvents() override {}
};

}  // namespace zafirel
