// Fuzzes the password scrubbing of ODBC connection strings (RemovePasswords for what the cube
// file stores, MaskPasswords for what is shown). The first byte picks the mode.
//
// Generated: the rest of the input steers a generator that writes connection strings in which a
// known secret stands in the value of PWD, PASSWORD or SOURCE_PWD (bare, in braces, in quotes,
// among blanks, after other pairs whose quotes or braces may never close, nested in a braced
// value). The secret must not come out. Quotes have no meaning of their own to the driver
// manager, so the generator puts no ";" between a quote opening a password value and the secret:
// the secret is part of the password's value however the string is read.
//
// As it stands: the rest of the input is the connection string. Whatever it is, what comes out
// must hold nothing that a reader could take for a password pair, and a masked string no
// password value but the mask.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "provider/odbc_text/odbc_pairs.h"
#include "provider/odbc_text/passwords.h"

namespace {

namespace odbc_text = cubemill::provider::odbc_text;
using cubemill::fuzz::Check;

constexpr std::string_view kSecret = "S3cr3tXYZ";

// Characters the generated filler is made of: every one that matters to the scrubber, and
// letters that cannot spell the secret.
constexpr std::string_view kFillerCharacters = "ab ;={}\"'\t,.";

constexpr std::string_view kPasswordNames[] = {"PWD",        "pwd",        "Pwd",
                                               "PASSWORD",   "password",   "Password",
                                               "SOURCE_PWD", "source_pwd", "Source_Pwd"};
constexpr std::string_view kOtherNames[] = {
    "DSN",        "UID",      "DRIVER",      "Database", "Server",
    "SOURCE_DSN", "LOCATION", "Description", "StepAPI",  "Extended Properties"};

class Generator {
 public:
  explicit Generator(FuzzedDataProvider& input) : input_(input) {}

  // A connection string of a few pieces, at least one of them holding the secret.
  std::string ConnectionString(int depth) {
    std::string text;
    const int pieces = input_.ConsumeIntegralInRange(1, 6);
    const int secret_piece = input_.ConsumeIntegralInRange(0, pieces - 1);
    for (int i = 0; i < pieces; ++i) {
      if (i > 0) text += Separator();
      if (i == secret_piece) {
        text += PasswordPair();
        continue;
      }
      switch (input_.ConsumeIntegralInRange(0, 4)) {
        case 0:
          text += PasswordPair();
          break;
        case 1:
          text += Filler(true);  // a piece without a name, or not a pair at all
          break;
        case 2:
          if (depth < 2) {  // a pair whose value is a connection string of its own, in braces
            text += Name(kOtherNames) + "=" + Braced(ConnectionString(depth + 1), true);
            break;
          }
          [[fallthrough]];
        default:
          text += Name(kOtherNames) + "=" + OtherValue();
          break;
      }
    }
    if (input_.ConsumeBool()) text += ";";
    return text;
  }

 private:
  std::string Separator() {
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return ";;";
      case 1:
        return " ; ";
      default:
        return ";";
    }
  }

  template <std::size_t N>
  std::string Name(const std::string_view (&names)[N]) {
    std::string name(names[input_.ConsumeIntegralInRange<std::size_t>(0, N - 1)]);
    if (input_.ConsumeBool()) name = " " + name + " ";
    return name;
  }

  // Up to six characters of kFillerCharacters; with `semicolons` false, none is ";".
  std::string Filler(bool semicolons) {
    std::string text;
    const int length = input_.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < length; ++i) {
      const char c = kFillerCharacters[input_.ConsumeIntegralInRange<std::size_t>(
          0, kFillerCharacters.size() - 1)];
      if (c != ';' || semicolons) text += c;
    }
    return text;
  }

  // `content` in braces, "}" doubled inside; with `closed` false the closing brace is missing.
  static std::string Braced(std::string_view content, bool closed) {
    std::string text = "{";
    for (char c : content) {
      text += c;
      if (c == '}') text += c;
    }
    if (closed) text += "}";
    return text;
  }

  // `content` in double quotes, doubled inside, the closing one missing when `closed` is false.
  static std::string Quoted(std::string_view content, bool closed) {
    std::string text = "\"";
    for (char c : content) {
      text += c;
      if (c == '"') text += c;
    }
    if (closed) text += "\"";
    return text;
  }

  std::string PasswordPair() {
    std::string name = Name(kPasswordNames);
    // No ";" before the secret unless braces hold it; after it, anything.
    std::string value = Filler(false) + std::string(kSecret) + Filler(true);
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0:  // bare, no brace opening it
        if (value.front() == '{') value.insert(0, "a");
        break;
      case 1:
        value = Braced(Filler(true) + std::string(kSecret) + Filler(true), true);
        break;
      case 2:
        value = Braced(Filler(true) + std::string(kSecret) + Filler(true), false);
        break;
      default:
        value = Quoted(value, input_.ConsumeBool());
        break;
    }
    return name + "=" + std::string(input_.ConsumeIntegralInRange(0, 1), ' ') + value;
  }

  // The value of a pair that holds no secret: bare, or in braces or quotes that may not close.
  std::string OtherValue() {
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return Braced(Filler(true), input_.ConsumeBool());
      case 1:
        return Quoted(Filler(true), input_.ConsumeBool());
      default:
        return Filler(false);
    }
  }

  FuzzedDataProvider& input_;
};

void CheckGenerated(FuzzedDataProvider& input) {
  Generator generator(input);
  const std::string connection = generator.ConnectionString(0);
  const auto removed = odbc_text::RemovePasswords(connection);
  Check(removed.text.find(kSecret) == std::string::npos, "the password survived RemovePasswords",
        "input:  " + connection + "\n  output: " + removed.text);
  const auto masked = odbc_text::MaskPasswords(connection);
  Check(masked.text.find(kSecret) == std::string::npos, "the password survived MaskPasswords",
        "input:  " + connection + "\n  output: " + masked.text);
}

void CheckAsItStands(std::string_view connection) {
  const auto removed = odbc_text::RemovePasswords(connection);
  Check(!odbc_text::MayHoldPassword(removed.text), "RemovePasswords left a password key",
        "input:  " + std::string(connection) + "\n  output: " + removed.text);
  const auto masked = odbc_text::MaskPasswords(connection);
  for (const auto& pair : odbc_text::SplitOdbcPairs(masked.text)) {
    if (odbc_text::IsPasswordKey(pair.key)) {
      Check(!pair.has_equals || odbc_text::OdbcValueText(pair.value) == odbc_text::kPasswordMask,
            "MaskPasswords left a password value",
            "input:  " + std::string(connection) + "\n  output: " + masked.text);
    } else {
      Check(!odbc_text::MayHoldPassword(pair.text), "MaskPasswords left a password key",
            "input:  " + std::string(connection) + "\n  output: " + masked.text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    FuzzedDataProvider input(data + 1, size - 1);
    CheckGenerated(input);
  } else {
    CheckAsItStands(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  }
  return 0;
}
