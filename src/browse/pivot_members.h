// What the fields of a pivot layout show, shared by the layout's edits, the MDX it asks, the
// layout read back from MDX and the grid: a hierarchy's ALL member and top level, the members a
// field shows and which of them are drilled into, and names as a query writes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/pivot.h"
#include "query/binder/cube_model.h"
#include "query/parser/mdx_query.h"

namespace cubemill::browse {

// The ALL member of hierarchy `h`, npos when the hierarchy has no ALL level.
std::size_t AllMemberOf(const query::CubeModel& model, std::size_t h);

// The first level of hierarchy `h` below ALL, npos when it has none.
std::size_t TopLevelOf(const query::CubeModel& model, std::size_t h);

// Whether `level` is a level of hierarchy `h` that a field can show (not the ALL level).
bool IsFieldLevel(const query::CubeModel& model, std::size_t h, std::size_t level);

// The field of hierarchy `h` on either axis, nullptr when it is on none.
const PivotField* FieldOf(const PivotLayout& layout, std::size_t h);

// Whether member `m` is on its field's axis: at the field's level, or a child of a member on the
// axis that is drilled into.
bool IsShown(const query::CubeModel& model, const PivotLayout& layout, std::size_t m);

// The members of `field` that are drilled into and shown, with children, in hierarchy order.
std::vector<std::size_t> DrilledMembers(const query::CubeModel& model, const PivotLayout& layout,
                                        const PivotField& field);

// The members `field` shows before NON EMPTY drops any: its level's members and the children of
// each drilled member, in no particular order. The ALL member follows when `with_all`.
std::vector<std::size_t> ShownMembers(const query::CubeModel& model, const PivotLayout& layout,
                                      const PivotField& field, bool with_all);

// A level as a query names it: [Time].[Year].
std::string LevelName(const query::CubeModel& model, std::size_t level);

// A measure as a query names it: [Measures].[Amount].
std::string MeasureName(const query::CubeModel& model, std::size_t measure);

// The parts of a unique name made of bracketed parts joined by "." ([Time].[Year].[20]]24]),
// each "]]" read as "]"; nothing for any other text, so that no text but a name reaches a query.
std::optional<std::vector<query::NamePart>> SplitUniqueName(std::string_view name);

// Drops the drilled members no field shows: those of hierarchies not on an axis, above their
// field's level, without children, or under a member that is not drilled into. The edits keep
// the layout so, which is the form LayoutFromMdx reads back.
void KeepShownDrills(const query::CubeModel& model, PivotLayout& layout);

}  // namespace cubemill::browse
