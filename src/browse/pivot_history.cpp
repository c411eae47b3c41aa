#include "browse/pivot_history.h"

#include <cstddef>

namespace cubemill::browse {

void LayoutHistory::Reset(const PivotLayout& layout) {
  steps_.assign(1, layout);
  current_ = 0;
}

void LayoutHistory::Push(const PivotLayout& layout) {
  if (steps_.empty()) {
    Reset(layout);
    return;
  }
  if (steps_[current_] == layout) return;
  steps_.resize(current_ + 1);
  steps_.push_back(layout);
  if (steps_.size() > kLimit) steps_.erase(steps_.begin());
  current_ = steps_.size() - 1;
}

std::optional<PivotLayout> LayoutHistory::Undo() {
  if (!CanUndo()) return std::nullopt;
  return steps_[--current_];
}

std::optional<PivotLayout> LayoutHistory::Redo() {
  if (!CanRedo()) return std::nullopt;
  return steps_[++current_];
}

void LayoutHistory::Revert(const PivotLayout& layout) {
  if (steps_.empty()) {
    Reset(layout);
    return;
  }
  if (steps_[current_] == layout) return;
  if (CanRedo() && steps_[current_ + 1] == layout) {
    ++current_;  // an undo whose query failed: the step is still there to undo
    return;
  }
  for (std::size_t back = current_; back-- > 0;) {
    if (steps_[back] == layout) {
      // The steps asked since it was shown were never shown: they go.
      steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(back) + 1,
                   steps_.begin() + static_cast<std::ptrdiff_t>(current_) + 1);
      current_ = back;
      return;
    }
  }
  steps_[current_] = layout;
}

}  // namespace cubemill::browse
