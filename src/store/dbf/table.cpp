#include "store/dbf/table.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>
#include <system_error>

#include "store/dbf/dbf_error.h"
#include "util/bytes.h"
#include "util/codepage.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"
#include "util/text.h"

namespace zafirel::dbf {

namespace {

const char kOpenTable[] = "No se puede realizar esta operaci\xF3n en una tabla abierta";
const char kClosedTable[] = "La tabla no est\xE1 abierta";
const char kInvalidList[] = "La lista de campos es inv\xE1lida";
constexpr std::size_t kMemoWidth = 10;
// Records read at a time when counting or visiting every record; such a
// pass reads past the page cache, so it neither fills nor pushes it out.
constexpr std::uint32_t kCountBatch = 1024;
// How far ahead of the cursor a walk takes records from an index.
constexpr std::size_t kRunAhead = 32;

// An existing file in folder whose name matches without regard to case: the
// exact spelling first, then the upper-case one this engine writes, then the
// first other spelling in name order. Else the upper-case name.
std::filesystem::path ResolveName(const std::filesystem::path& folder, const std::string& name) {
  std::error_code error;
  std::string upper = UpperAZ(name);
  for (const std::string& spelling : {name, upper})
    if (std::filesystem::is_regular_file(folder / spelling, error)) return folder / spelling;
  std::set<std::string> matches;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (EqualsNoCaseAZ(entry.path().filename().string(), name))
      matches.insert(entry.path().filename().string());
  return folder / (matches.empty() ? upper : *matches.begin());
}

std::string StemOf(const std::filesystem::path& file) { return file.stem().string(); }

bool ValidFieldList(const std::vector<FieldDef>& fields) {
  if (fields.empty() || fields.size() > kMaxFields) return false;
  std::set<std::string> names;
  for (const FieldDef& field : fields)
    if (!IsValidField(field) || !names.insert(field.name).second) return false;
  return true;
}

// An index order whose file turns out damaged while it is walked: the table's
// indexes are marked in doubt, so the next opening builds them anew, and the
// error goes on to the caller.
class MarkingOrder final : public RecordOrder {
 public:
  MarkingOrder(std::shared_ptr<RecordOrder> order, std::function<void()> mark)
      : order_(std::move(order)), mark_(std::move(mark)) {}
  std::uint32_t First(std::uint32_t count) override {
    return Marking([&] { return order_->First(count); });
  }
  std::uint32_t Last(std::uint32_t count) override {
    return Marking([&] { return order_->Last(count); });
  }
  std::uint32_t After(std::uint32_t recNo, std::uint32_t count) override {
    return Marking([&] { return order_->After(recNo, count); });
  }
  std::uint32_t Before(std::uint32_t recNo, std::uint32_t count) override {
    return Marking([&] { return order_->Before(recNo, count); });
  }
  bool Holds(std::uint32_t recNo) override {
    return Marking([&] { return order_->Holds(recNo) ? 1u : 0u; }) != 0;
  }
  void TakeRun(std::uint32_t count, std::size_t wanted, std::vector<std::uint32_t>& out) override {
    Marking([&] {
      order_->TakeRun(count, wanted, out);
      return 0u;
    });
  }

 private:
  template <typename Step>
  std::uint32_t Marking(Step&& step) {
    try {
      return step();
    } catch (const DbfError&) {
      mark_();
      throw;
    }
  }
  std::shared_ptr<RecordOrder> order_;
  std::function<void()> mark_;
};

}  // namespace

Table::Table(bool oemTranslation)
    : oem_(oemTranslation), order_(std::make_shared<PhysicalOrder>()) {}

void Table::SetFolder(std::filesystem::path folder) { folder_ = std::move(folder); }

void Table::SetTableName(std::string name) { name_ = std::move(name); }

std::filesystem::path Table::Path() const { return ResolveName(folder_, name_); }

// Another program may write the memo file under its own spelling beside
// ours (a spreadsheet saving "CDROM.dbt" beside "CDROM.DBT"): the one
// written last goes with the table.
std::filesystem::path Table::MemoPath() const {
  const std::string name = StemOf(Path()) + ".DBT";
  std::filesystem::path chosen = ResolveName(folder_, name);
  std::error_code error;
  auto newest = std::filesystem::last_write_time(chosen, error);
  if (error) return chosen;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    if (!EqualsNoCaseAZ(entry.path().filename().string(), name)) continue;
    std::error_code timeError;
    const auto written = std::filesystem::last_write_time(entry.path(), timeError);
    if (!timeError && written > newest) {
      newest = written;
      chosen = entry.path();
    }
  }
  return chosen;
}

[[noreturn]] void Table::Fail(const std::string& problem) const {
  throw DbfError(problem, active_ ? file_.Path() : Path());
}

void Table::CreateTable(const std::vector<FieldDef>& fields) {
  if (active_) Fail(kOpenTable);
  if (!ValidFieldList(fields)) Fail(kInvalidList);
  std::error_code error;
  std::filesystem::path path = Path();
  if (std::filesystem::exists(path, error)) Fail("La tabla ya existe");
  path = folder_ / UpperAZ(path.filename().string());
  std::string bytes = EncodeNewTable(fields);
  layout_ = DecodeHeader(bytes, path);
  if (layout_.HasMemo())
    MemoFile::Create(folder_ / (UpperAZ(StemOf(path)) + ".DBT"), UpperAZ(StemOf(path)));
  if (!WriteFileAtomically(path, bytes)) throw DbfError("No se puede crear la tabla", path, errno);
}

void Table::Open() {
  if (active_) return;
  Adopt(RawFile::Open(Path()), [this](std::uint8_t version) {
    MemoFile memo;
    memo.Open(MemoPath(), version == kDBase3WithMemo);
    return memo;
  });
}

void Table::OpenInMemory(std::string table, std::string memo) {
  if (active_) return;
  Adopt(RawFile::InMemory(std::move(table), folder_ / name_), [&](std::uint8_t version) {
    MemoFile file;
    file.Open(RawFile::InMemory(std::move(memo), folder_ / (StemOf(folder_ / name_) + ".DBT")),
              version == kDBase3WithMemo);
    return file;
  });
}

void Table::Adopt(RawFile file, const std::function<MemoFile(std::uint8_t version)>& openMemo) {
  std::uint64_t size = file.Size();
  if (size < kHeaderPrefix) throw DbfError("El archivo est\xE1 truncado", file.Path());
  std::string header = file.ReadString(0, kHeaderPrefix);
  std::size_t headerLength = bytes::GetU16(header.data() + 8);
  if (headerLength > size) throw DbfError("El archivo est\xE1 truncado", file.Path());
  TableLayout layout = DecodeHeader(file.ReadString(0, headerLength), file.Path());
  MemoFile memo;
  if (layout.HasMemo()) memo = openMemo(layout.version);

  file_ = std::move(file);
  // Disc tables of up to about 200,000 discs are read from memory.
  file_.SetReadCacheLimit(std::uint64_t{64} << 20);
  // The record count, the date and the change count move with every change.
  file_.SetCacheFingerprint(0, kHeaderPrefix);
  memo_ = std::move(memo);
  layout_ = std::move(layout);
  active_ = true;
  state_ = State::kBrowse;
  pendingMemos_.clear();
  First();
}

void Table::Close() {
  stateKnown_ = false;
  run_.clear();
  cachedRecNo_ = 0;
  file_.Close();
  memo_.Close();
  active_ = false;
  state_ = State::kBrowse;
  pendingMemos_.clear();
  recNo_ = 0;
  eof_ = bof_ = true;
}

int Table::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < layout_.fields.size(); ++i)
    if (EqualsNoCaseAZ(layout_.fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

int Table::RequireField(std::string_view name) const {
  int index = FieldIndex(name);
  if (index < 0) Fail("El campo no existe: " + std::string(name));
  return index;
}

void Table::CheckActive() const {
  if (!active_) Fail(kClosedTable);
}

void Table::CheckBrowseMode() {
  CheckActive();
  if (state_ != State::kBrowse) Post();
}

void Table::CheckWritable() const {
  if (damaged_)
    Fail(
        "La tabla est\xE1 da\xF1"
        "ada: solo se puede leer");
  if (!file_.Writable() || (layout_.HasMemo() && !memo_.IsOpen()))
    Fail("La tabla es de solo lectura");
  if (NeedsUpgrade()) Fail("La tabla es de dBase III: solo se puede leer");
}

// The header's count, held to the records really in the file so that a
// damaged header never sends a cursor past the end.
void Table::ReadState() {
  const RawFile::Version version = file_.CurrentVersion();
  if (stateKnown_ && version == stateVersion_) return;
  stateKnown_ = true;
  stateVersion_ = version;
  cachedRecNo_ = 0;
  const std::string prefix = file_.ReadString(0, kHeaderPrefix);
  const std::uint32_t claimed = RecordCountOf(prefix);
  std::uint64_t size = version.size;
  std::uint64_t body = size > layout_.headerLength ? size - layout_.headerLength : 0;
  std::uint64_t present = body / layout_.recordLength;
  // One record past the count is what an append cut short leaves (written,
  // not yet counted); on a table whose indexes follow it, such an append
  // also left the in-doubt mark. Any other difference is a damaged header:
  // every record present is shown, and nothing is written over them.
  const bool cutShortAppend = present == std::uint64_t{claimed} + 1 && prefix[kInDoubtOffset] != 0;
  damaged_ = claimed != present && !cutShortAppend;
  recordCount_ = static_cast<std::uint32_t>(damaged_ ? std::min<std::uint64_t>(present, UINT32_MAX)
                                                     : std::min<std::uint64_t>(claimed, present));
  uncounted_ = cutShortAppend;
}

bool Table::NeedsUpgrade() const {
  return active_ && layout_.HasMemo() && (layout_.version != kDBase4WithMemo || memo_.IsDBase3());
}

bool Table::CountDamaged() {
  CheckActive();
  ReadState();
  return damaged_;
}

std::uint64_t Table::RecordOffset(std::uint32_t recNo) const {
  return layout_.headerLength + std::uint64_t{recNo - 1} * layout_.recordLength;
}

// The last record read is kept until any write to the file; walking an
// order reads each record once for its deletion flag and its fields.
const std::string& Table::ReadRecord(std::uint32_t recNo) const {
  if (recNo != cachedRecNo_ || cachedWrites_ != file_.WriteCount()) {
    cachedRecNo_ = 0;  // until the whole record is in
    cachedRecord_.resize(layout_.recordLength);
    file_.ReadExactly(RecordOffset(recNo), cachedRecord_.data(), cachedRecord_.size());
    cachedRecNo_ = recNo;
    cachedWrites_ = file_.WriteCount();
  }
  return cachedRecord_;
}

bool Table::IsLive(std::uint32_t recNo) const {
  try {
    if (recNo == cachedRecNo_ && cachedWrites_ == file_.WriteCount())
      return cachedRecord_[0] != kDeletedFlag;
    // The mark alone: a walk in an index order need not bring in the rest.
    char flag = 0;
    file_.ReadExactly(RecordOffset(recNo), &flag, 1);
    return flag != kDeletedFlag;
  } catch (const DbfError&) {
    return false;  // a record cut short by the end of the file
  }
}

// Walking forward takes the records an order can tell cheaply (an index's
// leaves) as one run, some way ahead of the cursor, and steps through it
// while the table has not changed since (our own writes, to the table or
// its indexes, and other programs' changes all move the table's version):
// one index step per leaf instead of one per record. An index order jumps
// about the table, so the run's records are fetched into the processor's
// cache as they are taken, well before the cursor reaches them.
std::uint32_t Table::FirstInOrder() { return StartRun(order_->First(recordCount_)); }

std::uint32_t Table::AfterInOrder(std::uint32_t recNo) {
  if (runAt_ < run_.size() && recNo == runFrom_ && stateVersion_ == runVersion_) {
    runFrom_ = run_[runAt_++];
    if (!runEnded_ && run_.size() - runAt_ < kRunAhead / 2) ExtendRun();
    return runFrom_;
  }
  return StartRun(order_->After(recNo, recordCount_));
}

std::uint32_t Table::StartRun(std::uint32_t recNo) {
  run_.clear();
  runAt_ = 0;
  runFrom_ = 0;
  runEnded_ = recNo == 0;
  if (recNo == 0) return 0;
  runVersion_ = stateVersion_;
  ExtendRun();
  runFrom_ = recNo;
  return recNo;
}

void Table::ExtendRun() {
  run_.erase(run_.begin(), run_.begin() + static_cast<std::ptrdiff_t>(runAt_));
  runAt_ = 0;
  const std::size_t had = run_.size();
  order_->TakeRun(recordCount_, kRunAhead, run_);
  if (run_.size() - had < kRunAhead) runEnded_ = true;
  for (std::size_t i = had; i < run_.size(); ++i) file_.Prefetch(RecordOffset(run_[i]), 1);
}

std::uint32_t Table::LiveForward(std::uint32_t recNo) {
  while (recNo != 0 && (recNo > recordCount_ || !IsLive(recNo))) recNo = AfterInOrder(recNo);
  return recNo;
}

std::uint32_t Table::LiveBackward(std::uint32_t recNo) {
  while (recNo != 0 && (recNo > recordCount_ || !IsLive(recNo)))
    recNo = order_->Before(recNo, recordCount_);
  return recNo;
}

// The record's bytes are read when a field of it is first read
// (LoadedRecord): walking an order touches only each record's deletion mark.
void Table::Land(std::uint32_t recNo) {
  recNo_ = recNo;
  record_.clear();
  recordLoaded_ = recNo == 0;
  pendingMemos_.clear();
}

const std::string& Table::LoadedRecord() const {
  if (!recordLoaded_) {
    record_.assign(ReadRecord(recNo_));
    recordLoaded_ = true;
  }
  return record_;
}

std::uint32_t Table::RecordCount() {
  CheckActive();
  ReadState();
  std::uint32_t live = 0;
  std::string batch;
  for (std::uint32_t first = 1; first <= recordCount_; first += kCountBatch) {
    const std::uint32_t n = std::min(kCountBatch, recordCount_ - first + 1);
    batch.resize(std::size_t{n} * layout_.recordLength);
    if (file_.ReadPassing(RecordOffset(first), batch.data(), batch.size()) != batch.size())
      throw DbfError("El archivo est\xE1 truncado", file_.Path());
    for (std::uint32_t i = 0; i < n; ++i)
      if (batch[std::size_t{i} * layout_.recordLength] != kDeletedFlag) ++live;
  }
  return live;
}

std::uint32_t Table::StoredRecordCount() {
  CheckActive();
  ReadState();
  return recordCount_;
}

bool Table::IsEmpty() {
  CheckActive();
  ReadState();
  return LiveForward(FirstInOrder()) == 0;
}

void Table::SetOrder(std::shared_ptr<RecordOrder> order) {
  run_.clear();
  if (!order) {
    order_ = std::make_shared<PhysicalOrder>();
    return;
  }
  order_ = std::make_shared<MarkingOrder>(std::move(order), [this] { MarkIndexesDamaged(); });
}

void Table::MarkIndexesDamaged() {
  if (!indexGuard_ || !active_ || damaged_ || !file_.Writable()) return;
  try {
    std::optional<FolderLock> lock;
    if (shared_) lock.emplace(folder_);
    const char flag = 1;
    file_.WriteAt(kInDoubtOffset, &flag, 1);
  } catch (const std::exception&) {
    // Unmarked, the damage is found again at the next walk.
  }
}

void Table::AddObserver(std::shared_ptr<RecordObserver> observer) {
  if (observer) observers_.push_back(std::move(observer));
}

void Table::ClearObservers() { observers_.clear(); }

void Table::Notify(std::uint32_t recNo, std::string_view before, std::string_view after) {
  for (const auto& observer : observers_) observer->RecordWritten(recNo, before, after, layout_);
}

void Table::First() {
  CheckBrowseMode();
  ReadState();
  Land(LiveForward(FirstInOrder()));
  bof_ = true;
  eof_ = recNo_ == 0;
}

void Table::Last() {
  CheckBrowseMode();
  ReadState();
  Land(LiveBackward(order_->Last(recordCount_)));
  eof_ = true;
  bof_ = recNo_ == 0;
}

void Table::Next() {
  CheckBrowseMode();
  ReadState();
  const std::uint32_t next = LiveForward(recNo_ == 0 ? FirstInOrder() : AfterInOrder(recNo_));
  if (next == 0) {
    eof_ = true;
    return;
  }
  Land(next);
  eof_ = bof_ = false;
}

void Table::Prior() {
  CheckBrowseMode();
  ReadState();
  std::uint32_t prior =
      recNo_ == 0 ? order_->Last(recordCount_) : order_->Before(recNo_, recordCount_);
  prior = LiveBackward(prior);
  if (prior == 0) {
    bof_ = true;
    return;
  }
  Land(prior);
  eof_ = bof_ = false;
}

void Table::GoTo(std::uint32_t recNo) {
  CheckBrowseMode();
  ReadState();
  if (recNo == 0 || recNo > recordCount_ || !IsLive(recNo)) Fail("El registro no existe");
  Land(recNo);
  eof_ = bof_ = false;
}

void Table::Refresh() {
  CheckBrowseMode();
  ReadState();
  if (recNo_ != 0 && recNo_ <= recordCount_) Land(recNo_);
}

void Table::Append() {
  CheckBrowseMode();
  CheckWritable();
  record_.assign(layout_.recordLength, ' ');
  recordLoaded_ = true;
  pendingMemos_.clear();
  state_ = State::kAppend;
}

void Table::Edit() {
  CheckBrowseMode();
  CheckWritable();
  ReadState();
  if (recNo_ == 0 || recNo_ > recordCount_ || !IsLive(recNo_)) Fail("El registro no existe");
  Land(recNo_);
  LoadedRecord();
  state_ = State::kEdit;
}

void Table::Cancel() {
  CheckActive();
  if (state_ == State::kBrowse) return;
  state_ = State::kBrowse;
  ReadState();
  Land(recNo_ <= recordCount_ ? recNo_ : 0);
}

std::uint32_t Table::MemoBlock(std::string_view record, int index) const {
  std::string_view text =
      TrimBlanks(record.substr(layout_.offsets[index], layout_.fields[index].width));
  std::uint32_t block = 0;
  if (text.empty()) return 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), block);
  if (error != std::errc() || end != text.data() + text.size() || block == 0)
    throw DbfError("El n\xFAmero de bloque del memo no es v\xE1lido", memo_.Path());
  return block;
}

// Memos go first, so that a record never names a block that is not written.
void Table::StorePendingMemos() {
  for (const auto& [index, text] : pendingMemos_) {
    std::uint32_t old = 0;
    try {
      old = state_ == State::kEdit ? MemoBlock(record_, index) : 0;
    } catch (const DbfError&) {
      old = 0;  // a damaged reference is replaced, never written through
    }
    std::string stored(kMemoWidth, ' ');
    if (!text.empty()) {
      std::string number = std::to_string(memo_.Write(oem_ ? AnsiToOem(text) : text, old));
      stored.replace(kMemoWidth - number.size(), number.size(), number);
    }
    record_.replace(layout_.offsets[index], kMemoWidth, stored);
  }
  pendingMemos_.clear();
}

void Table::WriteHeaderState(std::uint32_t recordCount) {
  file_.WriteAt(kDateOffset, EncodeDateAndCount(recordCount));
  // One more change: what other programs cached of the table is stale now.
  // A count that cannot be written does not undo the change (the record
  // count or the record itself tells them as well).
  try {
    char count[4];
    file_.ReadExactly(kChangeCountOffset, count, 4);
    bytes::PutU32(count, bytes::GetU32(count) + 1);
    file_.WriteAt(kChangeCountOffset, count, 4);
  } catch (const DbfError&) {
  }
}

template <typename Change>
void Table::Changing(Change&& change) {
  std::optional<FolderLock> lock;
  if (shared_) lock.emplace(folder_);
  if (shared_ && file_.Replaced()) Fail("Otro programa ha sustituido la tabla: vuelva a abrirla");
  for (const auto& observer : observers_) observer->BeforeChange();
  ReadState();
  CheckWritable();
  // The mark also covers every append, so that a record written past the
  // count is told from a damaged header.
  const bool appending = state_ == State::kAppend;
  bool marked = false;
  if (indexGuard_ || appending) {
    char flag = 0;
    file_.ReadExactly(kInDoubtOffset, &flag, 1);
    if (flag == 0) {
      flag = 1;
      file_.WriteAt(kInDoubtOffset, &flag, 1);
      marked = true;
    }
  }
  const Written written = change();  // throws only when the record did not land
  // The record stands from here on, so nothing after it fails the change: an
  // index that cannot follow keeps the mark, and the indexes are rebuilt at
  // the next opening.
  bool followed = true;
  try {
    Notify(written.recNo, written.before, written.after);
  } catch (const std::exception&) {
    followed = false;
  }
  bool cleared = false;
  const bool settled = indexGuard_ ? marked && indexesComplete_ && followed : appending;
  if (settled) {
    try {
      const char flag = 0;
      file_.WriteAt(kInDoubtOffset, &flag, 1);
      cleared = true;
    } catch (const DbfError&) {
      // Left set: the indexes are only rebuilt once more than needed.
    }
  }
  for (const auto& observer : observers_) {
    try {
      observer->AfterChange(cleared);
    } catch (const std::exception&) {
    }
  }
}

// The date of the last change is for show: failing to write it does not
// undo a record that is written.
void Table::TouchHeader() {
  try {
    WriteHeaderState(recordCount_);
  } catch (const DbfError&) {
  }
}

bool Table::IndexesInDoubt() {
  CheckActive();
  char flag = 0;
  file_.ReadExactly(kInDoubtOffset, &flag, 1);
  return flag != 0;
}

void Table::SetIndexesInDoubt(bool inDoubt) {
  CheckActive();
  CheckWritable();
  std::optional<FolderLock> lock;
  if (shared_) lock.emplace(folder_);
  ReadState();
  if (!inDoubt && uncounted_) {
    // The record of an append cut short goes before the mark that owns it.
    file_.Truncate(RecordOffset(recordCount_ + 1));
    file_.WriteAt(RecordOffset(recordCount_ + 1), &kEndOfFile, 1);
    stateKnown_ = false;
  }
  const char flag = inDoubt ? 1 : 0;
  file_.WriteAt(kInDoubtOffset, &flag, 1);
}

bool Table::IndexesInDoubt(const std::filesystem::path& tableFile) {
  try {
    RawFile file = RawFile::Open(tableFile);
    char flag = 0;
    return file.ReadAt(kInDoubtOffset, &flag, 1) == 1 && flag != 0;
  } catch (const DbfError&) {
    return false;
  }
}

void Table::Post() {
  CheckActive();
  if (state_ == State::kBrowse) return;
  Changing([&]() -> Written {
    if (state_ == State::kEdit && (recNo_ > recordCount_ || !IsLive(recNo_)))
      Fail("El registro no existe");
    StorePendingMemos();
    Written written{recNo_, {}, {}};
    if (state_ == State::kAppend) {
      // The record counts once the header says so: written past the count,
      // it is overwritten by the next append.
      const std::uint32_t recNo = recordCount_ + 1;
      file_.WriteAt(RecordOffset(recNo), record_ + kEndOfFile);
      WriteHeaderState(recNo);
      recordCount_ = recNo;
      recNo_ = written.recNo = recNo;
    } else {
      written.before = ReadRecord(recNo_);
      file_.WriteAt(RecordOffset(recNo_), record_);
      TouchHeader();
    }
    state_ = State::kBrowse;
    eof_ = bof_ = false;
    written.after = record_;
    return written;
  });
}

void Table::Delete() {
  CheckActive();
  if (state_ == State::kAppend) return Cancel();
  state_ = State::kBrowse;
  pendingMemos_.clear();
  std::uint32_t next = 0;
  Changing([&]() -> Written {
    if (recNo_ == 0 || recNo_ > recordCount_ || !IsLive(recNo_)) Fail("El registro no existe");
    // The neighbour is found before the record leaves the order it is in.
    const std::uint32_t deleted = recNo_;
    next = LiveForward(AfterInOrder(deleted));
    if (next == 0) next = LiveBackward(order_->Before(deleted, recordCount_));
    Written written{deleted, ReadRecord(deleted), {}};
    const char flag = kDeletedFlag;
    file_.WriteAt(RecordOffset(deleted), &flag, 1);
    TouchHeader();
    return written;
  });
  Land(next);
  eof_ = bof_ = next == 0;
}

std::string Table::FieldText(std::string_view record, int index) const {
  const FieldDef& field = layout_.fields[index];
  std::string_view raw = record.substr(layout_.offsets[index], field.width);
  switch (field.type) {
    case 'C': {
      std::string_view text = TrimRight(raw);
      return oem_ ? OemToAnsi(text) : std::string(text);
    }
    case 'M': {
      std::uint32_t block = MemoBlock(record, index);
      if (block == 0) return std::string();
      std::string text = memo_.Read(block);
      return oem_ ? OemToAnsi(text) : text;
    }
    default:
      return std::string(TrimBlanks(raw));
  }
}

std::string Table::StoredRecord(std::uint32_t recNo) {
  CheckActive();
  ReadState();
  return recNo == 0 || recNo > recordCount_ ? std::string() : ReadRecord(recNo);
}

void Table::ForEachStoredRecord(
    const std::function<bool(std::uint32_t recNo, std::string_view record)>& visit) {
  CheckActive();
  ReadState();
  std::string batch;
  for (std::uint32_t first = 1; first <= recordCount_; first += kCountBatch) {
    const std::uint32_t n = std::min(kCountBatch, recordCount_ - first + 1);
    batch.resize(std::size_t{n} * layout_.recordLength);
    // A file cut shorter than its header says (another program's write under
    // way) yields the whole records it still holds.
    const std::size_t got = file_.ReadPassing(RecordOffset(first), batch.data(), batch.size());
    const std::uint32_t whole = static_cast<std::uint32_t>(got / layout_.recordLength);
    for (std::uint32_t i = 0; i < whole; ++i) {
      std::string_view record(batch.data() + std::size_t{i} * layout_.recordLength,
                              layout_.recordLength);
      if (record[0] != kDeletedFlag && !visit(first + i, record)) return;
    }
    if (whole < n) return;
  }
}

std::string Table::AsString(std::string_view name) const {
  CheckActive();
  return AsString(RequireField(name));
}

std::string Table::AsString(int index) const {
  CheckActive();
  if (index < 0 || static_cast<std::size_t>(index) >= layout_.fields.size())
    Fail("El campo no existe: " + std::to_string(index));
  if (state_ == State::kBrowse && recNo_ == 0) return std::string();
  auto pending = pendingMemos_.find(index);
  if (pending != pendingMemos_.end()) return pending->second;
  return FieldText(LoadedRecord(), index);
}

// The bytes a character, numeric or other non-memo field stores for value;
// nullopt for a number the field cannot hold.
std::optional<std::string> Table::StoredField(int index, std::string_view value) const {
  const FieldDef& field = layout_.fields[index];
  if (field.type == 'N' || field.type == 'F') return EncodeNumeric(value, field);
  std::string stored = field.type == 'C' && oem_ ? AnsiToOem(value) : std::string(value);
  stored.resize(static_cast<std::size_t>(field.width), ' ');
  return stored;
}

void Table::SetString(std::string_view name, std::string_view value) {
  CheckActive();
  int index = RequireField(name);
  if (state_ == State::kBrowse) Fail("La tabla no est\xE1 en modo de edici\xF3n");
  const FieldDef& field = layout_.fields[index];
  if (field.type == 'M') {
    pendingMemos_[index] = std::string(value);
    return;
  }
  std::optional<std::string> stored = StoredField(index, value);
  if (!stored) Fail("El valor no es un n\xFAmero que quepa en el campo " + field.name);
  record_.replace(layout_.offsets[index], static_cast<std::size_t>(field.width), *stored);
}

// The live records whose field reads value, in record order: from the
// attached indexes when one is keyed on the field alone and the indexes are
// not in doubt, else by reading every record.
std::vector<std::uint32_t> Table::RecordsHolding(int index, std::string_view value) {
  std::optional<std::vector<std::uint32_t>> candidates;
  if (finder_ && layout_.fields[index].type != 'M' && !IndexesInDoubt()) {
    if (const std::optional<std::string> stored = StoredField(index, value)) {
      std::string record(layout_.recordLength, ' ');
      record.replace(layout_.offsets[index], stored->size(), *stored);
      candidates = finder_(layout_.fields[index].name, record);
    }
  }
  std::vector<std::uint32_t> holding;
  if (!candidates) {
    ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
      if (FieldText(record, index) == value) holding.push_back(recNo);
      return true;
    });
    return holding;
  }
  std::sort(candidates->begin(), candidates->end());
  for (std::uint32_t recNo : *candidates)
    if (recNo <= recordCount_ && IsLive(recNo) && FieldText(ReadRecord(recNo), index) == value)
      holding.push_back(recNo);
  return holding;
}

bool Table::Locate(std::string_view name, std::string_view value) {
  CheckBrowseMode();
  int index = RequireField(name);
  ReadState();
  const std::vector<std::uint32_t> holding = RecordsHolding(index, value);
  if (holding.empty()) return false;
  // One record holds the value: it is the answer when the order has it.
  // Otherwise the order is walked for the first one.
  if (holding.size() == 1 && order_->Holds(holding.front())) {
    Land(holding.front());
    eof_ = bof_ = false;
    return true;
  }
  for (std::uint32_t recNo = LiveForward(FirstInOrder()); recNo != 0;
       recNo = LiveForward(AfterInOrder(recNo))) {
    if (FieldText(ReadRecord(recNo), index) == value) {
      Land(recNo);
      eof_ = bof_ = false;
      return true;
    }
  }
  return false;
}

}  // namespace zafirel::dbf
