#include "search/gui/selecciona_cds.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "settings/language.h"
#include "store/album_filter.h"
#include "store/tablas.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/text.h"

namespace zafirel {

TSeleccionaCDs::TSeleccionaCDs(const PageServices& services, QWidget* parent)
    : EscapeConfirmsDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      services_(services) {
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
  CMetodoA->setObjectName("CMetodoA");
  CMetodoA->setText(QStringLiteral("Todos"));
  CMetodoB = new QToolButton(this);
  CMetodoB->setObjectName("CMetodoB");
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
  ShowAtMost(*CFiltro, 8);
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
  Label4->setBuddy(CFiltro);
  WatchKeys(Cds);
  WatchKeys(CFiltro);

  connect(CMetodoA, &QToolButton::clicked, this, &TSeleccionaCDs::CMetodoAClick);
  connect(CMetodoB, &QToolButton::clicked, this, &TSeleccionaCDs::CMetodoBClick);
  connect(Aceptar, &QPushButton::clicked, this, &TSeleccionaCDs::AceptarClick);
  FormCreate();
  connect(CFiltro, &QComboBox::currentTextChanged, this, &TSeleccionaCDs::CFiltroChange);
}

void TSeleccionaCDs::FormCreate() {
  const Language& leng = services_.leng;
  Guarded(__func__, [&] {
    Aceptar->setText(Qs(leng.Traduce("Aceptar")));
    Label23->setText(Qs(leng.Traduce("Seleccionar")));
    CMetodoA->setText(Qs(leng.Traduce("Todos")));
    CMetodoB->setText(Qs(leng.Traduce("Ninguno")));
    Label4->setText(Qs(leng.Traduce("FiltrarAlbum")));
    setWindowTitle(Qs(leng.Traduce("Seleccionar")));
    NameForReaders(*Cds, leng.Traduce("NombreListaDiscos"));
  });
  Guarded(__func__, [&] { RellenaCDs(); });
  Guarded(__func__, [&] {
    SetChoices(*CFiltro, ListAlbums(services_.tablas));
    CFiltro->setCurrentIndex(-1);
  });
}

void TSeleccionaCDs::RellenaCDs() {
  Cds->setEnabled(false);
  Cds->setUpdatesEnabled(false);
  Guarded(__func__, [&] {
    TTablas& tablas = services_.tablas;
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
  Guarded(__func__, [&] { MarkAll(true); });
}

void TSeleccionaCDs::CMetodoBClick() {
  Guarded(__func__, [&] { MarkAll(false); });
}

void TSeleccionaCDs::CFiltroChange() {
  Guarded(__func__, [&] {
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
