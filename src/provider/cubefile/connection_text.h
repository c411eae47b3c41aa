// Removes credentials from connection strings before they are stored.
#pragma once

#include <string>
#include <string_view>

namespace cubemill::provider {

// Returns `connection` (";"-separated name=value pairs, values possibly in double quotes or
// braces) without its PWD, PASSWORD and SOURCE_PWD pairs, names compared without letter case.
// Quoted values that are themselves connection strings are cleaned the same way.
std::string RemovePasswords(std::string_view connection);

}  // namespace cubemill::provider
