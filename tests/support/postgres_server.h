// Throwaway PostgreSQL servers for the tests: started once per test program by
// scripts/pg-cluster.sh or scripts/pg-sharded.sh, asked with psql, stopped at the program's end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/sqlite_query.h"

namespace cubemill::test {

// What a shell command gave: its exit status (-1 when it did not end normally) and its standard
// output and standard error, in the order written.
struct CommandOutput {
  int status = -1;
  std::string text;
};

// Runs `command` with /bin/sh.
CommandOutput RunCommand(const std::string& command);

// `text` in single quotes for /bin/sh, a quote inside written as '\''.
std::string ShellQuoted(std::string_view text);

// A server that scripts/pg-cluster.sh started in `dir` (`script` is the path of that script):
// its port and the password of its role "cubemill", read from the files the script left.
class PostgresServer {
 public:
  PostgresServer(std::string script, std::string dir);

  const std::string& dir() const { return dir_; }
  const std::string& port() const { return port_; }
  const std::string& password() const { return password_; }

  // The connection string of psqlODBC's "PostgreSQL Unicode" driver that logs in to the
  // database "cubemill" as the role "cubemill" over TCP on 127.0.0.1, password included.
  std::string OdbcConnection() const;

  // Runs the statements of `sql` with psql as the role "cubemill" through the server's socket
  // and returns the rows of the last one, every value as text and NULL as "NULL". Fails the
  // current test with psql's message when a statement fails.
  Rows Psql(const std::string& sql) const;

 private:
  std::string script_;
  std::string dir_;
  std::string port_;
  std::string password_;
};

// Starts servers in a new temporary directory before the first test of the program and stops
// them after the last, also when tests failed: `script` (pg-cluster.sh or pg-sharded.sh) is run
// as `script start <dir> <arguments...> --watch <this process>`, and `script stop <dir>` at the
// end. The watch stops the servers of a program that is killed before its end; every program
// starts its own on fresh ports, so a killed one never stands in the way of the next.
// It also points ODBCSYSINI at a copy of the system's odbcinst.ini with psqlODBC's CommLog
// turned off, so that the programs the tests start leave no driver log behind.
class PostgresEnvironment : public ::testing::Environment {
 public:
  PostgresEnvironment(std::string script, std::vector<std::string> arguments);

  void SetUp() override;
  void TearDown() override;

  // The directory handed to the script (its servers in it, or in folders of it).
  const std::string& servers_dir() const { return servers_dir_; }
  const std::string& script() const { return script_; }

 private:
  std::string script_;
  std::vector<std::string> arguments_;
  std::string temporary_dir_;
  std::string servers_dir_;
};

}  // namespace cubemill::test
