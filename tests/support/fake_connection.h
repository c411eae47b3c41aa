// A connection that records what a build asks of it and, when it opens, writes a small file at
// the connection string's LOCATION or fails as told.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "provider/connection/connection.h"
#include "support/test_support.h"

namespace cubemill::test {

struct FakeConnectionLog {
  std::vector<std::string> calls;
  std::optional<Error> open_error;      // what Open returns
  std::optional<Error> property_error;  // what SetProperty returns
  std::string cube_bytes = "cube";      // what Open writes at LOCATION when it succeeds
};

class FakeConnection : public provider::connection::Connection {
 public:
  explicit FakeConnection(FakeConnectionLog& log) : log_(log) {}
  std::optional<Error> SetConnectionString(const std::string& text) override {
    log_.calls.push_back("ConnectionString=" + text);
    connection_string_ = text;
    return std::nullopt;
  }
  std::optional<Error> SetProvider(const std::string& name) override {
    log_.calls.push_back("Provider=" + name);
    return std::nullopt;
  }
  std::optional<Error> SetProperty(const std::string& name, const std::string& value) override {
    log_.calls.push_back("Property " + name + "=" + value);
    return log_.property_error;
  }
  std::optional<Error> Open(const std::string& text, const std::string& user,
                            const std::string& password, long options) override {
    log_.calls.push_back("Open(" + text + "," + user + "," + password + "," +
                         std::to_string(options) + ")");
    if (log_.open_error) return log_.open_error;
    const std::size_t start = connection_string_.find("LOCATION=") + 9;
    const std::string location =
        connection_string_.substr(start, connection_string_.find(';') - start);
    WriteBytes(platform::NativePath(location), log_.cube_bytes);
    return std::nullopt;
  }
  std::optional<Error> Close() override {
    log_.calls.push_back("Close");
    return std::nullopt;
  }

 private:
  FakeConnectionLog& log_;
  std::string connection_string_;
};

// A factory for JobContext::new_connection that makes FakeConnections reporting into `log`.
inline auto FakeConnections(FakeConnectionLog& log) {
  return [&log]() -> std::unique_ptr<provider::connection::Connection> {
    return std::make_unique<FakeConnection>(log);
  };
}

}  // namespace cubemill::test
