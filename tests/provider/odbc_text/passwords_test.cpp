#include "provider/odbc_text/passwords.h"

#include <gtest/gtest.h>

namespace cubemill::provider::odbc_text {
namespace {

// Every password in the cases below holds this text; nothing shown or stored may.
constexpr const char* kSecret = "s3cret";

TEST(PasswordsTest, MasksAndRemovesEveryPasswordTheDriverWouldRead) {
  const struct {
    const char* odbc;
    const char* masked;
    const char* removed;
    bool shortened;
  } cases[] = {
      {"DSN=Sales;UID=ann;PWD=s3cret", "DSN=Sales;UID=ann;PWD=***", "DSN=Sales;UID=ann", false},
      {"DRIVER={SQL Server};Password={a;s3cret}}x};Server=s;",
       "DRIVER={SQL Server};Password=***;Server=s;", "DRIVER={SQL Server};Server=s;", false},
      // A quote has no meaning of its own: the driver manager reads PWD as a pair of its own.
      {"DRIVER=SQLite3;Database=x.db;Description='Sales;PWD=s3cret",
       "DRIVER=SQLite3;Database=x.db;Description='Sales;PWD=***",
       "DRIVER=SQLite3;Database=x.db;Description='Sales", false},
      {" pwd = s3cret ;DSN=Sales", " pwd =***;DSN=Sales", "DSN=Sales", false},
      {"DSN=Sales;PassWord=s3cret;Source_Pwd=s3cret", "DSN=Sales;PassWord=***;Source_Pwd=***",
       "DSN=Sales", false},
      {"PWD=s3cret;DSN=Sales", "PWD=***;DSN=Sales", "DSN=Sales", false},
      {"DSN=Sales;PWD=;UID=ann", "DSN=Sales;PWD=***;UID=ann", "DSN=Sales;UID=ann", false},
      {"DRIVER=x;PWD={a}}b;s3cret};UID=u", "DRIVER=x;PWD=***;UID=u", "DRIVER=x;UID=u", false},
      {"SOURCE_DSN=\"DSN=x;PWD=\"\"s3cret\"\"\";LOCATION=c.cub",
       "SOURCE_DSN=\"DSN=x;PWD=***;LOCATION=c.cub", "SOURCE_DSN=\"DSN=x;LOCATION=c.cub", false},
      // A password key inside another value: only the driver or data source is kept.
      {"DRIVER={SQLite3};Database=x.db;Extra={UID=a;PWD=s3cret}", "DRIVER={SQLite3}",
       "DRIVER={SQLite3}", true},
      {"DSN=Sales;Description={notes;pwd =s3cret", "DSN=Sales", "DSN=Sales", true},
      {"Database=x.db; Driver = SQLite3 ;X={PASSWORD=s3cret}", "Driver=SQLite3", "Driver=SQLite3",
       true},
      {"DRIVER={x;PWD=s3cret}", "", "", true},
      // A line break is no blank around an ODBC key: "\r\nPWD" is not PWD to the driver manager.
      {"DSN=Sales;\r\nPWD=s3cret", "DSN=Sales", "DSN=Sales", true},
      // Nothing to hide: unchanged.
      {"DRIVER=SQLite3;Database=sales.db", "DRIVER=SQLite3;Database=sales.db",
       "DRIVER=SQLite3;Database=sales.db", false},
      {"PASSWORDS=kept;MYPWD=kept", "PASSWORDS=kept;MYPWD=kept", "PASSWORDS=kept;MYPWD=kept",
       false},
      {"", "", "", false},
  };
  for (const auto& c : cases) {
    const CleanConnection masked = MaskPasswords(c.odbc);
    const CleanConnection removed = RemovePasswords(c.odbc);
    EXPECT_EQ(masked, (CleanConnection{c.masked, c.shortened})) << c.odbc;
    EXPECT_EQ(removed, (CleanConnection{c.removed, c.shortened})) << c.odbc;
    EXPECT_EQ(masked.text.find(kSecret), std::string::npos) << c.odbc;
    EXPECT_EQ(removed.text.find(kSecret), std::string::npos) << c.odbc;
    EXPECT_FALSE(MayHoldPassword(removed.text)) << c.odbc;
  }
  EXPECT_FALSE(MayHoldPassword("MYPWD=x;PWDS=y;Note=the PWD is elsewhere;PWD"));
}

}  // namespace
}  // namespace cubemill::provider::odbc_text
