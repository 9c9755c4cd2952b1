// Little-endian field-by-field writing and bounds-checked reading of packed
// binary records (no padding, no alignment).
//
// ByteReader keeps the first error it meets: a read past the end records an
// end-of-file error at the offset of the read and yields zeros from then on,
// so a record decoder can read all of its fields and look at ok() once. Any
// array is announced with fits(count, size) before it is allocated; that
// check refuses count x size beyond the bytes left (computed without
// overflow), so memory stays in proportion to the input.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/base/fixed_string.h"
#include "tools/base/result.h"

namespace orvo {

class ByteWriter {
 public:
  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v) {
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out_.append(b, 2);
  }
  void u32(uint32_t v) {
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    out_.append(b, 4);
  }
  // Many 16-bit values in a row, little-endian like u16().
  void u16s(std::span<const uint16_t> values) {
    const size_t at = out_.size();
    out_.resize(at + 2 * values.size());
    char* p = out_.data() + at;
    for (uint16_t v : values) {
      *p++ = static_cast<char>(v & 0xFF);
      *p++ = static_cast<char>(v >> 8);
    }
  }
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v) { u32(std::bit_cast<uint32_t>(v)); }
  void zeros(size_t n) { out_.append(n, '\0'); }
  void bytes(std::string_view b) { out_.append(b); }
  // A fixed name field: the text, then zeros up to N bytes.
  template <size_t N>
  void name(const tools::FixedString<N>& s) {
    out_.append(s.bytes().data(), N);
  }

  size_t size() const { return out_.size(); }
  const std::string& data() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

class ByteReader {
 public:
  // Error codes used by the reader itself.
  static constexpr int kTruncatedCode = 2;

  ByteReader(std::span<const uint8_t> bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {}

  size_t offset() const { return pos_; }
  size_t left() const { return bytes_.size() - pos_; }
  size_t size() const { return bytes_.size(); }
  const std::string& name() const { return name_; }

  bool ok() const { return !error_.has_value(); }
  const tools::Error& error() const { return *error_; }

  // Records an error at byte `at` unless one is recorded already; returns false.
  bool fail(size_t at, const std::string& text, int code, tools::ErrorKind kind = tools::ErrorKind::kBadData);

  // True when `count` records of `size` bytes are left for `what`; otherwise
  // records an end-of-file error at the current offset.
  bool fits(uint64_t count, uint64_t size, const std::string& what);

  // The fields, little-endian; 0 once the reader has failed or when the
  // field runs past the end (which records the error). Inline: a model's
  // vertices and indices are read field by field.
  uint8_t u8() {
    if (!take(1)) return 0;
    return bytes_[pos_++];
  }
  uint16_t u16() {
    if (!take(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    if (!take(4)) return 0;
    const uint32_t v = uint32_t{bytes_[pos_]} | uint32_t{bytes_[pos_ + 1]} << 8 | uint32_t{bytes_[pos_ + 2]} << 16 |
                       uint32_t{bytes_[pos_ + 3]} << 24;
    pos_ += 4;
    return v;
  }
  int16_t i16() { return static_cast<int16_t>(u16()); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  float f32() { return std::bit_cast<float>(u32()); }
  void skip(size_t n) {
    if (take(n)) pos_ += n;
  }
  template <size_t N>
  void name(tools::FixedString<N>& s) {
    std::array<char, N> raw{};
    for (auto& c : raw) c = static_cast<char>(u8());
    s.assign(std::string_view(raw.data(), N));
  }

 private:
  bool take(size_t n) {
    if (error_) return false;
    return n <= bytes_.size() - pos_ || short_read(n);
  }
  // Records the error of a field that runs past the end; returns false.
  bool short_read(size_t n);

  std::span<const uint8_t> bytes_;
  std::string name_;
  size_t pos_ = 0;
  std::optional<tools::Error> error_;
};

}  // namespace orvo
