// The query benchmark's check: the year x country answers cubemill-query printed as CSV and the
// rows the sqlite3 shell's GROUP BY over cube_flat printed as CSV, read into one shape and
// compared.
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

// One line per difference between `got` and `expected`: a key only one has, or values that
// differ. Integers must be equal; a value written as a real may differ by `relative` of its
// size (sums of reals taken in a different order round differently).
std::vector<std::string> CompareAnswers(const Answers& got, const Answers& expected,
                                        double relative);

}  // namespace cubemill::bench
