// Builds a cube file from the two statements of a connection string and the rows of its source.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "platform/clock.h"
#include "provider/connection/source_aggregation.h"
#include "provider/connection/stage_times.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

// Rows between two calls of the progress callback.
inline constexpr std::uint64_t kProgressEveryRows = 10000;

// How BuildCube reads its source.
struct BuildOptions {
  // Read the source on a thread of its own while its rows are aggregated on the calling thread
  // (source::ReadAheadSource), and compute the stored rollups on a second thread while the cells
  // are written; false does everything on the calling thread alone. Both give the same file.
  bool read_ahead = true;
  // Where the rows are aggregated. kSource sends the source connection::GroupedSelect instead of
  // the SELECT; kAuto does so when `survey` finds it worth it (GroupAtSource), and reads every
  // row instead when the source refuses or fails the grouped statement.
  Aggregation aggregation = Aggregation::kAuto;
  // Asks the source behind an ODBC connection string what it is and how many rows it expects
  // each of the statements to give (source::SurveySource); without it kAuto reads every row.
  // kSource asks it too: the answer picks the grouped statement's dialect (source::DialectOfDbms)
  // and whether its result is read without a cursor (ReadGroupsWhole).
  std::function<Result<SourceFacts>(const std::string& connection,
                                    const std::vector<std::string>& statements)>
      survey;
  // Told which way the build aggregates ("Aggregation: source" or "Aggregation: client") and why
  // it read every row after all.
  InfoMessage info;
  // Rows the stored rollups may hold in all (aggregate::BuildRollups); nothing: as many as the
  // cube has cells; 0: no rollups.
  std::optional<std::uint64_t> rollups;
  // The refresh column (kRefreshProperty's INCREMENTAL=<column> or FULL=<column>); "" reads every
  // row as it is and records no watermark.
  std::string refresh_column;
  // The cube files an incremental refresh may start from, newest first (kRefreshBaseProperty);
  // none for FULL=<column>, which builds in full.
  std::vector<std::string> refresh_bases;
  // FULL=<column>: a full build by the refresh column, which its info message says was asked for.
  bool refresh_full = false;
  // Told how long each stage took: "base" (reading the base cube), "plan" (asking the source
  // about the refresh column), "seed" (the base's members and cells into the builder), "rows"
  // (reading and aggregating the rows), "finish" (ordering and numbering members and cells),
  // "rollups" (computing the stored rollups, on their own thread while the cells are written when
  // `read_ahead`) and "write" (the cube file, rollups included). Nothing: nothing is timed.
  StageTimed stage_timed;
};

// Builds the cube the connection string describes: reads LOCATION, SOURCE_DSN (with
// SOURCE_DSN_SUFFIX, SOURCE_UID, SOURCE_PWD), CREATECUBE and INSERTINTO, parses both
// statements, reads the SELECT's rows through `open_source`, aggregates them and writes the
// cube file at LOCATION. With USEEXISTINGFILE set and a file at LOCATION nothing is built.
// Returns the first failure; a failed build leaves no new file and an earlier cube unchanged.
// `clock` dates the cube file. The source is opened on the calling thread, and `progress` is
// called there. Exceptions, also those the source throws while it is read ahead, are the
// caller's to catch (the connection does).
std::optional<Error> BuildCube(std::string_view connection_string, const SourceOpener& open_source,
                               const RowProgress& progress, const platform::Clock& clock,
                               const BuildOptions& options = {});

}  // namespace cubemill::provider::connection
