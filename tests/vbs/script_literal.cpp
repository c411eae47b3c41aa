#include "vbs/script_literal.h"

namespace cubemill::test {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // Skips blanks and TABs, and a line continuation: "_", blanks, CR LF.
  void SkipSpace(bool allow_continuation) {
    for (;;) {
      while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
      if (!allow_continuation || pos_ >= text_.size() || text_[pos_] != '_') return;
      std::size_t next = pos_ + 1;
      while (next < text_.size() && text_[next] == ' ') ++next;
      if (text_.substr(next, 2) != "\r\n") return;
      pos_ = next + 2;
    }
  }

  // Reads one operand: a string literal or sCurTS.
  std::optional<std::string> Operand() {
    if (text_.substr(pos_, 6) == "sCurTS") {
      pos_ += 6;
      return "<TS>";
    }
    if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
    std::string value;
    for (++pos_; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '\r' || c == '\n') return std::nullopt;  // a literal cannot span lines
      if (c != '"') {
        value += c;
      } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
        value += '"';
        ++pos_;
      } else {
        ++pos_;
        return value;
      }
    }
    return std::nullopt;
  }

  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool AtEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> EvaluateAssignment(std::string_view assignment,
                                              std::string_view variable) {
  const std::string prefix = std::string(variable) + " = ";
  if (assignment.substr(0, prefix.size()) != prefix) return std::nullopt;
  Reader reader(assignment.substr(prefix.size()));
  std::string value;
  for (;;) {
    reader.SkipSpace(false);
    auto operand = reader.Operand();
    if (!operand) return std::nullopt;
    value += *operand;
    reader.SkipSpace(false);
    if (reader.AtEnd()) return value;
    if (!reader.Take('&')) return std::nullopt;
    reader.SkipSpace(true);
  }
}

}  // namespace cubemill::test
