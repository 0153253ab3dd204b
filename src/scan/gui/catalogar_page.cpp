#include "scan/gui/catalogar_page.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "scan/catalogue_run.h"
#include "scan/disc_update.h"
#include "scan/disk_info.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/folder_lock.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "util/locale.h"
#include "util/reported.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

CatalogarPage::CatalogarPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
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
    MakeFlat(*button);
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
  Comprimidos = new QCheckBox(QStringLiteral("Explorar archivos comprimidos"), Panel1);
  Comprimidos->setObjectName("Comprimidos");
  options->addWidget(Subdirectorios);
  options->addWidget(Zips);
  options->addWidget(Comprimidos);
  column->addWidget(Panel1);
  Cifras = new QLabel(this);
  Cifras->setObjectName("Cifras");
  Progreso = new QProgressBar(this);
  Progreso->setObjectName("Progreso");
  Progreso->setTextVisible(false);
  Progreso->hide();
  column->addSpacing(12);
  column->addWidget(Cifras);
  column->addWidget(Progreso);
  column->addStretch(1);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->hide();
  Memo1->setFocusPolicy(Qt::NoFocus);
  connect(Zips, &QCheckBox::clicked, this,
          [this](bool ticked) { SaveSetting("Zip", ticked ? "S" : "N"); });
  connect(Comprimidos, &QCheckBox::clicked, this,
          [this](bool ticked) { SaveSetting("Comprimidos", ticked ? "S" : "N"); });
  connect(Catalogar, &QPushButton::clicked, this, [this] { CatalogarClick(); });
  connect(Parar, &QPushButton::clicked, this, [this] { PararClick(); });
}

CatalogarPage::~CatalogarPage() = default;

std::string CatalogarPage::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void CatalogarPage::LoadSettings() {
  Guarded("LoadSettings",
          [&] { Zips->setChecked(services_.ini.ReadStr("General", "Zip", "N") == "S"); });
  Guarded("LoadSettings", [&] {
    Comprimidos->setChecked(services_.ini.ReadStr("General", "Comprimidos", "N") == "S");
  });
  Guarded("DriveMap", [&] { drives_ = DriveMap::FromSystem(DriveSettings(services_.ini)); });
}

void CatalogarPage::Retranslate() {
  Catalogar->setText(Qs(Traduce("Catalogar1")));
  Parar->setText(Qs(Traduce("Parar")));
  Subdirectorios->setText(Qs(Traduce("Subdirectorios")));
  Zips->setText(Qs(Traduce("Zips")));
  Comprimidos->setText(Qs(Traduce("Comprimidos")));
  Comprimidos->setStatusTip(Qs(Traduce("ComprimidosHint")));
  Catalogar->setStatusTip(Qs(Traduce("CatalogarHint")));
  Parar->setStatusTip(Qs(Traduce("PararHint")));
  Subdirectorios->setStatusTip(Qs(Traduce("SubdirectoriosHint")));
  Zips->setStatusTip(Qs(Traduce("ZipsHint")));
}

void CatalogarPage::SaveSetting(const char* key, const char* value) {
  TIniEditor& ini = services_.ini;
  ini.WriteStr("General", key, value);
  ReportLostWrite(services_.dialogs, services_.leng.Translator(), "ErrorOpciones",
                  ini.ResolvedPath(), ini.LastWriteCause());
}

void CatalogarPage::CatalogarClick() {
  (void)Reported(services_.dialogs, services_.leng.Translator(), "ErrorCatalogar",
                 [&] { Cataloga(); });
}

namespace {

// The drive root of a chosen path: "D:\\" as it is; a folder or a disc image
// as a drive of its own (its mapped letter or a free one); anything else as
// given (and then refused).
std::string RootOfChoice(DriveMap& drives, const std::string& choice) {
  if (choice.size() == 3 && choice[1] == ':' && choice[2] == '\\') return choice;
  const fs::path folder(AnsiToUtf8(choice));  // or a disc image file
  std::error_code ec;
  if (!fs::is_directory(folder, ec) && !fs::is_regular_file(folder, ec)) return choice;
  if (const std::optional<char> letter = drives.MapFolder(folder))
    return std::string(1, *letter) + ":\\";
  return choice;
}

}  // namespace

std::string CatalogarPage::ChooseRoot(const std::string& title) {
  Dialogs& dialogs = services_.dialogs;
  // Volumes come and go: the map is read anew each time a drive is chosen.
  Guarded("DriveMap", [&] { drives_ = DriveMap::FromSystem(DriveSettings(services_.ini)); });
  std::vector<DriveChoice> choices;
  for (const MappedDrive& drive : drives_.Drives()) {
    std::string label;
    Guarded("TDiskInfo", [&] {
      TDiskInfo facts(drives_);
      facts.SetDrive(std::string(1, drive.letter));
      if (facts.Drive() == std::string(1, drive.letter)) label = facts.VolumeName();
    });
    choices.push_back({drive.letter, label, Utf8ToAnsi(drive.folder.string())});
  }
  const std::string choice = dialogs.ChooseDrive(title, choices);
  if (choice.empty()) return {};
  dialogs.ProcessEvents();
  return RootOfChoice(drives_, choice);
}

RunHooks CatalogarPage::WalkShown(CatalogueRun& r, std::optional<WaitCursor>& wait) {
  Dialogs& dialogs = services_.dialogs;
  r.catalogueFolder = services_.folders.catalogos;
  r.tempFolder = services_.folders.temp;
  r.Zips = Zips->isChecked();
  r.Archives = Comprimidos->isChecked();
  RunHooks hooks;
  hooks.beforeAppend = [this, &dialogs] {
    dialogs.ProcessEvents();
    walking_ = true;
    Catalogar->setEnabled(false);
    Parar->setEnabled(true);
    Parar->setFocus(Qt::OtherFocusReason);  // the one thing to do during a walk
    Panel1->setEnabled(false);
    emit WalkStarting();
  };
  hooks.discAppended = [this, &r, &dialogs, &wait](const std::string& title) {
    emit DiscAppended(title);
    wait.emplace();
    Progreso->show();
    r.onProgress = [this, &dialogs](const RunProgress& progress) {
      ShowProgress(progress);
      emit StatusText(Qs(progress.folder), false);
      dialogs.ProcessEvents();
    };
  };
  hooks.walkFailed = [](const std::string& error) { qWarning("Walk: %s", error.c_str()); };
  hooks.afterWalk = [this, &wait, &r] {
    wait.reset();
    ShowProgress(r.Progress());
    Progreso->hide();
    Panel1->setEnabled(true);
    emit WalkEnded();
  };
  hooks.beforeFinish = [this, &r] {
    emit StatusText(
        Qs(std::to_string(r.Progress().files) + Traduce("ArchivosProcesados") +
           FormatFixed(r.elapsedSeconds, 3, services_.locale) + " " + Traduce("Segundos") + "."),
        true);
  };
  return hooks;
}

void CatalogarPage::Idle() {
  walking_ = false;
  Parar->setEnabled(false);
  Catalogar->setEnabled(true);
}

void CatalogarPage::Cataloga() {
  if (run_ || update_) return;  // one run at a time
  Dialogs& dialogs = services_.dialogs;
  TTablas& tablas = services_.tablas;
  dialogs.ProcessEvents();
  emit StatusText(QString(), false);
  dialogs.ProcessEvents();
  const std::string root = ChooseRoot(Traduce("SeleccionaUnidad"));
  if (root.empty()) return;

  run_ = std::make_unique<CatalogueRun>(tablas, drives_, services_.locale);
  const ScopeGuard over([this] {  // also when a failure ends the run
    walking_ = false;
    run_.reset();
  });
  CatalogueRun& r = *run_;
  std::optional<WaitCursor> wait;
  RunHooks hooks = WalkShown(r, wait);
  hooks.beforeDuplicateTest = [this] { emit AllDiscsWanted(); };
  const RunResult result = r.Catalogue(root, Subdirectorios->isChecked(), hooks);
  const std::string number = r.NumeroNuevo;
  walking_ = false;
  run_.reset();
  const bool walked = Walked(result.outcome);
  // The new disc's editor opens in the run's last state, idle after it.
  if (walked && result.outcome != RunOutcome::kCatalogued) Idle();
  if (result.outcome == RunOutcome::kDuplicate) emit DuplicateFound(result.detail);
  TellOutcome(result);
  if (!walked) return;
  if (result.outcome == RunOutcome::kCatalogued) {
    // The files are written before the editor opens, so a disc in the
    // table always has them.
    Guarded("EditNewDisc", [&] {
      if (tablas.TablaCDRom.Locate("AUTO", number)) emit EditNewDisc();
    });
    Idle();
    emit DiscCatalogued(number);
  }
  emit RunEnded(result.outcome == RunOutcome::kCatalogued ? number : std::string());
}

bool CatalogarPage::Walked(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kNotARoot:
    case RunOutcome::kDriveError:
    case RunOutcome::kNotAnImage:
    case RunOutcome::kDuplicate:
    case RunOutcome::kFolderNotWritable:
    case RunOutcome::kNoSuchDisc:
      return false;
    default:
      return true;
  }
}

void CatalogarPage::TellOutcome(const RunResult& result) {
  Dialogs& dialogs = services_.dialogs;
  const std::string why = FailureText(services_.leng.Translator(), result.failure);
  const std::string catalogues = PathText(services_.folders.catalogos);
  switch (result.outcome) {
    case RunOutcome::kNotARoot:
      return dialogs.PonerMensaje(Traduce("NoDirectorio"));
    case RunOutcome::kDriveError:
      return dialogs.PonerMensaje(Traduce("ErrorUnidad") +
                                  (result.detail.empty() ? "" : ": " + result.detail));
    case RunOutcome::kNotAnImage:
      return dialogs.PonerMensaje(Traduce("NoEsImagen") + ": " + result.detail);
    case RunOutcome::kDuplicate:
      return dialogs.PonerMensaje(Traduce("CatalogoExiste") + result.detail);
    case RunOutcome::kNoSuchDisc:
      return dialogs.PonerMensaje(Traduce("CatalogoNoEncontrado") + ": " + result.detail);
    case RunOutcome::kFolderNotWritable:
      return dialogs.PonerMensaje(Traduce("ErrorCarpetaCatalogos") + ": " + catalogues);
    case RunOutcome::kBusy:
      return dialogs.PonerMensaje(Traduce("CarpetaOcupada"));
    case RunOutcome::kRecordNotWritten:
      return dialogs.PonerMensaje(Traduce("ErrorGrabarDisco") + ": " + why);
    case RunOutcome::kFilesNotWritten:
      return dialogs.PonerMensaje(Traduce("ErrorCatalogoNoGrabado") + ": " +
                                  (result.failure ? why : catalogues));
    case RunOutcome::kStopped:
    case RunOutcome::kCatalogued:
      return;
  }
}

void CatalogarPage::ActualizarClick(const std::string& number) {
  (void)Reported(services_.dialogs, services_.leng.Translator(), "ErrorActualizarDisco",
                 [&] { Actualiza(number); });
}

namespace {

// A count with its thousands grouped; none is "0".
std::string CountText(std::uint64_t n, const Locale& locale) {
  return n == 0 ? "0" : FormatThousands(static_cast<std::int64_t>(n), locale);
}

// A line of the changes' list: what, the path, size and date (before and now).
std::string ChangeLine(const FileChange& change, const Translate& traduce) {
  const auto facts = [](std::string_view line) {
    return std::string(Trozo(line, ';', 1)) + " KB, " + std::string(Trozo(line, ';', 2));
  };
  switch (change.kind) {
    case ChangeKind::kAdded:
      return traduce("CambioNuevo") + ": " + std::string(Trozo(change.newLine, ';', 0)) + " (" +
             facts(change.newLine) + ")";
    case ChangeKind::kRemoved:
      return traduce("CambioQuitado") + ": " + std::string(Trozo(change.oldLine, ';', 0)) + " (" +
             facts(change.oldLine) + ")";
    case ChangeKind::kChanged:
      break;
  }
  return traduce("CambioCambiado") + ": " + std::string(Trozo(change.newLine, ';', 0)) + " (" +
         facts(change.oldLine) + " \xBB " + facts(change.newLine) + ")";
}

// The record's field names as the disc editor labels them.
const char* FieldCaption(const std::string& field) {
  if (field == "ETIQUETA") return "Etiqueta";
  if (field == "NSERIECD") return "NSerie";
  if (field == "BYTESCD") return "Tama\xF1o";
  if (field == "TOTFILES") return "NArchivos";
  return "Unidad";
}

}  // namespace

void CatalogarPage::Actualiza(const std::string& number) {
  if (run_ || update_) return;  // one run at a time
  std::string title;
  Guarded("Actualiza", [&] {
    if (services_.tablas.TablaCDRom.Locate("AUTO", number))
      title = services_.tablas.TablaCDRom.AsString("TITULOCD");
  });
  emit StatusText(QString(), false);
  const std::string root = ChooseRoot(Traduce("DondeEstaDisco") + " (" + title + ")");
  if (root.empty()) return;

  update_ = std::make_unique<DiscUpdate>(services_.tablas, drives_, services_.locale);
  const ScopeGuard over([this] {  // also when a failure ends the update
    Idle();
    update_.reset();
  });
  std::optional<WaitCursor> wait;
  RunHooks hooks = WalkShown(update_->run, wait);
  const auto shown = hooks.beforeAppend;
  hooks.beforeAppend = [&] {
    shown();
    hooks.discAppended(title);
  };
  const RunResult result = update_->Walk(number, root, Subdirectorios->isChecked(), hooks);
  Idle();
  TellOutcome(result);
  if (result.outcome == RunOutcome::kCatalogued) Confirm(number);
  // Whatever the outcome, the disc to update is the current one again: a
  // drive refused as another disc's left the table on that disc.
  emit RunEnded(number);
}

void CatalogarPage::Confirm(const std::string& number) {
  Dialogs& dialogs = services_.dialogs;
  const Translate& traduce = services_.leng.Translator();
  constexpr std::size_t kListed = 2000;  // changes listed; all are counted
  std::string details;
  std::size_t listed = 0;
  const ListComparison changes = update_->Compare([&](const FileChange& change) {
    if (listed++ < kListed) details += ChangeLine(change, traduce) + "\n";
  });
  if (listed > kListed)
    details += "... " + std::to_string(listed - kListed) + " " + Traduce("CambiosMas") + "\n";
  const std::vector<RecordChange>& fields = update_->RecordChanges();
  if (changes.Changes() == 0 && fields.empty()) {
    dialogs.PonerMensaje(Traduce("CambiosNinguno"));
    return;
  }
  const auto count = [&](std::uint64_t n) { return CountText(n, services_.locale); };
  std::string text = update_->Title() + "\n\n" + Traduce("CambiosNuevos") + ": " +
                     count(changes.added) + "\n" + Traduce("CambiosQuitados") + ": " +
                     count(changes.removed) + "\n" + Traduce("CambiosCambiados") + ": " +
                     count(changes.changed) + "\n" + Traduce("CambiosIguales") + ": " +
                     count(changes.unchanged) + "\n";
  if (changes.commentsKept > 0)
    text += Traduce("CambiosComentarios") + ": " + count(changes.commentsKept) + "\n";
  for (const RecordChange& field : fields)
    text +=
        Traduce(FieldCaption(field.field)) + ": " + field.before + " \xBB " + field.after + "\n";
  text += "\n" + Traduce("CambiosAplicar");
  if (!dialogs.ConfirmWithDetails(Traduce("CambiosDisco"), text, details, Dialogs::Default::kOk))
    return;
  WaitCursor wait;
  if (!update_->Apply()) {
    dialogs.PonerMensaje(Traduce("ErrorActualizarDisco") + ": " +
                         FailureText(traduce, update_->Failure()));
    return;
  }
  emit StatusText(Qs(Traduce("DiscoActualizado") + ": " + update_->Title()), true);
}

void CatalogarPage::ShowProgress(const RunProgress& progress) {
  const Locale& locale = services_.locale;
  const auto count = [&](std::uint64_t n) { return CountText(n, locale); };
  const double mib = static_cast<double>(progress.bytes) / (1024.0 * 1024.0);
  const std::string size = mib >= 1024 ? FormatFixed(mib / 1024, 1, locale) + " GB"
                                       : FormatFixed(mib, 1, locale) + " MB";
  const auto seconds = static_cast<long long>(progress.seconds);
  char clock[32];
  std::snprintf(clock, sizeof clock, "%lld:%02lld", seconds / 60, seconds % 60);
  Cifras->setText(Qs(count(progress.folders) + " " + Traduce("ProgresoCarpetas") + "   " +
                     count(progress.files) + " " + Traduce("ProgresoArchivos") + "   " + size +
                     "   " + clock));
  if (progress.totalBytes == 0) {
    Progreso->setRange(0, 0);  // busy: the total is not known
    return;
  }
  Progreso->setRange(0, 1000);
  // The files' sizes fall short of the bytes a volume uses: the bar stops short of its end.
  const double part =
      static_cast<double>(progress.bytes) / static_cast<double>(progress.totalBytes);
  Progreso->setValue(static_cast<int>(std::min(part, 0.99) * 1000));
}

void CatalogarPage::PararClick() {
  if (!walking_) return;
  Parar->setEnabled(false);
  emit StatusText(QString(), true);
  if (update_) {
    // The disc walked again stays as it was.
    update_->run.Buscador.Abort();
    Parar->setEnabled(true);
    return;
  }
  run_->Buscador.Abort();
  emit DiscardRequested(run_->NumeroNuevo);
  Parar->setEnabled(true);
}

}  // namespace zafirel
