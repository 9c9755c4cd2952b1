// Fuzz target for the DDS reader. Checked:
//   - a decoded file has 1 to 16384 rows and columns and at least one mip
//     level; each level halves the one before (never below 1), starts where
//     the one before ends and lies inside the input, so the input holds every
//     byte the chain claims;
//   - every level decodes to one pixel for each of its width x height;
//   - a refused input gives code 3 and an error naming the file at a byte
//     offset inside the input, or code 2 when its levels would decode to
//     more than kMaxDecodedPictureBytes;
//   - the header probe agrees: it reports the decoded file's size and level
//     count, and what it refuses the decoder refuses with the same error;
//     it never refuses for the decode budget.
#define FUZZ_TARGET_NAME "dds_fuzz"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/image/dds.h"
#include "tools/test/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tools::Result<orvo::DdsFile> file = orvo::decode_dds(bytes, "fuzz.dds");
  const tools::Result<orvo::PictureInfo> info = orvo::probe_dds(bytes, "fuzz.dds");
  if (!info.ok()) {
    FUZZ_CHECK(!file.ok());
    FUZZ_CHECK(file.error().message == info.error().message, file.error().code, info.error().code);
  }
  if (!file.ok()) {
    const tools::Error& e = file.error();
    if (e.code == orvo::kImageNoMemory) {
      FUZZ_CHECK(info.ok() && info->decoded_bytes > orvo::kMaxDecodedPictureBytes);
      FUZZ_CHECK(e.message.rfind("fuzz.dds: the picture is ", 0) == 0);
      return 0;
    }
    FUZZ_CHECK(e.code == orvo::kImageBadFile, e.code, 0);
    FUZZ_CHECK(e.message.rfind("fuzz.dds: byte ", 0) == 0);
    FUZZ_CHECK(e.where.offset >= 0 && static_cast<std::size_t>(e.where.offset) <= size, e.where.offset, size);
    return 0;
  }
  const orvo::DdsFile& dds = *file;
  FUZZ_CHECK(info.ok());
  FUZZ_CHECK(info->width == dds.width && info->height == dds.height, info->width, info->height);
  FUZZ_CHECK(info->levels == static_cast<int>(dds.levels.size()), info->levels, dds.levels.size());
  FUZZ_CHECK(dds.width >= 1 && dds.width <= orvo::kMaxImageSide, dds.width, 0);
  FUZZ_CHECK(dds.height >= 1 && dds.height <= orvo::kMaxImageSide, dds.height, 0);
  FUZZ_CHECK(!dds.levels.empty(), 0, 0);
  std::size_t at = 128;
  int w = dds.width, h = dds.height;
  for (std::size_t i = 0; i < dds.levels.size(); ++i) {
    const orvo::DdsLevel& lv = dds.levels[i];
    FUZZ_CHECK(lv.width == w && lv.height == h, lv.width, lv.height);
    FUZZ_CHECK(lv.offset == at, lv.offset, at);
    FUZZ_CHECK(lv.size == orvo::dds_level_size(dds.format, w, h), lv.size, i);
    FUZZ_CHECK(lv.offset + lv.size <= size, lv.offset + lv.size, size);
    const tools::Result<orvo::Image> image = orvo::dds_to_image(dds, static_cast<int>(i));
    FUZZ_CHECK(image.ok(), i, 0);
    FUZZ_CHECK(image->pixels.size() == static_cast<std::size_t>(w) * static_cast<std::size_t>(h), image->pixels.size(),
               i);
    at += lv.size;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return 0;
}
