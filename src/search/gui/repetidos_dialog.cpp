#include "search/gui/repetidos_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <optional>

#include "search/duplicates.h"
#include "search/gui/saved_pages.h"
#include "search/html_pages.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"

namespace zafirel {

namespace {

constexpr int kNumberRole = Qt::UserRole;

std::string Kilobytes(std::uint64_t kilobytes) { return std::to_string(kilobytes) + " KB"; }

}  // namespace

RepetidosDialog::RepetidosDialog(const PageServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName("Repetidos");
  setWindowTitle(Qs(Traduce("Repetidos1")));
  auto* grid = new QGridLayout(this);
  LComparar = new QLabel(Qs(Traduce("CompararPor")), this);
  CComparar = new QComboBox(this);
  CComparar->setObjectName("CComparar");
  for (const char* key : {"CompararNombre", "CompararNombreTamanio", "CompararNombreTamanioFecha"})
    CComparar->addItem(Qs(Traduce(key)));
  CComparar->setCurrentIndex(1);
  LComparar->setBuddy(CComparar);
  LTamanioMinimo = new QLabel(Qs(Traduce("TamanioMinimo")), this);
  ETamanioMinimo = new QLineEdit(this);
  ETamanioMinimo->setObjectName("ETamanioMinimo");
  ETamanioMinimo->setPlaceholderText(QStringLiteral("1M"));
  ETamanioMinimo->setMaximumWidth(80);
  LTamanioMinimo->setBuddy(ETamanioMinimo);
  BBuscar = new QPushButton(Qs(Traduce("Buscar")), this);
  BBuscar->setObjectName("BBuscar");
  BBuscar->setDefault(true);
  Grupos = new QTreeWidget(this);
  Grupos->setObjectName("Grupos");
  Grupos->setColumnCount(4);
  Grupos->setHeaderLabels({Qs(Traduce("ColNombre")), Qs(Traduce("ColTamanio")),
                           Qs(Traduce("ColCopias")), Qs(Traduce("ColTotal"))});
  Grupos->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  Grupos->setUniformRowHeights(true);
  NameForReaders(*Grupos, Traduce("NombreGrupos"), Traduce("DescGrupos"));
  LTotal = new QLabel(this);
  LTotal->setObjectName("LTotal");
  BGrabar = new QPushButton(Qs(Traduce("GrabarHTML")), this);
  BGrabar->setObjectName("BGrabar");
  BCerrar = new QPushButton(Qs(Traduce("Cerrar")), this);
  BCerrar->setObjectName("BCerrar");
  grid->addWidget(LComparar, 0, 0);
  grid->addWidget(CComparar, 0, 1);
  grid->addWidget(LTamanioMinimo, 0, 2);
  grid->addWidget(ETamanioMinimo, 0, 3);
  grid->addWidget(BBuscar, 0, 4);
  grid->addWidget(Grupos, 1, 0, 1, 5);
  grid->addWidget(LTotal, 2, 0, 1, 3);
  grid->addWidget(BGrabar, 2, 3);
  grid->addWidget(BCerrar, 2, 4);
  grid->setColumnStretch(1, 1);
  resize(760, 480);

  connect(BBuscar, &QPushButton::clicked, this,
          [this] { Guarded("Repetidos", [&] { Buscar(); }); });
  connect(ETamanioMinimo, &QLineEdit::returnPressed, BBuscar, &QPushButton::click);
  connect(BGrabar, &QPushButton::clicked, this, [this] { Grabar(); });
  connect(BCerrar, &QPushButton::clicked, this, &QDialog::reject);
  connect(Grupos, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item == nullptr || item->parent() == nullptr) return;  // a group, not a copy
    chosen_.emplace(item->data(0, kNumberRole).toString().toStdString(), Ansi(item->text(0)));
    accept();
  });
}

std::string RepetidosDialog::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void RepetidosDialog::Buscar() {
  DuplicateOptions options;
  options.match = CComparar->currentIndex() == 0   ? DuplicateMatch::kName
                  : CComparar->currentIndex() == 2 ? DuplicateMatch::kNameSizeDate
                                                   : DuplicateMatch::kNameSize;
  const std::string smallest = Ansi(ETamanioMinimo->text().trimmed());
  if (!smallest.empty()) {
    options.scope.minBytes = ParseSize(smallest);
    if (!options.scope.minBytes) {
      services_.dialogs.PonerMensaje(Traduce("FiltroTamanioMal") + ": " + smallest);
      return;
    }
  }
  Grupos->clear();
  BBuscar->setEnabled(false);
  std::optional<WaitCursor> wait(std::in_place);
  DuplicateEvents events;
  events.progress = EventsNowAndThen(services_.dialogs);
  std::uint64_t groups = 0;
  std::vector<QTreeWidgetItem*> items;
  try {
    std::error_code ec;
    std::filesystem::create_directories(services_.folders.temp, ec);
    (void)ForEachDuplicateGroup(
        services_.tablas, services_.folders.catalogos, services_.folders.temp, options,
        [&](const DuplicateGroup& group) {
          if (++groups > kMaxGroups) return true;  // counted, not listed
          auto* top = new QTreeWidgetItem({Qs(group.name), Qs(Kilobytes(group.kilobytes)),
                                           QString::number(group.copies.size()),
                                           Qs(Kilobytes(group.totalKilobytes))});
          for (const DuplicateCopy& copy : group.copies) {
            auto* item = new QTreeWidgetItem(
                top, {Qs(copy.path), Qs(Kilobytes(copy.kilobytes)),
                      Qs(copy.title + " (N\xBA " + copy.number + ")"), Qs(copy.date)});
            item->setData(0, kNumberRole, QString::fromStdString(copy.disc));
          }
          items.push_back(top);
          return true;
        },
        events);
  } catch (const std::exception& error) {
    services_.dialogs.PonerMensaje(FailureText(services_.leng.Translator(), error));
  }
  Grupos->addTopLevelItems(QList<QTreeWidgetItem*>(items.begin(), items.end()));
  LTotal->setText(Qs(Traduce("RepetidosGrupos") + " " + std::to_string(groups)));
  BBuscar->setEnabled(true);
}

void RepetidosDialog::Grabar() {
  Dialogs& dialogs = services_.dialogs;
  if (Grupos->topLevelItemCount() == 0) {
    dialogs.PonerMensaje(Traduce("HacerBusqueda"));
    return;
  }
  const std::filesystem::path page = services_.folders.busquedas / "Repetidos.htm";
  const QTreeWidget* tree = Grupos;
  SaveAndOpenPage(services_, page, Traduce("Repetidos1"), [tree](const auto& visit) {
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
      const QTreeWidgetItem* top = tree->topLevelItem(g);
      visit(
          Ansi(top->text(0) + " - " + top->text(1) + " - " + top->text(2) + " x - " + top->text(3)),
          true);
      for (int c = 0; c < top->childCount(); ++c)
        visit(Ansi(top->child(c)->text(2) + ": " + top->child(c)->text(0)), false);
    }
  });
}

}  // namespace zafirel
