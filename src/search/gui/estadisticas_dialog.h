// "Estadísticas": the collection's totals (discs, files, kilobytes) in all,
// per album, per month of cataloguing and per extension, each in a table,
// with bar charts of the largest extensions and of the discs per month.
#pragma once

#include <QDialog>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "util/gui/services.h"

class QTabWidget;

namespace zafirel {

// Horizontal bars, one a row: a label and a value, the longest bar the
// largest value.
class BarChart : public QWidget {
  Q_OBJECT
 public:
  explicit BarChart(QWidget* parent = nullptr) : QWidget(parent) {}
  void SetBars(std::vector<std::pair<QString, double>> bars, const QString& unit);
  const std::vector<std::pair<QString, double>>& Bars() const { return bars_; }
  const QString& Unit() const { return unit_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<std::pair<QString, double>> bars_;
  QString unit_;
};

class EstadisticasDialog : public QDialog {
  Q_OBJECT
 public:
  EstadisticasDialog(const PageServices& services, QWidget* parent = nullptr);
  // Reads every catalogue and fills the tables and charts; false when a
  // catalogue could not be read (the user was told).
  bool Gather();

 private:
  std::string Traduce(const char* key) const;

  PageServices services_;
  QTabWidget* Hojas = nullptr;
};

}  // namespace zafirel
