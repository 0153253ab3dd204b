// A cursor on a dBase IV table: one position in one table file (and its memo
// file), opened shared. Every change goes to disk at once, record first, then
// the header's date and record count, so a second cursor on the same file (or
// another program) sees it; cursors re-read the header when they navigate or
// count. A cursor reads a record's fields when the first of them is asked
// for after it lands there (navigating reads only the deletion marks); what
// it read stays good until the next write through any cursor of this
// program, or a few milliseconds after another program changed the file.
//
// Deleted records ("*") are hidden from navigation, counting and searching.
// Text in and out is ANSI; a cursor made with OEM translation keeps character
// and memo text in the OEM code page on disk.
//
// A table shared with other programs (SetShared) makes every change under
// its folder's write lock (FolderLock), re-reading the header first, so
// changes of several programs never interleave.
//
// A table whose index files follow it (SetIndexGuard) marks its indexes "in
// doubt" before the first byte of a change (byte 14 of the header, dBase's
// incomplete-transaction flag, which other readers ignore) and clears the
// mark after the last index heard of the change, but only when every index
// file of the table is attached. A change cut short (a killed program, a
// full disc, an index that could not be written) or made without all the
// indexes leaves the mark, and the next open rebuilds the indexes.
//
// Navigation moving away from a record being edited or appended posts it
// first; Close drops unposted changes. A table whose header counts other
// records than the file holds is opened for reading the records present, and
// refuses every change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/field.h"
#include "store/dbf/memo.h"
#include "store/dbf/raw_file.h"
#include "store/dbf/record_observer.h"
#include "store/dbf/record_order.h"
#include "store/dbf/table_header.h"

namespace zafirel::dbf {

class Table {
 public:
  explicit Table(bool oemTranslation);

  void SetFolder(std::filesystem::path folder);
  void SetTableName(std::string name);
  // The table's file: an existing one whose name matches without regard to
  // case, else the name in upper case.
  std::filesystem::path Path() const;
  // The memo file beside Path(), found the same way.
  std::filesystem::path MemoPath() const;

  // Writes a new empty table (and memo file when a field is a memo). Refused
  // while open, over an existing table and for an invalid field list.
  void CreateTable(const std::vector<FieldDef>& fields);

  void Open();
  // Opens a table held in memory (with its memo file's bytes, when it has a
  // memo field): the engine exactly as on disc, with nothing read or written
  // there. For the fuzz targets.
  void OpenInMemory(std::string table, std::string memo);
  void Close();
  bool Active() const { return active_; }

  const std::vector<FieldDef>& Fields() const { return layout_.fields; }
  // The code page of the stored text: OEM for a translating table.
  StoredText TextCodePage() const { return oem_ ? StoredText::kOem : StoredText::kAnsi; }
  int FieldIndex(std::string_view name) const;

  // Live records, counted on disk each time.
  std::uint32_t RecordCount();
  // Records the file holds, deleted ones too; read from the header alone.
  std::uint32_t StoredRecordCount();
  bool IsEmpty();

  // Replaces record order by another order (an index); nullptr restores
  // record order. The cursor stays on its record. An order that fails (a
  // damaged index file) marks the indexes in doubt when they are guarded.
  void SetOrder(std::shared_ptr<RecordOrder> order);

  // Changes under the folder's write lock (see above).
  void SetShared(bool shared) { shared_ = shared; }
  // Changes mark the indexes in doubt; complete tells whether every index
  // file of the table is attached, so a change may clear the mark again.
  void SetIndexGuard(bool guard, bool complete) {
    indexGuard_ = guard;
    indexesComplete_ = complete;
  }
  // The header's record count disagrees with the records the file holds
  // (beyond an append cut short): every record present is read, and no
  // change is made until the table is repaired with a backup.
  bool CountDamaged();
  // A table with a memo in another layout than dBase IV's (a dBase III table
  // and memo file, as spreadsheets save them): read, never written; the
  // table upgrade brings it to dBase IV.
  bool NeedsUpgrade() const;
  // The mark of the open table: its indexes may not match its records.
  bool IndexesInDoubt();
  void SetIndexesInDoubt(bool inDoubt);
  // The mark of a table file that is not open; false when it cannot be read.
  static bool IndexesInDoubt(const std::filesystem::path& tableFile);

  // Finds the records whose field may hold a value without reading every
  // record: given the field's name and a record holding the value as stored,
  // every record that holds it (and maybe others), or nullopt when it cannot
  // tell. The attached indexes offer one.
  using Finder = std::function<std::optional<std::vector<std::uint32_t>>(std::string_view field,
                                                                         std::string_view record)>;
  void SetFinder(Finder finder) { finder_ = std::move(finder); }

  // Observers hear of every record this cursor appends, changes or deletes.
  void AddObserver(std::shared_ptr<RecordObserver> observer);
  void ClearObservers();

  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  std::uint32_t RecNo() const { return state_ == State::kAppend ? 0 : recNo_; }
  void GoTo(std::uint32_t recNo);
  // Re-reads the current record from disk.
  void Refresh();

  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();

  // The record's bytes as stored (OEM text, padded fields), for the index
  // files; empty when the record is not in the file.
  std::string StoredRecord(std::uint32_t recNo);
  // A field's text (ANSI) in a record's stored bytes, the cursor left alone.
  std::string FieldOf(std::string_view record, int index) const {
    CheckActive();
    return FieldText(record, index);
  }
  // Visits the live records in record order until the visitor returns false.
  void ForEachStoredRecord(
      const std::function<bool(std::uint32_t recNo, std::string_view record)>& visit);
  const TableLayout& Layout() const { return layout_; }

  std::string AsString(std::string_view field) const;
  // The same for a field found once with FieldIndex, as a walk reading the
  // same fields of every record does.
  std::string AsString(int index) const;
  void SetString(std::string_view field, std::string_view value);
  // Moves to the first record of the order whose field reads value.
  bool Locate(std::string_view field, std::string_view value);

 private:
  enum class State { kBrowse, kEdit, kAppend };

  void Adopt(RawFile file, const std::function<MemoFile(std::uint8_t version)>& openMemo);
  void CheckActive() const;
  void CheckBrowseMode();
  void CheckWritable() const;
  int RequireField(std::string_view name) const;
  void ReadState();
  bool IsLive(std::uint32_t recNo) const;
  std::uint32_t FirstInOrder();
  std::uint32_t AfterInOrder(std::uint32_t recNo);
  std::uint32_t StartRun(std::uint32_t recNo);
  void ExtendRun();
  std::uint32_t LiveForward(std::uint32_t recNo);
  std::uint32_t LiveBackward(std::uint32_t recNo);
  // Good until the next read of another record.
  const std::string& ReadRecord(std::uint32_t recNo) const;
  void Land(std::uint32_t recNo);
  const std::string& LoadedRecord() const;
  std::string FieldText(std::string_view record, int index) const;
  std::optional<std::string> StoredField(int index, std::string_view value) const;
  std::vector<std::uint32_t> RecordsHolding(int index, std::string_view value);
  std::uint32_t MemoBlock(std::string_view record, int index) const;
  void StorePendingMemos();
  void WriteHeaderState(std::uint32_t recordCount);
  void Notify(std::uint32_t recNo, std::string_view before, std::string_view after);
  // What a change wrote, for the observers.
  struct Written {
    std::uint32_t recNo = 0;
    std::string before, after;
  };
  // Runs a change: under the folder's lock when shared, with the indexes
  // marked in doubt around it when guarded. The change throws only while
  // its record has not landed; after that nothing fails it.
  template <typename Change>
  void Changing(Change&& change);
  void TouchHeader();
  void MarkIndexesDamaged();
  std::uint64_t RecordOffset(std::uint32_t recNo) const;
  [[noreturn]] void Fail(const std::string& problem) const;

  bool oem_;
  std::filesystem::path folder_;
  std::string name_;

  bool active_ = false;
  RawFile file_;
  MemoFile memo_;
  TableLayout layout_;
  std::uint32_t recordCount_ = 0;  // records present, at the last ReadState()
  // What was read stays good while the file's version does not move.
  bool stateKnown_ = false;
  RawFile::Version stateVersion_;
  mutable std::uint32_t cachedRecNo_ = 0;
  mutable std::uint64_t cachedWrites_ = 0;
  mutable std::string cachedRecord_;
  bool damaged_ = false;
  bool uncounted_ = false;  // one record past the count: an append cut short
  bool shared_ = false;
  bool indexGuard_ = false;
  bool indexesComplete_ = false;
  std::shared_ptr<RecordOrder> order_;
  std::vector<std::shared_ptr<RecordObserver>> observers_;
  Finder finder_;

  State state_ = State::kBrowse;
  std::uint32_t recNo_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  mutable std::string record_;
  mutable bool recordLoaded_ = true;
  // The records a walk meets next after runFrom_, taken from the order at
  // once (an index's leaf) while the table is at runVersion_.
  std::vector<std::uint32_t> run_;
  std::size_t runAt_ = 0;
  bool runEnded_ = true;  // the order has no more to give
  std::uint32_t runFrom_ = 0;
  RawFile::Version runVersion_;
  std::map<int, std::string> pendingMemos_;  // ANSI text, written at Post
};

}  // namespace zafirel::dbf
