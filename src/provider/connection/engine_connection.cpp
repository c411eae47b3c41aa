#include <algorithm>
#include <cctype>
#include <regex>

#include "provider/connection.h"

namespace cubemill::provider {

bool IsEngineProvider(const std::string& name) {
  static const std::regex kPattern("msolap(\\.[0-9]+)?", std::regex::icase);
  return std::regex_match(name, kPattern);
}

namespace {

// The connection of a build without a cube engine: every Open fails.
class EngineConnection : public Connection {
 public:
  std::optional<Error> SetConnectionString(const std::string& text) override {
    connection_string_ = text;
    return std::nullopt;
  }
  std::optional<Error> SetProvider(const std::string& name) override {
    provider_ = name;
    return std::nullopt;
  }
  std::optional<Error> Open(const std::string&, const std::string&, const std::string&,
                            long) override {
    if (!IsEngineProvider(provider_))
      return Error{kProviderNotFoundText, kProviderNotFoundNumber, kConnectionSource};
    return Error{"This build of Cubemill has no cube engine: the cube file was not written.",
                 -2147467259, "Cubemill Cube Engine"};
  }
  std::optional<Error> Close() override { return std::nullopt; }

 private:
  std::string connection_string_;
  std::string provider_;
};

}  // namespace

std::unique_ptr<Connection> NewEngineConnection(RowProgress) {
  return std::make_unique<EngineConnection>();
}

}  // namespace cubemill::provider
