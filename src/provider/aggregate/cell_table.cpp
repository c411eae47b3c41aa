#include "provider/aggregate/cell_table.h"

#include <utility>

namespace cubemill::provider::aggregate {
namespace {

constexpr std::uint64_t kTagBits = 0xFFFFFFFF00000000ULL;

// The hash of a combination: its numbers mixed in one by one.
constexpr std::uint64_t kHashStart = 0x9E3779B97F4A7C15ULL;
std::uint64_t HashStep(std::uint64_t hash, std::uint32_t number) {
  hash = (hash ^ number) * 0xBF58476D1CE4E5B9ULL;
  return hash ^ (hash >> 31);
}
std::uint64_t HashEnd(std::uint64_t hash) {
  hash *= 0x94D049BB133111EBULL;
  return hash ^ (hash >> 32);
}

// The top bits of a hash give its slot (see HomeOf), the low half its tag: a slot holds its
// cell's tag above the cell's number + 1; 0 is a free slot.
std::uint64_t TagOf(std::uint64_t hash) { return hash << 32; }
std::uint64_t SlotOf(std::uint64_t hash, std::size_t cell) { return TagOf(hash) | (cell + 1); }

}  // namespace

CellTable::CellTable(std::size_t width, std::size_t measure_count)
    : width_(width), records_(width, measure_count), slots_(std::size_t{1} << kFirstBits, 0) {}

std::uint64_t CellTable::Hash(const std::uint32_t* members) const {
  std::uint64_t hash = kHashStart;
  for (std::size_t i = 0; i < width_; ++i) hash = HashStep(hash, members[i]);
  return HashEnd(hash);
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
  const std::uint64_t tag = TagOf(hash);
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = HomeOf(hash);
  // The tags spare most looks at cells of other combinations, each a likely cache miss.
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    if ((slots_[slot] & kTagBits) != tag) continue;
    const std::size_t cell = (slots_[slot] & ~kTagBits) - 1;
    if (Equal(cell, members)) {
      last_ = cell;
      return static_cast<std::uint32_t>(cell);
    }
  }
  const std::size_t cell = records_.Append(members);
  slots_[slot] = SlotOf(hash, cell);
  if (records_.size() * 4 > slots_.size() * 3) Grow();
  last_ = cell;
  return static_cast<std::uint32_t>(cell);
}

void CellTable::Grow() {
  // The old slots go before the new ones fill, so that only one set is held: the cells' member
  // numbers give each one's place again. The places are random; the hashes of the cells a few
  // ahead are computed first and their slots fetched while the current one is placed.
  const std::size_t size = slots_.size() * 2;
  slots_ = {};
  slots_.assign(size, 0);
  ++bits_;
  const std::size_t mask = size - 1;
  const std::size_t count = records_.size();
  constexpr std::size_t kAhead = 16;
  std::uint64_t ahead[kAhead];
  for (std::size_t cell = 0; cell < count + kAhead; ++cell) {
    if (cell >= kAhead) {
      const std::size_t placed = cell - kAhead;
      const std::uint64_t hash = ahead[placed % kAhead];
      std::size_t slot = HomeOf(hash);
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = SlotOf(hash, placed);
    }
    if (cell < count) {
      const std::uint64_t hash = HashOfCell(cell);
      ahead[cell % kAhead] = hash;
      __builtin_prefetch(&slots_[HomeOf(hash)], 1);
    }
  }
}

CellRecords CellTable::TakeRecords(std::vector<std::uint64_t>& scratch) {
  scratch = std::move(slots_);
  scratch.clear();
  slots_.assign(std::size_t{1} << kFirstBits, 0);
  bits_ = kFirstBits;
  last_ = static_cast<std::size_t>(-1);
  CellRecords records = std::move(records_);
  records_ = CellRecords(width_, records.measure_count());
  return records;
}

}  // namespace cubemill::provider::aggregate
