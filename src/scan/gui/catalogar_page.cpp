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

void CatalogarPage::Cataloga() {
  if (run_) return;  // one run at a time
  Dialogs& dialogs = services_.dialogs;
  TTablas& tablas = services_.tablas;
  const WorkingFolders& folders = services_.folders;
  dialogs.ProcessEvents();
  emit StatusText(QString(), false);
  dialogs.ProcessEvents();

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
  const std::string choice = dialogs.ChooseDrive(Traduce("SeleccionaUnidad"), choices);
  if (choice.empty()) return;
  dialogs.ProcessEvents();

  run_ = std::make_unique<CatalogueRun>(tablas, drives_, services_.locale);
  const ScopeGuard over([this] {  // also when a failure ends the run
    walking_ = false;
    run_.reset();
  });
  CatalogueRun& r = *run_;
  r.catalogueFolder = folders.catalogos;
  r.tempFolder = folders.temp;
  r.Zips = Zips->isChecked();
  r.Archives = Comprimidos->isChecked();
  std::optional<WaitCursor> wait;
  RunHooks hooks;
  hooks.beforeDuplicateTest = [this] { emit AllDiscsWanted(); };
  hooks.beforeAppend = [this, &dialogs] {
    dialogs.ProcessEvents();
    walking_ = true;
    Catalogar->setEnabled(false);
    Parar->setEnabled(true);
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
  const RunResult result =
      r.Catalogue(RootOfChoice(drives_, choice), Subdirectorios->isChecked(), hooks);
  const std::string number = r.NumeroNuevo;
  walking_ = false;
  run_.reset();
  const bool walked =
      result.outcome != RunOutcome::kNotARoot && result.outcome != RunOutcome::kDriveError &&
      result.outcome != RunOutcome::kNotAnImage && result.outcome != RunOutcome::kDuplicate &&
      result.outcome != RunOutcome::kFolderNotWritable;
  const auto idle = [this] {
    Parar->setEnabled(false);
    Catalogar->setEnabled(true);
  };
  // The new disc's editor opens in the run's last state, idle after it.
  if (walked && result.outcome != RunOutcome::kCatalogued) idle();
  switch (result.outcome) {
    case RunOutcome::kNotARoot:
      dialogs.PonerMensaje(Traduce("NoDirectorio"));
      return;
    case RunOutcome::kDriveError:
      dialogs.PonerMensaje(Traduce("ErrorUnidad"));
      return;
    case RunOutcome::kNotAnImage:
      dialogs.PonerMensaje(Traduce("NoEsImagen") + ": " + result.detail);
      return;
    case RunOutcome::kDuplicate:
      emit DuplicateFound(result.detail);
      dialogs.PonerMensaje(Traduce("CatalogoExiste") + result.detail);
      return;
    case RunOutcome::kFolderNotWritable:
      dialogs.PonerMensaje(Traduce("ErrorCarpetaCatalogos") + ": " + PathText(folders.catalogos));
      return;
    case RunOutcome::kBusy:
      dialogs.PonerMensaje(Traduce("CarpetaOcupada"));
      break;
    case RunOutcome::kRecordNotWritten:
      dialogs.PonerMensaje(Traduce("ErrorGrabarDisco") + ": " +
                           FailureText(services_.leng.Translator(), result.failure));
      break;
    case RunOutcome::kFilesNotWritten:
      dialogs.PonerMensaje(Traduce("ErrorCatalogoNoGrabado") + ": " +
                           (result.failure
                                ? FailureText(services_.leng.Translator(), result.failure)
                                : PathText(folders.catalogos)));
      break;
    case RunOutcome::kStopped:
      break;
    case RunOutcome::kCatalogued:
      // The files are written before the editor opens, so a disc in the
      // table always has them.
      Guarded("EditNewDisc", [&] {
        if (tablas.TablaCDRom.Locate("AUTO", number)) emit EditNewDisc();
      });
      idle();
      emit DiscCatalogued(number);
      break;
  }
  emit RunEnded(result.outcome == RunOutcome::kCatalogued ? number : std::string());
}

void CatalogarPage::ShowProgress(const RunProgress& progress) {
  const Locale& locale = services_.locale;
  const auto count = [&](std::uint64_t n) {
    return FormatThousands(static_cast<std::int64_t>(n), locale);
  };
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
  run_->Buscador.Abort();
  emit DiscardRequested(run_->NumeroNuevo);
  Parar->setEnabled(true);
}

}  // namespace zafirel
