#include "orvo/viewer/texture_library.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tools/test/huge_pictures.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

using namespace std::string_literals;

// Records what the library asks of the device; handles count from 1.
struct RecordingDevice : TextureDevice {
  struct Call {
    std::string key;
    bool dds = false;
    int format = 0;
    uint32_t flags = 0;
    Image image;
  };
  std::vector<Call> calls;

  int32_t create_from_pixels(const std::string& key, const Image& image, int format, uint32_t flags) override {
    calls.push_back({key, false, format, flags, image});
    return static_cast<int32_t>(calls.size());
  }
  int32_t create_from_dds(const std::string& key, const DdsFile&, uint32_t flags) override {
    calls.push_back({key, true, 0, flags, {}});
    return static_cast<int32_t>(calls.size());
  }
};

std::string u16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A 24-bit top-down TGA of one row of grey pixels.
std::string tga_row(const std::vector<uint8_t>& greys) {
  std::string b = "\0\0\x02"s + std::string(9, '\0') + u16(greys.size()) + u16(1) + "\x18\x20";
  for (uint8_t g : greys) b += std::string(3, static_cast<char>(g));
  return b;
}

// A one-row PCX whose pixels are `indices` into `palette`.
std::string pcx_row(const std::vector<uint8_t>& indices, std::vector<uint32_t> palette) {
  palette.resize(256, argb(255, 0, 0, 0));
  Image image{static_cast<int>(indices.size()), 1, {}, indices, palette};
  return *encode_pcx(image, "t.pcx");
}

std::string u32(uint32_t v) {
  return u16(v & 0xFFFF) + u16(v >> 16);
}

// A 4 x 4 DXT1 file of one block.
const std::string kDxt1 = "DDS "s + u32(124) + u32(0x1007) + u32(4) + u32(4) + u32(0) + u32(0) + u32(1) +
                          std::string(44, '\0') + u32(32) + u32(4) + "DXT1" + std::string(20 + 20, '\0') +
                          std::string(8, '\0');

struct Fixture {
  tools::test::ScratchDir dir{"tex"};
  RecordingDevice device;
  TextureLibrary library{device, dir.root()};
};

TEST(TextureLibrary, SameKeyIsOneTextureOtherFormatNumberAnother) {
  Fixture f;
  f.dir.put("rock.tga", tga_row({1, 2}));
  const int32_t first = f.library.plain("ROCK.TGA", 0, 0);
  EXPECT_EQ(f.library.plain("ROCK.TGA", 0, 0), first);
  EXPECT_NE(f.library.plain("ROCK.TGA", 1, 0), first);
  ASSERT_EQ(f.device.calls.size(), 2u);
  EXPECT_EQ(f.device.calls[0].key, "ROCK.TGA:1");
  EXPECT_EQ(f.device.calls[1].key, "ROCK.TGA:2");
  EXPECT_EQ(f.device.calls[1].format, 1);
  EXPECT_TRUE(f.library.release("ROCK.TGA:1"));
  EXPECT_EQ(f.library.find("ROCK.TGA:1"), 0);
  f.library.plain("ROCK.TGA", 0, 0);
  EXPECT_EQ(f.device.calls.size(), 3u);
}

TEST(TextureLibrary, FilesAreFoundByTheirRules) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::string name;
    bool made, from_dds;
    uint32_t flags;  // asked with 0x5
  } cases[] = {
      {"a .dds of the same base is preferred, in any case",
       {{"rock.tga", tga_row({1})}, {"Rock.DDS", kDxt1}},
       "ROCK.TGA",
       true,
       true,
       0x5 | kTextureFlagsFromDds},
      {"a TGA gets the own-alpha flag", {{"rock.tga", tga_row({1})}}, "ROCK.TGA", true, false, 0x5 | kTextureFlagsTga},
      {"an MDT never looks for a .dds",
       {{"skin.mdt", tga_row({1})}, {"skin.dds", kDxt1}},
       "SKIN.MDT",
       true,
       false,
       0x5},
      {"a PCX is read through its palette", {{"a.pcx", pcx_row({0}, {})}}, "A.PCX", true, false, 0x5},
      {"an unreadable .dds gives none",
       {{"rock.tga", tga_row({1})}, {"rock.dds", "DDS "}},
       "ROCK.TGA",
       false,
       false,
       0},
      {"a missing file gives none", {}, "NONE.TGA", false, false, 0},
      {"an unknown kind gives none", {{"a.bmp", "BM"}}, "A.BMP", false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    for (const auto& [name, bytes] : c.files) f.dir.put(name, bytes);
    const int32_t handle = f.library.plain(c.name, 0, 0x5);
    ASSERT_EQ(handle != 0, c.made);
    if (!c.made) {
      EXPECT_TRUE(f.device.calls.empty());
      continue;
    }
    EXPECT_EQ(f.device.calls[0].dds, c.from_dds);
    EXPECT_EQ(f.device.calls[0].flags, c.flags);
  }
}

TEST(TextureLibrary, TextureFolderGetsATrailingSeparator) {
  RecordingDevice device;
  TextureLibrary library(device);
  const std::pair<const char*, const char*> cases[] = {{"", ""}, {"tex", "tex\\"}, {"tex\\", "tex\\"}, {"t/", "t/"}};
  for (const auto& [given, kept] : cases) {
    library.set_texture_folder(given);
    EXPECT_EQ(library.texture_folder(), kept);
  }
}

TEST(TextureLibrary, AlphaPcxBecomesWhiteWithTheLowByteAsAlpha) {
  Fixture f;
  f.dir.put("mask.pcx", pcx_row({0, 1}, {argb(255, 9, 8, 0x40), argb(255, 1, 2, 0xC0)}));
  ASSERT_NE(f.library.alpha("MASK.PCX", 0, 7), 0);
  EXPECT_EQ(f.device.calls[0].image.pixels,
            (std::vector<uint32_t>{argb(0x40, 255, 255, 255), argb(0xC0, 255, 255, 255)}));
  EXPECT_EQ(f.device.calls[0].flags, 7u);
}

TEST(TextureLibrary, GreyTableWeighsTheThreeChannelsEqually) {
  const std::vector<uint32_t> palette = {argb(255, 255, 255, 255), argb(255, 10, 20, 30), argb(0, 0, 0, 0),
                                         argb(255, 0, 0, 3)};
  const std::vector<uint8_t> grey = grey_table(palette);
  ASSERT_EQ(grey.size(), 256u);
  EXPECT_EQ(grey[0], 254);  // 765 x 85 >> 8
  EXPECT_EQ(grey[1], 19);   // 60 x 85 >> 8
  EXPECT_EQ(grey[2], 0);
  EXPECT_EQ(grey[3], 0);  // 255 >> 8
  EXPECT_EQ(grey[255], 0);
}

TEST(TextureLibrary, PcxColourTakesItsAlphaFromTheAlphaFilesGreys) {
  Fixture f;
  f.dir.put("c.pcx", pcx_row({0, 0}, {argb(255, 1, 2, 3)}));
  f.dir.put("a.pcx", pcx_row({1, 0}, {argb(255, 0, 0, 0), argb(255, 100, 50, 30)}));
  f.dir.put("t.tga", tga_row({5, 6}));
  ASSERT_NE(f.library.colour_with_alpha("C.PCX", "A.PCX", 0, 2), 0);
  EXPECT_EQ(f.device.calls[0].key, "C.PCX/A.PCX:1");
  EXPECT_EQ(f.device.calls[0].image.pixels, (std::vector<uint32_t>{argb(59, 1, 2, 3), argb(0, 1, 2, 3)}));
  EXPECT_EQ(f.device.calls[0].flags, 2u);
  // A TGA colour file keeps its own alpha and is marked so.
  ASSERT_NE(f.library.colour_with_alpha("T.TGA", "A.PCX", 0, 2), 0);
  EXPECT_EQ(f.device.calls[1].image.pixels[0], argb(255, 5, 5, 5));
  EXPECT_EQ(f.device.calls[1].flags, 2u | kTextureFlagsTga);
}

TEST(TextureLibrary, BuiltinTexturesHaveTheirPixels) {
  const auto builtins = builtin_texture_images();
  ASSERT_EQ(builtins.size(), 4u);
  struct Case {
    std::size_t which;
    const char* key;
    int width, height, format;
    uint32_t flags;
    int x, y;
    uint32_t pixel;
  } cases[] = {
      {0, "ReflectRamp", 64, 8, 0, 1, 63, 7, argb(255, 252, 252, 252)},
      {0, "ReflectRamp", 64, 8, 0, 1, 1, 0, argb(255, 4, 4, 4)},
      {1, "GSysClip", 4, 4, 0, 0x140003, 1, 3, argb(0, 127, 127, 127)},
      {1, "GSysClip", 4, 4, 0, 0x140003, 2, 0, argb(255, 127, 127, 127)},
      {2, "GSysGray", 4, 4, 0, 0, 3, 3, argb(255, 128, 128, 128)},
      {3, "gsys_phong", 256, 256, 2, 0x100001, 7, 255, argb(7, 255, 255, 255)},
      {3, "gsys_phong", 256, 256, 2, 0x100001, 200, 0, argb(200, 0, 0, 0)},
      // t = 200/255: t^4 = 0.3784 -> 96, t^16 = 0.0205 -> 5, t^64 -> 0.
      {3, "gsys_phong", 256, 256, 2, 0x100001, 0, 200, argb(0, 96, 5, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
    const BuiltinTexture& t = builtins[c.which];
    EXPECT_EQ(t.key, c.key);
    EXPECT_EQ(t.image.width, c.width);
    EXPECT_EQ(t.image.height, c.height);
    EXPECT_EQ(t.format, c.format);
    EXPECT_EQ(t.flags, c.flags);
    EXPECT_EQ(t.image.pixels[static_cast<std::size_t>(c.y) * c.width + c.x], c.pixel);
  }
  RecordingDevice device;
  TextureLibrary library(device);
  create_builtin_textures(library);
  EXPECT_EQ(library.size(), 4u);
  EXPECT_NE(library.find("gsys_phong"), 0);
}

TEST(TextureLibrary, BumpMapsLeanAwayFromRisingHeights) {
  const auto heights = [](int w, int h, auto f) {
    Image image{w, h, {}, {}, {}};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.pixels.push_back(argb(255, f(x, y), f(x, y), f(x, y)));
    return image;
  };
  const float scale = 1.0f / 64;
  const Image flat = bump_map(heights(3, 3, [](int, int) { return 77; }), scale);
  for (uint32_t p : flat.pixels) EXPECT_EQ(p, argb(77, 128, 128, 255));
  // Rising by 64 a pixel: 45 degrees, (-0.707, 0, 0.707).
  const Image right = bump_map(heights(4, 3, [](int x, int) { return 64 * x; }), scale);
  EXPECT_EQ(right.pixels[1], argb(64, 37, 128, 218));
  const Image down = bump_map(heights(3, 4, [](int, int y) { return 64 * y; }), scale);
  EXPECT_EQ(down.pixels[3 * 1 + 0], argb(64, 128, 37, 218));
  // Through the library, under its own key.
  Fixture f;
  f.dir.put("h.tga", tga_row({9, 9}));
  ASSERT_NE(f.library.bump("H.TGA", 0, 4, scale), 0);
  EXPECT_EQ(f.device.calls[0].key, "H.TGA:BA:1");
  EXPECT_EQ(f.device.calls[0].image.pixels[0], argb(9, 128, 128, 255));
}

TEST(TextureLibrary, LoaderRequestsPickTheirLoader) {
  Fixture f;
  f.dir.put("c.tga", tga_row({1}));
  f.dir.put("a.pcx", pcx_row({0}, {argb(255, 0, 0, 0x33)}));
  LibraryTextureFactory factory(f.library);
  EXPECT_NE(factory.create_texture({"C.TGA", "A.PCX", 64, 64, 0x107}), 0);
  EXPECT_NE(factory.create_texture({"A.PCX", "", 64, 64, 0x18}), 0);
  EXPECT_NE(factory.create_texture({"C.TGA", "", 64, 64, 0x7}), 0);
  EXPECT_EQ(factory.create_texture({"GONE.TGA", "", 64, 64, 0x7}), 0);
  const std::vector<uint32_t> checker(4, argb(255, 0x30, 0x30, 0x30));
  EXPECT_NE(factory.create_texture_from_pixels("S0W2H2", 2, 2, checker), 0);
  EXPECT_EQ(factory.create_texture_from_pixels("S1W2H2", 2, 3, checker), 0);
  ASSERT_EQ(f.device.calls.size(), 4u);
  EXPECT_EQ(f.device.calls[0].key, "C.TGA/A.PCX:1");
  EXPECT_EQ(f.device.calls[1].image.pixels[0], argb(0x33, 255, 255, 255));  // an alpha texture
  EXPECT_EQ(f.device.calls[2].key, "C.TGA:1");
  EXPECT_EQ(f.device.calls[3].key, "S0W2H2");
  EXPECT_EQ(factory.create_material({}, false), 1);
  EXPECT_EQ(factory.create_material({}, true), 2);
}

TEST(TextureLibrary, PicturesItCannotUseSayWhyAndReachNoDevice) {
  Fixture f;
  f.dir.put("huge.pcx", tools::test::long_run_pcx(16384, 16384));
  f.dir.put("levels.dds", tools::test::dxt1_dds(8192, 8192, 2));
  LibraryTextureFactory factory(f.library);
  const std::string folder = f.dir.prefix();
  const struct {
    const char* what;
    TextureFactory::Request request;
    std::string why;
  } cases[] = {
      {"a picture over the decode budget",
       {"HUGE.PCX", "", 64, 64, 0x7},
       folder + "huge.pcx: the picture is 16384 x 16384 pixels; decoding it would take 1024 MiB, more than the 256 "
                "MiB a picture may take"},
      {"DDS levels over the budget",
       {"LEVELS.TGA", "", 64, 64, 0x7},
       folder + "levels.dds: the picture is 8192 x 8192 pixels in 2 mip levels"},
      {"a missing one", {"GONE.TGA", "", 64, 64, 0x7}, "GONE.TGA: no such file in " + f.dir.root()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(factory.create_texture(c.request), 0);
    EXPECT_EQ(f.library.last_error().rfind(c.why, 0), 0u) << f.library.last_error();
    ASSERT_FALSE(factory.failures().empty());
    EXPECT_EQ(factory.failures().back(), f.library.last_error());
  }
  EXPECT_EQ(factory.failures().size(), std::size(cases));
  EXPECT_TRUE(f.device.calls.empty());
}

}  // namespace
}  // namespace orvo
