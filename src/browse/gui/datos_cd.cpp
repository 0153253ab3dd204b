#include "browse/gui/datos_cd.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <system_error>

#include "browse/gui/adv_image.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/rtf_text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// Letters typed into the album box are shown in upper case.
class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

// Notes as the box shows them: rich text by its text, line ends as LF.
QString NotesForDisplay(const std::string& stored) {
  std::string text = IsRtf(stored) ? RtfToText(stored) : stored;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return Qs(out);
}

QLabel* Bold(QLabel* label) {
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

TDatosCD::TDatosCD(const PageServices& services, QWidget* parent)
    : EscapeConfirmsDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      services_(services) {
  setObjectName("DatosCD");
  PickFile = [this](const QString& filter) {
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
  };
  BuildForm();
  FormCreate();
}

TDatosCD::~TDatosCD() { FormClose(); }

void TDatosCD::BuildForm() {
  colors::ApplyWindowLook(*this);
  setWindowTitle(QStringLiteral("Datos del catálogo"));
  auto label = [this](const char* name, const char* text) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setObjectName(name);
    return l;
  };
  auto combo = [this](const char* name, QStringList choices) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(choices);
    box->lineEdit()->setMaxLength(50);
    return box;
  };
  Label1 = label("Label1", "Título del catálogo");
  EditTituloCD = new QLineEdit(this);
  EditTituloCD->setObjectName("EditTituloCD");
  EditTituloCD->setMaxLength(75);
  EditTituloCD->setFixedWidth(288);
  Label6 = label("Label6", "Sistema operativo");
  wwDBComboBox2 =
      combo("wwDBComboBox2", {"Windows 95 / 98", "Windows 3.1x", "MS-DOS", "Windows NT", "OS/2",
                              "Linux / UNIX", "MS-DOS + Window 3.1x/95/NT + OS/2"});
  Label10 = label("Label10", "Número");
  EditNumeroCD = new QLineEdit(this);
  EditNumeroCD->setObjectName("EditNumeroCD");
  EditNumeroCD->setMaxLength(10);
  Label9 = label("Label9", "Procedencia");
  wwDBComboBox1 = combo("wwDBComboBox1", {"CD-R", "Revista", "Original"});
  Label4 = label("Label4", "Album");
  CFiltro = combo("CFiltro", {});
  CFiltro->lineEdit()->setValidator(new UpperCaseValidator(CFiltro));
  Label7 = label("Label7", "Etiqueta :");
  DBText3 = Bold(label("DBText3", ""));
  Label5 = label("Label5", "Nº archivos :");
  DBText2 = Bold(label("DBText2", ""));
  Label2 = label("Label2", "Tamaño :");
  DBText5 = Bold(label("DBText5", ""));
  Label8 = label("Label8", "Nº de serie :");
  DBText4 = Bold(label("DBText4", ""));
  Label3 = label("Label3", "Notas");
  wwDBRichEdit1 = new QPlainTextEdit(this);
  new TabLeavesBox(*wwDBRichEdit1, true);
  wwDBRichEdit1->setObjectName("wwDBRichEdit1");
  wwDBRichEdit1->setFixedSize(293, 75);
  Image1 = new TAdvImage(this);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(305, 273);
  Label11 = label("Label11", "");
  auto button = [this](const char* name, const char* text) {
    QPushButton* b = FlatButton(QString::fromUtf8(text), this, name);
    b->setMinimumSize(96, 43);  // longer captions of other languages widen it
    return b;
  };
  Aceptar = button("Aceptar", "&Aceptar");
  BImagen = button("BImagen", "&Seleccionar Imagen");
  BBorrar = button("BBorrar", "&Borrar Imagen");
  Mi1 = new QToolButton(this);
  Mi1->setObjectName("Mi1");
  Mi1->setText(QStringLiteral("Ajustar"));
  Mi1->setCheckable(true);
  Mi1->setChecked(true);
  Mi1->setAutoRaise(true);
  Mi1->setMinimumSize(96, 43);

  auto* grid = new QGridLayout;
  grid->addWidget(Label1, 0, 0, 1, 2);
  grid->addWidget(EditTituloCD, 1, 0, 1, 2);
  grid->addWidget(Label6, 2, 0);
  grid->addWidget(Label10, 2, 1);
  grid->addWidget(wwDBComboBox2, 3, 0);
  grid->addWidget(EditNumeroCD, 3, 1);
  grid->addWidget(Label9, 4, 0);
  grid->addWidget(Label4, 4, 1);
  grid->addWidget(wwDBComboBox1, 5, 0);
  grid->addWidget(CFiltro, 5, 1);
  auto pair = [](QLabel* caption, QLabel* value) {
    auto* row = new QHBoxLayout;
    row->addWidget(caption);
    row->addWidget(value, 1);
    return row;
  };
  grid->addLayout(pair(Label7, DBText3), 6, 0);
  grid->addLayout(pair(Label5, DBText2), 6, 1);
  grid->addLayout(pair(Label2, DBText5), 7, 0);
  grid->addLayout(pair(Label8, DBText4), 7, 1);
  grid->addWidget(Label3, 8, 0, 1, 2);
  grid->addWidget(wwDBRichEdit1, 9, 0, 1, 2);
  auto* right = new QVBoxLayout;
  right->addWidget(Image1);
  right->addWidget(Label11);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(grid);
  top->addLayout(right);
  auto* buttons = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{Aceptar, BImagen, BBorrar, Mi1})
    buttons->addWidget(w);
  buttons->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->addLayout(top, 1);
  column->addLayout(buttons);
  // The design's size, or more where the fields, the picture and the
  // margins take more: nothing runs past the edge.
  setFixedSize(QSize(613, 351).expandedTo(column->totalMinimumSize()));

  const std::pair<QLabel*, QWidget*> captions[] = {
      {Label1, EditTituloCD},  {Label6, wwDBComboBox2}, {Label10, EditNumeroCD},
      {Label9, wwDBComboBox1}, {Label4, CFiltro},       {Label3, wwDBRichEdit1}};
  for (const auto& [caption, field] : captions) caption->setBuddy(field);
  setTabOrder(EditTituloCD, wwDBComboBox2);
  setTabOrder(wwDBComboBox2, EditNumeroCD);
  setTabOrder(EditNumeroCD, wwDBComboBox1);
  setTabOrder(wwDBComboBox1, CFiltro);
  setTabOrder(CFiltro, wwDBRichEdit1);
  // A drop-down box takes the keys itself and hands them to its line by a
  // direct call, past any filter: both are watched.
  for (QWidget* box : std::initializer_list<QWidget*>{
           EditTituloCD, EditNumeroCD, wwDBComboBox2, wwDBComboBox2->lineEdit(), wwDBComboBox1,
           wwDBComboBox1->lineEdit(), CFiltro, CFiltro->lineEdit(), wwDBRichEdit1})
    WatchKeys(box);

  connect(Aceptar, &QPushButton::clicked, this, &TDatosCD::AceptarClick);
  connect(BImagen, &QPushButton::clicked, this, &TDatosCD::BImagenClick);
  connect(BBorrar, &QPushButton::clicked, this, &TDatosCD::BBorrarClick);
  connect(Mi1, &QToolButton::clicked, this, &TDatosCD::Mi1Click);
}

void TDatosCD::FormCreate() {
  Guarded(__func__, [&] {
    const Language& leng = services_.leng;
    auto text = [&](const char* key) { return Qs(leng.Traduce(key)); };
    setWindowTitle(text("DatosCatalogo"));
    Label1->setText(text("Titulo"));
    Label6->setText(text("S.O."));
    Label10->setText(text("Numero"));
    Label9->setText(text("Procedencia"));
    Label4->setText(text("Album"));
    Label7->setText(text("Etiqueta"));
    Label5->setText(text("NArchivos"));
    Label2->setText(text("Tama\xF1o"));
    Label8->setText(text("NSerie"));
    Label3->setText(text("Notas"));
    Aceptar->setText(text("Aceptar"));
    BImagen->setText(text("SeleccionarImagen"));
    BBorrar->setText(text("BorrarImagen"));
    Mi1->setText(text("Ajustar"));
    Image1->EmptyLabel = text("SinImagen");
    Image1->PictureLabel = text("NombreImagen");
    Image1->ShowChange();
  });
  Guarded(__func__, [&] { LoadRecord(); });
  Guarded(__func__, [&] { LoadPicture(); });
  Guarded(__func__, [&] {
    SetChoices(*CFiltro, ListAlbums(services_.tablas));
    const QString album = CFiltro->property("storedAlbum").toString();
    CFiltro->setEditText(album);
  });
}

void TDatosCD::LoadRecord() {
  dbf::Table& discs = services_.tablas.TablaCDRom;
  recNo_ = discs.RecNo();
  number_ = discs.AsString("AUTO");
  EditTituloCD->setText(Qs(discs.AsString("TITULOCD")));
  wwDBComboBox2->setEditText(Qs(discs.AsString("SOCD")));
  EditNumeroCD->setText(Qs(discs.AsString("NUMEROCD")));
  wwDBComboBox1->setEditText(Qs(discs.AsString("DEDONDE")));
  CFiltro->setProperty("storedAlbum", Qs(discs.AsString("ALBUM")));
  DBText3->setText(Qs(discs.AsString("ETIQUETA")));
  DBText2->setText(Qs(discs.AsString("TOTFILES")));
  DBText5->setText(Qs(discs.AsString("BYTESCD")));
  DBText4->setText(Qs(discs.AsString("NSERIECD")));
  try {
    wwDBRichEdit1->setPlainText(NotesForDisplay(discs.AsString("NOTAS")));
  } catch (const std::exception& error) {
    // A damaged memo block: the note stays as stored unless the user writes a new one.
    const std::string text = services_.leng.Traduce("NotaIlegible");
    wwDBRichEdit1->setPlaceholderText(Qs(text));
    services_.dialogs.PonerMensaje(text + ": " + error.what());
  }
  shownNotes_ = wwDBRichEdit1->toPlainText();
}

void TDatosCD::EnablePicture(bool on) {
  Image1->setEnabled(on);
  Mi1->setEnabled(on);
  BBorrar->setEnabled(on);
}

void TDatosCD::LoadPicture() {
  dbf::Table& covers = services_.tablas.TablaGraf;
  try {
    if (!covers.Active()) covers.Open();
    const std::optional<std::string> stored = FindCover(covers, number_);
    if (!stored) {
      EnablePicture(false);
      return;
    }
    const fs::path shown = services_.folders.temp / "PruebaLeer.Jpg";
    (void)WriteTransientFile(shown, *stored);         // a copy to look at; the record is the data
    if (!stored->empty()) Image1->LoadJpeg(*stored);  // bytes that are no JPEG show nothing
    Image1->update();
  } catch (const std::exception&) {
    EnablePicture(false);
  }
}

void TDatosCD::AceptarClick() {
  if (EditTituloCD->text().isEmpty()) {
    services_.dialogs.PonerMensaje(services_.leng.Traduce("FacilitarNombre"));
    EditTituloCD->setFocus();
    return;
  }
  dbf::Table& discs = services_.tablas.TablaCDRom;
  try {
    if (recNo_ != 0 && discs.RecNo() != recNo_) discs.GoTo(recNo_);
    discs.Edit();
    discs.SetString("TITULOCD", Ansi(EditTituloCD->text()));
    discs.SetString("SOCD", Ansi(wwDBComboBox2->currentText()));
    discs.SetString("NUMEROCD", Ansi(EditNumeroCD->text()));
    discs.SetString("DEDONDE", Ansi(wwDBComboBox1->currentText()));
    discs.SetString("ALBUM", Ansi(CFiltro->currentText().toUpper()));
    if (wwDBRichEdit1->toPlainText() != shownNotes_)
      discs.SetString("NOTAS", AnsiLines(wwDBRichEdit1->toPlainText()));
    discs.Post();
  } catch (const std::exception& error) {
    // Not written: the user is told, and the record shows again what is stored.
    Guarded(__func__, [&] { discs.Cancel(); });
    services_.dialogs.PonerMensaje(
        FailureMessage(services_.leng.Translator(), "ErrorGrabarDisco", error));
  }
  accept();
}

void TDatosCD::Mi1Click() { Image1->SetStretchRatio(Mi1->isChecked()); }

void TDatosCD::BImagenClick() {
  const Language& leng = services_.leng;
  Dialogs& dialogs = services_.dialogs;
  const QString filter =
      Qs(leng.Traduce("Todos")) + QStringLiteral(" (*.bmp *.jpg);;Jpeg (*.jpg);;Bitmaps (*.bmp)");
  const QString chosen = PickFile ? PickFile(filter) : QString();
  if (chosen.isEmpty()) return;
  dbf::Table& covers = services_.tablas.TablaGraf;
  Guarded(__func__, [&] {
    if (!covers.Active()) covers.Open();
  });
  Image1->LoadFromFile(chosen);
  // The picture was just chosen: Enter keeps it.
  if (!dialogs.ConfirmOkCancel(leng.Traduce("Atencion"), leng.Traduce("AsignarGrafico"),
                               Dialogs::Default::kOk)) {
    // Nothing was stored: the view goes back to what the disc has.
    Image1->Clear();
    EnablePicture(true);
    Guarded(__func__, [&] { LoadPicture(); });
    return;
  }
  Label11->setText(Qs(leng.Traduce("ConvirtiendoImagen")));
  if (!Image1->ConvertToJpeg()) {
    Label11->clear();
    dialogs.PonerMensaje(leng.Traduce("ErrorConvertir"));
    return;
  }
  Label11->setText(Qs(leng.Traduce("GrabandoImagen")));
  const fs::path written = services_.folders.temp / "PruebaEscribir.Jpg";
  if (!Image1->SaveAsJpeg(written.string())) {
    dialogs.PonerMensaje(leng.Traduce("ErrorGrabar"));
    Label11->clear();
    return;
  }
  try {
    StoreCover(covers, number_, Image1->JpegBytes());
  } catch (const std::exception&) {
    // Not stored: said so, and the view shows again what the disc has.
    dialogs.PonerMensaje(leng.Traduce("ErrorGrabar"));
    Label11->clear();
    Image1->Clear();
    EnablePicture(true);
    Guarded(__func__, [&] { LoadPicture(); });
    return;
  }
  Label11->clear();  // stored: the work line goes
  EnablePicture(true);
}

void TDatosCD::BBorrarClick() {
  const Language& leng = services_.leng;
  if (!services_.dialogs.ConfirmOkCancel(
          leng.Traduce("Atencion"), leng.Traduce("BorrarImagen") + "?", Dialogs::Default::kCancel))
    return;
  try {
    dbf::Table& covers = services_.tablas.TablaGraf;
    if (!covers.Active()) covers.Open();
    DeleteCovers(covers, number_);
    EnablePicture(false);
    Image1->Clear();
  } catch (const std::exception&) {
    services_.dialogs.PonerMensaje(leng.Traduce("ErrorGrabar"));
  }
}

void TDatosCD::FormClose() {
  if (closed_) return;
  closed_ = true;
  Guarded(__func__, [&] { services_.tablas.TablaGraf.Close(); });
}

bool TDatosCD::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the five boxes moves on to the next control.
  if (event->type() == QEvent::KeyPress && watched != wwDBRichEdit1) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      focusNextChild();
      return true;
    }
  }
  return EscapeConfirmsDialog::eventFilter(watched, event);
}

}  // namespace zafirel
