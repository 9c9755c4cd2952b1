#include "orvo/file3di/byte_io.h"

namespace orvo {

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

bool ByteReader::short_read(size_t n) {
  return fail(
      pos_,
      "the file ends inside a record (" + std::to_string(n) + " bytes needed, " + std::to_string(left()) + " left)",
      kTruncatedCode, tools::ErrorKind::kEndOfFile);
}

}  // namespace orvo
