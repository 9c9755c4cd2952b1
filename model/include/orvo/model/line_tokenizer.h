// The one text-line splitter of both programs.
//
// It looks at the first 1000 characters of a line and splits them into at
// most 30 tokens at blanks, tabs and commas. A double quote starts or ends a
// quoted run in which separators are ordinary characters; the quotes are not
// part of the token, and an empty quoted run gives no token. Text beyond the
// 30th token is ignored.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orvo {

class LineTokenizer {
 public:
  static constexpr std::size_t kMaxChars = 1000;
  static constexpr std::size_t kMaxTokens = 30;

  // Splits `line`. The tokens stay valid until the next call or until the
  // line's storage goes away (tokens without quotes point into `line`).
  std::size_t split(std::string_view line);

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Token i, or an empty view when the line has fewer tokens (a missing value
  // reads as an empty string).
  std::string_view operator[](std::size_t i) const { return i < count_ ? tokens_[i] : std::string_view{}; }
  std::string_view back() const { return count_ ? tokens_[count_ - 1] : std::string_view{}; }

 private:
  std::size_t split_quoted(std::string_view line);

  std::array<std::string_view, kMaxTokens> tokens_{};
  std::size_t count_ = 0;
  std::array<char, kMaxChars> scratch_{};  // holds tokens rebuilt around quotes
};

}  // namespace orvo
