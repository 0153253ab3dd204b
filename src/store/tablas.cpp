#include "store/tablas.h"

#include <charconv>
#include <climits>

#include "store/dbf/dbf_error.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {

namespace {

bool CreateTable(const std::filesystem::path& folder, const char* name,
                 const std::vector<std::string>& specs) {
  try {
    dbf::Table table(false);
    table.SetFolder(folder);
    table.SetTableName(name);
    table.CreateTable(dbf::ParseFieldList(specs));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// How a numeric key orders a field's text: its leading number, 0 for text
// that has none (dBase's VAL).
double KeyValue(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The number after the one the text holds; 1 when it is empty or not a
// whole number.
int NumberAfter(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || ptr != end || value < 0) return 1;
  if (value >= INT_MAX) throw dbf::DbfError("El n\xFAmero de disco est\xE1 fuera de rango");
  return static_cast<int>(value + 1);
}

}  // namespace

void TTablas::SetFolder(const std::filesystem::path& folder) {
  folder_ = folder;
  TablaCDRom.SetFolder(folder);
  TablaCDRom.SetTableName(kDiscTableName);
  TablaCDRomTemp.SetFolder(folder);
  TablaCDRomTemp.SetTableName(kDiscTableName);
  TablaGraf.SetFolder(folder);
  TablaGraf.SetTableName(kCoverTableName);
  // Other programs may work on the same data folder: changes take its lock.
  for (dbf::Table* table : {&TablaCDRom, &TablaCDRomTemp, &TablaGraf}) table->SetShared(true);
}

const std::vector<std::string>& TTablas::DiscFieldList() {
  static const std::vector<std::string> fields = {
      "TITULOCD;C;75;0", "BYTESCD;C;15;0",  "AUTO;N;11;0",     "TOTDIR;C;6;0",   "TOTFILES;C;7;0",
      "SOCD;C;50;0",     "ETIQUETA;C;11;0", "NSERIECD;C;11;0", "DEDONDE;C;50;0", "NUMEROCD;C;10;0",
      "NOTAS;M;10;0",    "GRAFICO;N;20;4",  "UNIDAD;C;1;0",    "ALBUM;C;50;0"};
  return fields;
}

const std::vector<std::string>& TTablas::CoverFieldList() {
  static const std::vector<std::string> fields = {"CODIGO;C;10;0", "TITULO;C;70;0",
                                                  "GRAFICO;M;10;0"};
  return fields;
}

bool TTablas::CreateDiscTable(const std::filesystem::path& folder) {
  return CreateTable(folder, kDiscTableName, DiscFieldList());
}

bool TTablas::CreateCoverTable(const std::filesystem::path& folder) {
  return CreateTable(folder, kCoverTableName, CoverFieldList());
}

namespace {

// A table without a field the program reads or writes is refused whole,
// before anything acts on half of it.
void RequireFields(dbf::Table& table, std::string_view added) {
  for (const dbf::FieldDef& field : dbf::ParseFieldList(TTablas::DiscFieldList())) {
    if (field.name != added && table.FieldIndex(field.name) < 0) {
      table.Close();
      throw dbf::DbfError("A la tabla le falta el campo", table.Path(), 0, field.name);
    }
  }
}

}  // namespace

void TTablas::CheckDiscTable(const std::filesystem::path& folder) {
  dbf::Table table(false);
  table.SetFolder(folder);
  table.SetTableName(kDiscTableName);
  table.Open();
  RequireFields(table, "ALBUM");
  table.Close();
}

void TTablas::OpenDiscTable() {
  TablaCDRom.Open();
  RequireFields(TablaCDRom, "");
  IndicesCDRom.Attach(TablaCDRom, folder_);
  try {
    IndicesCDRom.Select(TablaCDRom, "Titulo");
  } catch (const dbf::DbfError&) {
    // Its file is rebuilt at the next start; record order until then.
  }
  TablaCDRom.First();
}

// The last record in AUTO order is the one with the highest value; among
// equal values the later record, as an index keeps equal keys in record order.
// The "Auto" file is proven to follow the table when it is attached (else it
// is built in memory from the table); without it the table is scanned for
// the same answer.
int TTablas::IncrementaNHistoria() {
  TablaCDRomTemp.Open();
  // The cursor closes when the task leaves, however it leaves.
  const ScopeGuard closer([&] {
    IndicesCDRomTemp.Detach(TablaCDRomTemp);
    TablaCDRomTemp.Close();
  });
  IndicesCDRomTemp.Attach(TablaCDRomTemp, folder_);
  try {
    IndicesCDRomTemp.Select(TablaCDRomTemp, "Auto");
    TablaCDRomTemp.Last();
    return NumberAfter(TablaCDRomTemp.AsString("AUTO"));
  } catch (const dbf::DbfError&) {
    IndicesCDRomTemp.Select(TablaCDRomTemp, "");
  }
  const int index = TablaCDRomTemp.FieldIndex("AUTO");
  const std::size_t offset = TablaCDRomTemp.Layout().offsets[static_cast<std::size_t>(index)];
  const std::size_t width =
      static_cast<std::size_t>(TablaCDRomTemp.Fields()[static_cast<std::size_t>(index)].width);
  bool found = false;
  double best = 0;
  std::string lastText;
  TablaCDRomTemp.ForEachStoredRecord([&](std::uint32_t, std::string_view record) {
    const std::string text(TrimBlanks(record.substr(offset, width)));
    const double value = KeyValue(text);
    if (!found || value >= best) {
      found = true;
      best = value;
      lastText = text;
    }
    return true;
  });
  return NumberAfter(lastText);
}

std::string TTablas::CurrentDisc(std::string_view field) {
  if (!TablaCDRom.Active() || TablaCDRom.IsEmpty()) return {};
  return TablaCDRom.AsString(field);
}

}  // namespace zafirel
