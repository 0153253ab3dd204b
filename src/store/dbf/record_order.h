// The order in which a cursor visits a table's records. Record order is the
// default; an index tag supplies another by implementing the same four steps.
//
// Positions are physical record numbers counted from 1; 0 means "none". An
// order may name deleted records: the cursor skips them itself. recordCount
// is the number of records the table holds right now, so an order can ignore
// records that are gone and need not be told about appends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
  // The records a walk forward meets next after the record last given or
  // taken, at least wanted of them when the order holds that many more,
  // appended to out; the order's own position moves to the last one given,
  // so After that record goes on from there. Nothing when the order cannot
  // tell them cheaply. Only good while the table does not change.
  virtual void TakeRun(std::uint32_t /*recordCount*/, std::size_t /*wanted*/,
                       std::vector<std::uint32_t>& /*out*/) {}
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
