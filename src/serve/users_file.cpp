#include "serve/users_file.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <fstream>
#include <sstream>

#include "platform/ascii_text.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "serve/serve_error.h"

namespace cubemill::serve {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr int kIterations = 200'000;
constexpr int kSaltBytes = 16, kHashBytes = 32;

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(written));
  return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string out(3 * text.size() / 4, '\0');
  const int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  if (written < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding as zero bytes.
  std::size_t length = static_cast<std::size_t>(written);
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) --length;
  out.resize(length);
  return out;
}

std::string Hash(std::string_view password, std::string_view salt, int iterations) {
  std::string hash(kHashBytes, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), iterations, EVP_sha256(), kHashBytes,
                    reinterpret_cast<unsigned char*>(hash.data()));
  return hash;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(line);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

std::string UsersFile::NameProblem(std::string_view name) {
  if (name.empty() || name.size() > 64) return "a user's name has 1 to 64 characters";
  for (const char c : name) {
    if (c == ':') return "a user's name has no \":\"";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return "a user's name has no control character";
  }
  return "";
}

Result<UsersFile> UsersFile::Read(const std::string& path) {
  std::ifstream in(path);
  if (!in) return ServeError("cannot read the users file " + path);
  UsersFile file;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (platform::TrimBlanks(line).empty() || line.front() == '#') continue;
    const std::vector<std::string> parts = Split(line, ':');
    User user;
    bool good = parts.size() == 5 && parts[1] == kScheme && NameProblem(parts[0]).empty();
    if (good) {
      user.name = parts[0];
      user.iterations = std::atoi(parts[2].c_str());
      auto salt = FromBase64(parts[3]);
      auto hash = FromBase64(parts[4]);
      good = user.iterations > 0 && salt && hash && hash->size() == kHashBytes;
      if (good) {
        user.salt = std::move(*salt);
        user.hash = std::move(*hash);
      }
    }
    if (!good)
      return ServeError("the users file " + path + ", line " + std::to_string(number) +
                        ": expected name:" + std::string(kScheme) + ":iterations:salt:hash");
    file.users_.push_back(std::move(user));
  }
  return file;
}

bool UsersFile::Accepts(std::string_view name, std::string_view password) const {
  for (const User& user : users_) {
    if (user.name != name) continue;
    const std::string hash = Hash(password, user.salt, user.iterations);
    return CRYPTO_memcmp(hash.data(), user.hash.data(), hash.size()) == 0;
  }
  return false;
}

std::optional<Error> UsersFile::AddUser(const std::string& path, std::string_view name,
                                        std::string_view password) {
  if (const std::string problem = NameProblem(name); !problem.empty()) return ServeError(problem);
  std::string kept;
  if (std::ifstream in(path); in) {
    std::string line;
    while (std::getline(in, line)) {
      if (line.starts_with(std::string(name) + ":")) continue;
      kept += line + "\n";
    }
  }
  std::string salt(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1)
    return ServeError("no random bytes for the salt");
  kept += std::string(name) + ":" + std::string(kScheme) + ":" + std::to_string(kIterations) + ":" +
          Base64(salt) + ":" + Base64(Hash(password, salt, kIterations)) + "\n";
  // A new file is made readable by its owner only before anything is written to it; replacing it
  // keeps its mode.
  if (auto failure = platform::CreateOwnerOnlyFile(path)) return failure;
  return platform::WriteFileAtomically(path, kept);
}

std::optional<std::pair<std::string, std::string>> BasicCredentials(std::string_view header) {
  header = platform::TrimBlanks(header);
  constexpr std::string_view kBasic = "Basic ";
  if (header.size() <= kBasic.size() ||
      !platform::EqualsIgnoringCase(header.substr(0, kBasic.size()), kBasic))
    return std::nullopt;
  const std::optional<std::string> decoded =
      FromBase64(platform::TrimBlanks(header.substr(kBasic.size())));
  if (!decoded) return std::nullopt;
  const std::size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

}  // namespace cubemill::serve
