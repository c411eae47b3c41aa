#include "provider/aggregate/member_key.h"

#include <string>
#include <variant>

namespace cubemill::provider::aggregate {

MemberKey MakeKey(const Value& value) {
  switch (value.index()) {
    case 0:
      return std::monostate{};
    case 1:
      return std::get<std::int64_t>(value);
    case 2: {
      std::int64_t integer = 0;
      if (values::AsExactInteger(std::get<double>(value), integer)) return integer;
      return std::get<double>(value);
    }
    default:
      return ValueText(value);
  }
}

std::string KeyText(const MemberKey& key) {
  switch (key.index()) {
    case 0:
      return "NULL";
    case 1:
      return std::to_string(std::get<std::int64_t>(key));
    case 2:
      return ValueText(Value{std::get<double>(key)});
    default:
      return std::get<std::string>(key);
  }
}

int CompareKeys(const MemberKey& a, const MemberKey& b) {
  auto rank = [](const MemberKey& key) { return key.index() == 0 ? 0 : key.index() == 3 ? 2 : 1; };
  int rank_a = rank(a);
  int rank_b = rank(b);
  if (rank_a != rank_b) return rank_a < rank_b ? -1 : 1;
  if (rank_a == 0) return 0;
  if (rank_a == 2) {
    int order = std::get<std::string>(a).compare(std::get<std::string>(b));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
  }
  auto number = [](const MemberKey& key) {
    return key.index() == 1 ? static_cast<long double>(std::get<std::int64_t>(key))
                            : static_cast<long double>(std::get<double>(key));
  };
  long double x = number(a);
  long double y = number(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace cubemill::provider::aggregate
