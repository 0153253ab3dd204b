// Something that follows every record a cursor writes: the index files
// attached to a table. A cursor tells each observer after the record is on
// disk, with the record's stored bytes before and after the change (empty
// before for an append, empty after for a delete), so an index can move just
// the keys that changed.
#pragma once

#include <cstdint>
#include <string_view>

#include "store/dbf/table_header.h"

namespace zafirel::dbf {

class RecordObserver {
 public:
  virtual ~RecordObserver() = default;
  // Before a change is written, with the folder's write lock held: an index
  // whose file another program replaced meanwhile opens the new one.
  virtual void BeforeChange() {}
  virtual void RecordWritten(std::uint32_t recNo, std::string_view before, std::string_view after,
                             const TableLayout& layout) = 0;
  // After the change, lock still held: indexesFollow tells whether every
  // index file heard of it (the table's in-doubt mark is clear again).
  virtual void AfterChange(bool /*indexesFollow*/) {}
};

}  // namespace zafirel::dbf
