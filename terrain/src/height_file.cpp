#include "loamer/height_file.h"

#include "loamer/block_file.h"
#include "tools/base/file_io.h"

namespace loamer {

tools::Status write_height_file(const std::string& path, std::span<const uint16_t> heights) {
  if (heights.size() != kHeightValues) {
    return tools::Error{kIoBadArgument,
                       path + ": a height file holds 1024 x 1024 heights, not " + std::to_string(heights.size())};
  }
  std::string bytes(kHeightFileBytes, '\0');
  for (size_t i = 0; i < heights.size(); ++i) {
    bytes[2 * i] = static_cast<char>(heights[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(heights[i] >> 8);
  }
  return tools::write_file_atomic(path, bytes);
}

tools::Result<std::string> read_height_file_bytes(const std::string& path) {
  tools::Result<std::string> data = tools::read_file(path, kHeightFileBytes + 1);
  if (!data) return tools::Error{kIoCannotOpen, data.error().message};
  if (data->size() != kHeightFileBytes) {
    const bool shorter = data->size() < kHeightFileBytes;
    return tools::Error{shorter ? kIoTruncated : kIoBadData,
                       path + ": a height file is " + std::to_string(kHeightFileBytes) + " bytes long, this one " +
                           std::to_string(data->size())};
  }
  return data;
}

tools::Result<std::vector<uint16_t>> read_height_file(const std::string& path) {
  tools::Result<std::string> data = read_height_file_bytes(path);
  if (!data) return data.error();
  const auto* p = reinterpret_cast<const uint8_t*>(data->data());
  std::vector<uint16_t> heights(kHeightValues);
  for (size_t i = 0; i < kHeightValues; ++i) heights[i] = static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return heights;
}

}  // namespace loamer
