// The one open-addressing hash table of the builder, the rollups and the queries: slots that find
// the entries their user keeps, numbered 0, 1, 2, ... in order of addition.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace cubemill {

// Each user keeps its entries where its memory suits them (the cells in their records, a
// level's keys in one buffer) and gives the table, per call, the hash of the key looked for, a
// test of whether entry n holds that key, and, for growth, the hash of entry n's key (hashes
// are not stored: that would double the memory of the table of cells).
//
// A slot is 64 bits: the low half of the key's hash (a tag) above the entry's number + 1, 0 for
// a free slot. A probe compares tags first and looks at an entry only when they agree, so a
// lookup seldom touches the memory of other keys. The slots are a power of two, at most three
// quarters used, probed linearly from the slot the top bits of the hash give. Hashes come from
// hash_mix.h.
class HashSlots {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Entries a table can number: an entry's number + 1 must fit the low half of a slot.
  static constexpr std::size_t kMaxEntries = 0xFFFFFFFEULL;

  // A table of 2^first_bits slots (at least 2), before growing.
  explicit HashSlots(unsigned first_bits = 4)
      : first_bits_(first_bits < 1 ? 1 : first_bits),
        bits_(first_bits_),
        slots_(std::size_t{1} << bits_, 0) {}

  // The first_bits of a table that numbers `entries` entries before it first grows.
  static unsigned BitsFor(std::size_t entries) {
    unsigned bits = 4;
    while ((std::size_t{1} << bits) * 3 < entries * 4) ++bits;
    return bits;
  }

  // Number of entries.
  std::size_t size() const { return count_; }

  // Where a key was found, or where it would go.
  struct Probe {
    std::size_t entry;  // the entry holding the key, kNone when none does
    std::size_t slot;   // when entry is kNone: the free slot for it
  };

  // Looks for the entry whose key has `hash` and for which `equal(entry)` holds.
  template <typename Equal>
  Probe Find(std::uint64_t hash, Equal&& equal) const {
    const std::uint64_t tag = TagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = HomeOf(hash);
    for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
      if ((slots_[slot] & kTagBits) != tag) continue;
      const std::size_t entry = (slots_[slot] & ~kTagBits) - 1;
      if (equal(entry)) return Probe{entry, slot};
    }
    return Probe{kNone, slot};
  }

  // Numbers size() the entry whose key has `hash`, which `probe` (from Find with this hash, no
  // addition since) did not find; the user has already appended it, so that growing, which
  // asks `hash_of(entry)` for the hash of every entry, finds it too. Returns its number. Throws
  // std::length_error when the table already numbers kMaxEntries entries: a number beyond them
  // would spill into the tag.
  template <typename HashOf>
  std::size_t Add(const Probe& probe, std::uint64_t hash, HashOf&& hash_of) {
    if (count_ >= kMaxEntries) throw std::length_error("a hash table is full");
    const std::size_t entry = count_++;
    slots_[probe.slot] = SlotOf(hash, entry);
    if (count_ * 4 > slots_.size() * 3) Grow(hash_of);
    return entry;
  }

  // Numbers size() an entry whose key (with `hash`) no entry holds; as Add.
  template <typename HashOf>
  std::size_t Add(std::uint64_t hash, HashOf&& hash_of) {
    return Add(Find(hash, [](std::size_t) { return false; }), hash, hash_of);
  }

  // Forgets every entry, keeping the slots' memory. `hash_of` gives the hash of each entry, so
  // that a table much larger than its entries clears only their slots.
  template <typename HashOf>
  void Clear(HashOf&& hash_of) {
    if (count_ * 8 >= slots_.size()) {
      Clear();
      return;
    }
    // Each entry lies on from its home slot; the search passes over slots already freed, so
    // the entries may go in any order.
    const std::size_t mask = slots_.size() - 1;
    while (count_ > 0) {
      const std::uint64_t mine = --count_ + 1;
      std::size_t slot = HomeOf(hash_of(count_));
      while ((slots_[slot] & ~kTagBits) != mine) slot = (slot + 1) & mask;
      slots_[slot] = 0;
    }
  }

  // Makes an empty table large enough to number `entries` entries before it grows; its first
  // size (TakeMemory) stays what it was.
  void Reserve(std::size_t entries) {
    const unsigned bits = BitsFor(entries);
    if (count_ != 0 || bits <= bits_) return;
    bits_ = bits;
    slots_ = {};
    slots_.assign(std::size_t{1} << bits_, 0);
  }

  // Forgets every entry, keeping the slots' memory.
  void Clear() {
    std::fill(slots_.begin(), slots_.end(), 0);
    count_ = 0;
  }

  // Returns the slots' memory, emptied, for other use; the table is empty and back at its first
  // size.
  std::vector<std::uint64_t> TakeMemory() {
    std::vector<std::uint64_t> memory = std::move(slots_);
    memory.clear();
    bits_ = first_bits_;
    slots_.assign(std::size_t{1} << bits_, 0);
    count_ = 0;
    return memory;
  }

 private:
  static constexpr std::uint64_t kTagBits = 0xFFFFFFFF00000000ULL;
  static std::uint64_t TagOf(std::uint64_t hash) { return hash << 32; }
  static std::uint64_t SlotOf(std::uint64_t hash, std::size_t entry) {
    return TagOf(hash) | (entry + 1);
  }
  std::size_t HomeOf(std::uint64_t hash) const {
    return static_cast<std::size_t>(hash >> (64 - bits_));
  }

  template <typename HashOf>
  void Grow(HashOf&& hash_of) {
    // The old slots go before the new ones fill, so that only one set is held: the entries'
    // keys give each one's place again. The places are random; the hashes of the entries a few
    // ahead are computed first and their slots fetched while the current one is placed.
    const std::size_t size = slots_.size() * 2;
    slots_ = {};
    slots_.assign(size, 0);
    ++bits_;
    const std::size_t mask = size - 1;
    constexpr std::size_t kAhead = 16;
    std::uint64_t ahead[kAhead];
    for (std::size_t entry = 0; entry < count_ + kAhead; ++entry) {
      if (entry >= kAhead) {
        const std::size_t placed = entry - kAhead;
        const std::uint64_t hash = ahead[placed % kAhead];
        std::size_t slot = HomeOf(hash);
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = SlotOf(hash, placed);
      }
      if (entry < count_) {
        const std::uint64_t hash = hash_of(entry);
        ahead[entry % kAhead] = hash;
        __builtin_prefetch(&slots_[HomeOf(hash)], 1);
      }
    }
  }

  unsigned first_bits_;
  unsigned bits_;  // slots: 2^bits_
  std::size_t count_ = 0;
  std::vector<std::uint64_t> slots_;
};

}  // namespace cubemill
