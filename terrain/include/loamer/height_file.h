#pragma once
// The height file "Output.dep": 1024 rows (z = 0 to 1023) of 1024 u16
// values (x = 0 to 1023), little-endian, no header. A value is a height
// times 256 (heights run from 0 to 128).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/base/result.h"

namespace loamer {

constexpr size_t kHeightValues = 1024 * 1024;
constexpr size_t kHeightFileBytes = kHeightValues * 2;  // 2,097,152

// Writes the heights (kHeightValues values, row z major) through a temporary
// file renamed over `path`. kIoBadArgument for any other number of values;
// kIoCannotOpen when the file cannot be written.
tools::Status write_height_file(const std::string& path, std::span<const uint16_t> heights);

// Reads the heights back, never more than kHeightFileBytes of them.
// kIoCannotOpen when the file cannot be read or is no regular file (the
// message gives the reason); kIoTruncated (shorter, kind kEndOfFile) or
// kIoBadData (longer, kind kTooLarge) when it is not exactly
// kHeightFileBytes long; the message names the file.
tools::Result<std::vector<uint16_t>> read_height_file(const std::string& path);

// The file's bytes as they are on disk, checked as read_height_file does.
tools::Result<std::string> read_height_file_bytes(const std::string& path);

}  // namespace loamer
