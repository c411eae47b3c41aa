#include "query/execution/key_table.h"

#include <algorithm>
#include <stdexcept>

namespace cubemill::query {

namespace {

// Slots for `keys` keys at most half full, a power of two.
std::size_t SlotsFor(std::size_t keys) {
  std::size_t slots = 16;
  while (slots < 2 * keys) slots *= 2;
  return slots;
}

}  // namespace

KeyTable::KeyTable(std::size_t width, std::size_t expected)
    : width_(width), slots_(SlotsFor(expected), 0) {
  keys_.reserve(expected * width);
}

std::size_t KeyTable::Hash(const std::uint32_t* key) const {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; i < width_; ++i) {
    hash ^= key[i];
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  return static_cast<std::size_t>(hash);
}

bool KeyTable::Equal(std::size_t id, const std::uint32_t* key) const {
  return std::equal(key, key + width_, keys_.begin() + static_cast<long>(id * width_));
}

std::size_t KeyTable::Find(const std::uint32_t* key) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = Hash(key) & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) return npos;
    if (Equal(held - 1, key)) return held - 1;
  }
}

std::size_t KeyTable::Insert(const std::uint32_t* key) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = Hash(key) & mask;
  for (;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) break;
    if (Equal(held - 1, key)) return held - 1;
  }
  if (size_ + 1 >= UINT32_MAX) throw std::length_error("a query's key table is full");
  keys_.insert(keys_.end(), key, key + width_);
  slots_[slot] = static_cast<std::uint32_t>(++size_);
  if (2 * size_ > slots_.size()) Grow();
  return size_ - 1;
}

void KeyTable::Grow() {
  std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t id = 0; id < size_; ++id) {
    std::size_t slot = Hash(KeyOf(id)) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = static_cast<std::uint32_t>(id + 1);
  }
  slots_ = std::move(slots);
}

}  // namespace cubemill::query
