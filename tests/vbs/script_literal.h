// Reads back the value of a generated script assignment, as the script host would.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cubemill::test {

// Evaluates `assignment` of the form `<variable> = <expression>`, where the expression may only
// join string literals ("" inside one is a quote) and the variable sCurTS with "&", continued
// over lines with " _" and CR LF. sCurTS reads as "<TS>". Returns nothing when anything else
// stands in the text, such as script code that escaped from a literal.
std::optional<std::string> EvaluateAssignment(std::string_view assignment,
                                              std::string_view variable);

}  // namespace cubemill::test
