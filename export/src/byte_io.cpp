#include "orvo/export/byte_io.h"

#include <cstring>

namespace orvo {

void ByteWriter::u16(uint16_t v) {
  out_.push_back(static_cast<char>(v & 0xFF));
  out_.push_back(static_cast<char>(v >> 8));
}

void ByteWriter::u32(uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void ByteWriter::f32(float v) {
  uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  u32(bits);
}

bool ByteReader::fail(size_t at, const std::string& text, int code, tools::ErrorKind kind) {
  if (!error_) error_ = tools::data_error(name_, static_cast<int64_t>(at), text, code, kind);
  return false;
}

bool ByteReader::fits(uint64_t count, uint64_t size, const std::string& what) {
  if (!ok()) return false;
  // count x size <= left, tested as a division so that nothing overflows.
  if (size == 0 || count <= left() / size) return true;
  return fail(pos_,
              "the file ends inside " + what + " (" + std::to_string(count) + " records of " + std::to_string(size) +
                  " bytes, " + std::to_string(left()) + " bytes left)",
              kTruncatedCode, tools::ErrorKind::kEndOfFile);
}

bool ByteReader::take(size_t n) {
  if (!ok()) return false;
  if (n <= left()) return true;
  return fail(
      pos_,
      "the file ends inside a record (" + std::to_string(n) + " bytes needed, " + std::to_string(left()) + " left)",
      kTruncatedCode, tools::ErrorKind::kEndOfFile);
}

uint8_t ByteReader::u8() {
  if (!take(1)) return 0;
  return bytes_[pos_++];
}

uint16_t ByteReader::u16() {
  if (!take(2)) return 0;
  const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

uint32_t ByteReader::u32() {
  if (!take(4)) return 0;
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) v |= uint32_t{bytes_[pos_ + k]} << (8 * k);
  pos_ += 4;
  return v;
}

float ByteReader::f32() {
  const uint32_t bits = u32();
  float v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void ByteReader::skip(size_t n) {
  if (take(n)) pos_ += n;
}

}  // namespace orvo
