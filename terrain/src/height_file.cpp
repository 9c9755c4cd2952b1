#include "loamer/height_file.h"

#include "io_errors.h"
#include "loamer/block_file.h"
#include "tools/base/file_io.h"

namespace loamer {

tools::Status write_height_file(const std::string& path, std::span<const uint16_t> heights) {
  if (heights.size() != kHeightValues) {
    return detail::io_error(path, -1, "a height file holds 1024 x 1024 heights, not " + std::to_string(heights.size()),
                            kIoBadArgument);
  }
  std::string bytes(kHeightFileBytes, '\0');
  for (size_t i = 0; i < heights.size(); ++i) {
    bytes[2 * i] = static_cast<char>(heights[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(heights[i] >> 8);
  }
  return tools::write_file_atomic(path, bytes);
}

namespace {

tools::Error wrong_size(const std::string& path, uint64_t size) {
  const bool shorter = size < kHeightFileBytes;
  tools::Error e = detail::io_error(
      path, -1,
      "a height file is " + std::to_string(kHeightFileBytes) + " bytes long, this one " + std::to_string(size),
      shorter ? kIoTruncated : kIoBadData);
  if (!shorter) e.kind = tools::ErrorKind::kTooLarge;
  return e;
}

}  // namespace

tools::Result<std::string> read_height_file_bytes(const std::string& path) {
  // Never more than a height file holds: a link to a device or a stray huge
  // file is refused before it is read.
  tools::Result<std::string> data = tools::read_file(path, kHeightFileBytes);
  if (!data) {
    if (data.error().kind == tools::ErrorKind::kTooLarge) return wrong_size(path, detail::size_on_disk(path));
    tools::Error e = data.error();
    e.code = kIoCannotOpen;
    return e;
  }
  if (data->size() != kHeightFileBytes) return wrong_size(path, data->size());
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
