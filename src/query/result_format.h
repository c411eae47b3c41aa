// Writes a query's answer as an aligned text table, as CSV or as JSON.
#pragma once

#include <string>

#include "query/query_evaluator.h"

namespace cubemill::query {

// A cell's value as text: an integer in decimal, a real in the shortest form that reads back
// as the same number, "" for NULL.
std::string ValueText(const provider::cubefile::CellValue& value);

// The table with the row headers on the left (one column per member of a row's tuple) and one
// header line per member of a column's tuple; names left-aligned, numbers right-aligned, two
// blanks between columns, NULL as blank.
std::string FormatText(const QueryResult& result);

// The same grid as CSV (RFC 4180: CRLF line ends, fields with a comma, a quote or a line
// break in quotes), NULL as an empty field.
std::string FormatCsv(const QueryResult& result);

// {"columns": [[names...]...], "rows": [[names...]...], "cells": [[values...]...]}: numbers as
// numbers, NULL (and a real that is not finite) as null.
std::string FormatJson(const QueryResult& result);

}  // namespace cubemill::query
