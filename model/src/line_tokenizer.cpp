#include "orvo/model/line_tokenizer.h"

#include <cstring>

namespace orvo {

namespace {

inline bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

}  // namespace

std::size_t LineTokenizer::split(std::string_view line) {
  if (line.size() > kMaxChars) line = line.substr(0, kMaxChars);
  if (std::memchr(line.data(), '"', line.size()) != nullptr) return split_quoted(line);

  // Common case: no quotes, every token is a view into the line itself.
  count_ = 0;
  const char* p = line.data();
  const char* end = p + line.size();
  while (count_ < kMaxTokens) {
    while (p < end && is_separator(*p)) ++p;
    if (p == end) break;
    const char* start = p;
    while (p < end && !is_separator(*p)) ++p;
    tokens_[count_++] = std::string_view(start, static_cast<std::size_t>(p - start));
  }
  return count_;
}

std::size_t LineTokenizer::split_quoted(std::string_view line) {
  // Tokens are rebuilt in the scratch buffer without their quote characters.
  // A token never holds more characters than the line, so the buffer of 1000
  // characters always has room.
  count_ = 0;
  std::size_t out = 0;
  std::size_t token_start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    const bool at_end = i == line.size();
    const char c = at_end ? '\0' : line[i];
    if (!at_end && c == '"') {
      quoted = !quoted;
      continue;
    }
    if (at_end || (!quoted && is_separator(c))) {
      if (out > token_start) {
        tokens_[count_++] = std::string_view(scratch_.data() + token_start, out - token_start);
        if (count_ == kMaxTokens) break;
      }
      token_start = out;
      continue;
    }
    scratch_[out++] = c;
  }
  return count_;
}

}  // namespace orvo
