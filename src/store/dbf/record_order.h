// The order in which a cursor visits a table's records. Record order is the
// default; an index tag supplies another by implementing the same four steps.
//
// Positions are physical record numbers counted from 1; 0 means "none". An
// order may name deleted records: the cursor skips them itself. recordCount
// is the number of records the table holds right now, so an order can ignore
// records that are gone and need not be told about appends.
#pragma once

#include <cstdint>

namespace zafirel::dbf {

class RecordOrder {
 public:
  virtual ~RecordOrder() = default;
  virtual std::uint32_t First(std::uint32_t recordCount) = 0;
  virtual std::uint32_t Last(std::uint32_t recordCount) = 0;
  virtual std::uint32_t After(std::uint32_t recNo, std::uint32_t recordCount) = 0;
  virtual std::uint32_t Before(std::uint32_t recNo, std::uint32_t recordCount) = 0;
  // True when a walk of the order meets the record; false also when that
  // cannot be told without walking.
  virtual bool Holds(std::uint32_t /*recNo*/) { return false; }
  // A record a walk forward is likely to reach some steps after the record
  // last given, so the cursor can have it fetched ahead; 0 when unknown.
  virtual std::uint32_t Ahead() const { return 0; }
};

class PhysicalOrder final : public RecordOrder {
 public:
  std::uint32_t First(std::uint32_t recordCount) override { return recordCount > 0 ? 1 : 0; }
  std::uint32_t Last(std::uint32_t recordCount) override { return recordCount; }
  std::uint32_t After(std::uint32_t recNo, std::uint32_t recordCount) override {
    return recNo < recordCount ? recNo + 1 : 0;
  }
  std::uint32_t Before(std::uint32_t recNo, std::uint32_t recordCount) override {
    if (recNo == 0) return 0;
    return recNo - 1 <= recordCount ? recNo - 1 : recordCount;
  }
  bool Holds(std::uint32_t) override { return true; }
  // Record order is read ahead by the hardware itself.
};

}  // namespace zafirel::dbf
