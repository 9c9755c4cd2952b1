#include "tools/base/line_tokenizer.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tools {

namespace {

// Character classes: 1 separator, 2 double quote, 3 brace, 0 anything else.
struct CharClasses {
  unsigned char cls[256] = {};
  constexpr CharClasses() {
    cls[static_cast<unsigned char>(' ')] = 1;
    cls[static_cast<unsigned char>('\t')] = 1;
    cls[static_cast<unsigned char>(',')] = 1;
    cls[static_cast<unsigned char>('"')] = 2;
    cls[static_cast<unsigned char>('{')] = 3;
    cls[static_cast<unsigned char>('}')] = 3;
  }
};
constexpr CharClasses kClasses;

inline bool is_separator(char c) {
  return kClasses.cls[static_cast<unsigned char>(c)] == 1;
}

}  // namespace

#if defined(__SSE2__)

// Bits of 16 characters: separators, and quote or brace characters.
inline void classify16(const char* p, unsigned& sep, unsigned& special) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i s =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                   _mm_cmpeq_epi8(v, _mm_set1_epi8(',')));
  const __m128i q =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('{'))),
                   _mm_cmpeq_epi8(v, _mm_set1_epi8('}')));
  sep = static_cast<unsigned>(_mm_movemask_epi8(s));
  special = static_cast<unsigned>(_mm_movemask_epi8(q));
}

std::size_t LineTokenizer::split(std::string_view line, std::size_t slack) {
  if (line.size() > kMaxChars) {
    slack += line.size() - kMaxChars;
    line = line.substr(0, kMaxChars);
  }
  const std::size_t n = line.size();
  const char* data = line.data();

  // Separator bits of the whole line, 64 characters a word; characters past
  // the end count as separators so that the last token ends. Quote and brace
  // characters are noted on the way.
  constexpr std::size_t kWords = (kMaxChars + 63) / 64;
  std::uint64_t sep[kWords + 1];
  const std::size_t words = (n + 63) / 64;
  bool quotes = false;
  has_brace_ = false;
  for (std::size_t w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 64; b += 16) {
      const std::size_t at = w * 64 + b;
      if (at >= n) {
        word |= ~std::uint64_t{0} << b;
        break;
      }
      const std::size_t left = n - at;
      unsigned sep_bits, special_bits;
      if (left >= 16 || left + slack >= 16) {
        // Whole block readable (the caller vouches for `slack` bytes after
        // the line); bits past the line's end are masked.
        classify16(data + at, sep_bits, special_bits);
        if (left < 16) {
          const unsigned valid = (1u << left) - 1;
          sep_bits = (sep_bits & valid) | (~valid & 0xFFFFu);
          special_bits &= valid;
        }
      } else {
        // The line ends at the end of its buffer: the tail goes one by one.
        sep_bits = 0xFFFF;
        special_bits = 0;
        for (std::size_t i = 0; i < left; ++i) {
          const unsigned char c = kClasses.cls[static_cast<unsigned char>(data[at + i])];
          if (c != 1) sep_bits &= ~(1u << i);
          if (c >= 2) special_bits |= 1u << i;
        }
      }
      if (special_bits != 0) {
        for (unsigned bits = special_bits; bits != 0; bits &= bits - 1) {
          if (data[at + static_cast<std::size_t>(__builtin_ctz(bits))] == '"') quotes = true;
          else has_brace_ = true;
        }
      }
      word |= static_cast<std::uint64_t>(sep_bits) << b;
    }
    sep[w] = word;
  }
  sep[words] = ~std::uint64_t{0};
  if (quotes) return split_quoted(line);

  // Token starts are non-separators after a separator, token ends
  // separators after a non-separator; they alternate, so within a word the
  // k-th start pairs with the k-th end once a token left open by the word
  // before is closed.
  count_ = 0;
  std::uint64_t carry = 1;  // before the line: a separator
  std::size_t open_start = 0;
  bool open = false;
  for (std::size_t w = 0; w <= words; ++w) {
    const std::uint64_t s = sep[w];
    const std::uint64_t before = (s << 1) | carry;
    std::uint64_t starts = ~s & before;
    std::uint64_t ends = s & ~before;
    carry = s >> 63;
    const std::size_t base = w * 64;
    if (open) {
      if (ends == 0) continue;
      const std::size_t stop = base + static_cast<std::size_t>(__builtin_ctzll(ends));
      ends &= ends - 1;
      tokens_[count_++] = std::string_view(data + open_start, stop - open_start);
      open = false;
      if (count_ == kMaxTokens) return count_;
    }
    while (starts != 0) {
      const std::size_t start = base + static_cast<std::size_t>(__builtin_ctzll(starts));
      starts &= starts - 1;
      if (ends == 0) {
        open_start = start;
        open = true;
        break;
      }
      const std::size_t stop = base + static_cast<std::size_t>(__builtin_ctzll(ends));
      ends &= ends - 1;
      tokens_[count_++] = std::string_view(data + start, stop - start);
      if (count_ == kMaxTokens) return count_;
    }
  }
  return count_;
}

#else

std::size_t LineTokenizer::split(std::string_view line, std::size_t /*slack*/) {
  if (line.size() > kMaxChars) line = line.substr(0, kMaxChars);
  has_brace_ = line.find_first_of("{}") != std::string_view::npos;

  // Common case: no quotes, every token is a view into the line itself. A
  // quote anywhere sends the whole line to the slower path that rebuilds
  // tokens without their quote characters.
  count_ = 0;
  const char* p = line.data();
  const char* end = p + line.size();
  while (count_ < kMaxTokens) {
    unsigned char c = 1;
    while (p < end && (c = kClasses.cls[static_cast<unsigned char>(*p)]) == 1) ++p;
    if (p == end) break;
    if (c == 2) return split_quoted(line);
    const char* start = p;
    while (p < end && ((c = kClasses.cls[static_cast<unsigned char>(*p)]) == 0 || c == 3)) ++p;
    if (c == 2 && p < end) return split_quoted(line);
    tokens_[count_++] = std::string_view(start, static_cast<std::size_t>(p - start));
  }
  return count_;
}

#endif

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

}  // namespace tools
