#pragma once
// Errors of the terrain file readers and writers: the file's own result code
// with the matching kind, and the file and byte offset as data.

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "loamer/block_file.h"
#include "tools/base/result.h"

namespace loamer::detail {

inline tools::ErrorKind io_kind(int code) {
  switch (code) {
    case kIoCannotOpen: return tools::ErrorKind::kCannotOpen;
    case kIoTruncated: return tools::ErrorKind::kEndOfFile;
    case kIoBadMagic:
    case kIoBadData: return tools::ErrorKind::kBadData;
    case kIoDoesNotFit: return tools::ErrorKind::kDoesNotFit;
    case kIoBadArgument: return tools::ErrorKind::kBadArgument;
    default: return tools::ErrorKind::kOther;
  }
}

// "path: byte N: text" (no byte when `offset` is negative).
inline tools::Error io_error(const std::string& path, int64_t offset, const std::string& text, int code) {
  return tools::data_error(path, offset, text, code, io_kind(code));
}

// An error without a file (a record the caller built), as a writer reports it.
inline tools::Error io_error(const std::string& text, int code) {
  return tools::Error{code, text, {}, io_kind(code)};
}

// The size of the file at `path` as it is now, for the message of a file
// that a bounded read refused as too large; 0 when it cannot be told.
inline uint64_t size_on_disk(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace loamer::detail
