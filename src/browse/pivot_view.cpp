// The text of a view file: writing it, and reading it back with the line of any fault.
#include "browse/pivot_view.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/durable_file.h"

namespace cubemill::browse {
namespace {

constexpr char kMagic[] = "cubemill-view";
// A view is a few hundred bytes; a file far larger is something else.
constexpr std::size_t kLargestView = 4 << 20;

std::string Escaped(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == ' ' && (i == 0 || i + 1 == value.size())) {
      text += "\\s";  // a blank at an end would be trimmed away
    } else {
      text += c;
    }
  }
  return text;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string value;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        value += '\\';
        break;
      case 'n':
        value += '\n';
        break;
      case 'r':
        value += '\r';
        break;
      case 't':
        value += '\t';
        break;
      case 's':
        value += ' ';
        break;
      default:
        return std::nullopt;
    }
  }
  return value;
}

std::string Number(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

const char* KindName(PivotFilter::Kind kind) {
  switch (kind) {
    case PivotFilter::Kind::kTop:
      return "top";
    case PivotFilter::Kind::kBottom:
      return "bottom";
    case PivotFilter::Kind::kAbove:
      return "above";
    case PivotFilter::Kind::kBelow:
      return "below";
  }
  return "top";
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads a view line by line, each key into the section it is under.
class ViewReader {
 public:
  Result<PivotView> Read(std::string_view text);

 private:
  Error Fault(const std::string& what) const {
    return Error{"line " + std::to_string(line_) + ": " + what, 0, "ReadView"};
  }
  std::optional<Error> Section(std::string_view name);
  std::optional<Error> Key(std::string_view key, std::string value);
  std::optional<Error> EndSection();
  std::optional<bool> Flag(const std::string& value) const;

  PivotView view_;
  enum class In { kTop, kSlicer, kSort, kFilter, kUnknown } in_ = In::kTop;
  std::size_t line_ = 0, section_line_ = 0;
  bool amount_given_ = false;
};

std::optional<bool> ViewReader::Flag(const std::string& value) const {
  if (value == "yes" || value == "true") return true;
  if (value == "no" || value == "false") return false;
  return std::nullopt;
}

std::optional<Error> ViewReader::EndSection() {
  const std::size_t line = line_;
  line_ = section_line_;
  std::optional<Error> fault;
  if (in_ == In::kSlicer && view_.slicers.back().hierarchy.empty()) {
    fault = Fault("[slicer] names no hierarchy");
  } else if (in_ == In::kSort && view_.sort->column.empty()) {
    fault = Fault("[sort] names no column");
  } else if (in_ == In::kFilter && (view_.filter->column.empty() || !amount_given_)) {
    fault = Fault(view_.filter->column.empty() ? "[filter] names no column"
                                               : "[filter] gives no amount");
  }
  line_ = line;
  return fault;
}

std::optional<Error> ViewReader::Section(std::string_view name) {
  if (auto fault = EndSection()) return fault;
  section_line_ = line_;
  if (name == "slicer") {
    in_ = In::kSlicer;
    view_.slicers.emplace_back();
  } else if (name == "sort" || name == "filter") {
    if (name == "sort" ? view_.sort.has_value() : view_.filter.has_value())
      return Fault("a second [" + std::string(name) + "]");
    in_ = name == "sort" ? In::kSort : In::kFilter;
    if (in_ == In::kSort) view_.sort.emplace();
    if (in_ == In::kFilter) view_.filter.emplace();
    amount_given_ = false;
  } else {
    in_ = In::kUnknown;  // a section of a newer writer
  }
  return std::nullopt;
}

std::optional<Error> ViewReader::Key(std::string_view key, std::string value) {
  const auto flag = [&](bool& into) -> std::optional<Error> {
    const auto read = Flag(value);
    if (!read) return Fault(std::string(key) + " is \"" + value + "\", not yes or no");
    into = *read;
    return std::nullopt;
  };
  switch (in_) {
    case In::kTop:
      if (key == "cube") view_.cube = std::move(value);
      if (key == "mdx") view_.mdx = std::move(value);
      if (key == "measure") view_.measures.push_back(std::move(value));
      if (key == "row") view_.rows.push_back(std::move(value));
      if (key == "column") view_.columns.push_back(std::move(value));
      if (key == "expanded") view_.expanded.push_back(std::move(value));
      if (key == "non-empty") return flag(view_.non_empty);
      if (key == "totals") return flag(view_.totals);
      if (key == "subtotals") return flag(view_.subtotals);
      if (key == "measures-on-rows") return flag(view_.measures_on_rows);
      return std::nullopt;
    case In::kSlicer:
      if (key == "hierarchy") view_.slicers.back().hierarchy = std::move(value);
      if (key == "member") view_.slicers.back().members.push_back(std::move(value));
      return std::nullopt;
    case In::kSort:
      if (key == "column") view_.sort->column.push_back(std::move(value));
      if (key == "order") {
        if (value != "descending" && value != "ascending")
          return Fault("order is \"" + value + "\", not ascending or descending");
        view_.sort->descending = value == "descending";
      }
      return std::nullopt;
    case In::kFilter: {
      PivotFilter& filter = *view_.filter;
      if (key == "column") filter.column.push_back(std::move(value));
      if (key == "kind") {
        using Kind = PivotFilter::Kind;
        bool known = false;
        for (Kind kind : {Kind::kTop, Kind::kBottom, Kind::kAbove, Kind::kBelow}) {
          if (value == KindName(kind)) filter.kind = kind, known = true;
        }
        if (!known) return Fault("kind is \"" + value + "\", not top, bottom, above or below");
      }
      if (key == "amount") {
        double amount = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), amount);
        if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(amount))
          return Fault("amount is \"" + value + "\", not a number");
        filter.amount = amount;
        amount_given_ = true;
      }
      return std::nullopt;
    }
    case In::kUnknown:
      return std::nullopt;
  }
  return std::nullopt;
}

Result<PivotView> ViewReader::Read(std::string_view text) {
  std::size_t at = 0;
  bool first = true;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trimmed(text.substr(at, end - at));
    at = end + 1;
    ++line_;
    if (first) {
      first = false;
      if (line.substr(0, sizeof kMagic - 1) != kMagic)
        return Error{"not a Cubemill view (it does not begin with \"cubemill-view\")", 0,
                     "ReadView"};
      int version = 0;
      const std::string_view number = Trimmed(line.substr(sizeof kMagic - 1));
      const auto [rest, error] =
          std::from_chars(number.data(), number.data() + number.size(), version);
      if (error != std::errc() || rest != number.data() + number.size() || version < 1)
        return Fault("the view's version \"" + std::string(number) + "\" is no number from 1");
      if (version > kViewVersion)
        return Fault("the view is of version " + std::to_string(version) +
                     ", newer than this cubemill-browse reads (" + std::to_string(kViewVersion) +
                     ")");
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return Fault("a section's name does not end in ]");
      if (auto fault = Section(Trimmed(line.substr(1, line.size() - 2)))) return *fault;
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || Trimmed(line.substr(0, equals)).empty())
      return Fault("\"" + std::string(line.substr(0, 40)) + "\" is no \"key = value\"");
    auto value = Unescaped(Trimmed(line.substr(equals + 1)));
    if (!value) return Fault("a \\ that is none of \\\\ \\n \\r \\t \\s");
    if (auto fault = Key(Trimmed(line.substr(0, equals)), std::move(*value))) return *fault;
  }
  if (first) return Error{"empty, not a Cubemill view", 0, "ReadView"};
  if (auto fault = EndSection()) return *fault;
  return std::move(view_);
}

}  // namespace

std::string ViewText(const PivotView& view) {
  std::ostringstream text;
  const auto line = [&text](std::string_view key, std::string_view value) {
    text << key << " = " << Escaped(value) << '\n';
  };
  const auto yes = [](bool on) { return on ? "yes" : "no"; };
  text << kMagic << ' ' << kViewVersion << '\n'
       << "# A pivot view of cubemill-browse: File > Open view, or\n"
       << "# cubemill-browse --export FILE.csv CUBE VIEW.cmview\n";
  line("cube", view.cube);
  line("mdx", view.mdx);
  for (const auto& name : view.measures) line("measure", name);
  for (const auto& name : view.rows) line("row", name);
  for (const auto& name : view.columns) line("column", name);
  for (const auto& name : view.expanded) line("expanded", name);
  line("non-empty", yes(view.non_empty));
  line("totals", yes(view.totals));
  line("subtotals", yes(view.subtotals));
  line("measures-on-rows", yes(view.measures_on_rows));
  for (const auto& slicer : view.slicers) {
    text << "\n[slicer]\n";
    line("hierarchy", slicer.hierarchy);
    for (const auto& name : slicer.members) line("member", name);
  }
  if (view.sort) {
    text << "\n[sort]\n";
    line("order", view.sort->descending ? "descending" : "ascending");
    for (const auto& name : view.sort->column) line("column", name);
  }
  if (view.filter) {
    text << "\n[filter]\n";
    line("kind", KindName(view.filter->kind));
    line("amount", Number(view.filter->amount));
    for (const auto& name : view.filter->column) line("column", name);
  }
  return text.str();
}

Result<PivotView> ParseView(std::string_view text) { return ViewReader().Read(text); }

Result<PivotView> ReadViewFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const std::error_code why(errno, std::generic_category());
    return Error{"cannot read the view " + path + ": " + why.message(), errno, "ReadView"};
  }
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargestView)
      return Error{"the view " + path + " is too large to be a view", 0, "ReadView"};
  }
  if (in.bad()) return Error{"cannot read the view " + path, 0, "ReadView"};
  auto view = ParseView(text);
  if (!view) {
    Error error = view.error();
    error.description = "the view " + path + ": " + error.description;
    return error;
  }
  return view;
}

std::optional<Error> WriteViewFile(const PivotView& view, const std::string& path) {
  return platform::WriteFileAtomically(path, ViewText(view));
}

}  // namespace cubemill::browse
