// A NUL-terminated text of fixed capacity, as stored in the game's records
// (names of 32 bytes, texture names of 16, control registers of 64, ...).
// Assigning a longer text cuts it to N-1 characters, exactly as copying into
// a fixed array of N bytes would, so that every format written from it stays
// byte-exact.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tools {

template <std::size_t N>
class FixedString {
  static_assert(N >= 2);

 public:
  static constexpr std::size_t capacity = N;        // bytes, with the NUL
  static constexpr std::size_t max_length = N - 1;  // characters

  constexpr FixedString() { data_.fill('\0'); }
  FixedString(std::string_view text) { assign(text); }  // NOLINT(google-explicit-constructor)

  FixedString& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void assign(std::string_view text) {
    // A text is read up to its first NUL, as the fixed array would be.
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const std::size_t n = std::min(text.size(), max_length);
    if (n > 0) std::memcpy(data_.data(), text.data(), n);
    std::fill(data_.begin() + static_cast<std::ptrdiff_t>(n), data_.end(), '\0');
    size_ = static_cast<unsigned short>(n);
  }

  void clear() { assign({}); }

  std::string_view view() const { return {data_.data(), size_}; }
  std::string str() const { return std::string(view()); }
  const char* c_str() const { return data_.data(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const std::array<char, N>& bytes() const { return data_; }

  friend bool operator==(const FixedString& a, const FixedString& b) { return a.view() == b.view(); }
  friend bool operator==(const FixedString& a, std::string_view b) { return a.view() == b; }

 private:
  std::array<char, N> data_;
  unsigned short size_ = 0;
};

}  // namespace tools
