#include "search/gui/selecciona_cds.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "util/gui/controls.h"
#include "app/gui/menu_pral.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/tablas.h"
#include "util/guarded.h"
#include "util/text.h"

namespace zafirel {

TSeleccionaCDs::TSeleccionaCDs(TMenuPral& main)
    : EscapeConfirmsDialog(&main, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_(main) {
  setObjectName("SeleccionaCDs");
  colors::ApplyWindowLook(*this);
  setFixedSize(418, 389);
  Panel11 = new QFrame(this);
  Panel11->setFixedHeight(8);
  PaintDarkStrip(*Panel11);
  Cds = new QListWidget(this);
  Cds->setObjectName("Cds");
  Label23 = new QLabel(QStringLiteral("Seleccionar"), this);
  Label23->setAlignment(Qt::AlignCenter);
  CMetodoA = new QToolButton(this);
  CMetodoA->setText(QStringLiteral("Todos"));
  CMetodoB = new QToolButton(this);
  CMetodoB->setText(QStringLiteral("Ninguno"));
  auto* group = new QButtonGroup(this);
  for (QToolButton* b : {CMetodoA, CMetodoB}) {
    b->setCheckable(true);
    b->setAutoRaise(true);
    group->addButton(b);
  }
  CMetodoB->setChecked(true);
  CFiltro = new QComboBox(this);
  CFiltro->setObjectName("CFiltro");
  Label4 = new QLabel(QStringLiteral("Filtrar por album..."), this);
  Aceptar = FlatButton(QStringLiteral("&Aceptar"), this, "Aceptar");

  auto* grid = new QGridLayout(this);
  grid->addWidget(Panel11, 0, 0, 1, 2);
  grid->addWidget(Cds, 1, 0, 6, 1);
  grid->addWidget(Label23, 1, 1);
  grid->addWidget(CMetodoA, 2, 1);
  grid->addWidget(CMetodoB, 3, 1);
  grid->addWidget(CFiltro, 4, 1);
  grid->addWidget(Label4, 5, 1);
  grid->addWidget(Aceptar, 7, 1);
  grid->setColumnStretch(0, 1);
  WatchKeys(Cds);
  WatchKeys(CFiltro);

  connect(CMetodoA, &QToolButton::clicked, this, &TSeleccionaCDs::CMetodoAClick);
  connect(CMetodoB, &QToolButton::clicked, this, &TSeleccionaCDs::CMetodoBClick);
  connect(Aceptar, &QPushButton::clicked, this, &TSeleccionaCDs::AceptarClick);
  FormCreate();
  connect(CFiltro, &QComboBox::currentTextChanged, this, &TSeleccionaCDs::CFiltroChange);
}

void TSeleccionaCDs::FormCreate() {
  const Language& leng = main_.Leng();
  Guarded([&] {
    Aceptar->setText(Qs(leng.Traduce("Aceptar")));
    Label23->setText(Qs(leng.Traduce("Seleccionar")));
    CMetodoA->setText(Qs(leng.Traduce("Todos")));
    CMetodoB->setText(Qs(leng.Traduce("Ninguno")));
    Label4->setText(Qs(leng.Traduce("FiltrarAlbum")));
  });
  Guarded([&] { RellenaCDs(); });
  Guarded([&] {
    main_.RellenaFiltro(CFiltro);
    CFiltro->setCurrentIndex(-1);
  });
}

void TSeleccionaCDs::RellenaCDs() {
  main_.IgnorarCambios = true;  // the main list's refill clears it
  Cds->setEnabled(false);
  Cds->setUpdatesEnabled(false);
  Guarded([&] {
    TTablas& tablas = main_.Tablas();
    const std::string album = Ansi(CFiltro->currentText());
    if (album.empty())
      tablas.IndicesCDRom.Select(tablas.TablaCDRom, "Titulo");
    else
      ApplyAlbumFilter(tablas, album);
    Cds->clear();
    dbf::Table& discs = tablas.TablaCDRom;
    for (discs.First(); !discs.Eof(); discs.Next()) {
      auto* item =
          new QListWidgetItem(Qs(discs.AsString("AUTO") + "." + discs.AsString("TITULOCD")), Cds);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Unchecked);
    }
  });
  Cds->setUpdatesEnabled(true);
  Cds->setEnabled(true);
}

void TSeleccionaCDs::MarkAll(bool marked) {
  for (int i = 0; i < Cds->count(); ++i)
    Cds->item(i)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
}

void TSeleccionaCDs::CMetodoAClick() {
  Guarded([&] { MarkAll(true); });
}

void TSeleccionaCDs::CMetodoBClick() {
  Guarded([&] { MarkAll(false); });
}

void TSeleccionaCDs::CFiltroChange() {
  Guarded([&] {
    RellenaCDs();
    MarkAll(true);
    CMetodoA->setChecked(true);
  });
}

std::vector<std::string> TSeleccionaCDs::MarkedNumbers() const {
  std::vector<std::string> numbers;
  for (int i = 0; i < Cds->count(); ++i)
    if (Cds->item(i)->checkState() == Qt::Checked)
      numbers.emplace_back(Trozo(Ansi(Cds->item(i)->text()), '.', 0));
  return numbers;
}

}  // namespace zafirel
