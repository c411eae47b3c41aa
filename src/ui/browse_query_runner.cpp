#include "ui/browse_query_runner.h"

#include <QMetaObject>
#include <utility>

#include "platform/number_locale.h"

namespace cubemill::ui {

BrowseQueryRunner::BrowseQueryRunner(QObject* receiver, Answered answered)
    : receiver_(receiver), answered_(std::move(answered)) {
  thread_.setObjectName("pivot queries");
  worker_.moveToThread(&thread_);
  thread_.start();
}

BrowseQueryRunner::~BrowseQueryRunner() {
  if (cancel_) cancel_->store(true);
  newest_.store(UINT64_MAX);  // requests still queued are dropped
  thread_.quit();
  thread_.wait();
}

std::uint64_t BrowseQueryRunner::Ask(std::shared_ptr<const BrowseCube> cube,
                                     const browse::PivotLayout& layout) {
  if (cancel_) cancel_->store(true);
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  const std::uint64_t request = newest_.load() + 1;
  newest_.store(request);
  QMetaObject::invokeMethod(
      &worker_,
      [this, request, cube = std::move(cube), layout = browse::PivotLayout(layout),
       cancel = cancel_]() mutable {
        Run(request, std::move(cube), std::move(layout), std::move(cancel));
      },
      Qt::QueuedConnection);
  return request;
}

void BrowseQueryRunner::Cancel() {
  if (cancel_) cancel_->store(true);
}

void BrowseQueryRunner::Run(std::uint64_t request, std::shared_ptr<const BrowseCube> cube,
                            browse::PivotLayout layout, std::shared_ptr<std::atomic<bool>> cancel) {
  // A newer request waits behind this one: its answer is the one to show.
  if (request != newest_.load()) return;
  Result<browse::PivotGrid> answer = Error{"Cancelled", 0, "Browse"};
  if (cube == nullptr || cube->reader == nullptr) {
    answer = Error{"no cube is open", 0, "Browse"};
  } else if (!cancel->load()) {
    // The figures group thousands as the environment's locale does, read once.
    static const platform::NumberSeparators separators = platform::LocaleNumberSeparators();
    answer = browse::AnswerPivot(*cube->reader, *cube->model, layout, cancel.get(), separators);
  }
  // The receiver outlives this thread (its runner ends the thread first); a grid of many rows is
  // handed over, not copied.
  auto shared = std::make_shared<Result<browse::PivotGrid>>(std::move(answer));
  QMetaObject::invokeMethod(
      receiver_, [this, request, shared]() { answered_(request, std::move(*shared)); },
      Qt::QueuedConnection);
}

}  // namespace cubemill::ui
