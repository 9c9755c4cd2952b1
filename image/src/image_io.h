// Helpers shared by the image readers and the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/image/image.h"
#include "tools/base/file_io.h"
#include "tools/base/result.h"

namespace orvo::detail {

// Reads a whole image file; read_file's errors, with the code 3 for a file
// too large to be an image and the code 2 when its bytes find no memory.
tools::Result<std::string> read_image_file(const std::string& path);
// Reads the first `head` and the last `tail` bytes of an image file and
// its length, with the errors of read_image_file.
tools::Result<tools::FileEnds> read_image_ends(const std::string& path, std::size_t head, std::size_t tail);

inline uint8_t byte_at(std::string_view bytes, std::size_t at) {
  return static_cast<uint8_t>(bytes[at]);
}
inline uint16_t u16_at(std::string_view bytes, std::size_t at) {
  return static_cast<uint16_t>(byte_at(bytes, at) | (byte_at(bytes, at + 1) << 8));
}

// Damage at a byte offset (code 3).
tools::Error bad_data(const std::string& name, std::size_t offset, const std::string& text,
                      tools::ErrorKind kind = tools::ErrorKind::kBadData);
// Data that ends before the image does (code 3, kind kEndOfFile).
tools::Error cut_short(const std::string& name, std::size_t offset, const std::string& what);
// Sides beyond kMaxImageSide (code 3, kind kTooLarge).
tools::Error too_large(const std::string& name, std::size_t offset, int width, int height);
// An allocation failed while the picture was read or decoded (code 2).
tools::Error out_of_memory(const std::string& name);
// Refuses (code 2) a picture whose decoded pixels would take more than
// kMaxDecodedPictureBytes.
tools::Status check_decode_budget(const PictureInfo& info, const std::string& name);

}  // namespace orvo::detail
