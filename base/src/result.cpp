#include "tools/base/result.h"

#include <climits>
#include <cstring>

namespace tools {

std::string error_at(const std::string& path, long line, const std::string& text) {
  const std::string number = line > 0 ? std::to_string(line) : std::string();
  std::string out;
  out.reserve(path.size() + number.size() + text.size() + 3);
  out.append(path);
  if (!number.empty()) out.append(1, ':').append(number);
  out.append(": ").append(text);
  return out;
}

namespace {

Error system_error(const std::string& path, const char* what, int err, int code, ErrorKind kind) {
  return Error{code, path + ": " + what + ": " + std::strerror(err), FileLocation{path}, kind};
}

}  // namespace

Error open_error(const std::string& path, int err, int code) {
  return system_error(path, "cannot open", err, code, ErrorKind::kCannotOpen);
}

Error read_error(const std::string& path, int err, int code) {
  return system_error(path, "cannot read", err, code, ErrorKind::kCannotRead);
}

Error write_error(const std::string& path, int err, int code) {
  return system_error(path, "cannot write", err, code, ErrorKind::kCannotWrite);
}

Error parse_error(const std::string& path, long line, const std::string& text) {
  const long clamped = line < 1 ? 1 : (line > INT_MAX ? INT_MAX : line);
  return parse_error(path, line, text, static_cast<int>(-clamped));
}

Error parse_error(const std::string& path, long line, const std::string& text, int code) {
  return Error{code, error_at(path, line, text), FileLocation{path, line}, ErrorKind::kParse};
}

Error data_error(const std::string& path, int64_t offset, const std::string& text, int code, ErrorKind kind) {
  std::string message = path;
  if (offset >= 0) message += ": byte " + std::to_string(offset);
  message += ": " + text;
  return Error{code, std::move(message), FileLocation{path, 0, offset}, kind};
}

}  // namespace tools
