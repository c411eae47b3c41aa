// The users a server accepts: a file of names and salted password hashes (PBKDF2 with SHA-256),
// one user a line, "name:pbkdf2-sha256:iterations:salt:hash" (salt and hash in base64). No
// password is ever stored or logged.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

namespace cubemill::serve {

class UsersFile {
 public:
  // Reads the users of `path`. Fails naming the line of a malformed entry.
  static Result<UsersFile> Read(const std::string& path);

  // Whether `name` is a user whose password is `password` (compared in constant time).
  bool Accepts(std::string_view name, std::string_view password) const;
  bool Empty() const { return users_.empty(); }

  // Adds user `name` with `password` to the file at `path` (made when missing, readable by its
  // owner only), replacing an entry of that name; the file is replaced whole or not at all.
  static std::optional<Error> AddUser(const std::string& path, std::string_view name,
                                      std::string_view password);

  // Why `name` cannot be a user's name ("" when it can): it must be 1 to 64 characters, no ":"
  // and no control character.
  static std::string NameProblem(std::string_view name);

 private:
  struct User {
    std::string name;
    int iterations = 0;
    std::string salt, hash;  // raw bytes
  };
  std::vector<User> users_;
};

// The user and password of an HTTP "Authorization: Basic ..." value, or nothing when it is none.
std::optional<std::pair<std::string, std::string>> BasicCredentials(std::string_view header);

}  // namespace cubemill::serve
