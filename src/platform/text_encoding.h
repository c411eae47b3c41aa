// Conversion between the program's UTF-8 text and the Windows-1252 bytes of its files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cubemill::platform {

// Appends code point `cp` to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Decodes the UTF-8 sequence at `pos` of `text` into `cp`; returns its length in bytes, or 0 when
// the bytes there are not well-formed UTF-8 (no overlong forms, no surrogates).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp);

// Returns `utf8` in Windows-1252. A character the code page cannot hold, and a byte that is not
// part of valid UTF-8, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

// Returns the UTF-8 text of Windows-1252 `bytes`. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of the same number.
std::string Windows1252ToUtf8(std::string_view bytes);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Decodes the contents of a text file: as UTF-8 when it is valid UTF-8 and holds a byte above
// 0x7F, otherwise as Windows-1252.
std::string DecodeFileText(std::string_view bytes);

}  // namespace cubemill::platform
