#include "orvo/model/result.h"

namespace orvo {

std::string error_at(const std::string& path, long line, const std::string& text) {
  std::string out = path;
  if (line > 0) out += ":" + std::to_string(line);
  out += ": ";
  out += text;
  return out;
}

}  // namespace orvo
