#include "tools/base/line_reader.h"

#include <cstring>

namespace tools {

bool LineReader::next_raw(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  line_start_ = pos_;
  line_no_ = next_line_no_;
  ++reads_;
  const char* base = text_.data() + pos_;
  const std::size_t left = text_.size() - pos_;
  const std::size_t window = left < max_line_ ? left : max_line_;
  const void* nl = std::memchr(base, '\n', window);
  std::size_t len;
  if (nl != nullptr) {
    len = static_cast<std::size_t>(static_cast<const char*>(nl) - base);
    pos_ += len + 1;
    ++next_line_no_;
  } else if (window < left) {
    // The line is longer than the reader takes at once: the rest is read as
    // the next line (which belongs to the same line of the file).
    len = window;
    pos_ += len;
  } else {
    len = left;  // last line without a line feed
    pos_ += len;
  }
  if (len > 0 && base[len - 1] == '\r') --len;
  line = std::string_view(base, len);
  return true;
}

bool LineReader::next() {
  std::string_view raw;
  while (next_raw(raw)) {
    const std::size_t slack = text_.size() - static_cast<std::size_t>(raw.data() + raw.size() - text_.data());
    if (tok_.split(raw, slack) == 0) continue;
    if (tok_[0].front() == '/') continue;
    line_ = raw;
    return true;
  }
  line_ = {};
  tok_.split({});
  return false;
}

}  // namespace tools
