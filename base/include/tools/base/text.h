// Small text helpers shared by every reader: case-insensitive comparison and
// number reading that does not depend on the user's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tools {

inline char ascii_upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
// `s` with the letters a to z in upper case.
inline std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

// Equal without regard to the case of the letters a to z.
bool iequals(std::string_view a, std::string_view b);
// Three-way comparison without regard to case, by the bytes of the lower-case
// forms, as the C library's stricmp compares.
int icompare(std::string_view a, std::string_view b);
// Three-way comparison by bytes (unsigned), as strcmp compares.
int bytecompare(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, ignoring case.
bool istarts_with(std::string_view text, std::string_view prefix);

// Reads a decimal integer as the C library's atoi does: leading blanks and
// tabs skipped, an optional sign, digits up to the first non-digit; 0 when
// there are none. Values beyond the int range are clamped to it.
int parse_int(std::string_view text);

// Reads a decimal real as atof does (the longest valid prefix, 0 when there
// is none), in the C locale whatever the process locale is. Infinite or
// not-a-number results become 0 so later arithmetic stays defined.
double parse_real(std::string_view text);

// Text after the last '\\' or '/' of a path.
std::string_view file_part(std::string_view path);

// printf into a string, for log lines of integers and texts (at most 511
// characters; real numbers go through fixed_number, which never depends on
// the locale).
[[gnu::format(printf, 1, 2)]] std::string format_text(const char* format, ...);

// "%<width>.<precision>f" with '.' whatever the program's locale.
std::string fixed_number(double value, int width, int precision);

}  // namespace tools
