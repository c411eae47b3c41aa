// The list every step of a job reports into: the window's list or the console.
#pragma once

#include <string>

namespace cubemill {

// The method names (listSetLast, listSetRed) are those of the window's design, which the window,
// its tests and the documentation share: keep them as they are.
class ProgressList {
 public:
  virtual ~ProgressList() = default;
  // Appends `text` as the new last line. Neither selects nor scrolls to it.
  virtual void AddLine(const std::string& text) = 0;
  // Selects the last line (none on an empty list), which scrolls it into view.
  virtual void listSetLast() = 0;
  // Turns the whole list red, the lines already there and every later one, for good.
  virtual void listSetRed() = 0;
};

}  // namespace cubemill
