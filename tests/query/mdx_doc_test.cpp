// The examples of docs/mdx.md run with the built cubemill-query on the sample cube: each prints
// what the page shows under its command line, so the page stays true as the engine changes.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "query_program_run.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using test::QueryRun;
using test::RunQuery;

constexpr char kProgram[] = "cubemill-query";
constexpr char kErrorPrefix[] = "cubemill-query: ";
// The page documents every function with an example; fewer runnable ones means the page lost
// examples or this test stopped reading them.
constexpr int kMinimumExamples = 90;

// One example of the page: a command line (in the page's shell syntax, the "$ " left out,
// continuation lines joined with their line ends) and the lines printed under it.
struct DocExample {
  int line = 0;            // 1-based line of the page where the command starts
  std::string first_line;  // the command's first line as the page shows it
  std::string command;
  std::string expected;
};

// The words of a shell command line, as the shell would pass them to the program.
struct ShellWords {
  bool complete = false;   // false while a quote is open or the line ends with a backslash
  std::string unrunnable;  // a form this test does not run (a pipe, a redirection...), or ""
  std::vector<std::string> words;
};

// Splits `command` into words as a POSIX shell does for a simple command: blanks and line ends
// part words; '...' keeps everything literally; "..." keeps everything but expands $CUBE and
// takes a backslash before $ ` " \ or a line end; an unquoted backslash keeps the next
// character (and joins lines). $CUBE and ${CUBE} expand to `cube`. Anything that makes more than
// one simple command, redirects, substitutes or names another variable is reported as
// unrunnable rather than guessed at.
ShellWords SplitShellWords(const std::string& command, const std::string& cube) {
  ShellWords split;
  std::string word;
  bool in_word = false;
  auto end_word = [&] {
    if (in_word) split.words.push_back(word);
    word.clear();
    in_word = false;
  };
  // Expands the variable at `command[i]` ('$'); returns the index of its last character.
  auto expand = [&](std::size_t i) {
    for (const char* form : {"${CUBE}", "$CUBE"}) {
      const std::string name = form;
      if (command.compare(i, name.size(), name) != 0) continue;
      const std::size_t end = i + name.size();
      const bool whole =
          name[1] == '{' || end == command.size() ||
          !(std::isalnum(static_cast<unsigned char>(command[end])) || command[end] == '_');
      if (!whole) break;
      word += cube;
      return end - 1;
    }
    if (split.unrunnable.empty()) split.unrunnable = "a substitution other than $CUBE";
    return i;
  };
  enum class Quote { kNone, kSingle, kDouble } quote = Quote::kNone;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote == Quote::kSingle) {
      if (c == '\'') {
        quote = Quote::kNone;
      } else {
        word += c;
      }
    } else if (quote == Quote::kDouble) {
      if (c == '"') {
        quote = Quote::kNone;
      } else if (c == '\\' && i + 1 < command.size() &&
                 std::string("$`\"\\\n").find(command[i + 1]) != std::string::npos) {
        if (command[++i] != '\n') word += command[i];
      } else if (c == '\\' && i + 1 == command.size()) {
        return split;  // the quote goes on past the end
      } else if (c == '$') {
        i = expand(i);
      } else if (c == '`') {
        if (split.unrunnable.empty()) split.unrunnable = "a command substitution";
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      end_word();
    } else if (c == '\\') {
      if (i + 1 == command.size()) return split;  // continued on the next line
      in_word = true;
      if (command[++i] != '\n') word += command[i];
    } else if (c == '\'' || c == '"') {
      in_word = true;
      quote = c == '\'' ? Quote::kSingle : Quote::kDouble;
    } else if (c == '$') {
      in_word = true;
      i = expand(i);
    } else if (std::string("|&;<>()`").find(c) != std::string::npos || (c == '#' && !in_word)) {
      if (split.unrunnable.empty()) split.unrunnable = std::string("the shell's '") + c + "'";
      in_word = true;
      word += c;
    } else {
      in_word = true;
      word += c;
    }
  }
  if (quote != Quote::kNone) return split;
  end_word();
  split.complete = true;
  return split;
}

// The examples of the page: in every fenced block, each line that starts with "$ " begins a
// command, which runs on over the following lines while a quote is open; the lines after it, up
// to the next command or the end of the block, are what it prints. Blocks without a "$ " line
// (grammar, set-up) hold no example. A command whose quote never closes is an example too, with
// its command left open, so that the test reports it.
std::vector<DocExample> ReadExamples(const std::string& page, const std::string& cube) {
  std::vector<std::string> lines;
  std::istringstream in(page);
  for (std::string line; std::getline(in, line);) lines.push_back(line);

  std::vector<DocExample> examples;
  bool in_block = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with("```")) {
      in_block = !in_block;
      continue;
    }
    if (!in_block || !lines[i].starts_with("$ ")) continue;
    DocExample example;
    example.line = static_cast<int>(i) + 1;
    example.first_line = lines[i];
    example.command = lines[i].substr(2);
    while (!SplitShellWords(example.command, cube).complete && i + 1 < lines.size() &&
           !lines[i + 1].starts_with("```"))
      example.command += "\n" + lines[++i];
    while (i + 1 < lines.size() && !lines[i + 1].starts_with("```") &&
           !lines[i + 1].starts_with("$ "))
      example.expected += lines[++i] + "\n";
    examples.push_back(example);
  }
  return examples;
}

// `text` with each line's trailing blanks (and CSV's carriage returns) and the blank lines at
// its end taken off: what a Markdown page can show of a program's output.
std::string AsShown(const std::string& text) {
  std::string shown;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(line.find_last_not_of(" \t\r") + 1);
    shown += line + "\n";
  }
  while (shown.ends_with("\n\n")) shown.pop_back();
  return shown == "\n" ? "" : shown;
}

TEST(MdxDocTest, EveryExamplePrintsWhatThePageShows) {
  const test::TempDir dir;
  const std::string cube = std::filesystem::absolute(test::BuildSampleCube()).string();
  ASSERT_FALSE(cube.empty());
  const std::string page = test::ReadBytes(CUBEMILL_SOURCE_DIR "/docs/mdx.md");
  ASSERT_FALSE(page.empty()) << "docs/mdx.md cannot be read";

  int ran = 0;
  std::vector<std::string> skipped;
  for (const DocExample& example : ReadExamples(page, cube)) {
    const std::string where =
        "docs/mdx.md line " + std::to_string(example.line) + ": " + example.first_line;
    const ShellWords split = SplitShellWords(example.command, cube);
    if (!split.complete) {
      ADD_FAILURE() << where << "\nthe command's quote is not closed in its block";
      continue;
    }
    if (!split.unrunnable.empty() || split.words.empty() || split.words[0] != kProgram) {
      skipped.push_back(
          where + " (" +
          (split.unrunnable.empty() ? "not " + std::string(kProgram) : split.unrunnable) + ")");
      continue;
    }
    ++ran;
    const QueryRun run = RunQuery({split.words.begin() + 1, split.words.end()});
    const std::string expected = AsShown(example.expected);
    const std::string printed = AsShown(run.output + run.errors);
    EXPECT_EQ(printed, expected) << where << "\n--- the page shows:\n"
                                 << expected << "--- the program printed:\n"
                                 << printed;
    // An answer goes to standard output with status 0, a refusal to standard error with
    // status 1, as the page says: the text alone would not tell a refusal printed as an answer.
    if (expected.starts_with(kErrorPrefix)) {
      EXPECT_EQ(run.status, 1) << where;
      EXPECT_EQ(run.output, "") << where;
    } else {
      EXPECT_EQ(run.status, 0) << where;
      EXPECT_EQ(run.errors, "") << where;
    }
  }

  std::cout << "[ mdx doc  ] ran " << ran << " examples of docs/mdx.md, skipped " << skipped.size()
            << "\n";
  for (const std::string& example : skipped) std::cout << "  skipped " << example << "\n";
  EXPECT_GE(ran, kMinimumExamples) << "docs/mdx.md has too few examples this test can run";
}

}  // namespace
}  // namespace cubemill
