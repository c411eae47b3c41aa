#include "provider/source/read_ahead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "provider/source/column_conversion.h"

namespace cubemill::provider::source {
namespace {

// What follows the rows of a block.
enum class BlockEnd { kMore, kLast, kError, kException };

// Rows read ahead: their values row after row, and the bytes of their text values.
struct Block {
  std::vector<Value> values;  // rows * columns
  std::size_t rows = 0;
  std::unique_ptr<char[]> bytes;  // the text values' bytes, one after the other
  std::size_t text_size = 0;
  std::size_t text_capacity = 0;
  bool converted = false;  // the deferred conversion has been applied to every row
  BlockEnd end = BlockEnd::kMore;
  Error error;                   // with kError: what the inner source returned
  std::exception_ptr exception;  // with kException: what the inner source threw

  // Returns a copy of `text` in the block's buffer; `filled` values of the block are in place and
  // are pointed at the new buffer if the buffer must grow (only until it has grown once to the
  // size the source's blocks need).
  std::string_view Keep(std::string_view text, std::size_t filled) {
    if (text.empty()) return {};
    if (text.size() > text_capacity - text_size) Grow(text.size(), filled);
    char* copy = bytes.get() + text_size;
    std::memcpy(copy, text.data(), text.size());
    text_size += text.size();
    return {copy, text.size()};
  }

  void Grow(std::size_t more, std::size_t filled) {
    const std::size_t capacity = std::max({text_capacity * 2, text_size + more, std::size_t{4096}});
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (text_size > 0) std::memcpy(bigger.get(), bytes.get(), text_size);
    for (std::size_t i = 0; i < filled; ++i) {
      if (const auto* kept = std::get_if<std::string_view>(&values[i]); kept && !kept->empty()) {
        values[i] = std::string_view(bigger.get() + (kept->data() - bytes.get()), kept->size());
      }
    }
    bytes = std::move(bigger);
    text_capacity = capacity;
  }
};

// Fills `block` with rows of `inner`, read through `row`, as `options` say, until `stop` is set.
// The inner source's end, error or exception ends the block. Nothing thrown gets out.
void Fill(RowSource& inner, std::size_t columns, const ReadAheadOptions& options,
          const std::atomic<bool>& stop, std::vector<Value>& row, Block& block) {
  const std::size_t block_rows = options.block_rows;
  block.rows = 0;
  block.text_size = 0;
  block.converted = false;
  block.end = BlockEnd::kMore;
  block.error = Error{};
  block.exception = nullptr;
  try {
    block.values.resize(block_rows * columns);  // the first fill only: the size never changes
    while (block.rows < block_rows &&
           (block.rows == 0 || block.text_size < options.block_text_bytes) &&
           !stop.load(std::memory_order_relaxed)) {
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
          block.values[first + c] = block.Keep(*text, first + c);
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
}

}  // namespace

// What the reader thread and the caller share, and each side's own state.
struct ReadAheadSource::Shared {
  std::size_t columns = 0;
  ReadAheadOptions options;
  RowConversion conversion;  // empty when the inner source converts its values itself

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
  bool ReaderConverts();
  void ConvertBlock(Block& block) const;
  void Convert(std::span<Value> row);  // on the caller's thread
  Block* TakeFilled();
  void GiveBack(Block* block);
};

void ReadAheadSource::Shared::Read(RowSource& inner) {
  std::vector<Value> row;
  for (;;) {
    Block* block = nullptr;
    {
      std::unique_lock lock(mutex);
      if (free.empty() && !stop.load() && options.reader_waits) options.reader_waits();
      free_changed.wait(lock, [this] { return !free.empty() || stop.load(); });
      if (stop.load()) return;
      block = free.back();
      free.pop_back();
    }
    Fill(inner, columns, options, stop, row, *block);
    if (conversion && ReaderConverts()) ConvertBlock(*block);
    {
      std::lock_guard lock(mutex);
      filled.push_back(block);
    }
    filled_changed.notify_one();
    if (block->end != BlockEnd::kMore) return;
  }
}

void ReadAheadSource::Shared::Convert(std::span<Value> row) {
  try {
    conversion(row);
  } catch (...) {  // not expected of a conversion; ends the rows like a throwing source
    finished = true;
    throw;
  }
}

void ReadAheadSource::Shared::ConvertBlock(Block& block) const {
  std::size_t r = 0;
  try {
    for (; r < block.rows; ++r) {
      conversion(std::span<Value>(block.values).subspan(r * columns, columns));
    }
    block.converted = true;
  } catch (...) {  // not expected of a conversion; handed over like the source's own
    block.rows = r;
    block.end = BlockEnd::kException;
    block.exception = std::current_exception();
  }
}

// True when the reader is to convert the block it has just filled.
bool ReadAheadSource::Shared::ReaderConverts() {
  switch (options.convert_on) {
    case ConvertOn::kReader:
      return true;
    case ConvertOn::kCaller:
      return false;
    case ConvertOn::kIdleThread:
      break;
  }
  // A block still waiting for the caller means the caller is behind: the reader has the time.
  std::lock_guard lock(mutex);
  return !filled.empty();
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
  s.options = options;
  if (s.options.block_rows == 0) {
    s.options.block_rows = std::clamp<std::size_t>(
        kReadAheadBlockValues / std::max<std::size_t>(s.columns, 1), 1, 4096);
  }
  s.options.queued_blocks = std::max<std::size_t>(options.queued_blocks, 1);
  if (auto* defers = dynamic_cast<DefersConversion*>(inner_.get())) {
    s.conversion = defers->DeferConversion();
  }
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
  if (s.direct) {
    if (s.finished) return false;
    auto more = inner_->NextRow(row);
    if (more && *more && s.conversion) s.Convert(row);
    return more;
  }
  for (;;) {
    if (s.finished) return false;
    if (s.current != nullptr) {
      Block& block = *s.current;
      if (s.next_row < block.rows) {
        const auto first =
            block.values.begin() + static_cast<std::ptrdiff_t>(s.next_row * s.columns);
        row.assign(first, first + static_cast<std::ptrdiff_t>(s.columns));
        if (s.conversion && !block.converted) s.Convert(row);
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
