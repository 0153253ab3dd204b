#include "search/gui/estadisticas_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <optional>

#include "search/collection_stats.h"
#include "search/gui/saved_pages.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/gui/controls.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "util/locale.h"

namespace zafirel {

namespace {

constexpr int kRowHeight = 20, kLabelWidth = 140, kChartBars = 12;

}  // namespace

void BarChart::SetBars(std::vector<std::pair<QString, double>> bars, const QString& unit) {
  bars_ = std::move(bars);
  unit_ = unit;
  updateGeometry();
  update();
}

QSize BarChart::sizeHint() const {
  return {480, kRowHeight * static_cast<int>(std::max<std::size_t>(bars_.size(), 1)) + 8};
}

void BarChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  double largest = 0;
  for (const auto& bar : bars_) largest = std::max(largest, bar.second);
  const int room = std::max(1, width() - kLabelWidth - 120);
  int y = 4;
  for (const auto& [label, value] : bars_) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, y, kLabelWidth - 6, kRowHeight), Qt::AlignRight | Qt::AlignVCenter,
                     label);
    const int length = largest > 0 ? static_cast<int>(room * value / largest) : 0;
    painter.fillRect(QRect(kLabelWidth, y + 3, std::max(length, 1), kRowHeight - 6),
                     palette().color(QPalette::Highlight));
    painter.drawText(QRect(kLabelWidth + length + 6, y, 114, kRowHeight), Qt::AlignVCenter,
                     QString::number(value, 'f', 0) + " " + unit_);
    y += kRowHeight;
  }
}

EstadisticasDialog::EstadisticasDialog(const PageServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName("Estadisticas");
  setWindowTitle(Qs(Traduce("Estadisticas1")));
  auto* column = new QVBoxLayout(this);
  Hojas = new QTabWidget(this);
  Hojas->setObjectName("Hojas");
  NameForReaders(*Hojas, Traduce("Estadisticas1"));
  column->addWidget(Hojas);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(Qs(Traduce("Cerrar")));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);
  resize(720, 520);
}

std::string EstadisticasDialog::Traduce(const char* key) const {
  return services_.leng.Traduce(key);
}

bool EstadisticasDialog::Gather() {
  std::optional<CollectionStats> stats;
  {
    WaitCursor wait;
    StatsEvents events;
    events.progress = EventsNowAndThen(services_.dialogs);
    try {
      stats = GatherStats(services_.tablas, services_.folders.catalogos, {}, events);
    } catch (const std::exception& error) {
      services_.dialogs.PonerMensaje(FailureText(services_.leng.Translator(), error));
      return false;
    }
  }
  if (!stats) return false;
  const Locale& locale = services_.locale;
  const auto table = [&](const char* name, const std::vector<Totals>& rows, bool discs) {
    auto* sheet = new QTableWidget(static_cast<int>(rows.size()), discs ? 4 : 3, Hojas);
    sheet->setTabKeyNavigation(false);
    sheet->setObjectName(name);
    QStringList headers{Qs(Traduce("ColNombre"))};
    if (discs) headers << Qs(Traduce("ColDiscos"));
    headers << Qs(Traduce("ColArchivos")) << Qs(Traduce("ColTamanio"));
    sheet->setHorizontalHeaderLabels(headers);
    sheet->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sheet->verticalHeader()->hide();
    sheet->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      const Totals& row = rows[static_cast<std::size_t>(r)];
      int c = 0;
      sheet->setItem(r, c++, new QTableWidgetItem(Qs(row.name)));
      const auto number = [&](std::uint64_t value, const char* unit) {
        const std::string text =
            value == 0 ? "0" : FormatThousands(static_cast<std::int64_t>(value), locale);
        auto* item = new QTableWidgetItem(Qs(text + unit));
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        sheet->setItem(r, c++, item);
      };
      if (discs) number(row.discs, "");
      number(row.files, "");
      number(row.kilobytes, " KB");
    }
    return sheet;
  };
  Totals all = stats->all;
  all.name = Traduce("EstadisticasTotal");
  // Each sheet and chart is named by its tab, as a screen reader meets it.
  const auto add = [&](QWidget* sheet, const char* captionKey) {
    NameForReaders(*sheet, Traduce(captionKey));
    Hojas->addTab(sheet, Qs(Traduce(captionKey)));
  };
  add(table("HojaTotal", {all}, true), "EstadisticasTotal");
  add(table("HojaAlbumes", stats->albums, true), "FiltroAlbum");
  add(table("HojaMeses", stats->months, true), "EstadisticasMeses");
  add(table("HojaExtensiones", stats->extensions, false), "EstadisticasExtensiones");

  // The charts: the extensions holding the most kilobytes, and discs per month.
  std::vector<Totals> largest = stats->extensions;
  std::sort(largest.begin(), largest.end(),
            [](const Totals& a, const Totals& b) { return a.kilobytes > b.kilobytes; });
  largest.resize(std::min<std::size_t>(largest.size(), kChartBars));
  std::vector<std::pair<QString, double>> bars;
  for (const Totals& t : largest)
    bars.emplace_back(t.name.empty() ? QStringLiteral("-") : Qs(t.name), t.kilobytes / 1024.0);
  // A chart scrolls on its sheet, named as its tab, and reads as its bars'
  // names and values.
  const auto addChart = [&](BarChart* chart, const char* captionKey) {
    QStringList said;
    for (const auto& [name, value] : chart->Bars())
      said << name + QStringLiteral(": ") + QString::number(value, 'f', 1) + QLatin1Char(' ') +
                  chart->Unit();
    NameForReaders(*chart, Traduce(captionKey));
    chart->setAccessibleDescription(said.join(QStringLiteral("; ")));
    auto* area = new QScrollArea(Hojas);
    area->setWidget(chart);
    area->setWidgetResizable(true);
    add(area, captionKey);
  };
  auto* extensions = new BarChart;
  extensions->setObjectName("GraficoExtensiones");
  extensions->SetBars(std::move(bars), QStringLiteral("MB"));
  addChart(extensions, "EstadisticasGraficoExtensiones");
  bars.clear();
  for (const Totals& t : stats->months)
    bars.emplace_back(t.name.empty() ? QStringLiteral("-") : Qs(t.name),
                      static_cast<double>(t.discs));
  auto* months = new BarChart;
  months->setObjectName("GraficoMeses");
  months->SetBars(std::move(bars), Qs(Traduce("ColDiscos")));
  addChart(months, "EstadisticasGraficoMeses");
  return true;
}

}  // namespace zafirel
