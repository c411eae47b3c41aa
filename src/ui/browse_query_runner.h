// Runs the pivot's queries on a thread of its own, one at a time, so that the window keeps
// painting while the engine reads: the newest request is answered, older ones waiting are
// dropped, and a request's cancel flag ends its query early.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "browse/pivot.h"
#include "ui/browse_cube.h"

namespace cubemill::ui {

class BrowseQueryRunner : public QObject {
  Q_OBJECT

 public:
  // The answer to request `request`: the grid, or the failure ("Cancelled" when cancelled).
  using Answered = std::function<void(std::uint64_t request, Result<browse::PivotGrid> answer)>;

  // `answered` is called on the thread of `receiver` (the window), and not after `receiver` has
  // gone.
  BrowseQueryRunner(QObject* receiver, Answered answered);
  // Cancels what runs and waits for the thread to end.
  ~BrowseQueryRunner() override;

  // Asks for `layout` of `cube`; returns the request's number. The answer of an earlier request
  // still waiting is never computed; one running is cancelled.
  std::uint64_t Ask(std::shared_ptr<const BrowseCube> cube, const browse::PivotLayout& layout);
  // Cancels the running request (its answer then fails with "Cancelled").
  void Cancel();
  // The object whose thread runs the requests, in order: what is queued to it runs there.
  QObject* Worker() { return &worker_; }

 private:
  void Run(std::uint64_t request, std::shared_ptr<const BrowseCube> cube,
           browse::PivotLayout layout, std::shared_ptr<std::atomic<bool>> cancel);

  QThread thread_;
  QObject worker_;  // lives on thread_: the queued requests run there
  QObject* receiver_;
  Answered answered_;
  std::atomic<std::uint64_t> newest_{0};
  std::shared_ptr<std::atomic<bool>> cancel_;  // of the newest request (GUI thread only)
};

}  // namespace cubemill::ui
