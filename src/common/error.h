// Errors as values: what every public function of job/, oqy/ and provider/ returns on failure.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace cubemill {

// A failure with the three parts the run log reports: what went wrong, a number, and the name
// of the component that raised it.
struct Error {
  std::string description;
  long number = 0;
  std::string source;
  bool operator==(const Error&) const = default;
};

// Either a value or the Error that prevented it.
template <typename T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT: implicit on purpose
  Result(Error error) : state_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

}  // namespace cubemill
