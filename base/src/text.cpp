#include "tools/base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tools {

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Keywords are nearly always written in one case: try the bytes first.
  if (std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

int icompare(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(ascii_lower(a[i]));
    const auto cb = static_cast<unsigned char>(ascii_lower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int bytecompare(std::string_view a, std::string_view b) {
  const int c = a.compare(b);  // char_traits<char>::compare compares as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool istarts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

int parse_int(std::string_view text) {
  // Fast path: a plain run of up to nine digits, as list indices are.
  if (!text.empty() && text.size() <= 9) {
    unsigned value = 0;
    std::size_t k = 0;
    for (; k < text.size(); ++k) {
      const unsigned d = static_cast<unsigned>(text[k]) - '0';
      if (d > 9) break;
      value = value * 10 + d;
    }
    if (k > 0 && (k == text.size() || text[k] == ':')) return static_cast<int>(value);
  }
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 1LL << 32) value = 1LL << 32;  // saturate; clamped below
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

namespace {

// Exact powers of ten up to 10^22 (all exactly representable as doubles).
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals ("-12.3456") with at most 15 significant digits: the digits
// as an integer are exact in a double and so is 10^k for k <= 22, so one
// division gives the correctly rounded value (as from_chars would). Returns
// false for anything else.
bool parse_simple_decimal(const char* p, const char* end, double& out) {
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::uint64_t digits = 0;
  int count = 0;
  int fraction = 0;
  const char* start = p;
  while (p < end && *p >= '0' && *p <= '9') {
    digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    ++count;
  }
  if (p < end && *p == '.') {
    ++p;
    while (p < end && *p >= '0' && *p <= '9') {
      digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
      ++count;
      ++fraction;
    }
  }
  if (count == 0 || count > 15 || p == start) return false;
  // Anything but the end of the token (an exponent, say) takes the full path.
  if (p != end) return false;
  double v = static_cast<double>(digits) / kPow10[fraction];
  out = negative ? -v : v;
  return true;
}

}  // namespace

double parse_real(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  double value = 0.0;
  if (parse_simple_decimal(first, last, value)) return value;
  if (first < last && *first == '+') ++first;  // from_chars takes no plus sign
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  (void)ptr;
  // Out of range, no number at all, or not finite: 0, so later arithmetic
  // on scene values stays defined.
  if (ec != std::errc() || !std::isfinite(value)) return 0.0;
  return value;
}

std::string_view file_part(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string format_text(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return std::string(buf, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
}

std::string fixed_number(double value, int width, int precision) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  std::string text(buf, r.ptr);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace tools
