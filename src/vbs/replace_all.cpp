#include "vbs/replace_all.h"

namespace cubemill::vbs {

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t hit = text.find(find); hit != std::string_view::npos;
       hit = text.find(find, start)) {
    result.append(text.substr(start, hit - start));
    result.append(replacement);
    start = hit + find.size();
  }
  result.append(text.substr(start));
  return result;
}

}  // namespace cubemill::vbs
