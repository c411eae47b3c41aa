#include "provider/source/odbc_handles.h"

#include <gtest/gtest.h>

#include <string>

namespace cubemill::provider::source {
namespace {

// A driver's message is one line of an error's description, whatever lines the driver wrote.
TEST(OdbcHandlesTest, JoinsTheLinesOfADriversMessage) {
  const struct {
    std::string message;
    std::string line;
  } cases[] = {
      // psqlODBC passes on libpq's message: a line, and a hint on an indented line.
      {"connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n"
       "\tIs the server running on that host and accepting TCP/IP connections?\n",
       "connection to server at \"127.0.0.1\", port 1 failed: Connection refused; "
       "Is the server running on that host and accepting TCP/IP connections?"},
      {"first\r\nsecond\rthird", "first; second; third"},
      {"\n  first  \n\n \t \nsecond\n\n", "first; second"},
      {"a\ttab and a \x01 control character", "a tab and a   control character"},
      {"no syntax error", "no syntax error"},
      {"  \n", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(OneLineDiagnostic(c.message), c.line) << c.message;
}

}  // namespace
}  // namespace cubemill::provider::source
