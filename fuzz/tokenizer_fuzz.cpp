// Fuzz target for the line reader and the line splitter that every text
// reader of the tool stands on.
//
// The first input byte picks the reader's line length (the two real ones,
// short ones that cut lines into many pieces, long ones that hand the
// splitter more than it looks at); the rest is the text. Checked:
//   - at most 30 tokens, none empty, none longer than 1000 characters;
//   - has_brace() tells whether the characters looked at hold a brace;
//   - the bytes a caller allows the splitter to look at after a line change
//     nothing (and, with the text at the very end of its buffer, ASan sees
//     any look beyond them);
//   - the tokens are those of a plain character-by-character reading of the
//     splitting rules (blanks, tabs and commas separate; double quotes start
//     and end a run in which they do not; only the first 1000 characters
//     count);
//   - the raw pieces cover the text exactly, in order, each at most the line
//     length, without line feeds, and carry the right line numbers;
//   - next() gives exactly the raw pieces that have tokens and are no
//     "/" comment.
#define FUZZ_TARGET_NAME "tokenizer_fuzz"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/line_reader.h"
#include "tools/base/line_tokenizer.h"
#include "tools/test/fuzz_check.h"

namespace {

using tools::LineReader;
using tools::LineTokenizer;

std::vector<std::string> plain_split(std::string_view line) {
  if (line.size() > 1000) line = line.substr(0, 1000);
  std::vector<std::string> out;
  std::string token;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t' || c == ',')) {
      if (!token.empty()) out.push_back(std::move(token));
      token.clear();
      if (out.size() == 30) return out;
    } else {
      token += c;
    }
  }
  if (!token.empty()) out.push_back(std::move(token));
  return out;
}

void check_tokens(const LineTokenizer& tok, std::string_view line) {
  const std::size_t n = tok.size();
  FUZZ_CHECK(n <= LineTokenizer::kMaxTokens, n, 0);
  FUZZ_CHECK(tok.empty() == (n == 0), n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    FUZZ_CHECK(!tok[i].empty(), i, n);
    FUZZ_CHECK(tok[i].size() <= LineTokenizer::kMaxChars, i, tok[i].size());
  }
  FUZZ_CHECK(tok[n].empty() && tok[n + 7].empty(), n, 0);
  FUZZ_CHECK(tok.back() == (n ? tok[n - 1] : std::string_view{}), n, 0);

  const std::string_view looked_at = line.substr(0, LineTokenizer::kMaxChars);
  FUZZ_CHECK(tok.has_brace() == (looked_at.find_first_of("{}") != std::string_view::npos), tok.has_brace(), n);

  const std::vector<std::string> expected = plain_split(line);
  FUZZ_CHECK(expected.size() == n, expected.size(), n);
  for (std::size_t i = 0; i < n; ++i) FUZZ_CHECK(tok[i] == expected[i], i, n);
}

bool has_tokens_and_is_no_comment(std::string_view raw, LineTokenizer& scratch) {
  return scratch.split(raw) > 0 && scratch[0].front() != '/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t max_line;
  switch (data[0] & 3) {
    case 0:
      max_line = 699;  // the model tool's readers
      break;
    case 1:
      max_line = 700;  // the terrain generator's
      break;
    case 2: max_line = 1 + (data[0] >> 2); break;                             // 1 to 64
    default: max_line = 990 + static_cast<std::size_t>(data[0] >> 2); break;  // around the splitter's limit
  }
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The splitter alone, on the whole text as one line, and on pieces of it
  // that may look at the rest of the text.
  {
    LineTokenizer tok;
    tok.split(text);
    check_tokens(tok, text);
    const std::size_t cuts[] = {text.size() / 2, text.size() > 0 ? text.size() - 1 : 0,
                                std::min<std::size_t>(text.size(), 17), std::min<std::size_t>(text.size(), 1003)};
    for (const std::size_t cut : cuts) {
      const std::string_view piece = text.substr(0, cut);
      tok.split(piece, text.size() - cut);
      check_tokens(tok, piece);
    }
  }

  // Raw pieces.
  std::vector<std::string_view> kept;
  std::vector<long> kept_numbers;
  {
    LineReader reader(text, max_line);
    LineTokenizer scratch;
    std::string_view raw;
    std::size_t expected_offset = 0;
    long expected_line = 1;
    while (reader.next_raw(raw)) {
      const std::size_t offset = reader.offset();
      const std::size_t end = text.size() - reader.remaining_bytes();
      FUZZ_CHECK(offset == expected_offset, offset, expected_offset);
      FUZZ_CHECK(reader.line_number() == expected_line, reader.line_number(), expected_line);
      FUZZ_CHECK(raw.data() == text.data() + offset, offset, 0);
      FUZZ_CHECK(raw.size() <= max_line, raw.size(), max_line);
      FUZZ_CHECK(raw.find('\n') == std::string_view::npos, offset, 0);
      FUZZ_CHECK(end > offset && end <= text.size(), end, offset);
      // What was consumed: the piece, then perhaps a CR, then perhaps a LF.
      std::string_view rest = text.substr(offset + raw.size(), end - offset - raw.size());
      const bool lf = !rest.empty() && rest.back() == '\n';
      if (lf) rest.remove_suffix(1);
      if (!rest.empty() && rest.front() == '\r') rest.remove_prefix(1);
      FUZZ_CHECK(rest.empty(), offset, rest.size());
      if (!lf) FUZZ_CHECK(end == text.size() || end - offset == max_line, end, offset);
      if (lf) ++expected_line;
      expected_offset = end;
      if (has_tokens_and_is_no_comment(raw, scratch)) {
        kept.push_back(raw);
        kept_numbers.push_back(reader.line_number());
      }
    }
    FUZZ_CHECK(expected_offset == text.size(), expected_offset, text.size());
    FUZZ_CHECK(reader.remaining_bytes() == 0, reader.remaining_bytes(), 0);
    FUZZ_CHECK(!reader.next_raw(raw), 0, 0);
  }

  // Token lines.
  {
    LineReader reader(text, max_line);
    std::size_t i = 0;
    while (reader.next()) {
      FUZZ_CHECK(i < kept.size(), i, kept.size());
      FUZZ_CHECK(reader.line().data() == kept[i].data() && reader.line().size() == kept[i].size(), i, kept[i].size());
      FUZZ_CHECK(reader.line_number() == kept_numbers[i], reader.line_number(), kept_numbers[i]);
      FUZZ_CHECK(reader.size() > 0 && reader[0].front() != '/', i, reader.size());
      FUZZ_CHECK(reader.size() == reader.tokens().size(), reader.size(), reader.tokens().size());
      check_tokens(reader.tokens(), reader.line());
      ++i;
    }
    FUZZ_CHECK(i == kept.size(), i, kept.size());
    FUZZ_CHECK(reader.size() == 0 && reader.line().empty(), reader.size(), 0);
  }
  return 0;
}
