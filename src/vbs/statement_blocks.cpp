#include "vbs/statement_blocks.h"

#include <initializer_list>
#include <utility>

#include "vbs/replace_all.h"
#include "vbs/vbs_file.h"

namespace cubemill::vbs {
namespace {

// Pieces of the script syntax that the replacements insert.
constexpr std::string_view kQuote = "\"";
constexpr std::string_view kBreak = "\r\n";
// Closes the current string literal and continues the expression on the next line.
constexpr std::string_view kContinue = "\" & _ ";

using Step = std::pair<std::string, std::string>;

std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

std::string ApplySteps(std::string text, std::initializer_list<Step> steps) {
  for (const Step& step : steps) text = ReplaceAll(text, step.first, step.second);
  return text;
}

// Writes the empty line and the declaration of `variable`, then `assignment`.
bool WriteBlock(VbsScript& script, std::string_view variable, const std::string& assignment) {
  AppendVbsLine(script, Join({kBreak, "Dim ", variable}));
  AppendVbsLine(script, assignment);
  return true;
}

}  // namespace

std::string OneScriptLine(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string EscapeForLiteral(std::string_view value) { return ReplaceAll(value, "\"", "\"\""); }

std::string CubLocationAssignment(const CubeJob& job) {
  // Quotes are doubled first, so that the quotes of the inserted time stamp stay script syntax.
  std::string path = EscapeForLiteral(OneScriptLine(job.CubeFile));
  if (!job.CubTimestamp.empty()) {
    const std::size_t last = path.rfind('\\');
    const std::size_t split = last == std::string::npos ? 0 : last + 1;
    path = Join({std::string_view(path).substr(0, split), kQuote, " & sCurTS & ", kQuote, "_",
                 std::string_view(path).substr(split)});
  }
  return Join({"ConnCubLocation = ", kQuote, " LOCATION= ", "\"\"", path, "\"\"", ";", kQuote});
}

std::string DsnAssignment(const CubeJob& job) {
  return Join({"ConnDSN = ", kQuote, "SOURCE_DSN= ", "\"\"",
               EscapeForLiteral(OneScriptLine(job.SourceDsn)), "\"\"", ";", kQuote});
}

std::string CreateCubeAssignment(const CubeJob& job) {
  // The statement's own quotes are doubled before the layout steps add quotes as script syntax;
  // no step looks at a quote, so the layout is the same as without doubling.
  const std::string text =
      ApplySteps(EscapeForLiteral(OneScriptLine(job.CreateCubeStmt)),
                 {{"(", " ( "},
                  {")", " ) "},
                  {"[", " ["},
                  {"]", "] "},
                  {"  ", " "},
                  {"  ", " "},
                  {"  ", " "},
                  {"[OCWCube] (", Join({"[OCWCube] ( ", kContinue})},
                  {" DIMENSION ", Join({kBreak, "\t", kQuote, "\t", "DIMENSION "})},
                  {" MEASURE ", Join({kBreak, "\t", kQuote, "\t", "MEASURE "})},
                  {" HIERARCHY ", Join({kBreak, "\t", kQuote, "\t\t", "HIERARCHY "})},
                  {" LEVEL ", Join({kBreak, "\t", kQuote, "\t\t\t", "LEVEL "})},
                  {",", Join({",", kContinue})}});
  return Join({"ConnCreateCube = ", kQuote, "CreateCube= ", text, kQuote});
}

std::string InsertIntoAssignment(const CubeJob& job) {
  const std::string new_column = Join({kBreak, "\t", kQuote, "\t", " "});
  const std::string text =
      ApplySteps(OneScriptLine(job.InsertIntoStmt),
                 {{"(", " ( "},
                  {")", " ) "},
                  {"],", "], "},
                  {"[", " ["},
                  {"]", "] "},
                  {"] . [", "].["},
                  {"\"", "\"\""},
                  {"  ", " "},
                  {"  ", " "},
                  {"  ", " "},
                  {",", Join({",", new_column})},
                  {"INTO OCWCube (", Join({"INTO OCWCube (", kContinue, new_column})},
                  {"SKIPONECOLUMN", "\tSKIPONECOLUMN"},
                  {",", Join({", ", kContinue})}});
  return Join({"ConnInsertCube = ", kQuote, "InsertInto= ", text, kQuote});
}

std::string SelectAssignment(const CubeJob& job) {
  const std::string text = ApplySteps(
      OneScriptLine(job.SelectStmt),
      {{"(", " ( "},
       {")", " ) "},
       {"[", " ["},
       {"]", "] "},
       {"\"", "\"\""},
       {"  ", " "},
       {"  ", " "},
       {"  ", " "},
       {"SELECT ", Join({"SELECT ", kContinue, kBreak, "\t\t", kQuote, " "})},
       {" FROM ",
        Join({kContinue, kBreak, "\t", kQuote, " FROM ", kContinue, kBreak, "\t", kQuote})},
       {",", Join({",", kContinue, kBreak, "\t\t", kQuote})}});
  return Join({"ConnSelectCube = ", kQuote, text, kQuote});
}

bool WriteVbsCubLocation(VbsScript& script, const CubeJob& job) {
  return WriteBlock(script, "ConnCubLocation", CubLocationAssignment(job));
}

bool WriteVbsDsn(VbsScript& script, const CubeJob& job) {
  return WriteBlock(script, "ConnDSN", DsnAssignment(job));
}

bool WriteVbsCreateCube(VbsScript& script, const CubeJob& job) {
  return WriteBlock(script, "ConnCreateCube", CreateCubeAssignment(job));
}

bool WriteVbsInsertInto(VbsScript& script, const CubeJob& job) {
  return WriteBlock(script, "ConnInsertCube", InsertIntoAssignment(job));
}

bool WriteVbsSelect(VbsScript& script, const CubeJob& job) {
  return WriteBlock(script, "ConnSelectCube", SelectAssignment(job));
}

}  // namespace cubemill::vbs
