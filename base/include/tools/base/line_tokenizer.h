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

namespace tools {

class LineTokenizer {
 public:
  static constexpr std::size_t kMaxChars = 1000;
  static constexpr std::size_t kMaxTokens = 30;

  // Splits `line`. The tokens stay valid until the next call or until the
  // line's storage goes away (tokens without quotes point into `line`).
  // `slack` is how many bytes after the line may be read (never used as
  // part of a token); a reader of a whole buffer passes what is left of it,
  // which lets the splitter look at 16 characters at once up to the end.
  std::size_t split(std::string_view line, std::size_t slack = 0);

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Token i, or an empty view when the line has fewer tokens (a missing value
  // reads as an empty string).
  std::string_view operator[](std::size_t i) const { return i < count_ ? tokens_[i] : std::string_view{}; }
  std::string_view back() const { return count_ ? tokens_[count_ - 1] : std::string_view{}; }
  // True when the characters looked at hold a "{" or "}" (inside a token or
  // not); readers that track nesting look at the tokens only then.
  bool has_brace() const { return has_brace_; }

 private:
  std::size_t split_quoted(std::string_view line);

  std::array<std::string_view, kMaxTokens> tokens_{};
  std::size_t count_ = 0;
  bool has_brace_ = false;
  std::array<char, kMaxChars> scratch_{};  // holds tokens rebuilt around quotes
};

}  // namespace tools
