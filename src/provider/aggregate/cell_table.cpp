#include "provider/aggregate/cell_table.h"

#include <utility>

#include "common/hash_mix.h"

namespace cubemill::provider::aggregate {

CellTable::CellTable(std::size_t width, std::size_t measure_count, std::vector<bool> rests)
    : width_(width), records_(width, measure_count, std::move(rests)) {}

std::uint64_t CellTable::Hash(const std::uint32_t* members) const {
  return HashNumbers(members, width_);
}

std::uint64_t CellTable::HashOfCell(std::size_t cell) const {
  const std::byte* record = records_.Record(cell);
  std::uint64_t hash = kHashStart;
  for (std::size_t i = 0; i < width_; ++i) hash = HashStep(hash, records_.Member(record, i));
  return HashEnd(hash);
}

bool CellTable::Equal(std::size_t cell, const std::uint32_t* members) const {
  // A loop rather than memcmp: a few numbers, compared where they are.
  const std::byte* record = records_.Record(cell);
  for (std::size_t i = 0; i < width_; ++i) {
    if (records_.Member(record, i) != members[i]) return false;
  }
  return true;
}

std::uint32_t CellTable::FindOrAdd(const std::uint32_t* members) {
  if (last_ < records_.size() && Equal(last_, members)) return static_cast<std::uint32_t>(last_);
  const std::uint64_t hash = Hash(members);
  const HashSlots::Probe probe =
      slots_.Find(hash, [&](std::size_t cell) { return Equal(cell, members); });
  if (probe.entry != HashSlots::kNone) {
    last_ = probe.entry;
    return static_cast<std::uint32_t>(last_);
  }
  records_.Append(members);
  last_ = slots_.Add(probe, hash, [this](std::size_t cell) { return HashOfCell(cell); });
  return static_cast<std::uint32_t>(last_);
}

void CellTable::Reserve(std::size_t cells) {
  if (records_.size() == 0) slots_.Reserve(cells);
}

CellRecords CellTable::TakeRecords(std::vector<std::uint64_t>& scratch) {
  scratch = slots_.TakeMemory();
  last_ = static_cast<std::size_t>(-1);
  CellRecords records = std::move(records_);
  records_ = records.EmptyLike();
  return records;
}

}  // namespace cubemill::provider::aggregate
