// The read-ahead source: the same rows, ends and failures as the source it reads, in the same
// places, over the SQLite ODBC driver and over sources that end, fail or throw where told; and
// it stops its reader whenever it is dropped.
#include "provider/source/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>

#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

using namespace std::string_view_literals;

// What a source gave: every row (text copied, so that it outlives the next call), then how it
// ended: "end", or the error's number, text and source.
struct Reading {
  std::vector<std::vector<std::string>> rows;
  std::string ending;
  bool operator==(const Reading&) const = default;
};

std::string ValueText(const Value& value) {
  struct {
    std::string operator()(std::monostate) const { return "NULL"; }
    std::string operator()(std::int64_t v) const { return "int " + std::to_string(v); }
    std::string operator()(double v) const { return "real " + std::to_string(v); }
    std::string operator()(std::string_view v) const { return "text '" + std::string(v) + "'"; }
    std::string operator()(const Date& v) const {
      return "date " + std::to_string(v.year) + "-" + std::to_string(v.month) + "-" +
             std::to_string(v.day);
    }
    std::string operator()(const Timestamp& v) const {
      return "stamp " + (*this)(v.date) + " " + std::to_string(v.hour) + ":" +
             std::to_string(v.minute) + ":" + std::to_string(v.second);
    }
  } visitor;
  return std::visit(visitor, value);
}

// Reads `source` to its end or first error, and once more after that.
Reading ReadAll(RowSource& source) {
  Reading reading;
  std::vector<Value> row;
  for (;;) {
    auto more = source.NextRow(row);
    if (!more) {
      const Error& e = more.error();
      reading.ending = std::to_string(e.number) + " " + e.description + " (" + e.source + ")";
      break;
    }
    if (!*more) {
      reading.ending = "end";
      break;
    }
    EXPECT_EQ(row.size(), source.ColumnCount());
    std::vector<std::string> texts;
    for (const Value& value : row) texts.push_back(ValueText(value));
    reading.rows.push_back(std::move(texts));
  }
  auto after = source.NextRow(row);
  EXPECT_TRUE(after.ok() && !*after) << "a finished source gives no more rows";
  return reading;
}

// Blocks of `rows` rows, `queued` of them waiting at most, converted where `convert_on` says.
ReadAheadOptions Blocks(std::size_t rows, std::size_t queued,
                        ConvertOn convert_on = ConvertOn::kIdleThread) {
  return {.block_rows = rows, .queued_blocks = queued, .convert_on = convert_on};
}

// Makes `path` a database with table t of `rows` rows: an id, a real, a text that changes from
// row to row (some NULL, some empty, some long), a date (some not a day), and a code read as an
// integer though it is not always one.
void MakeTable(const std::string& path, int rows) {
  test::RunSqlite(path,
                  "CREATE TABLE t(id INTEGER, amount REAL, city TEXT, day DATE, code TEXT);"
                  "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
                      std::to_string(rows) +
                      ") INSERT INTO t SELECT x, x * 0.25, CASE x % 11 WHEN 0 THEN NULL "
                      "WHEN 1 THEN '' WHEN 2 THEN printf('%.*c', 300 + x % 50, 'w') "
                      "ELSE 'city ' || x END, CASE WHEN x % 13 = 0 THEN '2021-02-30' ELSE "
                      "date('2021-01-01', '+' || (x % 900) || ' days') END, CASE x % 7 "
                      "WHEN 0 THEN 'n/a' WHEN 1 THEN ' ' || x || ' ' WHEN 2 THEN x || '.5' "
                      "WHEN 3 THEN NULL WHEN 4 THEN '' ELSE x END FROM n WHERE " +
                      std::to_string(rows) + " > 0;");
}

std::unique_ptr<RowSource> OpenOdbc(const std::string& path, const std::string& select,
                                    const std::vector<ColumnHint>& hints = {},
                                    SqliteReading reading = SqliteReading::kLibrary) {
  auto source = OdbcSource::Open(test::SqliteOdbc(path), select, hints, {}, reading);
  EXPECT_TRUE(source.ok()) << (source.ok() ? "" : source.error().description);
  return source.ok() ? std::move(*source) : nullptr;
}

TEST(ReadAheadTest, GivesTheOdbcSourcesRowsInOrderWhateverTheBlocks) {
  test::TempDir dir;
  const std::string select = "SELECT id, amount, city, day, code FROM t ORDER BY id";
  const std::vector<ColumnHint> hints = {ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kText,
                                         ColumnHint::kDateTime, ColumnHint::kInteger};
  constexpr std::size_t kBlock = 64;
  for (const int rows : {0, 1, int{kBlock}, int{kBlock} + 1, 5000}) {
    const std::string path = dir.File("t" + std::to_string(rows) + ".db");
    MakeTable(path, rows);
    auto direct = OpenOdbc(path, select, hints);
    ASSERT_NE(direct, nullptr);
    const Reading expected = ReadAll(*direct);
    ASSERT_EQ(expected.rows.size(), static_cast<std::size_t>(rows));
    ASSERT_EQ(expected.ending, "end");
    for (const ConvertOn convert_on :
         {ConvertOn::kIdleThread, ConvertOn::kReader, ConvertOn::kCaller}) {
      // The text of a row may reach 350 bytes: blocks of 500 bytes end after a row or two.
      for (ReadAheadOptions options :
           {Blocks(kBlock, 2), Blocks(1, 1), Blocks(7, 4), ReadAheadOptions{},
            ReadAheadOptions{.block_rows = kBlock, .block_text_bytes = 500}}) {
        options.convert_on = convert_on;
        SCOPED_TRACE(std::to_string(rows) + " rows, blocks of " +
                     std::to_string(options.block_rows) + ", " +
                     std::to_string(options.queued_blocks) + " queued, converted by " +
                     std::to_string(static_cast<int>(convert_on)));
        ReadAheadSource ahead(OpenOdbc(path, select, hints), options);
        EXPECT_EQ(ahead.ColumnCount(), 5u);  // before the first row
        EXPECT_EQ(ReadAll(ahead), expected);
      }
    }
  }
  // What the rows hold: every kind of value, and text that is not what its column asks for.
  const std::string path = dir.File("t5000.db");
  auto direct = OpenOdbc(path, select + " LIMIT 14", hints);
  ASSERT_NE(direct, nullptr);
  const Reading reading = ReadAll(*direct);
  EXPECT_EQ(reading.rows[6], (std::vector<std::string>{"int 7", "real 1.750000", "text 'city 7'",
                                                       "date 2021-1-8", "text 'n/a'"}));
  EXPECT_EQ(reading.rows[7][4], "int 8");  // " 8 "
  EXPECT_EQ(reading.rows[8][4], "real 9.500000");
  EXPECT_EQ(reading.rows[9][4], "NULL");
  EXPECT_EQ(reading.rows[10][2], "NULL");
  EXPECT_EQ(reading.rows[10][4], "text ''");
  EXPECT_EQ(reading.rows[11][2], "text ''");
  EXPECT_EQ(reading.rows[12][3], "text '2021-02-30'");
}

TEST(ReadAheadTest, AnOdbcFailureComesAfterTheRowsBeforeIt) {
  // SQLite fails the statement at id 2500 (malformed JSON), in the middle of the third fetch
  // block of the driver (no ORDER BY: a sort would meet the failure before the first row);
  // SQLite's library gives every row before it.
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  MakeTable(path, 4000);
  const std::string select =
      "SELECT id, CASE WHEN id >= 2500 THEN json('{' || id) ELSE city END FROM t";
  for (const SqliteReading reading : {SqliteReading::kDriver, SqliteReading::kLibrary}) {
    auto direct = OpenOdbc(path, select, {}, reading);
    ASSERT_NE(direct, nullptr);
    const Reading expected = ReadAll(*direct);
    if (reading == SqliteReading::kDriver) {
      EXPECT_EQ(expected.rows.size(), 2 * kFetchBlockRows);
      EXPECT_NE(expected.ending.find("fetch failed after row 2048: [HY000] [SQLite]malformed JSON"),
                std::string::npos)
          << expected.ending;
    } else {
      EXPECT_EQ(expected.rows.size(), 2499u);
      EXPECT_NE(expected.ending.find("fetch of row 2500 failed: [HY000] [SQLite]malformed JSON"),
                std::string::npos)
          << expected.ending;
    }
    for (const ReadAheadOptions& options : {ReadAheadOptions{}, Blocks(100, 1)}) {
      ReadAheadSource ahead(OpenOdbc(path, select, {}, reading), options);
      EXPECT_EQ(ReadAll(ahead), expected);
    }
  }
}

// Rows 0, 1, 2, ... of a number and a text ("value i", padded with dots to `width` bytes), the
// text written over the one before it in one buffer (as a driver's buffer is); after `rows` rows
// it ends, or fails, or throws, as told. Counts its calls.
class CountingSource : public RowSource {
 public:
  enum class Then { kEnd, kFail, kThrow, kThrowBadAlloc, kNeverEnd };
  CountingSource(std::size_t rows, Then then, std::atomic<std::size_t>& calls,
                 std::size_t width = 0)
      : rows_(rows), then_(then), calls_(calls), width_(width) {}
  std::size_t ColumnCount() const override { return 2; }
  Result<bool> NextRow(std::vector<Value>& row) override {
    calls_.fetch_add(1);
    if (next_ == rows_ && then_ != Then::kNeverEnd) {
      if (then_ == Then::kFail) return Error{"row " + std::to_string(next_) + " broke", 42, "src"};
      if (then_ == Then::kThrow) throw std::runtime_error("thrown at " + std::to_string(next_));
      if (then_ == Then::kThrowBadAlloc) throw std::bad_alloc();
      return false;
    }
    buffer_ = "value " + std::to_string(next_);
    if (buffer_.size() < width_) buffer_.resize(width_, '.');
    row = {static_cast<std::int64_t>(next_), std::string_view(buffer_)};
    ++next_;
    return true;
  }

 private:
  std::size_t rows_;
  Then then_;
  std::atomic<std::size_t>& calls_;
  std::size_t width_;
  std::size_t next_ = 0;
  std::string buffer_;
};

Reading Expected(std::size_t rows, const std::string& ending) {
  Reading reading;
  for (std::size_t i = 0; i < rows; ++i)
    reading.rows.push_back({"int " + std::to_string(i), "text 'value " + std::to_string(i) + "'"});
  reading.ending = ending;
  return reading;
}

TEST(ReadAheadTest, TheEndOrAnErrorComesAfterExactlyTheRowsBeforeIt) {
  constexpr std::size_t kBlock = 16;
  for (const std::size_t rows : {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1,
                                 3 * kBlock, 3 * kBlock + 5}) {
    SCOPED_TRACE(std::to_string(rows) + " rows");
    std::atomic<std::size_t> calls = 0;
    ReadAheadSource ended(std::make_unique<CountingSource>(rows, CountingSource::Then::kEnd, calls),
                          Blocks(kBlock, 2));
    EXPECT_EQ(ReadAll(ended), Expected(rows, "end"));
    EXPECT_EQ(calls.load(), rows + 1);  // never asked again after the end

    ReadAheadSource failed(
        std::make_unique<CountingSource>(rows, CountingSource::Then::kFail, calls),
        Blocks(kBlock, 2));
    EXPECT_EQ(ReadAll(failed), Expected(rows, "42 row " + std::to_string(rows) + " broke (src)"));
  }
}

TEST(ReadAheadTest, WhatTheSourceThrowsIsThrownToTheCallerAfterTheRowsBeforeIt) {
  for (const std::size_t rows : {std::size_t{0}, std::size_t{5}, std::size_t{40}}) {
    SCOPED_TRACE(std::to_string(rows) + " rows");
    std::atomic<std::size_t> calls = 0;
    ReadAheadSource ahead(
        std::make_unique<CountingSource>(rows, CountingSource::Then::kThrow, calls), Blocks(8, 2));
    std::vector<Value> row;
    for (std::size_t i = 0; i < rows; ++i) {
      auto more = ahead.NextRow(row);
      ASSERT_TRUE(more.ok() && *more);
      EXPECT_EQ(row[1], Value(std::string_view("value " + std::to_string(i))));
    }
    try {
      (void)ahead.NextRow(row);
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& thrown) {
      EXPECT_EQ(std::string(thrown.what()), "thrown at " + std::to_string(rows));
    }
    auto after = ahead.NextRow(row);
    EXPECT_TRUE(after.ok() && !*after);
  }
  std::atomic<std::size_t> calls = 0;
  ReadAheadSource out_of_memory(
      std::make_unique<CountingSource>(3, CountingSource::Then::kThrowBadAlloc, calls),
      Blocks(2, 1));
  std::vector<Value> row;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(*out_of_memory.NextRow(row));
  EXPECT_THROW((void)out_of_memory.NextRow(row), std::bad_alloc);
}

// A CountingSource that leaves its conversion to the caller: "value i" becomes the number i
// times 10, except at row `throw_at`, where converting throws. Records the threads it
// converted on.
class DeferringSource : public CountingSource, public DefersConversion {
 public:
  struct Record {
    std::mutex mutex;
    std::set<std::thread::id> threads;
  };
  DeferringSource(std::size_t rows, std::size_t throw_at, std::atomic<std::size_t>& calls,
                  Record& record)
      : CountingSource(rows, Then::kEnd, calls), throw_at_(throw_at), record_(record) {}
  RowConversion DeferConversion() override {
    return [throw_at = throw_at_, &record = record_](std::span<Value> row) {
      {
        std::lock_guard lock(record.mutex);
        record.threads.insert(std::this_thread::get_id());
      }
      const auto* text = std::get_if<std::string_view>(&row[1]);
      if (text == nullptr) return;  // converted before
      const std::int64_t i = std::stoll(std::string(text->substr(6)));
      if (static_cast<std::size_t>(i) == throw_at) throw std::runtime_error("cannot convert");
      row[1] = i * 10;
    };
  }

 private:
  std::size_t throw_at_;
  Record& record_;
};

TEST(ReadAheadTest, ASourcesDeferredConversionIsDoneOnTheThreadAsked) {
  for (const ConvertOn convert_on :
       {ConvertOn::kIdleThread, ConvertOn::kReader, ConvertOn::kCaller}) {
    SCOPED_TRACE(static_cast<int>(convert_on));
    std::atomic<std::size_t> calls = 0;
    DeferringSource::Record record;
    ReadAheadSource ahead(std::make_unique<DeferringSource>(50, 1000, calls, record),
                          Blocks(4, 2, convert_on));
    Reading expected;
    for (std::size_t i = 0; i < 50; ++i)
      expected.rows.push_back({"int " + std::to_string(i), "int " + std::to_string(i * 10)});
    expected.ending = "end";
    EXPECT_EQ(ReadAll(ahead), expected);
    const bool on_caller = record.threads.count(std::this_thread::get_id()) > 0;
    if (convert_on == ConvertOn::kCaller) {
      EXPECT_EQ(record.threads.size(), 1u);
      EXPECT_TRUE(on_caller);
    } else if (convert_on == ConvertOn::kReader) {
      EXPECT_EQ(record.threads.size(), 1u);
      EXPECT_FALSE(on_caller);
    }
  }
  // A conversion that throws: the rows before it, then what it threw, on either thread.
  for (const ConvertOn convert_on : {ConvertOn::kReader, ConvertOn::kCaller}) {
    std::atomic<std::size_t> calls = 0;
    DeferringSource::Record record;
    ReadAheadSource ahead(std::make_unique<DeferringSource>(50, 9, calls, record),
                          Blocks(4, 2, convert_on));
    std::vector<Value> row;
    for (std::int64_t i = 0; i < 9; ++i) {
      ASSERT_TRUE(*ahead.NextRow(row));
      EXPECT_EQ(row[1], Value(i * 10));
    }
    EXPECT_THROW((void)ahead.NextRow(row), std::runtime_error);
    auto after = ahead.NextRow(row);
    EXPECT_TRUE(after.ok() && !*after);
  }
}

// Counts the times the reader has found every block filled and started to wait for the caller
// (ReadAheadOptions::reader_waits), and lets the test wait for them.
class ReaderWaits {
 public:
  // `options` with this counter as their reader_waits.
  ReadAheadOptions Watching(ReadAheadOptions options) {
    options.reader_waits = [this] {
      {
        std::lock_guard lock(mutex_);
        ++waits_;
      }
      changed_.notify_all();
    };
    return options;
  }

  // Waits until the reader has waited `count` times; false when it has not within a minute
  // (it never will: it went on reading, or it hangs).
  bool Until(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return waits_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waits_ = 0;
};

TEST(ReadAheadTest, ARowStaysWhileTheReaderFillsABoundedQueueBehindIt) {
  // Block size 4, 2 queued: the reader fills the block handed out, two queued and one more,
  // then waits; the row handed out first must still read as it did.
  std::atomic<std::size_t> calls = 0;
  ReaderWaits waits;
  ReadAheadSource ahead(std::make_unique<CountingSource>(0, CountingSource::Then::kNeverEnd, calls),
                        waits.Watching(Blocks(4, 2)));
  std::vector<Value> row;
  ASSERT_TRUE(*ahead.NextRow(row));
  ASSERT_TRUE(waits.Until(1));
  EXPECT_EQ(calls.load(), 16u);  // the queue is full: the reader waits
  EXPECT_EQ(row[1], Value("value 0"sv));
  for (int i = 1; i < 6; ++i) ASSERT_TRUE(*ahead.NextRow(row));  // into the second block
  EXPECT_EQ(row[1], Value("value 5"sv));
  ASSERT_TRUE(waits.Until(2));
  EXPECT_EQ(calls.load(), 20u);  // the first block came back, filled again
  EXPECT_EQ(row[1], Value("value 5"sv));

  // Long text ends a block before its rows are full: 300 bytes a row, 1000 bytes a block make
  // blocks of 4 rows, so the reader holds 16 rows, not 400, when it waits.
  std::atomic<std::size_t> long_calls = 0;
  ReaderWaits long_waits;
  ReadAheadSource long_text(
      std::make_unique<CountingSource>(0, CountingSource::Then::kNeverEnd, long_calls, 300),
      long_waits.Watching({.block_rows = 100, .block_text_bytes = 1000, .queued_blocks = 2}));
  ASSERT_TRUE(long_waits.Until(1));
  EXPECT_EQ(long_calls.load(), 16u);
  for (std::size_t i = 0; i < 30; ++i) {
    ASSERT_TRUE(*long_text.NextRow(row));
    const std::string expected = "value " + std::to_string(i);
    EXPECT_EQ(row[1], Value(std::string_view(expected + std::string(300 - expected.size(), '.'))));
  }
}

TEST(ReadAheadTest, DroppingItStopsTheReaderWhereverItIs) {
  {  // the queue full, nothing taken
    std::atomic<std::size_t> calls = 0;
    ReaderWaits waits;
    {
      ReadAheadSource ahead(
          std::make_unique<CountingSource>(0, CountingSource::Then::kNeverEnd, calls),
          waits.Watching(Blocks(8, 3)));
      ASSERT_TRUE(waits.Until(1));
      EXPECT_EQ(calls.load(), 40u);
    }
    EXPECT_EQ(calls.load(), 40u);  // stopped without asking the source again
  }
  {  // the queue full, some rows taken
    std::atomic<std::size_t> calls = 0;
    ReaderWaits waits;
    {
      ReadAheadSource ahead(
          std::make_unique<CountingSource>(0, CountingSource::Then::kNeverEnd, calls),
          waits.Watching(Blocks(8, 3)));
      ASSERT_TRUE(waits.Until(1));
      std::vector<Value> row;
      for (int i = 0; i < 12; ++i) ASSERT_TRUE(*ahead.NextRow(row));
      ASSERT_TRUE(waits.Until(2));
      EXPECT_EQ(calls.load(), 40u + 8u);  // the first block came back, filled again
    }
    EXPECT_EQ(calls.load(), 40u + 8u);
  }
  {  // dropped at once, whatever the reader is doing
    std::atomic<std::size_t> calls = 0;
    ReadAheadSource ahead(
        std::make_unique<CountingSource>(0, CountingSource::Then::kNeverEnd, calls));
  }
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  MakeTable(path, 20000);
  for (int taken : {0, 10, 5000}) {  // an ODBC source with its statement still open
    ReadAheadSource ahead(OpenOdbc(path, "SELECT id, city FROM t"));
    std::vector<Value> row;
    for (int i = 0; i < taken; ++i) ASSERT_TRUE(*ahead.NextRow(row));
  }
  // The database is not held open: it can be replaced and read again.
  std::filesystem::remove(path);
  MakeTable(path, 3);
  ReadAheadSource again(OpenOdbc(path, "SELECT id FROM t ORDER BY id"));
  EXPECT_EQ(ReadAll(again).rows,
            (std::vector<std::vector<std::string>>{{"int 1"}, {"int 2"}, {"int 3"}}));
}

}  // namespace
}  // namespace cubemill::provider::source
