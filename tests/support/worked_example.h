// The OQY connection line of the worked example the tests share, and the job fields it gives.
#pragma once

#include <string>

#include "common/cube_job.h"

namespace cubemill::test {

// The connection line: the keys one after the other, without blanks.
inline const std::string kWorkedExampleLine =
    "Connection=Provider=MSOLAP;Initial Catalog=Sales;Data Source=C:\\Cubes\\sales.cub;"
    "CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] );"
    "InsertInto=INSERT INTO OCWCube([Region].[Region]) SELECT region FROM orders;"
    "Source_DSN=\"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader\";";

// A job of `parameter` whose eight extracted fields hold the values of kWorkedExampleLine.
inline CubeJob WorkedExampleJob(const std::string& parameter = "Test") {
  CubeJob job;
  job.Parameter = parameter;
  job.Provider = "MSOLAP";
  job.InitialCatalog = "Sales";
  job.CubeFile = "C:\\Cubes\\sales.cub";
  job.CreateCubeStmt = "CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] );";
  job.InsertIntoStmt = "INSERT INTO OCWCube([Region].[Region]) ";
  job.SelectStmt = "SELECT region FROM orders";
  job.SourceDsn = "DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader";
  job.Dbq = "C:\\Data\\sales.mdb";
  return job;
}

}  // namespace cubemill::test
