// What a page or a dialog of the window works with: the disc tables, the
// settings, the language, the dialogs the core reports through, the user's
// locale and the working folders. The main window owns them and hands each
// page this bundle; nothing here is owned by it.
#pragma once

namespace zafirel {

class Dialogs;
class Language;
struct Locale;
class TIniEditor;
class TTablas;
struct WorkingFolders;

struct PageServices {
  TTablas& tablas;
  TIniEditor& ini;
  Language& leng;
  Dialogs& dialogs;
  const Locale& locale;
  // The folders of the data folder in use; they change with it.
  const WorkingFolders& folders;
};

}  // namespace zafirel
