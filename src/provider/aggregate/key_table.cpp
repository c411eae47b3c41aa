#include "provider/aggregate/key_table.h"

namespace cubemill::provider::aggregate {

std::uint32_t KeyTable::Find(std::string_view key, std::uint64_t hash) const {
  const HashSlots::Probe probe =
      slots_.Find(hash, [&](std::size_t entry) { return KeyOf(entries_[entry]) == key; });
  return probe.entry == HashSlots::kNone ? 0 : entries_[probe.entry].number;
}

void KeyTable::Add(std::string_view key, std::uint64_t hash, std::uint32_t number) {
  entries_.push_back(Entry{bytes_.size(), static_cast<std::uint32_t>(key.size()), number});
  bytes_.append(key);
  slots_.Add(hash, [this](std::size_t entry) { return Hash(KeyOf(entries_[entry])); });
}

}  // namespace cubemill::provider::aggregate
