// The MDX functions a query may call, from the tables of each group of functions. The parser
// knows functions only through this catalog; the evaluation calls what an entry names.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "query/functions/function.h"

namespace cubemill::query::functions {

// Every function, group by group, in the order of their tables.
const std::vector<const Function*>& Catalog();

// The function written `name` (any letter case) with `syntax`; nullptr for none.
const Function* Find(std::string_view name, Syntax syntax);

// The tables of the groups, each defined in its own file.
std::span<const Function> NavigationFunctions();        // navigation.cpp
std::span<const Function> SetFunctions();               // set_functions.cpp
std::span<const Function> DrillFunctions();             // drilling.cpp
std::span<const Function> CalculatedMemberFunctions();  // calculated.cpp
std::span<const Function> ChoosingFunctions();          // choosing.cpp
std::span<const Function> TimeFunctions();              // time_functions.cpp
std::span<const Function> ValueFunctions();             // value_functions.cpp
std::span<const Function> PropertyFunctions();          // properties.cpp
std::span<const Function> AccessFunctions();            // access.cpp

}  // namespace cubemill::query::functions
