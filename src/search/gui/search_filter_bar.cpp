#include "search/gui/search_filter_bar.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/tablas.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/qt_text.h"
#include "util/reported.h"
#include "util/text.h"

namespace zafirel {

namespace {

constexpr char kSection[] = "FiltrosBusqueda";
// A date box at its least date holds no date.
const QDate kNoDate(1900, 1, 1);

QDateEdit* DateBox(QWidget* parent, const char* name) {
  auto* box = new QDateEdit(parent);
  box->setObjectName(name);
  box->setCalendarPopup(true);
  box->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
  box->setMinimumDate(kNoDate);
  box->setDate(kNoDate);
  return box;
}

std::optional<int> DayOf(const QDateEdit& box) {
  const QDate date = box.date();
  if (date <= kNoDate) return std::nullopt;
  return date.year() * 10000 + date.month() * 100 + date.day();
}

}  // namespace

SearchFilterBar::SearchFilterBar(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName("FiltrosBusqueda");
  // Two lines: what a file is (kind, extensions, size, date), then where it
  // lies (album, discs).
  auto* lines = new QVBoxLayout(this);
  lines->setContentsMargins(0, 0, 0, 0);
  auto* what = new QHBoxLayout;
  auto* where = new QHBoxLayout;
  lines->addLayout(what);
  lines->addLayout(where);
  LTipo = new QLabel(this);
  CTipo = new QComboBox(this);
  CTipo->setObjectName("CTipo");
  CTipo->addItem(QString(), QString());
  for (const FileKind& kind : kFileKinds)
    CTipo->addItem(QString(),
                   QString::fromLatin1(kind.key.data(), static_cast<int>(kind.key.size())));
  EExtensiones = new QLineEdit(this);
  EExtensiones->setObjectName("EExtensiones");
  EExtensiones->setPlaceholderText(QStringLiteral("mp3, flac"));
  LTamanio = new QLabel(this);
  ETamanioDesde = new QLineEdit(this);
  ETamanioDesde->setObjectName("ETamanioDesde");
  ETamanioHasta = new QLineEdit(this);
  ETamanioHasta->setObjectName("ETamanioHasta");
  for (QLineEdit* size : {ETamanioDesde, ETamanioHasta}) {
    size->setPlaceholderText(QStringLiteral("10M"));
    size->setMaximumWidth(70);
    size->setMinimumWidth(56);
  }
  LFecha = new QLabel(this);
  DFechaDesde = DateBox(this, "DFechaDesde");
  DFechaHasta = DateBox(this, "DFechaHasta");
  LAlbum = new QLabel(this);
  CAlbum = new QComboBox(this);
  CAlbum->setObjectName("CAlbum");
  connect(CAlbum, &QComboBox::currentIndexChanged, this,
          [this](int index) { wantedAlbum_ = index > 0 ? CAlbum->itemText(index) : QString(); });
  BDiscos = new QPushButton(this);
  BDiscos->setObjectName("BDiscos");
  MakeFlat(*BDiscos);
  LDiscos = new QLabel(this);
  LDiscos->setObjectName("LDiscos");
  connect(BDiscos, &QPushButton::clicked, this, &SearchFilterBar::DiscsWanted);
  LTipo->setBuddy(CTipo);
  LTamanio->setBuddy(ETamanioDesde);
  LFecha->setBuddy(DFechaDesde);
  LAlbum->setBuddy(CAlbum);
  for (QWidget* w :
       std::initializer_list<QWidget*>{LTipo, CTipo, EExtensiones, LTamanio, ETamanioDesde,
                                       ETamanioHasta, LFecha, DFechaDesde, DFechaHasta})
    what->addWidget(w);
  what->addStretch(1);
  for (QWidget* w : std::initializer_list<QWidget*>{LAlbum, CAlbum, BDiscos, LDiscos})
    where->addWidget(w);
  where->addStretch(1);
  hide();
  Retranslate();
}

std::string SearchFilterBar::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void SearchFilterBar::Retranslate() {
  LTipo->setText(Qs(Traduce("FiltroTipo")));
  CTipo->setItemText(0, Qs(Traduce("FiltroTodos")));
  for (int i = 1; i < CTipo->count(); ++i)
    CTipo->setItemText(i,
                       Qs(Traduce(("Tipo" + CTipo->itemData(i).toString().toStdString()).c_str())));
  LTamanio->setText(Qs(Traduce("FiltroTamanio")));
  LFecha->setText(Qs(Traduce("FiltroFecha")));
  LAlbum->setText(Qs(Traduce("FiltroAlbum")));
  if (CAlbum->count() > 0) CAlbum->setItemText(0, Qs(Traduce("FiltroTodos")));
  for (QDateEdit* date : {DFechaDesde, DFechaHasta})
    date->setSpecialValueText(Qs(Traduce("FiltroSinFecha")));
  BDiscos->setText(Qs(Traduce("FiltroDiscos")));
  NameForReaders(*EExtensiones, Traduce("FiltroExtensiones"));
  NameForReaders(*ETamanioDesde, Traduce("FiltroTamanioDesde"));
  NameForReaders(*ETamanioHasta, Traduce("FiltroTamanioHasta"));
  NameForReaders(*DFechaDesde, Traduce("FiltroFechaDesde"));
  NameForReaders(*DFechaHasta, Traduce("FiltroFechaHasta"));
  ShowDiscs();
  EExtensiones->setStatusTip(Qs(Traduce("FiltroExtensionesHint")));
  ETamanioDesde->setStatusTip(Qs(Traduce("FiltroTamanioHint")));
  ETamanioHasta->setStatusTip(Qs(Traduce("FiltroTamanioHint")));
}

std::variant<SearchFilter, std::string> SearchFilterBar::Filter() const {
  SearchFilter filter;
  filter.locale = services_.locale;
  if (isHidden()) return filter;
  const std::string kind = CTipo->currentData().toString().toStdString();
  if (!kind.empty())
    if (const auto extensions = KindExtensions(services_.ini, kind))
      filter.extensions.insert(extensions->begin(), extensions->end());
  for (std::string& extension : ExtensionList(Ansi(EExtensiones->text())))
    filter.extensions.insert(std::move(extension));
  for (const auto& [box, bound] :
       {std::pair{ETamanioDesde, &filter.minBytes}, std::pair{ETamanioHasta, &filter.maxBytes}}) {
    const std::string text = Ansi(box->text().trimmed());
    if (text.empty()) continue;
    *bound = ParseSize(text);
    if (!*bound) return Traduce("FiltroTamanioMal") + ": " + text;
  }
  filter.from = DayOf(*DFechaDesde);
  filter.to = DayOf(*DFechaHasta);
  if (CAlbum->currentIndex() > 0) filter.albums.insert(Ansi(CAlbum->currentText()));
  filter.discs.insert(discs_.begin(), discs_.end());
  return filter;
}

void SearchFilterBar::SetDiscs(std::vector<std::string> numbers) {
  discs_ = std::move(numbers);
  ShowDiscs();
  Remember();
}

void SearchFilterBar::ShowDiscs() {
  LDiscos->setText(
      Qs(discs_.empty() ? Traduce("FiltroTodos")
                        : Traduce("FiltroDiscosElegidos") + ": " + std::to_string(discs_.size())));
}

void SearchFilterBar::SetOpen(bool open) {
  setVisible(open);
  Remember();
}

void SearchFilterBar::showEvent(QShowEvent* event) {
  FillAlbums();
  QWidget::showEvent(event);
}

void SearchFilterBar::FillAlbums() {
  const QSignalBlocker quiet(CAlbum);
  CAlbum->clear();
  CAlbum->addItem(Qs(Traduce("FiltroTodos")));
  if (!services_.tablas.TablaCDRom.Active()) {
    // No table yet: the remembered album stays chosen.
    if (!wantedAlbum_.isEmpty()) CAlbum->addItem(wantedAlbum_);
  } else {
    Guarded("ListAlbums", [&] {
      for (const std::string& name : ListAlbums(services_.tablas))
        if (!name.empty()) CAlbum->addItem(Qs(name));
    });
  }
  CAlbum->setCurrentIndex(std::max(0, CAlbum->findText(wantedAlbum_)));
}

void SearchFilterBar::Restore() {
  TIniEditor& ini = services_.ini;
  wantedAlbum_ = Qs(ini.ReadStr(kSection, "Album", ""));
  CAlbum->clear();
  FillAlbums();
  CTipo->setCurrentIndex(std::max(0, CTipo->findData(Qs(ini.ReadStr(kSection, "Tipo", "")))));
  EExtensiones->setText(Qs(ini.ReadStr(kSection, "Extensiones", "")));
  ETamanioDesde->setText(Qs(ini.ReadStr(kSection, "TamanioDesde", "")));
  ETamanioHasta->setText(Qs(ini.ReadStr(kSection, "TamanioHasta", "")));
  for (const auto& [box, key] :
       {std::pair{DFechaDesde, "FechaDesde"}, std::pair{DFechaHasta, "FechaHasta"}}) {
    const QDate date = QDate::fromString(Qs(ini.ReadStr(kSection, key, "")), Qt::ISODate);
    box->setDate(date.isValid() ? date : kNoDate);
  }
  discs_.clear();
  const std::string discs = ini.ReadStr(kSection, "Discos", "");
  for (int i = 0; i < CuentaTrozos(discs, ','); ++i)
    if (const std::string_view number = TrimBlanks(Trozo(discs, ',', i)); !number.empty())
      discs_.emplace_back(number);
  ShowDiscs();
  setVisible(ini.ReadStr(kSection, "Abierto", "0") == "1");
}

void SearchFilterBar::Remember() const {
  TIniEditor& ini = services_.ini;
  const auto day = [](const QDateEdit* box) {
    return box->date() <= kNoDate ? std::string() : Ansi(box->date().toString(Qt::ISODate));
  };
  int lost = 0;  // the cause of the first write that did not reach the file
  const auto write = [&](const char* key, const std::string& value) {
    ini.WriteStr(kSection, key, value);
    if (lost == 0) lost = ini.LastWriteCause();
  };
  write("Abierto", isHidden() ? "0" : "1");
  write("Tipo", CTipo->currentData().toString().toStdString());
  write("Extensiones", Ansi(EExtensiones->text()));
  write("TamanioDesde", Ansi(ETamanioDesde->text()));
  write("TamanioHasta", Ansi(ETamanioHasta->text()));
  write("FechaDesde", day(DFechaDesde));
  write("FechaHasta", day(DFechaHasta));
  write("Album", CAlbum->currentIndex() > 0 ? Ansi(CAlbum->currentText()) : "");
  std::string discs;
  for (const std::string& number : discs_) discs += (discs.empty() ? "" : ",") + number;
  write("Discos", discs);
  ReportLostWrite(services_.dialogs, services_.leng.Translator(), "ErrorOpciones",
                  ini.ResolvedPath(), lost);
}

}  // namespace zafirel
