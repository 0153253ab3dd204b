// TActualizando: the modeless progress window of a long operation (building
// index files, upgrading the disc table). It stays on top and has no
// title-bar buttons; its owner releases it when the operation ends.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <cstdint>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace zafirel {

class TActualizando : public QDialog {
  Q_OBJECT
 public:
  explicit TActualizando(QWidget* parent = nullptr);

  // What the operation is doing, shown above the bar.
  void SetText(const QString& text);
  // Barra counts the operation's steps in parts of kStepWidth, so that a
  // step that takes long shows how far it has got.
  static constexpr int kStepWidth = 100;
  void SetSteps(int maximum);
  void SetStep(int step);
  // One step further (never past the last).
  void NextStep();
  // The step under way has done of total. Both repaint at most every
  // kRepaintEvery, so an operation of a million steps costs no more
  // repainting than one of ten.
  void ShowWithin(std::uint64_t done, std::uint64_t total);
  static constexpr int kRepaintEvery = 60;  // milliseconds
  // The operation is over: the bar is shown full.
  void Finish();

  // For an operation that can stop at the user's word: a button under the
  // bar (and Escape) asks it to; StopAsked says whether one did.
  void OfferStop(const QString& caption);
  bool StopAsked() const { return stopAsked_; }
  // Escape stops an operation that offered to, and never hides the window.
  void reject() override;

 private:
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QProgressBar* Barra = nullptr;
  QProgressBar* Barra2 = nullptr;  // present in the layout, never shown
  QPushButton* Parar = nullptr;    // shown by OfferStop

  // Repaints and lets the window system run: now, or when kRepaintEvery
  // has passed since the last time.
  void Repaint(bool now);
  int step_ = 0;
  bool stopAsked_ = false;
  QElapsedTimer sinceRepaint_;
};

}  // namespace zafirel
