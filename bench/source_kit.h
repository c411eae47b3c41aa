// What the benchmarks' generated sources share: a seeded random generator that gives the same
// numbers on every platform, SQLite handles that close themselves, and lists of days and names.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace cubemill::bench {

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

// A database connection that closes itself.
class Database {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database() { sqlite3_close(db_); }
  bool Open(const std::string& path, int flags) {
    return sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) == SQLITE_OK;
  }
  sqlite3* get() const { return db_; }
  std::string Message() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }
  bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == 0; }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement that finalizes itself (holds nullptr when `sql` did not prepare).
class Statement {
 public:
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Every day of `years` years from 1 January of `first_year`, as "YYYY-MM-DD".
inline std::vector<std::string> AllDays(int first_year, int years) {
  std::vector<std::string> days;
  for (int year = first_year; year < first_year + years; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= lengths[month - 1]; ++day) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
        days.emplace_back(text);
      }
    }
  }
  return days;
}

// "<prefix> <number>" with the number 1-based and zero-padded to `digits`.
inline std::vector<std::string> Numbered(const char* prefix, std::uint64_t count, int digits) {
  std::vector<std::string> names;
  for (std::uint64_t i = 1; i <= count; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %0*llu", prefix, digits,
                  static_cast<unsigned long long>(i));
    names.emplace_back(text);
  }
  return names;
}

}  // namespace cubemill::bench
