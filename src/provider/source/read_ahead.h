// Reads another row source ahead on a thread of its own, so that fetching and using rows overlap.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "common/error.h"
#include "provider/row_source.h"

namespace cubemill::provider::source {

// Which thread converts the text of a source that leaves its conversion to its caller
// (DefersConversion).
enum class ConvertOn {
  kIdleThread,  // the reader when the caller is behind (blocks wait for it), the caller otherwise
  kReader,
  kCaller,
};

// How a ReadAheadSource reads ahead. A block is handed over when it holds block_rows rows, or
// earlier once its text takes block_text_bytes, so that long text does not make it huge.
struct ReadAheadOptions {
  // Rows per block; 0 for as many as kReadAheadBlockValues values make, at most 4096.
  std::size_t block_rows = 0;
  std::size_t block_text_bytes = std::size_t{1} << 20;
  std::size_t queued_blocks = 2;  // filled blocks that may wait for the caller
  ConvertOn convert_on = ConvertOn::kIdleThread;
  // When set, called on the reader thread each time it has filled every block it may and starts
  // to wait for the caller to give one back, so that a test can see the queue full without
  // waiting for time to pass. It runs under the source's lock: it must not use the source.
  std::function<void()> reader_waits = nullptr;
};

// Values per block when ReadAheadOptions::block_rows is 0 (1 MiB of values).
inline constexpr std::size_t kReadAheadBlockValues = 32768;

// A RowSource that reads `inner` on its own thread, block by block, and hands the rows out on
// the caller's thread in the same order. The text of each block is copied into the block's own
// buffer, so a row handed out stays valid until the next NextRow, as from any source. The reader
// stays at most queued_blocks blocks ahead; its blocks are reused, so once every block has been
// filled once, reading allocates nothing more. The memory this takes is bounded by the options,
// not by the rows: queued_blocks + 2 blocks.
//
// When the inner source can leave the conversion of its text to its caller (DefersConversion,
// as OdbcSource can), that work is done on whichever of the two threads has time for it: by the
// caller while it waits for the source, by the reader while the caller is behind. The rows are
// the same either way.
//
// The inner source's end and failures come out where they happened: after the rows before them,
// NextRow returns false, or the inner source's Error, or rethrows what the inner source threw.
// After that NextRow returns false. Destroying the source stops the reader (within the inner
// NextRow call it is in) and waits for it, whether or not every row was taken; only then is the
// inner source destroyed, on the destroying thread.
//
// Once constructed, the ReadAheadSource uses the inner source from the reader thread only, one
// call at a time; nobody else may use it meanwhile. When no thread can be started, the rows are
// read on the caller's thread instead.
class ReadAheadSource final : public RowSource {
 public:
  explicit ReadAheadSource(std::unique_ptr<RowSource> inner, ReadAheadOptions options = {});
  ~ReadAheadSource() override;
  ReadAheadSource(const ReadAheadSource&) = delete;
  ReadAheadSource& operator=(const ReadAheadSource&) = delete;

  // The inner source's column count, known before the first row.
  std::size_t ColumnCount() const override;
  Result<bool> NextRow(std::vector<Value>& row) override;

 private:
  struct Shared;
  std::unique_ptr<RowSource> inner_;
  std::unique_ptr<Shared> shared_;
};

// `inner` read ahead by a ReadAheadSource with the default options.
std::unique_ptr<RowSource> ReadAhead(std::unique_ptr<RowSource> inner);

}  // namespace cubemill::provider::source
