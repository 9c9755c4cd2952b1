// Result types used at every file boundary: a value, or an error that carries
// the integer code the calling command understands and a message that names
// the file and the line (or byte offset) where the problem was found.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tools {

struct Error {
  int code = 0;          // the operation's own result code (never 0)
  std::string message;   // "path:line: what is wrong"
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::move(value)) {}          // NOLINT(google-explicit-constructor)
  Result(Error error) : data_(std::move(error)) {}      // NOLINT(google-explicit-constructor)

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() { assert(ok()); return std::get<0>(data_); }
  const T& value() const { assert(ok()); return std::get<0>(data_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { assert(!ok()); return std::get<1>(data_); }
  int code() const { return ok() ? 0 : error().code; }

 private:
  std::variant<T, Error> data_;
};

// Result of an operation that yields no value.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  static Status success() { return {}; }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Error& error() const { assert(!ok()); return *error_; }
  int code() const { return ok() ? 0 : error_->code; }

 private:
  std::optional<Error> error_;
};

// Builds the message text "path:line: text" (line omitted when 0).
std::string error_at(const std::string& path, long line, const std::string& text);

}  // namespace tools
