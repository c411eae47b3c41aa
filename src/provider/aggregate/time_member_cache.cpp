#include "provider/aggregate/time_member_cache.h"

#include <algorithm>

namespace cubemill::provider::aggregate {

std::uint64_t TimeMemberCache::Pack(const TimeSlot& slot) {
  if (slot.is_null) return 0;
  const Timestamp& moment = slot.moment;
  if (moment.date.year < 0 || moment.date.year > 0xFFFF) return 0;
  const unsigned largest =
      std::max({moment.date.month, moment.date.day, moment.hour, moment.minute, moment.second});
  if (largest > 0xFF) return 0;
  return std::uint64_t{1} << 63 | std::uint64_t{slot.is_timestamp} << 56 |
         static_cast<std::uint64_t>(moment.date.year) << 40 |
         std::uint64_t{moment.date.month} << 32 | std::uint64_t{moment.date.day} << 24 |
         std::uint64_t{moment.hour} << 16 | std::uint64_t{moment.minute} << 8 | moment.second;
}

std::size_t TimeMemberCache::SlotOf(std::uint64_t key) const {
  const std::size_t mask = keys_.size() - 1;
  std::uint64_t hash = key * 0x9E3779B97F4A7C15ULL;
  std::size_t slot = static_cast<std::size_t>(hash ^ (hash >> 29)) & mask;
  while (keys_[slot] != 0 && keys_[slot] != key) slot = (slot + 1) & mask;
  return slot;
}

const std::uint32_t* TimeMemberCache::Find(const TimeSlot& slot) {
  const std::uint64_t key = Pack(slot);
  if (key == 0 || keys_.empty()) return nullptr;
  if (key != last_key_) {
    const std::size_t place = SlotOf(key);
    if (keys_[place] == 0) return nullptr;
    last_key_ = key;
    last_slot_ = place;
  }
  return &members_[last_slot_ * depth_];
}

void TimeMemberCache::Add(const TimeSlot& slot, const std::uint32_t* members) {
  const std::uint64_t key = Pack(slot);
  if (key == 0 || depth_ == 0) return;
  if ((count_ + 1) * 2 > keys_.size()) {
    if (count_ >= kMaxDates) {
      std::fill(keys_.begin(), keys_.end(), 0);  // start over
      count_ = 0;
    } else {
      // Rehash into twice the slots.
      std::vector<std::uint64_t> keys = std::move(keys_);
      std::vector<std::uint32_t> old_members = std::move(members_);
      keys_.assign(keys.empty() ? 64 : keys.size() * 2, 0);
      members_.assign(keys_.size() * depth_, 0);
      for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == 0) continue;
        const std::size_t place = SlotOf(keys[i]);
        keys_[place] = keys[i];
        std::copy_n(&old_members[i * depth_], depth_, &members_[place * depth_]);
      }
    }
    last_key_ = 0;
  }
  const std::size_t place = SlotOf(key);
  if (keys_[place] == 0) ++count_;
  keys_[place] = key;
  std::copy_n(members, depth_, &members_[place * depth_]);
  last_key_ = key;
  last_slot_ = place;
}

}  // namespace cubemill::provider::aggregate
