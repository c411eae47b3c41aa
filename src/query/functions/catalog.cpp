#include "query/functions/catalog.h"

#include "platform/ascii_text.h"

namespace cubemill::query::functions {

const std::vector<const Function*>& Catalog() {
  static const std::vector<const Function*> all = [] {
    std::vector<const Function*> functions;
    for (const auto group : {NavigationFunctions(), SetFunctions(), DrillFunctions(),
                             CalculatedMemberFunctions(), ChoosingFunctions(), TimeFunctions(),
                             ValueFunctions(), PropertyFunctions(), AccessFunctions()})
      for (const Function& function : group) functions.push_back(&function);
    return functions;
  }();
  return all;
}

const Function* Find(std::string_view name, Syntax syntax) {
  for (const Function* function : Catalog())
    if (function->syntax == syntax && platform::EqualsIgnoringCase(name, function->name))
      return function;
  return nullptr;
}

}  // namespace cubemill::query::functions
