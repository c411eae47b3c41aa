// The PostgreSQL side of the push-down benchmark: the servers that scripts/pg-cluster.sh started
// (one, or a coordinator and its shards), asked through psql, and the CPU time they spend.
#pragma once

#include <string>
#include <vector>

namespace cubemill::bench {

// One set-up the benchmark builds from: a label for the tables ("single", "two shards") and the
// directories of its servers as pg-cluster.sh left them; builds and psql go to the first one,
// the CPU time of all of them is counted.
struct PgSetup {
  std::string label;
  std::vector<std::string> dirs;
};

// What psql gave: whether it ran cleanly, and its standard output (its messages when it failed).
struct PsqlOutput {
  bool ok = false;
  std::string text;
};

// Runs `sql` with `pg_cluster` psql as the role "cubemill" on the server in `dir`, unaligned,
// without headers, fields separated by kPsqlSeparator.
PsqlOutput Psql(const std::string& pg_cluster, const std::string& dir, const std::string& sql);

// The field separator of Psql's rows.
inline constexpr char kPsqlSeparator = '\x1f';

// The psqlODBC connection string a job's OQY file holds for the server in `dir` (its port and
// the password of "cubemill" read from the files pg-cluster.sh left), or "" after setting
// `error`.
std::string OdbcConnection(const std::string& dir, std::string& error);

// The CPU time (user + system) of the servers in `dirs`: each postmaster's own and that of the
// processes it has reaped (the backends of finished connections, parallel workers), in seconds;
// -1 when a postmaster cannot be read.
double ServerCpuSeconds(const std::vector<std::string>& dirs);

// Waits until no server of `dirs` has a process serving the role "cubemill" (a backend of a
// client, psqlODBC's or a coordinator's), at most `seconds`: the backends of a build that has
// just ended are gone then, and their CPU time is counted. Returns false when they were not.
bool WaitForBackends(const std::vector<std::string>& dirs, double seconds);

}  // namespace cubemill::bench
