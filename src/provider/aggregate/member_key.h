// Member keys of the cube builder: the bytes members are looked up by, and the stored keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/value_text.h"
#include "provider/row_source.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::aggregate {

// Appends the `size` bytes at `data` to `out` as they are.
inline void AppendRaw(std::string& out, const void* data, std::size_t size) {
  out.append(static_cast<const char*>(data), size);
}

// Appends the identity of `value` as a key: a kind byte and the value's bytes. Reals holding an
// integer count as that integer, so 3 and 3.0 are one member. Inline: it runs for every row and
// level.
inline void EncodeKey(const Value& value, std::string& out) {
  switch (value.index()) {
    case 0:
      out.push_back('N');
      return;
    case 1: {
      out.push_back('I');
      AppendRaw(out, &std::get<std::int64_t>(value), sizeof(std::int64_t));
      return;
    }
    case 2: {
      double real = std::get<double>(value);
      std::int64_t integer = 0;
      if (values::AsExactInteger(real, integer)) {
        out.push_back('I');
        AppendRaw(out, &integer, sizeof integer);
      } else {
        out.push_back('R');
        AppendRaw(out, &real, sizeof real);
      }
      return;
    }
    default:
      out.push_back('T');
      AppendValueText(value, out);
      return;
  }
}

// Appends the identity of a member's stored key as EncodeKey appends that of the value it was
// made from (and as a derived time level encodes its keys).
inline void EncodeMemberKey(const MemberKey& key, std::string& out) {
  switch (key.index()) {
    case 0:
      out.push_back('N');
      return;
    case 1:
      out.push_back('I');
      AppendRaw(out, &std::get<std::int64_t>(key), sizeof(std::int64_t));
      return;
    case 2:
      EncodeKey(Value(std::get<double>(key)), out);
      return;
    default:
      out.push_back('T');
      out += std::get<std::string>(key);
      return;
  }
}

// Returns the key a member made from `value` keeps: NULL stays empty, reals holding an integer
// become that integer, dates, timestamps and text become their text.
MemberKey MakeKey(const Value& value);

// Returns `key` as text for messages: "NULL" for an empty key.
std::string KeyText(const MemberKey& key);

// Orders two keys: empty keys first, then numbers by value (integers and reals together), then
// text by its bytes. Returns -1, 0 or 1.
int CompareKeys(const MemberKey& a, const MemberKey& b);

}  // namespace cubemill::provider::aggregate
