// Writes XML text element by element into a buffer that is handed on in pieces, so that a large
// answer is sent as it is written instead of being held whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cubemill::serve {

// Takes the next piece of the text; returns false when nobody reads any more (the client went
// away), after which the writer drops what it is given.
using XmlSink = std::function<bool(std::string_view piece)>;

class XmlWriter {
 public:
  // Pieces of about `piece_size` bytes go to `sink`; the rest at Flush.
  explicit XmlWriter(XmlSink sink, std::size_t piece_size = 64 * 1024);
  ~XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
  // <name a="v"...>; attribute values escaped.
  void Open(std::string_view name, const Attributes& attributes = {});
  // </name> of the innermost open element.
  void Close();
  // <name a="v"...>text</name>, the text escaped.
  void Element(std::string_view name, std::string_view text, const Attributes& attributes = {});
  // <name a="v".../>
  void Empty(std::string_view name, const Attributes& attributes = {});
  // Character data, escaped.
  void Text(std::string_view text);
  // Text that is already XML (a declaration, a fixed fragment); written as it stands.
  void Raw(std::string_view xml);
  // Hands everything written so far to the sink. Returns false once the sink refused a piece.
  bool Flush();
  // False once the sink refused a piece: the caller may stop producing.
  bool Good() const { return good_; }

 private:
  void Tag(std::string_view name, const Attributes& attributes);
  void MaybeFlush();

  XmlSink sink_;
  std::size_t piece_size_;
  std::string buffer_;
  std::vector<std::string> open_;
  bool good_ = true;
};

// `text` with &, <, > and " written as entities, and characters XML 1.0 cannot carry (control
// characters other than tab, line feed and carriage return; invalid UTF-8 bytes) as U+FFFD, so
// that any member name or message makes well-formed XML.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace cubemill::serve
