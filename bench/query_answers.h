// The query benchmark's check: the answers cubemill-query printed as CSV and the rows the
// sqlite3 shell's GROUP BY over cube_flat printed as CSV, read into one shape and compared.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cubemill::bench {

// The value text of each (year, country, measure), keyed "year / country / measure".
using Answers = std::map<std::string, std::string>;

// The fields of each line of the CSV text `csv` (RFC 4180: quoted fields may hold commas,
// doubled quotes and line breaks); a trailing CR of a line is dropped.
// True when `a` and `b` are the same number: equal as integers, or within `relative` (of the
// larger's size, at least 1) when either is written as a real; or the same text.
bool SameNumber(const std::string& a, const std::string& b, double relative);

std::vector<std::vector<std::string>> ReadCsv(const std::string& csv);

// Reads cubemill-query's CSV answer to a query with the years on columns and each country
// crossed with the measures on rows: a header line (two empty fields, then the years), then one
// line per country and measure. Returns nothing after setting `error` when the shape differs.
std::optional<Answers> ReadMdxAnswers(const std::string& csv, std::string& error);

// Reads the sqlite3 shell's CSV output of SELECT year, country, <one column per measure> ...
// GROUP BY 1, 2 (no header): `measures` names the measure columns in order. Returns nothing
// after setting `error` when a line has the wrong number of fields.
std::optional<Answers> ReadGroupByAnswers(const std::string& csv,
                                          const std::vector<std::string>& measures,
                                          std::string& error);

// Reads cubemill-query's CSV answer to a query with one hierarchy (or the measures) on columns
// and `row_fields` members in each row's tuple: one header line (`row_fields` empty fields, then
// the column names), then one line per row. The key of a cell is "column / row member 1 / ...".
// A column name met again (Quarter 1 of each year) is numbered by its turn: "Quarter 1", then
// "Quarter 1 #2", and so on. Returns nothing after setting `error` when the shape differs.
std::optional<Answers> ReadMdxGrid(const std::string& csv, std::size_t row_fields,
                                   std::string& error);

// Reads the sqlite3 shell's CSV rows (no header) into the keys ReadMdxGrid makes: with
// `column_field`, the first field names the column and one value follows the `row_fields` row
// fields; the rows must come column by column in the order of the cube's columns (ORDER BY), and
// a column name that comes back after another is numbered as ReadMdxGrid numbers it. Without it,
// the row fields come first and one value per name in `measures` follows, each named for its
// measure. Returns nothing after setting `error` when a line has the wrong number of fields.
std::optional<Answers> ReadGroupByGrid(const std::string& csv, bool column_field,
                                       std::size_t row_fields,
                                       const std::vector<std::string>& measures,
                                       std::string& error);

// One line per difference between `got` and `expected`: a key only one has, or values that
// differ. Integers must be equal; a value written as a real may differ by `relative` of its
// size (sums of reals taken in a different order round differently).
std::vector<std::string> CompareAnswers(const Answers& got, const Answers& expected,
                                        double relative);

}  // namespace cubemill::bench
