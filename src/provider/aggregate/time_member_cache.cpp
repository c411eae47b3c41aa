#include "provider/aggregate/time_member_cache.h"

#include <algorithm>

#include "common/hash_mix.h"

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

std::size_t TimeMemberCache::EntryOf(std::uint64_t key) const {
  return slots_.Find(HashWord(key), [&](std::size_t entry) { return keys_[entry] == key; }).entry;
}

const std::uint32_t* TimeMemberCache::Find(const TimeSlot& slot) {
  const std::uint64_t key = Pack(slot);
  if (key == 0) return nullptr;
  if (key != last_key_) {
    const std::size_t entry = EntryOf(key);
    if (entry == HashSlots::kNone) return nullptr;
    last_key_ = key;
    last_entry_ = entry;
  }
  return &members_[last_entry_ * depth_];
}

void TimeMemberCache::Add(const TimeSlot& slot, const std::uint32_t* members) {
  const std::uint64_t key = Pack(slot);
  if (key == 0 || depth_ == 0) return;
  const std::uint64_t hash = HashWord(key);
  HashSlots::Probe probe =
      slots_.Find(hash, [&](std::size_t entry) { return keys_[entry] == key; });
  if (probe.entry == HashSlots::kNone) {
    if (keys_.size() >= kMaxDates) {
      // Start over, keeping the memory.
      slots_.Clear();
      keys_.clear();
      members_.clear();
      probe = slots_.Find(hash, [](std::size_t) { return false; });
    }
    keys_.push_back(key);
    members_.insert(members_.end(), members, members + depth_);
    probe.entry =
        slots_.Add(probe, hash, [this](std::size_t entry) { return HashWord(keys_[entry]); });
  } else {
    std::copy_n(members, depth_, &members_[probe.entry * depth_]);
  }
  last_key_ = key;
  last_entry_ = probe.entry;
}

}  // namespace cubemill::provider::aggregate
