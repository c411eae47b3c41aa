// Fuzzes the five statement blocks of the VBS script. The input steers a generator that fills a
// job's CubeFile, SourceDsn, CreateCubeStmt, InsertIntoStmt and SelectStmt with pieces that
// matter to the script (quotes, apostrophes, line ends, "_", "&", the texts the layout replaces)
// and a marker. Every block must lex as VBScript, every marker must lie inside a string literal,
// and the assignment must read back as the job's text (up to the blanks the layout changes).
//
// The fields hold no LF: they are cut out of one line of the OQY file. A lone CR can stand in
// such a line and so is generated.
//
// The CREATE CUBE layout is a fixed list of replacements that starts a new string literal at
// each clause keyword and ends one at each comma, so it yields a valid script only for the shape
// an OQY file gives the statement: the cube [OCWCube], clauses that each start with DIMENSION,
// HIERARCHY, LEVEL or MEASURE after a comma, and no comma or clause keyword inside a name or
// FORMAT string. The generator keeps CreateCubeStmt to that shape.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "vbs/script_literal.h"
#include "vbs/statement_blocks.h"
#include "vbscript_lexer.h"

namespace {

using cubemill::CubeJob;
using cubemill::fuzz::Check;

// Stands for the text of a value; no layout step finds or changes any part of it.
constexpr std::string_view kMarker = "zQx7Kw";

constexpr std::string_view kPieces[] = {
    // Script syntax: quotes, comments, line ends and continuations, operators, the time stamp.
    "\"", "\"\"", "'", "REM ", "\r", " _", "_", "& ", ":", "sCurTS", " & sCurTS & ",
    // Texts the layout finds and replaces.
    ",", "(", ")", "[", "]", "],", "] . [", " ", "  ", "\t", "\\", "SELECT ", " FROM ", "FROM",
    "INTO OCWCube (", "SKIPONECOLUMN"};

// The words the CREATE CUBE layout reacts to, kept out of its names.
constexpr std::string_view kLayoutWords[] = {"DIMENSION", "MEASURE", "HIERARCHY", "LEVEL",
                                             "OCWCube"};

class Generator {
 public:
  explicit Generator(FuzzedDataProvider& input) : input_(input) {}

  // A few pieces: markers, pieces of kPieces and bytes of the input (LF left out).
  std::string Text(int max_pieces) {
    std::string text;
    const int pieces = input_.ConsumeIntegralInRange(0, max_pieces);
    for (int i = 0; i < pieces; ++i) {
      switch (input_.ConsumeIntegralInRange(0, 3)) {
        case 0:
          text += kMarker;
          break;
        case 1: {
          std::string bytes = input_.ConsumeRandomLengthString(8);
          std::erase(bytes, '\n');
          text += bytes;
          break;
        }
        default:
          text += kPieces[input_.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
          break;
      }
    }
    return text;
  }

  // A name or FORMAT string for CREATE CUBE: Text() without commas and layout words.
  std::string Name() {
    std::string name = Text(4);
    std::erase(name, ',');
    for (std::string_view word : kLayoutWords) {
      if (name.find(word) != std::string::npos) return std::string(kMarker);
    }
    return name;
  }

  std::string CreateCube() {
    std::string text = "CREATE CUBE [OCWCube] (";
    const int clauses = input_.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < clauses; ++i) {
      if (i > 0) text += ",";
      switch (input_.ConsumeIntegralInRange(0, 3)) {
        case 0:
          text += " DIMENSION [" + Name() + "]" + (input_.ConsumeBool() ? " TYPE TIME" : "");
          break;
        case 1:
          text += " HIERARCHY [" + Name() + "]";
          break;
        case 2:
          text += " LEVEL [" + Name() + "]" + (input_.ConsumeBool() ? " TYPE ALL" : "");
          break;
        default:
          text += " MEASURE [" + Name() + "] FUNCTION SUM";
          if (input_.ConsumeBool()) text += " FORMAT '" + Name() + "'";
          break;
      }
    }
    return text + " );";
  }

 private:
  FuzzedDataProvider& input_;
};

std::string WithoutBlanks(std::string_view text) {
  std::string result;
  for (char c : text) {
    if (c != ' ' && c != '\t') result += c;
  }
  return result;
}

// Checks one assignment of `variable` made from `value` (the field's text).
void CheckAssignment(const std::string& assignment, std::string_view variable,
                     const std::string& value) {
  const auto lexed = cubemill::fuzz::LexVbScript(assignment);
  Check(lexed.problem.empty(), "the block does not lex as VBScript",
        lexed.problem + "\n  block: " + assignment);
  for (std::size_t pos = assignment.find(kMarker); pos != std::string::npos;
       pos = assignment.find(kMarker, pos + kMarker.size())) {
    Check(lexed.InsideLiteral(pos, kMarker.size()), "value text outside a string literal",
          "at " + std::to_string(pos) + " of: " + assignment);
  }
  Check(cubemill::fuzz::CountOccurrences(assignment, kMarker) ==
            cubemill::fuzz::CountOccurrences(value, kMarker),
        "value text lost or repeated", assignment);
  Check(cubemill::test::EvaluateAssignment(assignment, variable).has_value(),
        "the assignment is not an expression of string literals", assignment);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Generator generator(input);
  CubeJob job;
  job.CubTimestamp = input.ConsumeBool() ? "YYYY-MM-DD" : "";
  job.CubeFile = generator.Text(8);
  job.SourceDsn = generator.Text(8);
  job.CreateCubeStmt = generator.CreateCube();
  job.InsertIntoStmt = generator.Text(12);
  job.SelectStmt = generator.Text(12);

  namespace vbs = cubemill::vbs;
  using cubemill::test::EvaluateAssignment;
  const std::string location = vbs::CubLocationAssignment(job);
  CheckAssignment(location, "ConnCubLocation", job.CubeFile);
  // A CR or LF in a value becomes a blank in the script (OneScriptLine).
  std::string path = vbs::OneScriptLine(job.CubeFile);
  if (!job.CubTimestamp.empty()) {
    const std::size_t last = path.rfind('\\');
    path.insert(last == std::string::npos ? 0 : last + 1, "<TS>_");
  }
  Check(EvaluateAssignment(location, "ConnCubLocation") == " LOCATION= \"" + path + "\";",
        "the location reads back differently", location);

  const std::string dsn = vbs::DsnAssignment(job);
  CheckAssignment(dsn, "ConnDSN", job.SourceDsn);
  Check(EvaluateAssignment(dsn, "ConnDSN") ==
            "SOURCE_DSN= \"" + vbs::OneScriptLine(job.SourceDsn) + "\";",
        "the data source reads back differently", dsn);

  const struct {
    std::string assignment;
    const char* variable;
    const std::string& value;
    const char* prefix;
  } statements[] = {
      {vbs::CreateCubeAssignment(job), "ConnCreateCube", job.CreateCubeStmt, "CreateCube="},
      {vbs::InsertIntoAssignment(job), "ConnInsertCube", job.InsertIntoStmt, "InsertInto="},
      {vbs::SelectAssignment(job), "ConnSelectCube", job.SelectStmt, ""},
  };
  for (const auto& s : statements) {
    CheckAssignment(s.assignment, s.variable, s.value);
    const auto read = EvaluateAssignment(s.assignment, s.variable);
    Check(
        WithoutBlanks(*read) == WithoutBlanks(std::string(s.prefix) + vbs::OneScriptLine(s.value)),
        "the statement reads back differently (blanks aside)",
        s.assignment + "\n  statement: " + s.value + "\n  read: " + *read);
  }
  return 0;
}
