#include "provider/aggregate/cell_table.h"

#include <cstring>

namespace cubemill::provider {

CellTable::CellTable(std::size_t width) : width_(width), slots_(1024, 0) {}

std::size_t CellTable::Hash(const std::uint32_t* members) const {
  std::uint64_t hash = 0x9E3779B97F4A7C15ULL;
  for (std::size_t i = 0; i < width_; ++i) {
    hash = (hash ^ members[i]) * 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 31;
  }
  return static_cast<std::size_t>(hash);
}

bool CellTable::Equal(std::size_t cell, const std::uint32_t* members) const {
  return width_ == 0 ||
         std::memcmp(&members_[cell * width_], members, width_ * sizeof(std::uint32_t)) == 0;
}

std::uint32_t CellTable::FindOrAdd(const std::uint32_t* members) {
  if (last_ < count_ && Equal(last_, members)) return static_cast<std::uint32_t>(last_);
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = Hash(members) & mask;
  while (slots_[slot] != 0) {
    std::size_t cell = slots_[slot] - 1;
    if (Equal(cell, members)) {
      last_ = cell;
      return static_cast<std::uint32_t>(cell);
    }
    slot = (slot + 1) & mask;
  }
  std::size_t cell = count_++;
  members_.insert(members_.end(), members, members + width_);
  slots_[slot] = static_cast<std::uint32_t>(cell + 1);
  if (count_ * 2 > slots_.size()) Grow();
  last_ = cell;
  return static_cast<std::uint32_t>(cell);
}

void CellTable::Grow() {
  std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t cell = 0; cell < count_; ++cell) {
    std::size_t slot = Hash(Members(cell)) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = static_cast<std::uint32_t>(cell + 1);
  }
  slots_.swap(slots);
}

}  // namespace cubemill::provider
