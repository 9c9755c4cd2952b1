#include "tools/base/result.h"

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

}  // namespace tools
