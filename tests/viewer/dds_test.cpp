#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "orvo/image/dds.h"

namespace orvo {
namespace {

using namespace std::string_literals;

std::string u32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

struct Head {
  uint32_t width = 4, height = 4, mips = 1, flags = 0x1007, caps2 = 0;
  std::string four_cc = "DXT1";  // empty: uncompressed
  uint32_t pf_flags = 0x41, bits = 32, r = 0xFF0000, g = 0xFF00, b = 0xFF, a = 0xFF000000;
};

std::string dds(const Head& h, const std::string& data) {
  std::string out = "DDS "s + u32(124) + u32(h.flags) + u32(h.height) + u32(h.width) + u32(0) + u32(0) + u32(h.mips);
  out += std::string(44, '\0') + u32(32);
  if (h.four_cc.empty()) out += u32(h.pf_flags) + u32(0) + u32(h.bits) + u32(h.r) + u32(h.g) + u32(h.b) + u32(h.a);
  else out += u32(4) + h.four_cc + std::string(20, '\0');
  out += u32(0x1000) + u32(h.caps2) + std::string(12, '\0');
  return out + data;
}

// A colour block: two 5:6:5 colours, then pixel i uses index i for i < 4 and 0 after.
std::string colours(uint16_t c0, uint16_t c1) {
  return {static_cast<char>(c0),
          static_cast<char>(c0 >> 8),
          static_cast<char>(c1),
          static_cast<char>(c1 >> 8),
          '\xE4',
          0,
          0,
          0};
}

constexpr uint16_t kRed565 = 0xF800, kBlue565 = 0x001F;

TEST(Dds, BlocksDecodeToTheirColoursAndAlphas) {
  struct Case {
    const char* what;
    std::string four_cc, block;
    std::vector<uint32_t> first_row;
  } cases[] = {
      {"DXT1 c0 > c1: four opaque colours",
       "DXT1",
       colours(kRed565, kBlue565),
       {argb(255, 255, 0, 0), argb(255, 0, 0, 255), argb(255, 170, 0, 85), argb(255, 85, 0, 170)}},
      {"DXT1 c0 <= c1: three colours and transparent black",
       "DXT1",
       colours(kBlue565, kRed565),
       {argb(255, 0, 0, 255), argb(255, 255, 0, 0), argb(255, 127, 0, 127), 0}},
      {"DXT3: 4-bit alphas, always four colours",
       "DXT3",
       "\xF0\x21"s + std::string(6, '\0') + colours(kBlue565, kRed565),
       {argb(0, 0, 0, 255), argb(255, 255, 0, 0), argb(17, 85, 0, 170), argb(34, 170, 0, 85)}},
      // Indices 0, 1, 2, 7 for the first four pixels: 0b111'010'001'000.
      {"DXT5 a0 > a1: eight alphas",
       "DXT5",
       "\xC8\x64\x88\x0E\0\0\0\0"s + colours(kRed565, kBlue565),
       {argb(200, 255, 0, 0), argb(100, 0, 0, 255), argb(185, 170, 0, 85), argb(114, 85, 0, 170)}},
      // Indices 0, 2, 6, 7: 0b111'110'010'000.
      {"DXT5 a0 <= a1: six alphas, 0 and 255",
       "DXT5",
       "\x64\xC8\x90\x0F\0\0\0\0"s + colours(kRed565, kBlue565),
       {argb(100, 255, 0, 0), argb(120, 0, 0, 255), argb(0, 170, 0, 85), argb(255, 85, 0, 170)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Head h;
    h.four_cc = c.four_cc;
    const std::string bytes = dds(h, c.block);
    const auto file = decode_dds(bytes, "t.dds");
    ASSERT_TRUE(file.ok()) << file.error().message;
    const auto image = dds_to_image(*file);
    ASSERT_TRUE(image.ok());
    ASSERT_EQ(image->pixels.size(), 16u);
    EXPECT_EQ(std::vector<uint32_t>(image->pixels.begin(), image->pixels.begin() + 4), c.first_row);
    EXPECT_EQ(image->pixels[15], image->pixels[0]);  // index 0 after the first four
  }
}

TEST(Dds, UncompressedLayoutsFollowTheirMasks) {
  struct Case {
    const char* what;
    uint32_t pf_flags, bits, r, g, b, a;
    std::string pixel;
    uint32_t expected;
  } cases[] = {
      {"ARGB", 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, "\x03\x02\x01\x80", argb(0x80, 1, 2, 3)},
      {"ABGR", 0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, "\x01\x02\x03\x80", argb(0x80, 1, 2, 3)},
      {"XRGB: no alpha flag, opaque", 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0, "\x03\x02\x01\x80", argb(255, 1, 2, 3)},
      {"BGR 24-bit", 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, "\x03\x02\x01", argb(255, 1, 2, 3)},
      {"luminance", 0x20000, 8, 0xFF, 0, 0, 0, "\x09", argb(255, 9, 9, 9)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Head h{.width = 1,
                 .height = 1,
                 .four_cc = "",
                 .pf_flags = c.pf_flags,
                 .bits = c.bits,
                 .r = c.r,
                 .g = c.g,
                 .b = c.b,
                 .a = c.a};
    const std::string bytes = dds(h, c.pixel);
    const auto file = decode_dds(bytes, "t.dds");
    ASSERT_TRUE(file.ok()) << file.error().message;
    const auto image = dds_to_image(*file);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image->pixels, std::vector<uint32_t>{c.expected});
  }
}

TEST(Dds, MipChainLevelsAreLaidOutLargestFirst) {
  const std::string bytes = dds({.width = 8, .height = 2, .mips = 4}, std::string(16 + 8 + 8 + 8, '\x11'));
  const auto file = decode_dds(bytes, "t.dds");
  ASSERT_TRUE(file.ok()) << file.error().message;
  ASSERT_EQ(file->levels.size(), 4u);
  const int sides[4][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(file->levels[i].width, sides[i][0]);
    EXPECT_EQ(file->levels[i].height, sides[i][1]);
    EXPECT_EQ(file->levels[i].offset, 128u + (i == 0 ? 0 : 16 + 8 * (i - 1)));
    EXPECT_EQ(file->level_bytes(i).size(), i == 0 ? 16u : 8u);
  }
  EXPECT_EQ(dds_to_image(*file, 3)->pixels.size(), 1u);
  EXPECT_FALSE(dds_to_image(*file, 4).ok());
}

TEST(Dds, DamagedAndUnsupportedFilesAreRefusedAtTheFaultyByte) {
  Head cube, volume, dx10, rgb16, tall;
  cube.caps2 = 0x200;
  volume.caps2 = 0x200000;
  dx10.four_cc = "DX10";
  rgb16 = {.four_cc = "", .pf_flags = 0x40, .bits = 16, .r = 0xF800, .g = 0x7E0, .b = 0x1F, .a = 0};
  tall.height = 20000;
  const std::string block(8, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    int64_t offset;
    const char* words;
  } cases[] = {
      {"header cut short", dds({}, "").substr(0, 100), 100, "ends inside the DDS header"},
      {"wrong magic", "DDT" + dds({}, block).substr(3), 0, "not a DDS file"},
      {"mip chain cut short", dds({.width = 8, .height = 8, .mips = 3}, std::string(32 + 8, '\0')), 168, "mip level 2"},
      {"huge claimed size, tiny file", dds({.width = 16384, .height = 16384}, block), 136, "mip level 0"},
      {"side above the limit", dds(tall, block), 12, "more than a texture can have"},
      {"more mips than halvings", dds({.mips = 4}, std::string(24, '\0')), 28, "mip levels are more than"},
      {"cube map", dds(cube, block), 112, "cube maps"},
      {"volume texture", dds(volume, block), 112, "volume textures"},
      {"other compression", dds(dx10, block), 84, "\"DX10\" is not supported"},
      {"16-bit colour", dds(rgb16, "\0\0"s), 80, "16-bit colour"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = decode_dds(c.bytes, "t.dds");
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error().code, kImageBadFile);
    EXPECT_EQ(file.error().where.offset, c.offset);
    EXPECT_NE(file.error().message.find(c.words), std::string::npos) << file.error().message;
    EXPECT_EQ(file.error().message.rfind("t.dds: byte ", 0), 0u) << file.error().message;
  }
}

TEST(Dds, CorpusFilesDecodeWithTheirMipChains) {
  const std::string dir = ORVO_CORPUS_DIR "/images/";
  struct Case {
    const char* file;
    DdsFormat format;
  } cases[] = {{"dxt1-rgb-4bbp-noalpha_MipMaps-1.dds", DdsFormat::kDxt1},
               {"dxt3-argb-8bbp-explicitalpha_MipMaps-1.dds", DdsFormat::kDxt3},
               {"dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.dds", DdsFormat::kDxt5},
               {"uncompressed_l.dds", DdsFormat::kLuminance8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto file = read_dds(dir + c.file);
    if (!file.ok() && file.error().code == kImageCannotOpen) GTEST_SKIP() << "no corpus";
    ASSERT_TRUE(file.ok()) << file.error().message;
    EXPECT_EQ(file->format, c.format);
    const DdsLevel& last = file->levels.back();
    EXPECT_EQ(last.offset + last.size <= file->bytes.size(), true);
    const auto image = dds_to_image(*file);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(file->width) * file->height);
  }
  EXPECT_EQ(read_dds(dir + "no-such.dds").code(), kImageCannotOpen);
}

}  // namespace
}  // namespace orvo
