#include "app/gui/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app/gui/actualizando.h"
#include "app/gui/mi_mensaje.h"
#include "settings/language.h"
#include "util/gui/controls.h"
#include "util/gui/qt_text.h"

namespace zafirel {
namespace {

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

class QtProgress : public Progress {
 public:
  QtProgress(QWidget* parent, const QString& text, QString stopCaption)
      : window_(new TActualizando(parent)), stopCaption_(std::move(stopCaption)) {
    window_->SetText(text);
    CentreOnScreen(*window_);
    window_->show();
    window_->repaint();
    QApplication::processEvents();
  }
  ~QtProgress() override {
    window_->Finish();
    window_->repaint();
    window_->hide();
    delete window_;
  }
  void SetMaximum(int maximum) override { window_->SetSteps(maximum); }
  void SetPosition(int position) override { window_->SetStep(position); }
  void Step() override { window_->NextStep(); }
  void Within(std::uint64_t done, std::uint64_t total) override {
    window_->ShowWithin(done, total);
  }
  // Only an operation that can stop asks: the button appears at its first
  // question.
  bool Stopped() const override {
    window_->OfferStop(stopCaption_);
    return window_->StopAsked();
  }

 private:
  TActualizando* window_;
  QString stopCaption_;
};

// Aceptar and Cancelar in the language (their letter keys come as the box
// shows); the design captions where the language has none.
void LabelOkCancel(const Language& language, QAbstractButton& ok, QAbstractButton& cancel) {
  const auto text = [&](const char* key, const char* design) {
    QString caption;
    try {
      caption = Qs(language.Traduce(key));
    } catch (const std::exception&) {
    }
    return caption.isEmpty() ? QString::fromLatin1(design) : caption;
  };
  ok.setText(text("Aceptar", "&Aceptar"));
  cancel.setText(text("Cancelar", "&Cancelar"));
}

}  // namespace

void QtDialogs::PonerMensaje(const std::string& text) {
  // A failure to label the button leaves its design caption.
  QString caption;
  try {
    caption = Qs(language_.Traduce("Aceptar"));
  } catch (const std::exception&) {
  }
  TMiMensaje box(Qs(text), caption, parent_);
  CentreOnScreen(box);
  box.exec();
}

bool QtDialogs::ConfirmOkCancel(const std::string& caption, const std::string& text,
                                Default pressed) {
  QMessageBox box(QMessageBox::Question, Qs(caption), Qs(text),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  box.setDefaultButton(pressed == Default::kOk ? QMessageBox::Ok : QMessageBox::Cancel);
  LabelOkCancel(language_, *box.button(QMessageBox::Ok), *box.button(QMessageBox::Cancel));
  return box.exec() == QMessageBox::Ok;
}

bool QtDialogs::ConfirmWithDetails(const std::string& caption, const std::string& text,
                                   const std::string& details, Default pressed) {
  QMessageBox box(QMessageBox::Question, Qs(caption), Qs(text),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  box.setDefaultButton(pressed == Default::kOk ? QMessageBox::Ok : QMessageBox::Cancel);
  LabelOkCancel(language_, *box.button(QMessageBox::Ok), *box.button(QMessageBox::Cancel));
  box.setDetailedText(Qs(details));
  return box.exec() == QMessageBox::Ok;
}

std::unique_ptr<Progress> QtDialogs::ShowProgress(const std::string& text) {
  QString stop = QStringLiteral("&Parar");
  try {
    stop = Qs(language_.Traduce("Parar"));
  } catch (const std::exception&) {
    // Without a language the design caption stands.
  }
  return std::make_unique<QtProgress>(parent_, Qs(text), stop);
}

void QtDialogs::ProcessEvents() { QApplication::processEvents(); }

std::filesystem::path QtDialogs::ChooseFile(const std::string& title,
                                            const std::string& description,
                                            const std::string& pattern,
                                            const std::filesystem::path& startFolder) {
  const QString filter = Qs(description) + QStringLiteral(" (") + Qs(pattern) + QStringLiteral(")");
  const QString chosen =
      QFileDialog::getOpenFileName(parent_, Qs(title), QString::fromStdString(startFolder.string()),
                                   filter, nullptr, QFileDialog::DontResolveSymlinks);
  return chosen.toStdString();
}

bool QtDialogs::OpenDocument(const std::filesystem::path& document) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(document.string())));
}

std::string QtDialogs::ChooseDrive(const std::string& title,
                                   const std::vector<DriveChoice>& drives) {
  QDialog chooser(parent_);
  chooser.setWindowTitle(Qs(title));
  auto* column = new QVBoxLayout(&chooser);
  auto* list = new QListWidget(&chooser);
  for (const DriveChoice& drive : drives) {
    QString text = QString(QChar(drive.letter)) + QStringLiteral(":\\");
    if (!drive.label.empty()) text += QStringLiteral("  ") + Qs(drive.label);
    text += QStringLiteral("  (") + Qs(drive.folder) + QStringLiteral(")");
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, QString(QChar(drive.letter)) + QStringLiteral(":\\"));
  }
  if (list->count() > 0) list->setCurrentRow(0);
  column->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &chooser);
  QPushButton* other = buttons->addButton(QStringLiteral("..."), QDialogButtonBox::ActionRole);
  NameForReaders(*other, language_.Traduce("ElegirCarpeta"));
  NameForReaders(*list, language_.Traduce("NombreUnidades"));
  QPushButton* image =
      buttons->addButton(Qs(language_.Traduce("ImagenDisco")), QDialogButtonBox::ActionRole);
  LabelOkCancel(language_, *buttons->button(QDialogButtonBox::Ok),
                *buttons->button(QDialogButtonBox::Cancel));
  column->addWidget(buttons);
  std::string picked;
  QObject::connect(buttons, &QDialogButtonBox::accepted, &chooser, [&] {
    if (list->currentItem() != nullptr)
      picked = Ansi(list->currentItem()->data(Qt::UserRole).toString());
    chooser.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &chooser, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, buttons, &QDialogButtonBox::accepted);
  QObject::connect(other, &QPushButton::clicked, &chooser, [&] {
    const QString folder = QFileDialog::getExistingDirectory(&chooser, Qs(title));
    if (folder.isEmpty()) return;
    picked = Ansi(folder);
    chooser.accept();
  });
  // A disc image file (UDF or ISO 9660) is a disc of its own.
  QObject::connect(image, &QPushButton::clicked, &chooser, [&] {
    const QString file = QFileDialog::getOpenFileName(
        &chooser, Qs(title), QString(),
        QStringLiteral("UDF, ISO 9660 (*.iso *.ISO *.udf *.UDF *.img *.IMG);;* (*)"));
    if (file.isEmpty()) return;
    picked = Ansi(file);
    chooser.accept();
  });
  chooser.resize(480, 260);
  chooser.exec();
  return picked;
}

}  // namespace zafirel
