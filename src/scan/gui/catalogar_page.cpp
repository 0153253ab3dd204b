#include "scan/gui/catalogar_page.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "util/gui/palette.h"

namespace zafirel {

CatalogarPage::CatalogarPage(QWidget* parent) : QWidget(parent) {
  setObjectName("PCatalogar");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);

  auto* strip = new QFrame(this);  // decoration only
  strip->setFixedWidth(24);
  strip->setAutoFillBackground(true);
  QPalette stripColours = strip->palette();
  stripColours.setColor(QPalette::Window, colors::kTabDark);
  strip->setPalette(stripColours);
  row->addWidget(strip);

  auto* column = new QVBoxLayout;
  column->setContentsMargins(16, 16, 16, 16);
  row->addLayout(column, 1);

  auto* buttons = new QHBoxLayout;
  Catalogar = new QPushButton(QStringLiteral("&Catalogar"), this);
  Catalogar->setObjectName("Catalogar");
  Parar = new QPushButton(QStringLiteral("&Parar"), this);
  Parar->setObjectName("Parar");
  Parar->setEnabled(false);
  for (QPushButton* button : {Catalogar, Parar}) {
    button->setFlat(true);
    button->setMinimumSize(120, 32);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  column->addLayout(buttons);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  auto* options = new QVBoxLayout(Panel1);
  Subdirectorios = new QCheckBox(QStringLiteral("&Incluir subdirectorios"), Panel1);
  Subdirectorios->setObjectName("Subdirectorios");
  Subdirectorios->setChecked(true);
  Zips = new QCheckBox(QStringLiteral("Buscar descripciones en archivos .zip"), Panel1);
  Zips->setObjectName("Zips");
  options->addWidget(Subdirectorios);
  options->addWidget(Zips);
  column->addWidget(Panel1);
  column->addStretch(1);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->hide();
}

}  // namespace zafirel
