// The leaf cells of a cube as fixed-size records in blocks: member numbers and measure values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace cubemill::provider::aggregate {

// What one measure of one cell holds: NULL (no row gave it a value), an integer or a real.
enum class CellState : std::uint8_t { kNull, kInteger, kReal };

// One measure value of one cell: `integer` or `real`, as `state` says. A real sum carries in
// `rest` what `real` could not hold of the exact sum: `real` + `rest` is the exact sum of the
// values merged so far (see measure_merge.h for when that holds), `real` the real nearest to it.
// `rest` is 0 for every other value.
struct CellValue {
  union {
    std::int64_t integer;
    double real;
  };
  double rest = 0;
  CellState state = CellState::kNull;
  CellValue() : integer(0) {}
};

// The cells, cell after cell. Each cell is one record: its measure values (8 bytes each), the
// rests of the measures that keep one (8 bytes each), the member number of each coordinate (4
// bytes each) and a state byte per measure, padded to a multiple of 8 bytes. Records live in
// blocks of a fixed number of cells, so that appending a cell never moves the others and the
// memory held is the cells' own (about 48 bytes for three coordinates and three measures, one of
// them a real sum).
class CellRecords {
 public:
  CellRecords() = default;
  // Records of `width` member numbers and `measure_count` values; measure m keeps the rest of a
  // real sum where `rests[m]` is true (a measure without one reads a rest of 0 and drops it).
  CellRecords(std::size_t width, std::size_t measure_count, std::vector<bool> rests = {});
  // Empty records of the same layout.
  CellRecords EmptyLike() const { return CellRecords(width_, measure_count_, rests_); }

  std::size_t size() const { return count_; }
  std::size_t width() const { return width_; }
  std::size_t measure_count() const { return measure_count_; }

  // Appends a cell with the `width` member numbers at `members` and every measure NULL; returns
  // its number (0-based, in order of appending).
  std::size_t Append(const std::uint32_t* members);

  // The record of cell `cell` (< size()), for the accessors below.
  std::byte* Record(std::size_t cell) {
    return blocks_[cell >> shift_].data() + (cell & mask_) * stride_;
  }
  const std::byte* Record(std::size_t cell) const {
    return blocks_[cell >> shift_].data() + (cell & mask_) * stride_;
  }

  // The `width` member numbers of a record, as 4-byte numbers in native byte order.
  const std::byte* MemberBytes(const std::byte* record) const { return record + members_at_; }
  std::uint32_t Member(const std::byte* record, std::size_t i) const {
    std::uint32_t number;
    std::memcpy(&number, record + members_at_ + i * sizeof number, sizeof number);
    return number;
  }
  void SetMember(std::byte* record, std::size_t i, std::uint32_t number) const {
    std::memcpy(record + members_at_ + i * sizeof number, &number, sizeof number);
  }

  // Measure `m` of a record.
  CellValue Value(const std::byte* record, std::size_t m) const {
    CellValue value;
    std::memcpy(&value.integer, record + m * sizeof value.integer, sizeof value.integer);
    if (rest_at_[m] != kNoRest) std::memcpy(&value.rest, record + rest_at_[m], sizeof value.rest);
    value.state = static_cast<CellState>(record[states_at_ + m]);
    return value;
  }
  void SetValue(std::byte* record, std::size_t m, const CellValue& value) const {
    std::memcpy(record + m * sizeof value.integer, &value.integer, sizeof value.integer);
    if (rest_at_[m] != kNoRest) std::memcpy(record + rest_at_[m], &value.rest, sizeof value.rest);
    record[states_at_ + m] = static_cast<std::byte>(value.state);
  }

  // Sets the order in which InOrder gives the cells: the cell numbered order[i] comes i-th. The
  // low `index_bits` bits of each entry are that number; the bits above are ignored. `order`
  // must name every cell once. The records stay where they are: moving them into order would
  // cost a second pass over them in random order, which the reader of the ordered cells makes
  // anyway.
  void SetOrder(std::vector<std::uint64_t> order, unsigned index_bits);

  // The record of the i-th cell in the order SetOrder set (without one, in order of appending).
  const std::byte* InOrder(std::size_t i) const {
    return Record(order_.empty() ? i : static_cast<std::size_t>(order_[i]));
  }

  bool operator==(const CellRecords&) const = default;

 private:
  std::size_t width_ = 0;
  std::size_t measure_count_ = 0;
  static constexpr std::size_t kNoRest = static_cast<std::size_t>(-1);
  std::vector<bool> rests_;           // per measure: whether it keeps a rest
  std::vector<std::size_t> rest_at_;  // per measure: the offset of its rest, or kNoRest
  std::size_t members_at_ = 0;        // offset of the member numbers in a record
  std::size_t states_at_ = 0;         // offset of the state bytes
  std::size_t stride_ = 8;            // bytes per record
  unsigned shift_ = 0;                // cells per block: 1 << shift_
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
  std::vector<std::vector<std::byte>> blocks_;  // each reserved for 1 << shift_ records
  std::vector<std::uint64_t> order_;            // cell numbers in order; empty: as appended
};

}  // namespace cubemill::provider::aggregate
