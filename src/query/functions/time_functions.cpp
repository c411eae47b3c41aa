// Time functions: members and sets found from a level and a member, the current member of the
// level's hierarchy when no member is given. Ytd, Qtd, Mtd, Wtd and LastPeriods find their
// hierarchy by a level's name (Year, Quarter, Month, Week).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/unicode_case.h"
#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

constexpr std::size_t npos = CubeModel::npos;

// The level named `name`: the first level of that name in the cube.
std::size_t LevelNamed(const CubeModel& model, const char* name, std::size_t position,
                       const char* function) {
  for (std::size_t level = 0; level < model.Catalog().levels.size(); ++level)
    if (platform::EqualsFolded(model.Catalog().levels[level].name, name)) return level;
  throw QueryFailure(std::string(function) + " needs a level named " + name +
                         " in the cube, or use PeriodsToDate with a level",
                     position);
}

// The member a time function starts from: its member argument, else the current member of
// `level`'s hierarchy.
MemberValue TimeMember(Context& cx, const MdxExpression* e, std::size_t level, const char* function,
                       std::size_t position) {
  if (e != nullptr) return cx.Member(*e, function);
  const CubeModel& model = cx.Model();
  const std::size_t h = model.LevelHierarchy(level);
  const std::uint32_t slot = cx.At()[h];
  if (slot == kAnySlot || IsSetSlot(slot) || slot >= model.MemberCount()) {
    throw QueryFailure(std::string(function) + ": " + model.HierarchyName(h) +
                           " has no current member of the cube here",
                       position);
  }
  return {slot, h};
}

// The member at the same place under `to` as `member` is under `from` (its ancestor); the
// null member where `to` has no such descendant.
std::size_t Cousin(const CubeModel& model, std::size_t member, std::size_t from, std::size_t to) {
  std::vector<std::size_t> steps;
  for (std::size_t m = member; m != from; m = model.ParentOf(m)) {
    const auto& siblings = model.ChildrenOf(model.ParentOf(m));
    steps.push_back(static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), m) -
                                             siblings.begin()));
  }
  std::size_t at = to;
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    const auto& children = model.ChildrenOf(at);
    if (*step >= children.size()) return npos;
    at = children[*step];
  }
  return at;
}

// Where a time function stands: its level, and the member it starts from (the null member
// where it finds none, or where no level is left above or below it).
struct Period {
  std::size_t level = npos;
  MemberValue member;
};

// The level (argument `level_at`, else the level above the member's, or below it when `down`)
// and the member (argument `member_at`, else the current one) of a time function.
Period PeriodOf(Context& cx, const MdxExpression& e, std::size_t level_at, std::size_t member_at,
                bool down) {
  const CubeModel& model = cx.Model();
  const auto& ops = e.operands;
  const char* function = e.function->name;
  if (ops.size() > level_at) {
    const std::size_t level = cx.Level(ops[level_at], function);
    if (level == npos) return {};
    const MdxExpression* member = ops.size() > member_at ? &ops[member_at] : nullptr;
    const MemberValue of = TimeMember(cx, member, level, function, e.position);
    if (of.member != npos && of.hierarchy != model.LevelHierarchy(level)) {
      throw QueryFailure(std::string(function) + ": the member is not of " +
                             model.HierarchyName(model.LevelHierarchy(level)),
                         e.position);
    }
    return {level, of};
  }
  // No level: that above the current member of the time hierarchy, or below it.
  const std::size_t year = LevelNamed(model, "Year", e.position, function);
  const MemberValue current = TimeMember(cx, nullptr, year, function, e.position);
  const auto& levels = model.LevelsOf(current.hierarchy);
  const auto here = std::find(levels.begin(), levels.end(), model.LevelOf(current.member));
  if (down ? here + 1 == levels.end() : here == levels.begin())
    return {npos, {npos, current.hierarchy}};
  return {down ? *(here + 1) : *(here - 1), current};
}

// ParallelPeriod([level [, n [, member]]]): the member at the same place n periods of the
// level back; the null member where there is none.
MemberValue ParallelPeriod(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const Period period = PeriodOf(cx, e, 0, 2, false);
  const MemberValue none{npos, period.member.hierarchy};
  if (period.level == npos || period.member.member == npos) return none;
  const double lag = e.operands.size() > 1 ? e.operands[1].number.real : 1;
  const std::size_t member = period.member.member;
  const int depth = model.Catalog().levels[period.level].ordinal;
  if (depth > model.DepthOf(member)) return none;
  const std::size_t ancestor = model.AncestorAt(member, depth);
  const auto& members = model.MembersOf(period.level);
  const double place = static_cast<double>(model.PositionInLevel(ancestor)) - lag;
  if (place < 0 || place >= static_cast<double>(members.size())) return none;
  return {Cousin(model, member, ancestor, members[static_cast<std::size_t>(place)]),
          none.hierarchy};
}

// OpeningPeriod and ClosingPeriod([level [, member]]): the member's first or last descendant
// at the level; the null member where there is none.
MemberValue EndPeriod(Context& cx, const MdxExpression& e, bool opening) {
  const CubeModel& model = cx.Model();
  const Period period = PeriodOf(cx, e, 0, 1, true);
  const MemberValue none{npos, period.member.hierarchy};
  if (period.level == npos || period.member.member == npos) return none;
  const int depth = model.Catalog().levels[period.level].ordinal;
  std::size_t m = period.member.member;
  if (depth < model.DepthOf(m)) return none;
  while (model.DepthOf(m) < depth) {
    const auto& children = model.ChildrenOf(m);
    if (children.empty()) return none;
    m = opening ? children.front() : children.back();
  }
  return {m, none.hierarchy};
}

// PeriodsToDate and its kin: from the first member at the member's level under its ancestor at
// the level to the member itself.
TupleList ToDate(Context& cx, const MdxExpression& e, const Period& period) {
  const CubeModel& model = cx.Model();
  if (period.level == npos && period.member.member == npos && e.operands.empty())
    return {{period.member.hierarchy}, {}, 0};
  if (period.level == npos) return {};
  const std::size_t h = model.LevelHierarchy(period.level);
  const TupleList none{{h}, {}, 0};
  const std::size_t member = period.member.member;
  if (member == npos) return none;
  const int depth = model.Catalog().levels[period.level].ordinal;
  const int own = model.DepthOf(member);
  if (depth > own) return none;
  std::size_t first = model.AncestorAt(member, depth);
  while (model.DepthOf(first) < own) {
    const auto& children = model.ChildrenOf(first);
    if (children.empty()) return none;
    first = children.front();
  }
  const auto& members = model.MembersOf(model.LevelOf(member));
  TupleList span{{h}, {}, 0};
  for (std::size_t p = model.PositionInLevel(first); p <= model.PositionInLevel(member); ++p)
    span.items.push_back(members[p]);
  span.count = span.items.size();
  return span;
}

// Ytd, Qtd, Mtd, Wtd([member]): PeriodsToDate at the level of that name.
TupleList NamedToDate(Context& cx, const MdxExpression& e, const char* level_name) {
  const std::size_t level = LevelNamed(cx.Model(), level_name, e.position, e.function->name);
  const MdxExpression* member = e.operands.empty() ? nullptr : &e.operands.front();
  const MemberValue of = TimeMember(cx, member, level, e.function->name, e.position);
  if (of.member != npos && of.hierarchy != cx.Model().LevelHierarchy(level)) {
    throw QueryFailure(std::string(e.function->name) + ": the member is not of " +
                           cx.Model().HierarchyName(cx.Model().LevelHierarchy(level)),
                       e.position);
  }
  return ToDate(cx, e, {level, of});
}

// LastPeriods(n [, member]): the n members of the member's level that end at it (n back from
// it); a negative n, the members that start at it; 0, none. Without a member, the current
// member of the time hierarchy (the one with a level named Year).
TupleList LastPeriods(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const long long n = WholeOf(e.operands[0]);
  const MdxExpression* member = e.operands.size() > 1 ? &e.operands[1] : nullptr;
  const std::size_t year =
      member != nullptr ? npos : LevelNamed(model, "Year", e.position, "LastPeriods");
  const MemberValue of = TimeMember(cx, member, year, "LastPeriods", e.position);
  TupleList span{{of.hierarchy}, {}, 0};
  if (of.member == npos || n == 0) return span;
  const auto& members = model.MembersOf(model.LevelOf(of.member));
  const long long at = static_cast<long long>(model.PositionInLevel(of.member));
  const long long last = static_cast<long long>(members.size()) - 1;
  const long long from = n > 0 ? std::max(0LL, at - n + 1) : at;
  const long long to = n > 0 ? at : std::min(last, at - n - 1);
  for (long long p = from; p <= to; ++p) span.items.push_back(members[static_cast<std::size_t>(p)]);
  span.count = span.items.size();
  return span;
}

const Function kTime[] = {
    {.name = "ParallelPeriod",
     .optional = "ENM",
     .returns = Returns::kMember,
     .per_cell = true,
     .summary = "the member at the same place n periods of a level back",
     .member = ParallelPeriod},
    {.name = "PeriodsToDate",
     .optional = "EM",
     .per_cell = true,
     .summary = "the members from the start of the level's period to the member",
     .set = [](Context& cx,
               const MdxExpression& e) { return ToDate(cx, e, PeriodOf(cx, e, 0, 1, false)); }},
    {.name = "Ytd",
     .optional = "M",
     .per_cell = true,
     .summary = "PeriodsToDate at the level named Year",
     .set = [](Context& cx, const MdxExpression& e) { return NamedToDate(cx, e, "Year"); }},
    {.name = "Qtd",
     .optional = "M",
     .per_cell = true,
     .summary = "PeriodsToDate at the level named Quarter",
     .set = [](Context& cx, const MdxExpression& e) { return NamedToDate(cx, e, "Quarter"); }},
    {.name = "Mtd",
     .optional = "M",
     .per_cell = true,
     .summary = "PeriodsToDate at the level named Month",
     .set = [](Context& cx, const MdxExpression& e) { return NamedToDate(cx, e, "Month"); }},
    {.name = "Wtd",
     .optional = "M",
     .per_cell = true,
     .summary = "PeriodsToDate at the level named Week",
     .set = [](Context& cx, const MdxExpression& e) { return NamedToDate(cx, e, "Week"); }},
    {.name = "OpeningPeriod",
     .optional = "EM",
     .returns = Returns::kMember,
     .per_cell = true,
     .summary = "the member's first descendant at a level",
     .member = [](Context& cx, const MdxExpression& e) { return EndPeriod(cx, e, true); }},
    {.name = "ClosingPeriod",
     .optional = "EM",
     .returns = Returns::kMember,
     .per_cell = true,
     .summary = "the member's last descendant at a level",
     .member = [](Context& cx, const MdxExpression& e) { return EndPeriod(cx, e, false); }},
    {.name = "LastPeriods",
     .required = "N",
     .optional = "M",
     .per_cell = true,
     .summary = "the n members of the member's level that end at it",
     .set = LastPeriods},
};

}  // namespace

std::span<const Function> TimeFunctions() { return kTime; }

}  // namespace cubemill::query::functions
