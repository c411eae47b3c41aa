#include "provider/aggregate/key_table.h"

namespace cubemill::provider::aggregate {

std::uint32_t KeyTable::Find(std::string_view key, std::uint64_t hash) const {
  if (slots_.empty()) return 0;
  const std::size_t mask = slots_.size() - 1;
  const std::uint64_t high = hash & 0xFFFFFFFF00000000ULL;
  for (std::size_t slot = hash & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    if ((slots_[slot] & 0xFFFFFFFF00000000ULL) != high) continue;
    const Entry& entry = entries_[(slots_[slot] & 0xFFFFFFFFULL) - 1];
    if (entry.size == key.size() &&
        std::memcmp(bytes_.data() + entry.offset, key.data(), key.size()) == 0) {
      return entry.number;
    }
  }
  return 0;
}

void KeyTable::Place(std::uint64_t hash, std::size_t entry) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = SlotOf(hash, entry);
}

void KeyTable::Add(std::string_view key, std::uint64_t hash, std::uint32_t number) {
  const std::size_t entry = entries_.size();
  entries_.push_back(Entry{bytes_.size(), static_cast<std::uint32_t>(key.size()), number});
  bytes_.append(key);
  if (entries_.size() * 2 > slots_.size()) {
    slots_.assign(slots_.empty() ? 16 : slots_.size() * 2, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const Entry& known = entries_[i];
      Place(Hash(std::string_view(bytes_.data() + known.offset, known.size)), i);
    }
  } else {
    Place(hash, entry);
  }
}

}  // namespace cubemill::provider::aggregate
