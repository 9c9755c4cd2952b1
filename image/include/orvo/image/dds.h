// DirectDraw Surface (.dds) files as artists hand them to us: the block
// compressed forms DXT1, DXT3 and DXT5, and uncompressed colour of 32 bits
// (ARGB or XRGB, in either channel order), 24 bits (RGB or BGR) and 8-bit
// luminance, each with an optional chain of mip levels.
//
// Layout read: "DDS " and the 124-byte header (size 124 at byte 4, flags at
// 8, height at 12, width at 16, mip level count at 28, the 32-byte pixel
// format at 76: its size 32, flags, four-character code, bit count and the
// red, green, blue and alpha masks; caps at 108 and caps2 at 112), then the
// levels one after the other from the largest, each halved (never below 1)
// from the one before. A compressed level holds one 8-byte (DXT1) or 16-byte
// (DXT3, DXT5) block per 4 x 4 pixels, partial blocks at the right and
// bottom edges counting whole; an uncompressed level holds tightly packed
// rows (the pitch field is not looked at). Bytes after the last level are
// not looked at.
//
// Refused, with code 3 (kImageBadFile) and "name: byte N: what": a wrong
// magic or header size, a width or height of 0 or above kMaxImageSide, more
// mip levels than the size halves into, cube maps and volume textures,
// DX10 headers and every other four-character code, uncompressed layouts
// whose masks are not whole bytes (16-bit colour, for one), and files that
// end before the last level does. Every level's size is computed and checked
// against the bytes present before anything is allocated. Code 1 when a
// file cannot be opened or read, 2 when memory runs out or the levels would
// decode to more than kMaxDecodedPictureBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/image/image.h"
#include "tools/base/result.h"

namespace orvo {

enum class DdsFormat : uint8_t {
  kDxt1,        // 8-byte blocks; colour index 3 is transparent black when colour 0 <= colour 1
  kDxt3,        // 16-byte blocks: 4-bit explicit alpha, then a DXT1 colour block
  kDxt5,        // 16-byte blocks: interpolated 8-bit alpha, then a DXT1 colour block
  kRgb32,       // 4 bytes a pixel; channels where the masks say (no alpha mask: opaque)
  kRgb24,       // 3 bytes a pixel; channels where the masks say; opaque
  kLuminance8,  // 1 byte a pixel: grey, opaque
};

struct DdsLevel {
  std::size_t offset = 0;  // from the start of the file
  std::size_t size = 0;    // bytes
  int width = 0;
  int height = 0;
};

struct DdsFile {
  DdsFormat format = DdsFormat::kDxt1;
  int width = 0;  // of level 0
  int height = 0;
  // Uncompressed formats: where each channel's byte sits in a pixel
  // (0 = the first byte), -1 for no alpha.
  int red_byte = -1, green_byte = -1, blue_byte = -1, alpha_byte = -1;
  std::vector<DdsLevel> levels;  // at least one, largest first
  // The whole file. decode_dds leaves `storage` empty and `bytes` viewing
  // the caller's buffer; read_dds keeps the bytes in `storage`, shared by
  // every copy.
  std::string_view bytes;
  std::shared_ptr<const std::string> storage;
  std::string name;  // the file, as errors name it

  bool compressed() const { return format <= DdsFormat::kDxt5; }
  // The stored data of a level, ready for upload.
  std::string_view level_bytes(std::size_t level) const {
    return bytes.substr(levels[level].offset, levels[level].size);
  }
};

// Bytes of a width x height level of `format`.
std::size_t dds_level_size(DdsFormat format, int width, int height);

// Refuses (code 2) a file whose levels would take more than
// kMaxDecodedPictureBytes as 32-bit pixels.
tools::Result<DdsFile> decode_dds(std::string_view bytes, const std::string& name);
tools::Result<DdsFile> read_dds(const std::string& path);
// The header of a DDS file: its first 128 bytes and the file's length are
// read, and every level is checked against that length.
tools::Result<PictureInfo> probe_dds(const std::string& path);
tools::Result<PictureInfo> probe_dds(std::string_view bytes, const std::string& name);

// Level `level` as 0xAARRGGBB pixels, top row first. Colours of 5 and 6 bits
// widen by repeating their top bits; interpolated colours and alphas are
// (2a + b) / 3, (a + b) / 2, ((7 - i) a0 + i a1) / 7 and ((5 - i) a0 + i a1)
// / 5, truncated; 4-bit alphas widen as n x 17. Code 3 (kBadArgument) for a
// level the file does not have.
tools::Result<Image> dds_to_image(const DdsFile& dds, int level = 0);

}  // namespace orvo
