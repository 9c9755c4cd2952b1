// Texture images in memory and their readers and writer: Truevision TGA
// (also the format of .MDT files) and 8-bit ZSoft PCX.
//
// Result codes of every reader: 0 success, 1 the file does not exist or
// cannot be opened or read, 2 memory runs out or decoding the picture would
// take more than kMaxDecodedPictureBytes, 3 the file is of a kind the reader
// does not decode or is damaged (cut short, a run past the end of the image,
// sizes that contradict the data, larger than kMaxImageFileBytes). Errors
// name the file and, for damage, the byte offset: "path: byte N: what is
// wrong"; "path: out of memory while decoding the picture" when an
// allocation fails.
//
// Probes read a picture's header (and the file's length) instead of the
// whole file and apply the checks the decoders make before they decode:
// everything a probe refuses, the decoder refuses with the same error. They
// never apply the decode budget, so a caller learns the size of a picture
// too large to decode.
//
// Row order: row 0 of every image is the top row. A TGA stored bottom-up
// (bit 5 of its descriptor clear) is flipped; bit 4 (stored right to left)
// is honoured too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/result.h"

namespace orvo {

inline constexpr int kImageCannotOpen = 1;
inline constexpr int kImageNoMemory = 2;
inline constexpr int kImageBadFile = 3;

// The largest image file read, and the largest width or height accepted.
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{256} << 20;
inline constexpr int kMaxImageSide = 16384;

// The most memory decoding one picture may take, counted as its 32-bit
// pixels: width x height x 4 bytes (a DDS file: every mip level it
// declares). 256 MiB is an 8192 x 8192 picture: 1024 times the 256 x 256
// the loader asks the preview's textures to be (kTextureSizeCap), and as
// much as the largest uncompressed 32-bit TGA within kMaxImageFileBytes
// holds, so no picture stored plainly in 32 bits is refused. A run-length
// file of a few megabytes declaring 16384 x 16384 pixels (1 GiB) is
// refused before anything is allocated. A decoder's working copies
// (indices, unpacked runs) and the device's copy come on top, so one
// texture costs a few times the budget at most.
inline constexpr std::uint64_t kMaxDecodedPictureBytes = std::uint64_t{256} << 20;

enum class PictureKind : uint8_t { kTga, kPcx, kDds };

// What a picture's header declares.
struct PictureInfo {
  PictureKind kind = PictureKind::kTga;
  int width = 0;
  int height = 0;
  // Bits of a stored pixel: the TGA pixel depth (8 for colour-mapped
  // indices), 8 for PCX; for DDS 4 (DXT1), 8 (DXT3, DXT5), 32, 24 or 8.
  int bits = 0;
  bool palette = false;  // 8-bit indices into 256 colours (colour-mapped TGA, PCX)
  bool run_length = false;
  int levels = 1;  // DDS mip levels; 1 for the others
  // Bytes of 32-bit pixels decoding takes: width x height x 4, for DDS
  // summed over its levels.
  std::uint64_t decoded_bytes = 0;

  bool operator==(const PictureInfo&) const = default;
};

// width x height x 4 without overflow (saturating at the largest value).
std::uint64_t decoded_picture_bytes(std::uint64_t width, std::uint64_t height);

// A pixel: alpha in the top byte, then red, green, blue (0xAARRGGBB).
inline constexpr uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

struct Image {
  int width = 0;
  int height = 0;
  // width x height pixels, row by row from the top. A PCX reader leaves it
  // empty; expand_palette fills it.
  std::vector<uint32_t> pixels;
  // Palette images only (colour-mapped TGA, PCX): one palette index per
  // pixel in the same order, and 256 palette colours. Palette colours carry
  // alpha 255; entries a TGA colour map does not define are opaque black.
  std::vector<uint8_t> indices;
  std::vector<uint32_t> palette;

  bool has_palette() const { return !palette.empty(); }
  bool operator==(const Image&) const = default;
};

// Fills `pixels` from the indices through the palette (no change for an
// image without a palette). Code 2 when the memory runs out (`name` stands
// for the file in the message).
tools::Status expand_palette(Image& image, const std::string& name);

// TGA image types 1 (colour-mapped, 8-bit indices into 15-, 16-, 24- or
// 32-bit map entries), 2 (true colour, 15, 16, 24 or 32 bits), 3 (grey, 8
// bits, or 16 bits of grey and alpha) and their run-length encoded forms 9,
// 11 and 10. Pixels without alpha of their own (15-, 16- and 24-bit colour,
// 8-bit grey) get alpha 255; 32-bit pixels keep the alpha they store. Run
// packets may cross row ends but never the end of the image. Colour-mapped
// images keep their indices and palette besides the pixels; an index that
// the colour map does not hold is damage. Data after the pixels (a footer)
// is not looked at.
tools::Result<Image> read_tga(const std::string& path);
// The same for a file already in memory; `name` stands for the file in errors.
tools::Result<Image> decode_tga(std::string_view bytes, const std::string& name);
// The header of a TGA file: its 18 bytes and the file's length are read.
tools::Result<PictureInfo> probe_tga(const std::string& path);
tools::Result<PictureInfo> probe_tga(std::string_view bytes, const std::string& name);

// PCX with 8 bits per pixel in one plane, run-length encoded: the header's
// 128 bytes, the rows, then the byte 0x0C and the 768-byte palette (the
// marker is required: without it the file holds no 256-colour palette).
// Rows are decoded as one stream of height x bytes-per-line bytes, so a run
// may cross a row end (the writer never makes such runs); the bytes past
// the width in each row are dropped. Keeps the indices and the palette;
// `pixels` stays empty (expand_palette).
tools::Result<Image> read_pcx(const std::string& path);
tools::Result<Image> decode_pcx(std::string_view bytes, const std::string& name);
// The header of a PCX file: its 128 bytes, the palette marker before the
// last 768 bytes and the file's length are read.
tools::Result<PictureInfo> probe_pcx(const std::string& path);
tools::Result<PictureInfo> probe_pcx(std::string_view bytes, const std::string& name);

// Stores an 8-bit image (indices, 256-colour palette; its pixels are not
// looked at) as a version 5 PCX: rows of an even number of bytes, runs
// broken at every row end, then 0x0C and the palette. Code 3 (kind
// kBadArgument) for an image without a full set of indices and palette or
// wider or higher than 65536; code 1 when the file cannot be written, the
// old file then staying as it was.
tools::Result<std::string> encode_pcx(const Image& image, const std::string& name);
tools::Status write_pcx(const std::string& path, const Image& image);

}  // namespace orvo
