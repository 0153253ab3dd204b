// The program's entry: the main window, then the data module, then the
// event loop until the main window closes.
#include <QApplication>
#include <QIcon>

#include "app/gui/menu_pral.h"
#include "app/gui/qt_dialogs.h"
#include "app/startup.h"
#include "settings/language.h"
#include "util/gui/letter_keys.h"
#include "util/locale.h"

int main(int argc, char** argv) {
  zafirel::SettleTimeZone();
  QApplication app(argc, argv);
  // No display name: the platform would add it to every window's title
  // ("Zafirel! v1.1 - catálogo de discos — Zafirel!").
  QApplication::setApplicationName(QStringLiteral("Zafirel!"));
  // The menu entry's name and icon, so desktops match the window to it.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zafirel.Zafirel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.zafirel.Zafirel")));
  zafirel::GiveLetterKeysToDialogs();

  const zafirel::ProgramLocation where = zafirel::LocateProgram(zafirel::RunningExecutableFolder());
  zafirel::Language leng(zafirel::ShippedLanguageFolder(where.executableFolder) / "Ingles.Len");
  zafirel::QtDialogs dialogs(leng);
  zafirel::TMenuPral window(where, zafirel::Locale::FromEnvironment(), leng, dialogs);
  dialogs.SetParentWindow(&window);
  if (!window.CreaModuloDatos()) return 1;
  window.show();
  return QApplication::exec();
}
