#include "ui/info_text.h"

#include <array>

namespace cubemill::ui {

namespace {

struct InfoLine {
  bool indented;
  const char* text;
};

constexpr std::array<InfoLine, 18> kInfoLines = {{
    {false, "Autor: The Cubemill Team"},
    {false, "Purpose: Automating and converting OQY Files"},
    {false, ""},
    {false, "Licence:"},
    {false, "MIT License (see the file LICENSE)"},
    {false, ""},
    {false, "Description:"},
    {true, "This tool runs OQY files to create MS-OLAP offline cubes."},
    {true, "This tool converts OQY files to formatted VBS files to enhance the functions."},
    {false, ""},
    {false, "Versions"},
    {true, "1.0: Initial Version"},
    {true, "1.1: Timestamps for Cubes"},
    {true, "1.2: VBS Converter"},
    {true, "1.3: UI"},
    {true, "1.3.1: Double Quotes for VBS Date Formatting"},
    {true, "1.3.1: HIERARCHY Formatting for VBS"},
    {true, "1.3.2: VBS Exit Codes Korrektur"},
}};

}  // namespace

std::string InfoText() {
  std::string text;
  for (const InfoLine& line : kInfoLines) {
    if (line.indented) text += '\t';
    text += line.text;
    text += "\r\n";
  }
  return text;
}

}  // namespace cubemill::ui
