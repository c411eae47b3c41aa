// The layouts a browser window went through, for Undo and Redo: each gesture that changed the
// layout is one step. A plain list of layout values with the place of the one shown, so that
// undoing restores a layout exactly, whatever gesture made it.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "browse/pivot.h"

namespace cubemill::browse {

class LayoutHistory {
 public:
  // Forgets every step: `layout` is the only one (a cube just opened).
  void Reset(const PivotLayout& layout);
  // `layout` follows the current one, and the steps that were undone are gone. The same layout
  // again is no step.
  void Push(const PivotLayout& layout);
  // The layout before (after) the current one, which becomes current; nothing at the start (end).
  std::optional<PivotLayout> Undo();
  std::optional<PivotLayout> Redo();
  bool CanUndo() const { return current_ > 0; }
  bool CanRedo() const { return current_ + 1 < steps_.size(); }
  // The window went back to `layout`, the last one it showed, because the current one's query
  // failed or was cancelled: a failed undo or redo steps back to it, the failed steps after it
  // are dropped, and where it is not in reach it replaces the current step.
  void Revert(const PivotLayout& layout);
  // At most this many steps are kept; the oldest go first.
  static constexpr std::size_t kLimit = 200;

 private:
  std::vector<PivotLayout> steps_;
  std::size_t current_ = 0;
};

}  // namespace cubemill::browse
