// TDatosCD: the data of the current disc (title, operating system, number,
// origin, album, notes; label, file count, size and serial number shown only)
// and its cover picture. It writes the record when confirmed; Escape
// confirms too, and there is no way to leave without confirming.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "util/gui/escape_confirms_dialog.h"
#include "util/gui/services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace zafirel {

class TAdvImage;

class TDatosCD : public EscapeConfirmsDialog {
  Q_OBJECT
 public:
  TDatosCD(const PageServices& services, QWidget* parent);
  ~TDatosCD() override;

  // Asks for a picture file given a Qt name filter; empty for none. Replaced
  // by tests.
  std::function<QString(const QString& filter)> PickFile;

  void AceptarClick();
  void Mi1Click();
  void BImagenClick();
  void BBorrarClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Confirm() override { AceptarClick(); }

 private:
  void BuildForm();
  void FormCreate();
  void FormClose();
  void LoadRecord();
  void LoadPicture();
  void EnablePicture(bool on);

  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10,
      *Label11;
  QLineEdit* EditTituloCD;
  QComboBox* wwDBComboBox2;  // operating system
  QLineEdit* EditNumeroCD;
  QComboBox* wwDBComboBox1;  // origin
  QComboBox* CFiltro;        // album
  QPlainTextEdit* wwDBRichEdit1;
  QLabel *DBText2, *DBText3, *DBText4, *DBText5;
  TAdvImage* Image1;
  QPushButton *Aceptar, *BImagen, *BBorrar;
  QToolButton* Mi1;

  PageServices services_;
  std::uint32_t recNo_ = 0;
  std::string number_;
  // The notes as shown when the editor opened: they are written back only
  // when the user changed them, so a note that could not be read is kept.
  QString shownNotes_;
  bool closed_ = false;
};

}  // namespace zafirel
