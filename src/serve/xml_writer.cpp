#include "serve/xml_writer.h"

#include <cstdint>

namespace cubemill::serve {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at `text[i]` (a lead byte of 2 to 4 bytes), or
// 0 when it is not one.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  const bool not_a_character = code == 0xFFFE || code == 0xFFFF || code > 0x10FFFF;
  return overlong || surrogate || not_a_character ? 0 : length;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      const std::size_t length = SequenceLength(text, i);
      if (length == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(text, i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
      case '\n':
        out += c;
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += kReplacement;
        } else {
          out += c;
        }
    }
    ++i;
  }
}

XmlWriter::XmlWriter(XmlSink sink, std::size_t piece_size)
    : sink_(std::move(sink)), piece_size_(piece_size) {
  buffer_.reserve(piece_size_ + 1024);
}

XmlWriter::~XmlWriter() = default;

void XmlWriter::Tag(std::string_view name, const Attributes& attributes) {
  buffer_ += '<';
  buffer_ += name;
  for (const auto& [key, value] : attributes) {
    buffer_ += ' ';
    buffer_ += key;
    buffer_ += "=\"";
    AppendEscaped(buffer_, value);
    buffer_ += '"';
  }
}

void XmlWriter::Open(std::string_view name, const Attributes& attributes) {
  Tag(name, attributes);
  buffer_ += '>';
  open_.emplace_back(name);
}

void XmlWriter::Close() {
  if (open_.empty()) return;
  buffer_ += "</";
  buffer_ += open_.back();
  buffer_ += '>';
  open_.pop_back();
  MaybeFlush();
}

void XmlWriter::Element(std::string_view name, std::string_view text,
                        const Attributes& attributes) {
  Tag(name, attributes);
  buffer_ += '>';
  AppendEscaped(buffer_, text);
  buffer_ += "</";
  buffer_ += name;
  buffer_ += '>';
  MaybeFlush();
}

void XmlWriter::Empty(std::string_view name, const Attributes& attributes) {
  Tag(name, attributes);
  buffer_ += "/>";
  MaybeFlush();
}

void XmlWriter::Text(std::string_view text) {
  AppendEscaped(buffer_, text);
  MaybeFlush();
}

void XmlWriter::Raw(std::string_view xml) {
  buffer_ += xml;
  MaybeFlush();
}

void XmlWriter::MaybeFlush() {
  if (buffer_.size() >= piece_size_) Flush();
}

bool XmlWriter::Flush() {
  if (good_ && !buffer_.empty()) good_ = sink_(buffer_);
  buffer_.clear();
  return good_;
}

}  // namespace cubemill::serve
