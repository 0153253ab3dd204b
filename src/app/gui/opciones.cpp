#include "app/gui/opciones.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/data_folder.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/reported.h"
#include "util/text.h"
#include "util/version.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

TOpciones::TOpciones(const PageServices& services, Window window, QWidget* parent)
    : EscapeConfirmsDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      services_(services),
      window_(std::move(window)) {
  setObjectName("Opciones");
  colors::ApplyWindowLook(*this);
  setFixedSize(416, 147);
  Panel11 = new QLabel(QStringLiteral("Opciones"), this);
  PaintDarkStrip(*Panel11);
  Panel11->setContentsMargins(6, 2, 6, 2);
  Label1 = new QLabel(QStringLiteral("Ubicación catálogos"), this);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setReadOnly(true);
  BBusca = new QToolButton(this);
  BBusca->setObjectName("BBusca");
  BBusca->setText(QStringLiteral("..."));
  BBusca->setAutoRaise(true);
  Label21 = new QLabel(QStringLiteral("Lenguaje"), this);
  Label21->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Modelos = new QComboBox(this);
  Modelos->setObjectName("Modelos");
  Modelos->setMaxVisibleItems(16);
  ASLink1 = new QLabel(QString::fromLatin1(kVersionLine), this);
  Aceptar = FlatButton(QStringLiteral("&Aceptar"), this, "Aceptar");

  auto* grid = new QGridLayout(this);
  grid->addWidget(Panel11, 0, 0, 1, 3);
  grid->addWidget(Label1, 1, 0);
  grid->addWidget(Edit1, 1, 1);
  grid->addWidget(BBusca, 1, 2);
  grid->addWidget(Label21, 2, 0);
  grid->addWidget(Modelos, 2, 1);
  grid->addWidget(ASLink1, 3, 0, 1, 2);
  grid->addWidget(Aceptar, 3, 2);
  grid->setColumnStretch(1, 1);
  Label1->setBuddy(Edit1);
  Label21->setBuddy(Modelos);
  WatchKeys(Edit1);
  WatchKeys(Modelos);
  connect(BBusca, &QToolButton::clicked, this, &TOpciones::BBuscaClick);
  connect(Aceptar, &QPushButton::clicked, this, &TOpciones::AceptarClick);
  FormCreate();
}

TOpciones::~TOpciones() { FormClose(); }

std::string TOpciones::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void TOpciones::FormCreate() {
  const fs::path data = services_.folders.data;
  Guarded(__func__, [&] { Edit1->setText(QsPath(data)); });
  Guarded(__func__, [&] {
    std::string current = services_.ini.ReadStr("General", "Lenguaje", "");
    ListLanguages(current.empty() ? "Espanol.Len" : current);
  });
  Guarded(__func__, [&] {
    Panel11->setText(Qs(Traduce("Opciones1")));
    setWindowTitle(Qs(Traduce("Opciones1")));
    NameForReaders(*BBusca, Traduce("ElegirCarpeta"));
    Label1->setText(Qs(Traduce("Directorio")));
    Label21->setText(Qs(Traduce("Idioma")));
    Aceptar->setText(Qs(Traduce("Aceptar")));
  });
}

void TOpciones::ListLanguages(const std::string& current) {
  Modelos->clear();
  std::vector<std::string> languages = ListFiles(services_.folders.data, "*.Len");
  std::sort(languages.begin(), languages.end());
  for (const std::string& name : languages) Modelos->addItem(QString::fromStdString(name));
  Modelos->setCurrentIndex(Modelos->findText(Qs(current), Qt::MatchFixedString));
}

void TOpciones::BBuscaClick() {
  Dialogs& dialogs = services_.dialogs;
  fs::path picked;
  Guarded(__func__, [&] {
    picked = dialogs.ChooseFile(Traduce("Opciones1"), Traduce("ArchivosCatalogos"),
                                "*.Dbf *.dbf *.DBF", services_.folders.data);
  });
  if (picked.empty()) return;
  const fs::path folder = picked.parent_path();
  const std::string name = Utf8ToAnsi(picked.filename().string());
  if (UpperAZ(name) != "CDROM.DBF") return;  // only a disc table will do
  // The folder is judged before anything is written into it, so a refused
  // one is left exactly as it was (no lock file, no backup folder).
  try {
    TTablas::CheckDiscTable(folder);
  } catch (const std::exception& error) {
    dialogs.PonerMensaje(FailureMessage(services_.leng.Translator(), "ErrorArchivo", error));
    return;
  }
  const QString previous = Edit1->text();
  Edit1->setText(QsPath(folder));
  const bool changed = Reported(dialogs, services_.leng.Translator(), "ErrorArchivo", [&] {
    // The index files are derived data: built anew for the table chosen
    // when the folder is opened.
    MarkIndexesInDoubt(folder);
    window_.useDataFolder(folder);
  });
  if (!changed) {
    Edit1->setText(previous);
    return;
  }
  // The new folder's languages, the one chosen kept where it has it.
  Guarded(__func__, [&] { ListLanguages(Ansi(Modelos->currentText())); });
  dialogs.PonerMensaje(Traduce("UbicacionCambiada"));
}

void TOpciones::AceptarClick() {
  Guarded(__func__, [&] { accept(); });
}

void TOpciones::FormClose() {
  if (closed_) return;
  closed_ = true;
  // The box shows the folder in use; the setting takes the path itself, not
  // the box's text.
  TIniEditor& ini = services_.ini;
  int lost = 0;
  ini.WritePath("General", "Directorio", services_.folders.data);
  lost = ini.LastWriteCause();
  std::string chosen;
  Guarded(__func__, [&] {
    chosen = Ansi(Modelos->currentText());
    if (chosen.empty() || ListFiles(services_.folders.data, chosen).empty()) chosen.clear();
    if (!chosen.empty()) window_.relabel(chosen);
  });
  if (!chosen.empty()) {
    ini.WriteStr("General", "Lenguaje", chosen);
    if (lost == 0) lost = ini.LastWriteCause();
  }
  ReportLostWrite(services_.dialogs, services_.leng.Translator(), "ErrorOpciones",
                  fs::path(ini.ResolvedPath()), lost);
}

}  // namespace zafirel
