// Fuzz target for the PCX reader and writer. Checked:
//   - a decoded picture has 1 to 16384 rows and columns, one palette index
//     for each pixel, 256 palette colours of alpha 255, no pixels until the
//     palette is expanded, then one pixel for each; and never more pixels
//     than 63 for every two input bytes;
//   - writing the picture and reading it back gives the same picture;
//   - a refused input gives code 3 and an error naming the file at a byte
//     offset inside the input, or code 2 when the picture it declares would
//     decode to more than kMaxDecodedPictureBytes;
//   - the header probe agrees: it reports the decoded picture's size, and
//     what it refuses the decoder refuses with the same error; it never
//     refuses for the decode budget.
#define FUZZ_TARGET_NAME "pcx_fuzz"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/image/image.h"
#include "tools/test/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tools::Result<orvo::Image> image = orvo::decode_pcx(bytes, "fuzz.pcx");
  const tools::Result<orvo::PictureInfo> info = orvo::probe_pcx(bytes, "fuzz.pcx");
  if (!info.ok()) {
    FUZZ_CHECK(!image.ok());
    FUZZ_CHECK(image.error().message == info.error().message, image.error().code, info.error().code);
  }
  if (!image.ok()) {
    const tools::Error& e = image.error();
    if (e.code == orvo::kImageNoMemory) {
      FUZZ_CHECK(info.ok() && info->decoded_bytes > orvo::kMaxDecodedPictureBytes);
      FUZZ_CHECK(e.message.rfind("fuzz.pcx: the picture is ", 0) == 0);
      return 0;
    }
    FUZZ_CHECK(e.code == orvo::kImageBadFile, e.code, 0);
    FUZZ_CHECK(e.message.rfind("fuzz.pcx: byte ", 0) == 0);
    FUZZ_CHECK(e.where.offset >= 0 && static_cast<std::size_t>(e.where.offset) <= size, e.where.offset, size);
    return 0;
  }
  orvo::Image& im = *image;
  FUZZ_CHECK(info.ok());
  FUZZ_CHECK(info->width == im.width && info->height == im.height, info->width, info->height);
  FUZZ_CHECK(im.width >= 1 && im.width <= orvo::kMaxImageSide, im.width, 0);
  FUZZ_CHECK(im.height >= 1 && im.height <= orvo::kMaxImageSide, im.height, 0);
  const std::size_t count = static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.height);
  FUZZ_CHECK(im.indices.size() == count, im.indices.size(), count);
  FUZZ_CHECK(count <= 63 * (size / 2 + 1), count, size);
  FUZZ_CHECK(im.palette.size() == 256 && im.pixels.empty(), im.palette.size(), im.pixels.size());
  for (const uint32_t c : im.palette) FUZZ_CHECK((c >> 24) == 255, c >> 24, 0);

  const tools::Result<std::string> written = orvo::encode_pcx(im, "fuzz.pcx");
  FUZZ_CHECK(written.ok());
  const tools::Result<orvo::Image> back = orvo::decode_pcx(*written, "fuzz.pcx");
  FUZZ_CHECK(back.ok());
  FUZZ_CHECK(*back == im, back->width, back->height);

  FUZZ_CHECK(orvo::expand_palette(im, "fuzz.pcx").ok());
  FUZZ_CHECK(im.pixels.size() == count, im.pixels.size(), count);
  return 0;
}
