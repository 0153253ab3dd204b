// The real-widget side of the dialog interface: the program's message box,
// the platform's OK/Cancel box, the progress window and event pumping.
#pragma once

#include <QPointer>

#include "util/dialogs.h"

class QWidget;

namespace zafirel {

class Language;

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(const Language& language) : language_(language) {}

  // Dialogs are centred over this window once it exists.
  void SetParentWindow(QWidget* window) { parent_ = window; }

  void PonerMensaje(const std::string& text) override;
  bool ConfirmOkCancel(const std::string& caption, const std::string& text,
                       Default pressed) override;
  bool ConfirmWithDetails(const std::string& caption, const std::string& text,
                          const std::string& details, Default pressed) override;
  std::unique_ptr<Progress> ShowProgress(const std::string& text) override;
  void ProcessEvents() override;
  std::filesystem::path ChooseFile(const std::string& title, const std::string& description,
                                   const std::string& pattern,
                                   const std::filesystem::path& startFolder) override;
  bool OpenDocument(const std::filesystem::path& document) override;
  std::string ChooseDrive(const std::string& title,
                          const std::vector<DriveChoice>& drives) override;

 private:
  const Language& language_;
  QPointer<QWidget> parent_;
};

}  // namespace zafirel
