// Fuzz target for the TGA reader (also the reader of .MDT files). Checked:
//   - a decoded image has 1 to 16384 rows and columns, one pixel for each,
//     and never more pixels than 128 for each input byte (run-length packets
//     give at most 128 pixels each);
//   - a colour-mapped image has one index per pixel, 256 palette colours,
//     and every pixel is the palette colour of its index; other images have
//     neither;
//   - a refused input gives code 3 and an error naming the file at a byte
//     offset inside the input, or code 2 when the picture it declares would
//     decode to more than kMaxDecodedPictureBytes;
//   - the header probe agrees: it reports the decoded picture's size, and
//     what it refuses the decoder refuses with the same error; it never
//     refuses for the decode budget.
#define FUZZ_TARGET_NAME "tga_fuzz"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/image/image.h"
#include "tools/test/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tools::Result<orvo::Image> image = orvo::decode_tga(bytes, "fuzz.tga");
  const tools::Result<orvo::PictureInfo> info = orvo::probe_tga(bytes, "fuzz.tga");
  if (!info.ok()) {
    FUZZ_CHECK(!image.ok());
    FUZZ_CHECK(image.error().message == info.error().message, image.error().code, info.error().code);
  }
  if (!image.ok()) {
    const tools::Error& e = image.error();
    if (e.code == orvo::kImageNoMemory) {
      FUZZ_CHECK(info.ok() && info->decoded_bytes > orvo::kMaxDecodedPictureBytes);
      FUZZ_CHECK(e.message.rfind("fuzz.tga: the picture is ", 0) == 0);
      return 0;
    }
    FUZZ_CHECK(e.code == orvo::kImageBadFile, e.code, 0);
    FUZZ_CHECK(e.message.rfind("fuzz.tga: byte ", 0) == 0);
    FUZZ_CHECK(e.where.offset >= 0 && static_cast<std::size_t>(e.where.offset) <= size, e.where.offset, size);
    return 0;
  }
  const orvo::Image& im = *image;
  FUZZ_CHECK(info.ok());
  FUZZ_CHECK(info->width == im.width && info->height == im.height, info->width, info->height);
  FUZZ_CHECK(info->palette == im.has_palette(), info->palette, im.has_palette());
  FUZZ_CHECK(im.width >= 1 && im.width <= orvo::kMaxImageSide, im.width, 0);
  FUZZ_CHECK(im.height >= 1 && im.height <= orvo::kMaxImageSide, im.height, 0);
  const std::size_t count = static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.height);
  FUZZ_CHECK(im.pixels.size() == count, im.pixels.size(), count);
  FUZZ_CHECK(count <= 128 * size, count, size);
  if (im.has_palette()) {
    FUZZ_CHECK(im.palette.size() == 256, im.palette.size(), 0);
    FUZZ_CHECK(im.indices.size() == count, im.indices.size(), count);
    for (std::size_t i = 0; i < count; ++i) FUZZ_CHECK(im.pixels[i] == im.palette[im.indices[i]], i, im.indices[i]);
  } else {
    FUZZ_CHECK(im.indices.empty(), im.indices.size(), 0);
  }
  return 0;
}
