#include "tools/base/line_tokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tools/base/line_reader.h"

namespace tools {
namespace {

std::vector<std::string> split(std::string_view line) {
  LineTokenizer t;
  t.split(line);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < t.size(); ++i) out.emplace_back(t[i]);
  return out;
}

using Tokens = std::vector<std::string>;

TEST(LineTokenizer, SplitsAtBlanksTabsAndCommas) {
  EXPECT_EQ(split("  *MESH_VERTEX    0\t1.0,2.0 ,, 3.0  "), (Tokens{"*MESH_VERTEX", "0", "1.0", "2.0", "3.0"}));
  EXPECT_EQ(split(""), Tokens{});
  EXPECT_EQ(split(" \t , "), Tokens{});
}

TEST(LineTokenizer, QuotedRunsKeepSeparatorsAndDropQuotes) {
  EXPECT_EQ(split("*NODE_NAME \"01 Hull, front\""), (Tokens{"*NODE_NAME", "01 Hull, front"}));
  // Quotes may start or end a run inside a token.
  EXPECT_EQ(split("a\"b c\"d e"), (Tokens{"ab cd", "e"}));
  // An empty quoted run gives no token, but does not swallow its neighbours.
  EXPECT_EQ(split("*MATERIAL_NAME \"\" next"), (Tokens{"*MATERIAL_NAME", "next"}));
  // An unterminated run goes to the end of the line.
  EXPECT_EQ(split("x \"open run, to end"), (Tokens{"x", "open run, to end"}));
}

TEST(LineTokenizer, KeepsAtMostThirtyTokens) {
  std::string line;
  for (int i = 0; i < 40; ++i) line += std::to_string(i) + " ";
  const Tokens t = split(line);
  ASSERT_EQ(t.size(), 30u);
  EXPECT_EQ(t.back(), "29");
  // Same with quoted runs in the line.
  const Tokens q = split("\"q\" " + line);
  ASSERT_EQ(q.size(), 30u);
  EXPECT_EQ(q.back(), "28");
}

TEST(LineTokenizer, LooksAtTheFirstThousandCharacters) {
  std::string line(995, ' ');
  line += "abcdefgh";  // characters 995..1002: only "abcde" is seen
  EXPECT_EQ(split(line), (Tokens{"abcde"}));
  std::string quoted = "\"" + std::string(1200, 'x') + "\"";
  const Tokens q = split(quoted);
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].size(), 999u);
}

// The splitting rules written as plainly as possible, to check the fast
// splitter against.
Tokens reference_split(std::string_view line) {
  line = line.substr(0, std::min<std::size_t>(line.size(), LineTokenizer::kMaxChars));
  Tokens out;
  std::string cur;
  bool quoted = false;
  for (std::size_t i = 0; i <= line.size() && out.size() < LineTokenizer::kMaxTokens; ++i) {
    const char c = i < line.size() ? line[i] : ' ';
    if (c == '"' && i < line.size()) {
      quoted = !quoted;
    } else if ((!quoted && (c == ' ' || c == '\t' || c == ',')) || i == line.size()) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

TEST(LineTokenizer, AgreesWithThePlainRulesOnRandomLines) {
  std::mt19937 rng(12345);
  const std::string alphabet = "  \t,\"{}ab/x123";
  LineTokenizer t;
  for (int iter = 0; iter < 20000; ++iter) {
    const std::size_t len = rng() % (iter % 10 == 0 ? 1100 : 90);
    std::string buf;
    for (std::size_t i = 0; i < len; ++i) {
      // Mostly quote-free lines, so the fast path is exercised too.
      char c = alphabet[rng() % alphabet.size()];
      if (c == '"' && rng() % 8 != 0) c = 'q';
      buf += c;
    }
    // The same line with and without readable bytes after it.
    const std::string padded = buf + std::string(20, 'Z');
    for (std::size_t slack : {std::size_t{0}, std::size_t{20}}) {
      const std::string_view line(slack ? padded.data() : buf.data(), len);
      t.split(line, slack);
      Tokens got;
      for (std::size_t i = 0; i < t.size(); ++i) got.emplace_back(t[i]);
      ASSERT_EQ(got, reference_split(line)) << "line: [" << std::string(line) << "] slack " << slack;
      const std::string_view seen = line.substr(0, std::min<std::size_t>(len, LineTokenizer::kMaxChars));
      EXPECT_EQ(t.has_brace(), seen.find_first_of("{}") != std::string_view::npos);
    }
  }
}

std::vector<std::pair<long, std::string>> read_all(std::string_view text, std::size_t max_line = 699) {
  LineReader r(text, max_line);
  std::vector<std::pair<long, std::string>> out;
  while (r.next()) out.emplace_back(r.line_number(), std::string(r[0]));
  return out;
}

TEST(LineReader, SkipsEmptyAndCommentLinesAndAcceptsCrLf) {
  const auto lines = read_all("first 1\r\n\r\n   \n/ comment\n  /x also comment\nsecond\r\nlast");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::pair<long, std::string>{1, "first"}));
  EXPECT_EQ(lines[1], (std::pair<long, std::string>{6, "second"}));
  EXPECT_EQ(lines[2], (std::pair<long, std::string>{7, "last"}));
}

TEST(LineReader, ReadsALongLineAsSeveral) {
  // 699 characters fit; the rest of the line is read as the next line.
  std::string text = std::string(698, 'a') + "b" + "tail\nnext\n";
  LineReader r(text, 699);
  ASSERT_TRUE(r.next());
  EXPECT_EQ(r[0].size(), 699u);
  ASSERT_TRUE(r.next());
  EXPECT_EQ(r[0], "tail");
  EXPECT_EQ(r.line_number(), 1);  // still the first line of the file
  ASSERT_TRUE(r.next());
  EXPECT_EQ(r[0], "next");
  EXPECT_EQ(r.line_number(), 2);
  EXPECT_FALSE(r.next());

  // Loamer's readers take 700 characters at once.
  std::string text700 = std::string(700, 'c') + "\n";
  LineReader r700(text700, 700);
  ASSERT_TRUE(r700.next());
  EXPECT_EQ(r700[0].size(), 700u);
  EXPECT_FALSE(r700.next());
}

TEST(LineReader, CommentMarkerMustStartTheFirstToken) {
  const auto lines = read_all("key /not-a-comment\n\"/quoted\" value\n");
  ASSERT_EQ(lines.size(), 1u);  // the quoted "/..." is still a comment token
  EXPECT_EQ(lines[0].second, "key");
}

}  // namespace
}  // namespace tools
