// A catalogue run through the window against `zafirel-cli catalogue` of the
// same volume: 40,000 folders holding 80,000 small files. The whole main
// window runs on the offscreen platform; its drive chooser answers with the
// volume's folder and the disc editor the run opens is accepted at once.
// The window's figure runs from the click on "Catalogar" until the run has
// ended (files written, disc list and folder tree refilled); the command
// line's is its whole process. Each is the median of 3 runs into a fresh
// data folder, after an unmeasured run that warms the cache.
//
//   QT_QPA_PLATFORM=offscreen build/catalogar_page_bench [FOLDER]
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/gui/page_control.h"
#include "bench_support.h"
#include "browse/gui/datos_cd.h"
#include "page_support.h"
#include "scan/gui/catalogar_page.h"
#include "store/catalogue_files.h"
#include "util/codepage.h"

namespace {
namespace fs = std::filesystem;

// The dialogs of the window, choosing the volume when asked for a drive.
class VolumeDialogs : public bench::RecordingDialogs {
 public:
  std::string ChooseDrive(const std::string&, const std::vector<zafirel::DriveChoice>&) override {
    return volume;
  }
  std::string volume;  // the host folder, ANSI
};

// Accepts the disc editor once it is the modal window, filling in the title
// a folder's volume lacks (the editor refuses an empty one); true when it did.
bool AcceptDiscEditor() {
  auto* editor = qobject_cast<zafirel::TDatosCD*>(QApplication::activeModalWidget());
  if (editor == nullptr) return false;
  auto& title = bench::Control<QLineEdit>(*editor, "EditTituloCD");
  if (title.text().isEmpty()) title.setText("Volumen");
  editor->AceptarClick();
  return true;
}

// One run through the main window of a program installed beside an emptied
// data folder; its time in ms, or a negative figure when it did not
// catalogue the whole volume.
double WindowRun(const fs::path& data, const fs::path& volume, long files) {
  bench::SeedDataFolder(data, 0);
  bench::BuildIndexes(data);
  const fs::path program = bench::InstallProgram(data);
  zafirel::Language leng(program / "Espanol.Len");
  VolumeDialogs dialogs;
  dialogs.volume = zafirel::Utf8ToAnsi(volume.string());
  zafirel::TMenuPral window({program, program, program}, zafirel::Locale{}, leng, dialogs);
  window.CreaModuloDatos();
  window.show();
  bench::Control<zafirel::PageControl>(window, "Pagina")
      .setCurrentIndex(zafirel::TMenuPral::kCatalogar);
  QApplication::processEvents();
  // From the walk's end until the run's, each turn of the event loop (the
  // editor's own, once it is open) looks for the editor to accept.
  QTimer acceptor;
  acceptor.setInterval(0);
  QObject::connect(&acceptor, &QTimer::timeout, [&acceptor] {
    if (AcceptDiscEditor()) acceptor.stop();
  });
  auto* run = &bench::Control<zafirel::CatalogarPage>(window, "PCatalogar");
  QObject::connect(run, &zafirel::CatalogarPage::WalkEnded, &acceptor,
                   [&acceptor] { acceptor.start(); });
  QObject::connect(run, &zafirel::CatalogarPage::RunEnded, &acceptor,
                   [&acceptor] { acceptor.stop(); });
  dialogs.messages.clear();
  const auto start = bench::Clock::now();
  bench::Control<QPushButton>(*run, "Catalogar").click();
  const double ms = bench::MsSince(start);
  for (const std::string& message : dialogs.messages)
    std::printf("the window said: %s\n", zafirel::AnsiToUtf8(message).c_str());
  const long lines =
      bench::LinesIn(zafirel::ListFilePath(zafirel::FoldersBelow(data).catalogos, "1"));
  if (lines != files) {
    std::printf("the window catalogued %ld files of %ld\n", lines, files);
    return -1;
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const fs::path base = argc > 1 && argv[1][0] != '-'
                            ? fs::path(argv[1])
                            : fs::temp_directory_path() / "zafirel-catalogar-bench";
  const fs::path volume = base / "volumen", data = base / "datos";
  const bench::TreeShape shape{40000, 2, 10, 200};
  bench::MakeFolderTree(volume, shape);

  // The command line first; its unmeasured run also warms the cache.
  const std::vector<std::string> command = bench::CatalogueCommand(data, volume);
  std::vector<double> cli;
  for (int round = 0; round < 4; ++round) {
    bench::SeedDataFolder(data, 0);
    bench::BuildIndexes(data);
    const bench::ProcessRun run = bench::RunProgram(command);
    if (run.exitCode != 0) std::printf("zafirel-cli catalogue ended with %d\n", run.exitCode);
    if (round > 0) cli.push_back(run.ms);
  }

  std::vector<double> window;
  for (int round = 0; round < 4; ++round) {
    const double ms = WindowRun(data, volume, shape.Files());
    if (ms < 0) return 1;
    if (round > 0) window.push_back(ms);
  }
  bench::ReportUnderLoad("catalogue run in the window, 80,000 files", bench::Median(window),
                         "zafirel-cli catalogue", bench::Median(cli), "ms",
                         bench::RatioAtMost(1.3));
  bench::RemoveTree(data);
  return 0;
}
