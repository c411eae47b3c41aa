#include "provider/source/read_ahead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace cubemill::provider::source {
namespace {

// What follows the rows of a block.
enum class BlockEnd { kMore, kLast, kError, kException };

// Rows read ahead: their values row after row, and the bytes of their text values.
struct Block {
  // Where a text value of the block lies in `text` while the block is filled (`text` may move
  // as it grows, so the values are pointed at it once the block is full).
  struct TextPlace {
    std::size_t value = 0;
    std::size_t offset = 0;
    std::size_t size = 0;
  };
  std::vector<Value> values;  // rows * columns
  std::size_t rows = 0;
  std::string text;
  std::vector<TextPlace> places;
  BlockEnd end = BlockEnd::kMore;
  Error error;                   // with kError: what the inner source returned
  std::exception_ptr exception;  // with kException: what the inner source threw
};

// Fills `block` with up to `block_rows` rows of `inner`, read through `row`, until `stop` is set.
// The inner source's end, error or exception ends the block. Nothing thrown gets out.
void Fill(RowSource& inner, std::size_t columns, std::size_t block_rows,
          const std::atomic<bool>& stop, std::vector<Value>& row, Block& block) {
  block.rows = 0;
  block.text.clear();
  block.places.clear();
  block.end = BlockEnd::kMore;
  block.error = Error{};
  block.exception = nullptr;
  try {
    block.values.resize(block_rows * columns);  // the first fill only: the size never changes
    while (block.rows < block_rows && !stop.load(std::memory_order_relaxed)) {
      auto more = inner.NextRow(row);
      if (!more) {
        block.end = BlockEnd::kError;
        block.error = more.error();
        break;
      }
      if (!*more) {
        block.end = BlockEnd::kLast;
        break;
      }
      if (row.size() != columns) {
        throw std::logic_error("the source delivered a row of " + std::to_string(row.size()) +
                               " values for its " + std::to_string(columns) + " columns");
      }
      const std::size_t first = block.rows * columns;
      for (std::size_t c = 0; c < columns; ++c) {
        if (const auto* text = std::get_if<std::string_view>(&row[c])) {
          block.places.push_back({first + c, block.text.size(), text->size()});
          block.text.append(*text);
          block.values[first + c] = std::string_view();
        } else {
          block.values[first + c] = row[c];
        }
      }
      ++block.rows;
    }
  } catch (...) {
    block.end = BlockEnd::kException;
    block.exception = std::current_exception();
  }
  for (const Block::TextPlace& place : block.places) {
    block.values[place.value] = std::string_view(block.text.data() + place.offset, place.size);
  }
}

}  // namespace

// What the reader thread and the caller share, and each side's own state.
struct ReadAheadSource::Shared {
  std::size_t columns = 0;
  ReadAheadOptions options;

  std::vector<std::unique_ptr<Block>> blocks;  // every block, owned here
  std::mutex mutex;
  std::condition_variable filled_changed;  // a block was filled
  std::condition_variable free_changed;    // a block was given back, or stop was set
  std::vector<Block*> filled;              // in order, oldest first; guarded by mutex
  std::vector<Block*> free;                // guarded by mutex
  std::atomic<bool> stop{false};
  std::thread reader;
  bool direct = false;  // no thread: NextRow reads the inner source itself

  // The caller's side.
  Block* current = nullptr;
  std::size_t next_row = 0;
  bool finished = false;

  void Read(RowSource& inner);
  Block* TakeFilled();
  void GiveBack(Block* block);
};

void ReadAheadSource::Shared::Read(RowSource& inner) {
  std::vector<Value> row;
  for (;;) {
    Block* block = nullptr;
    {
      std::unique_lock lock(mutex);
      free_changed.wait(lock, [this] { return !free.empty() || stop.load(); });
      if (stop.load()) return;
      block = free.back();
      free.pop_back();
    }
    Fill(inner, columns, options.block_rows, stop, row, *block);
    {
      std::lock_guard lock(mutex);
      filled.push_back(block);
    }
    filled_changed.notify_one();
    if (block->end != BlockEnd::kMore) return;
  }
}

Block* ReadAheadSource::Shared::TakeFilled() {
  std::unique_lock lock(mutex);
  filled_changed.wait(lock, [this] { return !filled.empty(); });
  Block* block = filled.front();
  filled.erase(filled.begin());
  return block;
}

void ReadAheadSource::Shared::GiveBack(Block* block) {
  {
    std::lock_guard lock(mutex);
    free.push_back(block);
  }
  free_changed.notify_one();
}

ReadAheadSource::ReadAheadSource(std::unique_ptr<RowSource> inner, ReadAheadOptions options)
    : inner_(std::move(inner)), shared_(std::make_unique<Shared>()) {
  Shared& s = *shared_;
  s.columns = inner_->ColumnCount();
  s.options.block_rows = std::max<std::size_t>(options.block_rows, 1);
  s.options.queued_blocks = std::max<std::size_t>(options.queued_blocks, 1);
  // One block more than may wait is being filled, and one more is being handed out.
  const std::size_t count = s.options.queued_blocks + 2;
  s.filled.reserve(count);
  s.free.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    s.blocks.push_back(std::make_unique<Block>());
    s.free.push_back(s.blocks.back().get());
  }
  try {
    s.reader = std::thread([&s, &inner = *inner_] { s.Read(inner); });
  } catch (const std::system_error&) {
    s.direct = true;  // no thread to be had: read on the caller's thread, as without this
  }
}

ReadAheadSource::~ReadAheadSource() {
  Shared& s = *shared_;
  if (s.reader.joinable()) {
    {
      std::lock_guard lock(s.mutex);
      s.stop.store(true);
    }
    s.free_changed.notify_all();
    s.reader.join();
  }
}

std::size_t ReadAheadSource::ColumnCount() const { return shared_->columns; }

Result<bool> ReadAheadSource::NextRow(std::vector<Value>& row) {
  Shared& s = *shared_;
  if (s.direct) return inner_->NextRow(row);
  for (;;) {
    if (s.finished) return false;
    if (s.current != nullptr) {
      Block& block = *s.current;
      if (s.next_row < block.rows) {
        const auto first =
            block.values.begin() + static_cast<std::ptrdiff_t>(s.next_row * s.columns);
        row.assign(first, first + static_cast<std::ptrdiff_t>(s.columns));
        ++s.next_row;
        return true;
      }
      const BlockEnd end = block.end;
      if (end != BlockEnd::kMore) {
        s.finished = true;
        if (end == BlockEnd::kError) return block.error;
        if (end == BlockEnd::kException) std::rethrow_exception(block.exception);
        return false;
      }
      s.current = nullptr;
      s.GiveBack(&block);
    }
    s.current = s.TakeFilled();
    s.next_row = 0;
  }
}

std::unique_ptr<RowSource> ReadAhead(std::unique_ptr<RowSource> inner) {
  return std::make_unique<ReadAheadSource>(std::move(inner));
}

}  // namespace cubemill::provider::source
