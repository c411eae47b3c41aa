// The members that the leading derived time levels of one hierarchy give each date, so that a
// date seen before costs one lookup instead of one per level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/hash_slots.h"
#include "provider/aggregate/row_values.h"

namespace cubemill::provider::aggregate {

// Holds, per date (and time of day, and whether one was given), the member numbers of the first
// `depth` levels below ALL of a hierarchy whose levels are all derived from that one date: they
// are a function of it. A NULL date is not held (its levels count the NULL rows). At most
// kMaxDates dates are held; then it starts over, so its memory stays small.
class TimeMemberCache {
 public:
  static constexpr std::size_t kMaxDates = std::size_t{1} << 14;

  TimeMemberCache() = default;
  // A cache of `depth` members per date; 0 holds nothing.
  explicit TimeMemberCache(std::size_t depth) : depth_(depth) {}

  std::size_t depth() const { return depth_; }

  // Returns the `depth` member numbers held for the date in `slot`, or nullptr.
  const std::uint32_t* Find(const TimeSlot& slot);

  // Holds `members` (`depth` numbers) for the date in `slot`.
  void Add(const TimeSlot& slot, const std::uint32_t* members);

 private:
  // The date in `slot` as one number, never 0; 0 for a NULL date and one whose fields are
  // beyond the number's bits.
  static std::uint64_t Pack(const TimeSlot& slot);
  // The number of the entry of the date packed as `key`, or HashSlots::kNone.
  std::size_t EntryOf(std::uint64_t key) const;

  std::size_t depth_ = 0;
  HashSlots slots_{6};
  std::vector<std::uint64_t> keys_;     // packed dates, per entry
  std::vector<std::uint32_t> members_;  // depth_ per entry
  std::uint64_t last_key_ = 0;          // the date found last: sources often deliver runs
  std::size_t last_entry_ = 0;
};

}  // namespace cubemill::provider::aggregate
