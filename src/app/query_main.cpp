// cubemill-query: answers an MDX query from a cube file and prints the answer as a text table,
// CSV or JSON.
#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/number_locale.h"
#include "platform/text_file.h"
#include "provider/cubefile/cube_reader.h"
#include "query/drillthrough.h"
#include "query/parser/mdx_parser.h"
#include "query/query_evaluator.h"
#include "query/result_format.h"
#include "version.h"

namespace {

constexpr int kExitQuery = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: cubemill-query [OPTION]... CUBE MDX\n"
    "  or:  cubemill-query [OPTION]... -f FILE CUBE\n"
    "  or:  cubemill-query [OPTION]... CUBE -     (the query from standard input)\n"
    "\n"
    "Answers the MDX query MDX from the cube file CUBE and prints the answer as a table.\n"
    "  [WITH MEMBER <name> AS <value> [, SOLVE_ORDER = n] [, FORMAT_STRING = '...']\n"
    "        SET <name> AS <set> ...]\n"
    "  SELECT [NON EMPTY] <set> [DIMENSION PROPERTIES ...] ON COLUMNS [, ... ON ROWS]\n"
    "  FROM [<cube>] | (SELECT ... FROM ...) [WHERE <set>] [CELL PROPERTIES ...]\n"
    "Members by unique name ([Geography].[Spain].[Madrid], [Product].&[Bikes]), levels\n"
    "([Geography].[City]), .Members, .Children, .Parent, {...}, (...), CrossJoin(a, b...), a * b,\n"
    "a + b, a - b, [Measures].[Name]. Navigation: .FirstChild .LastChild .Siblings .PrevMember\n"
    ".NextMember .Lag(n) .Lead(n) .Level .CurrentMember, m1 : m2, Ancestor(m, level|n),\n"
    "Descendants(m [, level|n [, flag]]). Time: ParallelPeriod PeriodsToDate Ytd Qtd Mtd Wtd\n"
    "OpeningPeriod ClosingPeriod. Sets: Head Tail Subset Union Except Intersect Distinct\n"
    "Hierarchize Extract TopCount BottomCount TopPercent BottomPercent TopSum BottomSum Order\n"
    "Filter NonEmpty Generate. Values: numbers, 'strings', + - * / = <> < > <= >= AND OR XOR\n"
    "NOT, IIf CoalesceEmpty IsEmpty Sum Count Avg Min Max Aggregate, .Name .UniqueName\n"
    ".Caption .Ordinal .Value .Count; an empty operand or a division by zero gives an empty\n"
    "cell. A member not found by a navigation is dropped from its set. A dimension the query\n"
    "does not name counts at its total. Axes may be named AXIS(0) and AXIS(1). WHERE takes a\n"
    "tuple or a set of tuples, whose rows count once each. Comments: -- or // to the end of\n"
    "the line, /* ... */. docs/mdx.md has every function with an example.\n"
    "\n"
    "The table shows each value as a person reads it: as its measure's FORMAT asks (0.00,\n"
    "#,##0, 0%, Currency...), else with the measure's decimals (recorded when the cube was\n"
    "built: a DECIMAL column's scale, else as many as its values show, at most 6; a cube\n"
    "built before that: up to 15 significant digits), grouped by thousands with the separators\n"
    "of the locale (LC_NUMERIC; \",\" and \".\" in the C locale). CSV and JSON give the full\n"
    "value, whatever the locale: integers exactly, reals in the fewest digits that read back as\n"
    "the same number (scientific notation from 2^53 on), Infinity, -Infinity and NaN (JSON\n"
    "strings); NULL, a cell without a value, is blank (JSON null).\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "  -f, --file=FILE  read the MDX query from FILE (UTF-8) instead of the command line\n"
    "      --csv        print CSV (RFC 4180) instead of a table\n"
    "      --json       print JSON: {\"columns\": ..., \"rows\": ..., unique names, \"cells\": "
    "...}\n"
    "      --formatted  with --csv: each value as the table shows it; with --json: add\n"
    "                   \"formatted\": [[texts...]...], the table's texts, beside \"cells\"\n"
    "\n"
    "Exit status: 0 when the query was answered, 1 for a query the cube cannot answer or a\n"
    "cube file that cannot be read, 2 for a wrong option or argument.\n";

enum class Format { kText, kCsv, kJson };

// The MDX text of `file` (standard input when `file` is nullptr), a UTF-8 byte-order mark
// dropped; on failure nothing, with the reason in `problem`. Reading stops one byte past the
// longest query the parser takes, so that a huge input is refused without being held whole.
std::optional<std::string> ReadQuery(const char* file, std::string& problem) {
  std::FILE* in = file == nullptr ? stdin : cubemill::platform::OpenUtf8File(file, "rb");
  if (in == nullptr) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  char buffer[65536];
  while (text.size() <= cubemill::query::kMaxMdxLength) {
    const std::size_t count = std::fread(buffer, 1, sizeof buffer, in);
    text.append(buffer, count);
    if (count < sizeof buffer) break;
  }
  const bool failed = std::ferror(in) != 0;
  const int error = errno;
  if (file != nullptr) std::fclose(in);
  if (failed) {
    problem = std::strerror(error);
    return std::nullopt;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return text;
}

// What the command line asks for.
struct QueryCommand {
  Format format = Format::kText;
  bool formatted = false;            // --formatted
  const char* query_file = nullptr;  // -f FILE
  const char* cube = nullptr;        // CUBE
  const char* mdx = nullptr;         // MDX ("-": standard input); nullptr with -f
};

// Reads the options and the arguments. On -h and -V prints the help or the version, on a wrong
// option or argument says why on standard error; either way returns nothing, with the exit
// status in `exit_status`.
std::optional<QueryCommand> ReadCommandLine(int argc, char** argv, int& exit_status) {
  enum { kCsv = 256, kJson, kFormatted };
  static const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {"csv", no_argument, nullptr, kCsv},
                                        {"json", no_argument, nullptr, kJson},
                                        {"formatted", no_argument, nullptr, kFormatted},
                                        {"file", required_argument, nullptr, 'f'},
                                        {nullptr, 0, nullptr, 0}};
  QueryCommand command;
  bool csv = false;
  bool json = false;
  exit_status = kExitUsage;
  ::opterr = 1;
  for (int code; (code = ::getopt_long(argc, argv, "hVf:", kLongOptions, nullptr)) != -1;) {
    switch (code) {
      case 'h':
        std::fputs(kUsage, stdout);
        exit_status = 0;
        return std::nullopt;
      case 'V':
        std::printf("cubemill-query %s\n", cubemill::kVersion);
        exit_status = 0;
        return std::nullopt;
      case kCsv:
        csv = true;
        break;
      case kJson:
        json = true;
        break;
      case kFormatted:
        command.formatted = true;
        break;
      case 'f':
        command.query_file = ::optarg;
        break;
      default:
        std::fputs(kUsage, stderr);
        return std::nullopt;
    }
  }
  if (csv && json) {
    std::fputs("cubemill-query: --csv and --json cannot be used together: choose one\n", stderr);
    return std::nullopt;
  }
  command.format = csv ? Format::kCsv : json ? Format::kJson : Format::kText;
  const int arguments = argc - ::optind;
  if (command.query_file != nullptr && arguments != 1) {
    std::fprintf(stderr,
                 "cubemill-query: with -f FILE, expected CUBE alone, got %d argument%s\n\n%s",
                 arguments, arguments == 1 ? "" : "s", kUsage);
    return std::nullopt;
  }
  if (command.query_file == nullptr && arguments != 2) {
    std::fprintf(stderr, "cubemill-query: expected CUBE and MDX, got %d argument%s\n\n%s",
                 arguments, arguments == 1 ? "" : "s", kUsage);
    return std::nullopt;
  }
  command.cube = argv[::optind];
  if (command.query_file == nullptr) command.mdx = argv[::optind + 1];
  return command;
}

// The query's text: the MDX argument, or read from the file or standard input. Nothing when it
// cannot be read, after saying why on standard error.
std::optional<std::string> QueryText(const QueryCommand& command) {
  const bool from_stdin = command.query_file == nullptr && std::strcmp(command.mdx, "-") == 0;
  if (command.query_file == nullptr && !from_stdin) return std::string(command.mdx);
  std::string problem;
  const std::string path =
      command.query_file != nullptr ? cubemill::platform::NativePath(command.query_file) : "";
  auto text = ReadQuery(from_stdin ? nullptr : path.c_str(), problem);
  if (!text) {
    std::fprintf(stderr, "cubemill-query: cannot read the query from %s: %s\n",
                 from_stdin ? "standard input" : path.c_str(), problem.c_str());
  }
  return text;
}

// Writes `text` to standard output; returns the exit status.
int Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0) {
    std::perror("cubemill-query: writing the answer");
    return kExitQuery;
  }
  return 0;
}

// Answers the DRILLTHROUGH `mdx` from `reader` and prints its rows as the command asks.
int PrintDrillthrough(const QueryCommand& command,
                      const cubemill::provider::cubefile::CubeReader& reader,
                      const std::string& mdx) {
  const auto drilled = cubemill::query::EvaluateDrillthrough(reader, mdx);
  if (!drilled.ok()) {
    std::fprintf(stderr, "cubemill-query: %s\n", drilled.error().description.c_str());
    return kExitQuery;
  }
  switch (command.format) {
    case Format::kText:
      return Print(cubemill::query::FormatDrillthroughText(*drilled));
    case Format::kCsv:
      return Print(cubemill::query::FormatDrillthroughCsv(*drilled));
    case Format::kJson:
      break;
  }
  return Print(cubemill::query::FormatDrillthroughJson(*drilled));
}

// Answers `mdx` from the command's cube file and prints the answer as the command asks. Returns
// the exit status: 0, or kExitQuery after saying why on standard error.
int PrintAnswer(const QueryCommand& command, const std::string& mdx) {
  const Format format = command.format;
  const std::string cube = cubemill::platform::NativePath(command.cube);
  auto reader = cubemill::provider::cubefile::CubeReader::Open(cube);
  if (!reader.ok()) {
    std::fprintf(stderr, "cubemill-query: %s\n", reader.error().description.c_str());
    return kExitQuery;
  }
  if (cubemill::query::IsDrillthrough(mdx)) return PrintDrillthrough(command, **reader, mdx);
  // JSON carries each member's unique name, for a client to drill down with.
  auto result =
      cubemill::query::EvaluateMdx(**reader, mdx, {.unique_names = format == Format::kJson});
  if (!result.ok()) {
    std::fprintf(stderr, "cubemill-query: %s\n", result.error().description.c_str());
    return kExitQuery;
  }
  const cubemill::query::MeasureFormats formats = cubemill::query::FormatsOf((*reader)->Catalog());
  // CELL PROPERTIES FORMATTED_VALUE asks for the formatted values as --formatted does.
  const auto& cell_properties = result->cell_properties;
  const bool formatted =
      command.formatted || std::find(cell_properties.begin(), cell_properties.end(),
                                     "FORMATTED_VALUE") != cell_properties.end();
  // What a person reads groups thousands as the environment's locale does; what a program reads
  // is the same in every locale. The process's own locale stays "C".
  const cubemill::platform::NumberSeparators separators =
      format == Format::kText || formatted ? cubemill::platform::LocaleNumberSeparators()
                                           : cubemill::platform::NumberSeparators{};
  std::string text;
  switch (format) {
    case Format::kText:
      text = cubemill::query::FormatText(*result, formats, separators);
      break;
    case Format::kCsv:
      text = formatted ? cubemill::query::FormatCsv(*result, formats, separators)
                       : cubemill::query::FormatCsv(*result);
      break;
    case Format::kJson:
      text = formatted ? cubemill::query::FormatJson(*result, formats, separators)
                       : cubemill::query::FormatJson(*result);
      break;
  }
  return Print(text);
}

}  // namespace

int main(int argc, char** argv) {
  // The console and the arguments as UTF-8 (on Windows; elsewhere they are already).
  cubemill::platform::PrepareConsole(argc, argv);
  int exit_status = 0;
  const std::optional<QueryCommand> command = ReadCommandLine(argc, argv, exit_status);
  if (!command) return exit_status;
  const std::optional<std::string> mdx = QueryText(*command);
  if (!mdx) return kExitQuery;
  return PrintAnswer(*command, *mdx);
}
