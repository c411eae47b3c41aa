// ContextNames: each member's name after the ancestors that tell it from its namesakes.
#include "browse/pivot_names.h"

#include <algorithm>

#include "browse/pivot_members.h"

namespace cubemill::browse {

const std::vector<std::size_t>& ContextNames::Namesakes(std::size_t m) {
  static const std::vector<std::size_t> kNone;
  const std::size_t level = model_.LevelOf(m);
  auto found = levels_.find(level);
  if (found == levels_.end()) {
    std::unordered_map<std::string, std::vector<std::size_t>> by_name;
    for (std::size_t member : model_.MembersOf(level))
      by_name[model_.Member(member).name].push_back(member);
    std::erase_if(by_name, [](const auto& entry) { return entry.second.size() < 2; });
    found = levels_.emplace(level, std::move(by_name)).first;
  }
  const auto named = found->second.find(model_.Member(m).name);
  return named == found->second.end() ? kNone : named->second;
}

std::string ContextNames::Name(std::size_t m, std::size_t beside) {
  if (m >= model_.MemberCount()) return "";
  const std::string& own = model_.Member(m).name;
  const std::vector<std::size_t>& namesakes = Namesakes(m);
  if (namesakes.empty()) return own;
  const int beside_depth = beside == npos ? -1 : model_.DepthOf(beside);
  std::vector<std::size_t> left;  // the namesakes not yet told apart
  for (std::size_t other : namesakes) {
    if (other != m && (beside == npos || model_.AncestorAt(other, beside_depth) == beside))
      left.push_back(other);
  }
  const std::size_t all = AllMemberOf(model_, model_.HierarchyOf(m));
  std::vector<std::size_t> named;  // innermost first
  for (std::size_t a = model_.ParentOf(m); a != npos && a != all && a != beside && !left.empty();
       a = model_.ParentOf(a)) {
    const std::string& name = model_.Member(a).name;
    const int depth = model_.DepthOf(a);
    const auto apart = std::erase_if(left, [&](std::size_t other) {
      const std::size_t theirs = model_.AncestorAt(other, depth);
      return theirs == npos || model_.Member(theirs).name != name;
    });
    if (apart > 0) named.push_back(a);
  }
  std::string text;
  for (auto a = named.rbegin(); a != named.rend(); ++a) text += model_.Member(*a).name + " ";
  return text + own;
}

}  // namespace cubemill::browse
