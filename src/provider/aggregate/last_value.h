// The value a level last found its member by: rows often repeat a level's value under the same
// parent (dates in order, one country for many rows), and a repeat needs no key lookup.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <variant>

#include "provider/aggregate/row_values.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// Two values match only when they are the same kind and the same bytes, so that a match always
// gives the member a full lookup would (a miss costs only that lookup).
class LastValue {
 public:
  // Returns the member remembered for `value` under `parent`, or 0.
  std::uint32_t Find(std::uint32_t parent, const Value& value) const {
    if (member_ == 0 || parent != parent_ || value.index() != kind_) return 0;
    switch (kind_) {
      case 0:
        return member_;
      case 1:
        return *std::get_if<std::int64_t>(&value) == integer_ ? member_ : 0;
      case 2:
        return BitsOf(*std::get_if<double>(&value)) == integer_ ? member_ : 0;
      case 3:
        return *std::get_if<std::string_view>(&value) == text_ ? member_ : 0;
      case 4:
        return *std::get_if<Date>(&value) == moment_.date ? member_ : 0;
      default:
        return *std::get_if<Timestamp>(&value) == moment_ ? member_ : 0;
    }
  }

  // Returns the member remembered for the date in `slot` under `parent`, or 0.
  std::uint32_t Find(std::uint32_t parent, const TimeSlot& slot) const {
    if (member_ == 0 || parent != parent_ || kind_ != kSlot) return 0;
    if (slot.is_null || is_null_) return slot.is_null == is_null_ ? member_ : 0;
    return slot.is_timestamp == is_timestamp_ && slot.moment == moment_ ? member_ : 0;
  }

  // Remembers `member` for `value` (or `slot`) under `parent`.
  void Remember(std::uint32_t parent, const Value& value, std::uint32_t member) {
    member_ = member;
    parent_ = parent;
    kind_ = value.index();
    switch (kind_) {
      case 1:
        integer_ = *std::get_if<std::int64_t>(&value);
        break;
      case 2:
        integer_ = BitsOf(*std::get_if<double>(&value));
        break;
      case 3:
        text_.assign(*std::get_if<std::string_view>(&value));
        break;
      case 4:
        moment_ = Timestamp{*std::get_if<Date>(&value), 0, 0, 0};
        break;
      case 5:
        moment_ = *std::get_if<Timestamp>(&value);
        break;
      default:
        break;
    }
  }
  void Remember(std::uint32_t parent, const TimeSlot& slot, std::uint32_t member) {
    member_ = member;
    parent_ = parent;
    kind_ = kSlot;
    is_null_ = slot.is_null;
    is_timestamp_ = slot.is_timestamp;
    moment_ = slot.moment;
  }

 private:
  static constexpr std::size_t kSlot = std::variant_size_v<Value>;  // a TIME column's date

  static std::int64_t BitsOf(double real) {
    std::int64_t bits;
    std::memcpy(&bits, &real, sizeof bits);
    return bits;
  }

  std::uint32_t member_ = 0;  // 0: nothing remembered
  std::uint32_t parent_ = 0;
  std::size_t kind_ = 0;      // the Value's index, or kSlot
  std::int64_t integer_ = 0;  // an integer, or a real's bits
  Timestamp moment_;
  bool is_null_ = false;  // kSlot: the slot's flags
  bool is_timestamp_ = false;
  std::string text_;
};

}  // namespace cubemill::provider::aggregate
