#include "platform/text_encoding.h"

#include <array>
#include <cstdint>

namespace cubemill::platform {
namespace {

// Unicode code points of the bytes 0x80-0x9F in Windows-1252; 0 marks the five undefined bytes,
// which map to the C1 control of the same number.
constexpr std::array<char32_t, 32> kCodePointsOf80To9F = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t CodePointOfByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) {
    char32_t mapped = kCodePointsOf80To9F[byte - 0x80];
    return mapped != 0 ? mapped : byte;
  }
  return byte;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  std::size_t length;
  char32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

std::string Utf8ToWindows1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0;
    std::size_t length = DecodeUtf8(utf8, pos, cp);
    if (length == 0) {
      out += '?';
      ++pos;
      continue;
    }
    pos += length;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char replacement = '?';
    for (unsigned i = 0; i < kCodePointsOf80To9F.size(); ++i) {
      char32_t mapped = kCodePointsOf80To9F[i] != 0 ? kCodePointsOf80To9F[i] : 0x80 + i;
      if (mapped == cp) {
        replacement = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += replacement;
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, CodePointOfByte(static_cast<unsigned char>(c)));
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    char32_t cp = 0;
    std::size_t length = DecodeUtf8(bytes, pos, cp);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string DecodeFileText(std::string_view bytes) {
  bool has_high = false;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) > 0x7F) {
      has_high = true;
      break;
    }
  }
  if (!has_high) return std::string(bytes);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Windows1252ToUtf8(bytes);
}

}  // namespace cubemill::platform
