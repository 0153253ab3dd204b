#include "app/gui/actualizando.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "util/gui/palette.h"

namespace zafirel {

TActualizando::TActualizando(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName("TActualizando");
  // The program's name on the frame, where its own caption is empty.
  setWindowTitle(QApplication::applicationName());
  colors::ApplyWindowLook(*this);
  setFixedSize(298, 118);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(8, 7, 281, 105);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  Label1 = new QLabel(QStringLiteral("Actualizando"), Panel1);
  Label1->setObjectName("Label1");
  Label1->setGeometry(8, 12, 265, 61);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);

  Barra2 = new QProgressBar(Panel1);
  Barra2->setObjectName("Barra2");
  Barra2->setGeometry(8, 57, 265, 16);
  Barra2->hide();

  Barra = new QProgressBar(Panel1);
  Barra->setObjectName("Barra");
  Barra->setGeometry(8, 82, 265, 16);
  Barra->setRange(0, 100);
  Barra->setValue(0);
  Barra->setTextVisible(false);
}

void TActualizando::SetText(const QString& text) { Label1->setText(text); }

void TActualizando::Finish() { Barra->setValue(Barra->maximum()); }

void TActualizando::OfferStop(const QString& caption) {
  if (Parar != nullptr) return;
  setFixedSize(298, 150);
  Panel1->setGeometry(8, 7, 281, 137);
  Parar = new QPushButton(caption, Panel1);
  Parar->setObjectName("Parar");
  Parar->setGeometry(100, 104, 81, 25);
  connect(Parar, &QPushButton::clicked, this, [this] {
    stopAsked_ = true;
    Parar->setEnabled(false);
  });
  Parar->show();
  Repaint(true);
}

void TActualizando::reject() {
  if (Parar != nullptr && Parar->isEnabled()) Parar->click();
}

void TActualizando::SetSteps(int maximum) {
  Barra->setMaximum(std::max(0, maximum) * kStepWidth);
  SetStep(step_);
}

void TActualizando::SetStep(int step) {
  step_ = std::clamp(step, 0, Barra->maximum() / kStepWidth);
  Barra->setValue(step_ * kStepWidth);
}

void TActualizando::NextStep() {
  SetStep(step_ + 1);
  Repaint(false);
}

void TActualizando::ShowWithin(std::uint64_t done, std::uint64_t total) {
  if (total == 0 || step_ >= Barra->maximum() / kStepWidth) return;
  const auto part = static_cast<int>(std::min(done, total) * kStepWidth / total);
  Barra->setValue(step_ * kStepWidth + part);
  Repaint(false);
}

void TActualizando::Repaint(bool now) {
  if (!now && sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintEvery) return;
  sinceRepaint_.start();
  repaint();
  QApplication::processEvents();
}

}  // namespace zafirel
