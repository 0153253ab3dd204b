#include "app/gui/opciones.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "util/gui/controls.h"
#include "app/gui/menu_pral.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "settings/language.h"
#include "store/data_folder.h"
#include "util/dialogs.h"
#include "util/guarded.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

TOpciones::TOpciones(TMenuPral& main)
    : EscapeConfirmsDialog(&main, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_(main) {
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
  ASLink1 = new QLabel(QStringLiteral("Zafirel! v1.1"), this);
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
  WatchKeys(Edit1);
  WatchKeys(Modelos);
  connect(BBusca, &QToolButton::clicked, this, &TOpciones::BBuscaClick);
  connect(Aceptar, &QPushButton::clicked, this, &TOpciones::AceptarClick);
  FormCreate();
}

TOpciones::~TOpciones() { FormClose(); }

void TOpciones::FormCreate() {
  const fs::path data = main_.Folders().data;
  Guarded([&] { Edit1->setText(QsPath(data)); });
  Guarded([&] {
    std::vector<std::string> languages = ListFiles(data, "*.Len");
    std::sort(languages.begin(), languages.end());
    for (const std::string& name : languages) Modelos->addItem(QString::fromStdString(name));
    std::string current = main_.Ini1().ReadStr("General", "Lenguaje", "");
    if (current.empty()) current = "Espanol.Len";
    Modelos->setCurrentIndex(Modelos->findText(Qs(current), Qt::MatchFixedString));
  });
  Guarded([&] {
    Panel11->setText(Qs(main_.Traduce("Opciones1")));
    Label1->setText(Qs(main_.Traduce("Directorio")));
    Label21->setText(Qs(main_.Traduce("Idioma")));
    Aceptar->setText(Qs(main_.Traduce("Aceptar")));
  });
}

void TOpciones::BBuscaClick() {
  Guarded([&] {
    Dialogs& dialogs = main_.Messages();
    const fs::path picked =
        dialogs.ChooseFile(main_.Traduce("Opciones1"), main_.Traduce("ArchivosCatalogos"),
                           "*.Dbf *.dbf *.DBF", main_.Folders().data);
    if (picked.empty()) return;
    const fs::path folder = picked.parent_path();
    const std::string name = Utf8ToAnsi(picked.filename().string());
    if (UpperAZ(name) != "CDROM.DBF") return;  // only a disc table will do
    // The index files are derived data: built anew for the table chosen
    // when the folder is opened (another program may be using them now).
    Guarded([&] { MarkIndexesInDoubt(folder); });
    const QString previous = Edit1->text();
    Edit1->setText(QsPath(folder));
    if (!main_.UseDataFolder(folder)) {
      Edit1->setText(previous);
      dialogs.PonerMensaje(main_.Traduce("ErrorArchivo") + ": " + name);
      return;
    }
    dialogs.PonerMensaje(main_.Traduce("UbicacionCambiada"));
  });
}

void TOpciones::AceptarClick() {
  Guarded([&] { accept(); });
}

void TOpciones::FormClose() {
  if (closed_) return;
  closed_ = true;
  // The box shows the folder in use; the setting takes the path itself, not
  // the box's text.
  Guarded([&] { main_.Ini1().WritePath("General", "Directorio", main_.Folders().data); });
  Guarded([&] {
    const std::string chosen = Ansi(Modelos->currentText());
    if (chosen.empty() || ListFiles(main_.Folders().data, chosen).empty()) return;
    main_.TraduceTodo(chosen);
    main_.Ini1().WriteStr("General", "Lenguaje", chosen);
  });
}

}  // namespace zafirel
