#include "browse/gui/propiedades.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "browse/loaded_catalogue.h"
#include "settings/language.h"
#include "util/gui/controls.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/text.h"

namespace zafirel {

namespace {
constexpr int kWidth = 228;
}  // namespace

TPropiedades::TPropiedades(Language& leng, QWidget* parent)
    : EscapeConfirmsDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      leng_(leng) {
  setObjectName("Propiedades");
  colors::ApplyWindowLook(*this);
  setFixedSize(kWidth, 266);
  setWindowTitle(QStringLiteral("Propiedades"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(5, 5, 5, 5);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);
  Label1->setWordWrap(true);
  Label1->setFixedSize(218, 26);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  Memo1 = new QPlainTextEdit(this);
  new TabLeavesBox(*Memo1, false);  // a comment holds no tab
  Memo1->setObjectName("Memo1");
  Memo1->setFixedSize(209, 145);
  WatchKeys(Memo1);
  Aceptar = FlatButton(QStringLiteral("&Aceptar"), this, "Aceptar");
  column->addWidget(Label1);
  column->addWidget(Label2);
  column->addWidget(Label3);
  column->addWidget(Memo1, 0, Qt::AlignHCenter);
  column->addStretch(1);
  column->addWidget(Aceptar, 0, Qt::AlignHCenter);
  connect(Aceptar, &QPushButton::clicked, this, &TPropiedades::AceptarClick);
  FormCreate();
}

void TPropiedades::FormCreate() {
  Aceptar->setText(Qs(leng_.Traduce("Aceptar")));
  setWindowTitle(Qs(leng_.Traduce("Propiedades")));
  NameForReaders(*Memo1, leng_.Traduce("Comentarios"));
}

void TPropiedades::Show(const std::string& line, const Locale& locale) {
  const std::string path(Trozo(line, ';', 0));
  const QString title = Qs(leng_.Traduce("Propiedades") + " : " + path);
  setWindowTitle(title);
  // Wide enough for the title with the path (the frame's buttons beside it),
  // up to a reasonable width; the name line follows.
  const int wanted =
      QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title);
  setFixedWidth(std::clamp(wanted + 120, kWidth, 640));
  Label1->setFixedWidth(width() - 10);
  Label1->setText(Qs(path));
  Label2->setText(
      Qs(leng_.Traduce("Tama\xF1o") + ": " + FileSizeCell(Trozo(line, ';', 1), locale)));
  Label3->setText(Qs(leng_.Traduce("Fecha") + ": " + std::string(Trozo(line, ';', 2))));
  Memo1->setPlainText(Qs(Trozo(line, ';', 3)));
  exec();
}

std::string TPropiedades::Comment() const { return AnsiLines(Memo1->toPlainText()); }

void TPropiedades::AceptarClick() { accept(); }

}  // namespace zafirel
