// The record of one job: what to build, where to log, and what the OQY file said.
#pragma once

#include <string>

namespace cubemill {

// The field names are the record's own from the program's design (the UpperCamel spelling
// included), shared with the window and the documentation: keep them as they are.
struct CubeJob {
  std::string Parameter;       // name of the job: the command-line parameter, or "Test"
  std::string CurrentDir;      // the current directory at set-up
  std::string OqyFile;         // path of the OQY file
  std::string GlobalSection;   // settings section that held LogDir ("MANUAL_GLOBAL" by hand)
  std::string LogDir;          // directory of the run log
  std::string CubTimestamp;    // date-time pattern for stamping the cube file; "" = none
  std::string VbsFile;         // path of the VBS script to write; "" = none
  std::string ConnectionLine;  // last OQY line holding "CONNECTION="; "" while unset
  std::string CubeFile;        // the connection's data source: the cube file
  std::string SourceDsn;       // the ODBC source of the cube's data
  std::string Dbq;             // database path named in the connection (shown only)
  std::string CreateCubeStmt;  // CREATE CUBE statement, with its closing ";"
  std::string InsertIntoStmt;  // INSERT INTO statement up to its SELECT
  std::string SelectStmt;      // the SELECT that feeds the load
  std::string Provider;        // OLE DB provider named in the connection
  std::string InitialCatalog;  // initial catalog named in the connection (shown only)
  std::string Aggregate;       // where the build aggregates (AGGREGATE key); "" = not given
  std::string Rollups;         // rows the stored rollups may hold (ROLLUPS key); "" = not given
  std::string Keep;            // stamped cubes of the series to keep (KEEP key); "" = all
  std::string Refresh;         // FULL or INCREMENTAL=<column> (REFRESH key); "" = FULL
  std::string RefreshBases;    // the job's cubes, newest first, one per line (set by the run)

  bool operator==(const CubeJob&) const = default;
};

}  // namespace cubemill
