// Result types used at every file boundary: a value, or an error that carries
// what went wrong (a typed kind), where (the file and the line or byte
// offset, as data), the integer code the calling command understands, and a
// message that names the file and the place.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tools {

// What went wrong, whichever operation reports it. Callers branch on the
// kind; the integer `code` stays what each operation has always returned.
enum class ErrorKind : std::uint8_t {
  kOther = 0,
  kCannotOpen,   // missing, unreadable, a directory, not a regular file
  kCannotRead,   // a read failed part way
  kCannotWrite,  // the output cannot be created, written or renamed
  kTooLarge,     // larger than any valid file of its kind can be
  kEndOfFile,    // the file ends inside a block, a field or a record
  kParse,        // text that is no valid line of its format
  kBadData,      // a field contradicts the format or the rest of the file
  kDoesNotFit,   // values a record cannot hold; a fixed capacity exceeded
  kBadArgument,  // the caller's request cannot be carried out
  kStopped,      // the person asked the work to stop
};

// The place an error refers to.
struct FileLocation {
  std::string path;     // the file as the user named it; "" when none
  long line = 0;        // 1-based line of a text file; 0 when not known
  int64_t offset = -1;  // byte offset in a binary file; -1 when not known
};

// The result codes shared by most operations (each operation's header lists
// its own; a negative code is a parse error at line -code).
inline constexpr int kCodeCannotOpen = 1;
inline constexpr int kCodeEndOfFile = 2;

struct Error {
  int code = 0;         // the operation's own result code (never 0)
  std::string message;  // "path:line: what is wrong"
  FileLocation where{};
  ErrorKind kind = ErrorKind::kOther;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : data_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() {
    assert(ok());
    return std::get<0>(data_);
  }
  const T& value() const {
    assert(ok());
    return std::get<0>(data_);
  }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const {
    assert(!ok());
    return std::get<1>(data_);
  }
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
  const Error& error() const {
    assert(!ok());
    return *error_;
  }
  int code() const { return ok() ? 0 : error_->code; }

 private:
  std::optional<Error> error_;
};

// Builds the message text "path:line: text" (line omitted when 0).
std::string error_at(const std::string& path, long line, const std::string& text);

// The errors every reader and writer reports in the same words:
//   "path: cannot open: reason", "path: cannot read: reason",
//   "path: cannot write: reason" (reason from strerror(err)),
//   "path:line: text" for a parse error (code -line unless given),
//   "path: byte N: text" for bad data at a byte offset.
Error open_error(const std::string& path, int err, int code = kCodeCannotOpen);
Error read_error(const std::string& path, int err, int code = kCodeCannotOpen);
Error write_error(const std::string& path, int err, int code = kCodeCannotOpen);
Error parse_error(const std::string& path, long line, const std::string& text);
Error parse_error(const std::string& path, long line, const std::string& text, int code);
Error data_error(const std::string& path, int64_t offset, const std::string& text, int code,
                 ErrorKind kind = ErrorKind::kBadData);

}  // namespace tools
