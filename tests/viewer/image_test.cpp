#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "orvo/image/dds.h"
#include "orvo/image/image.h"
#include "orvo/image/texture_file.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<uint32_t>;
using namespace std::string_literals;

std::string u16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

struct TgaHead {
  int type = 2, depth = 24, width = 2, height = 2, descriptor = 0x20;
  int map_type = 0, map_first = 0, map_length = 0, map_bits = 0, id_length = 0;
};

std::string tga(const TgaHead& h, const std::string& body) {
  std::string b{static_cast<char>(h.id_length), static_cast<char>(h.map_type), static_cast<char>(h.type)};
  b += u16(h.map_first) + u16(h.map_length) + static_cast<char>(h.map_bits) + u16(0) + u16(0);
  b += u16(h.width) + u16(h.height) + static_cast<char>(h.depth) + static_cast<char>(h.descriptor);
  return b + body;
}

const uint32_t kRed = argb(255, 255, 0, 0), kBlue = argb(255, 0, 0, 255);
uint32_t grey(uint32_t v, uint32_t a = 255) {
  return argb(a, v, v, v);
}
// The colour (n, n + 1, n + 2) with alpha a.
uint32_t rgb(uint32_t n, uint32_t a = 255) {
  return argb(a, n, n + 1, n + 2);
}

TEST(Tga, EachImageTypeDecodesToTopDownPixels) {
  const TgaHead map24{.type = 1, .depth = 8, .map_type = 1, .map_length = 2, .map_bits = 24};
  const TgaHead map16{.type = 1, .depth = 8, .map_type = 1, .map_first = 5, .map_length = 2, .map_bits = 16};
  const TgaHead rgba{.depth = 32}, grey_alpha{.type = 3, .depth = 16};
  TgaHead rle_map = map24;
  rle_map.type = 9;
  const std::string map24_bytes = "\0\0\xff\xff\0\0"s;  // red, blue
  struct Case {
    const char* what;
    TgaHead head;
    std::string body;
    std::vector<uint8_t> indices;
    Pixels pixels;
  } cases[] = {
      {"rgb, 24 bits", {}, "\3\2\1\6\5\4\11\10\7\14\13\12", {}, {rgb(1), rgb(4), rgb(7), rgb(10)}},
      {"rgba", rgba, "\3\2\1\x80\6\5\4\0\11\10\7\xff\14\13\12\1"s, {}, {rgb(1, 128), rgb(4, 0), rgb(7), rgb(10, 1)}},
      {"grey", {.type = 3, .depth = 8}, "\0\x40\x80\xff"s, {}, {grey(0), grey(64), grey(128), grey(255)}},
      {"grey, alpha", grey_alpha, "\1\2\3\4\5\6\7\10", {}, {grey(1, 2), grey(3, 4), grey(5, 6), grey(7, 8)}},
      {"mapped", map24, map24_bytes + "\0\1\1\0"s, {0, 1, 1, 0}, {kRed, kBlue, kBlue, kRed}},
      {"mapped from 5, 16-bit map", map16, "\0\x7c\x1f\0\5\6\6\5"s, {5, 6, 6, 5}, {kRed, kBlue, kBlue, kRed}},
      {"rle rgb, run across rows", {.type = 10}, "\x82\3\2\1\0\6\5\4"s, {}, {rgb(1), rgb(1), rgb(1), rgb(4)}},
      {"rle grey", {.type = 11, .depth = 8}, "\x01\1\2\x81\3", {}, {grey(1), grey(2), grey(3), grey(3)}},
      {"rle mapped", rle_map, map24_bytes + "\x83\1", {1, 1, 1, 1}, {kBlue, kBlue, kBlue, kBlue}},
  };
  for (const Case& c : cases) {
    const tools::Result<Image> image = decode_tga(tga(c.head, c.body), "t.tga");
    ASSERT_TRUE(image.ok()) << c.what << ": " << image.error().message;
    EXPECT_EQ(image->pixels, c.pixels) << c.what;
    EXPECT_EQ(image->indices, c.indices) << c.what;
    EXPECT_EQ(image->palette.size(), c.indices.empty() ? 0u : 256u) << c.what;
  }
}

TEST(Tga, OriginBitsSetTheRowAndColumnOrder) {
  const struct {
    int descriptor;
    Pixels pixels;
  } cases[] = {
      {0x00, {grey(3), grey(4), grey(1), grey(2)}},  // stored from the bottom row up
      {0x20, {grey(1), grey(2), grey(3), grey(4)}},
      {0x10, {grey(4), grey(3), grey(2), grey(1)}},
      {0x30, {grey(2), grey(1), grey(4), grey(3)}},
  };
  for (const auto& c : cases) {
    const tools::Result<Image> image =
        decode_tga(tga({.type = 3, .depth = 8, .descriptor = c.descriptor}, "\1\2\3\4"), "t");
    ASSERT_TRUE(image.ok()) << c.descriptor;
    EXPECT_EQ(image->pixels, c.pixels) << c.descriptor;
  }
}

struct BadFile {
  const char* what;
  std::string bytes;
  tools::ErrorKind kind;
  int64_t offset;
};

void expect_refused(const BadFile& c, tools::Result<Image> (*decode)(std::string_view, const std::string&)) {
  const tools::Result<Image> image = decode(c.bytes, "bad.img");
  ASSERT_FALSE(image.ok()) << c.what;
  EXPECT_EQ(image.code(), kImageBadFile) << c.what;
  EXPECT_EQ(image.error().kind, c.kind) << c.what;
  EXPECT_EQ(image.error().where.offset, c.offset) << c.what;
  EXPECT_EQ(image.error().message.rfind("bad.img: byte " + std::to_string(c.offset) + ": ", 0), 0u)
      << c.what << ": " << image.error().message;
}

TEST(Tga, DamagedOrUnreadFilesGiveCodeThreeAtTheirOffset) {
  using K = tools::ErrorKind;
  const TgaHead rle_grey{.type = 11, .depth = 8};
  const BadFile cases[] = {
      {"header cut short", tga({}, "").substr(0, 10), K::kEndOfFile, 10},
      {"unknown image type", tga({.type = 32}, "1234"), K::kBadData, 2},
      {"16-bit indices", tga({.type = 1, .depth = 16, .map_type = 1, .map_length = 1, .map_bits = 24}, "abc"),
       K::kBadData, 16},
      {"absurd size", tga({.width = 65535, .height = 65535}, "abc"), K::kTooLarge, 12},
      {"colour map cut short", tga({.map_type = 1, .map_length = 256, .map_bits = 24}, "abc"), K::kEndOfFile, 18},
      {"raw pixels cut short", tga({}, "12345678901"), K::kEndOfFile, 18},
      {"run past the image", tga(rle_grey, "\x84\1"), K::kBadData, 18},
      {"packet cut short", tga({.type = 10}, "\x03\1\2\3\4\5\6"), K::kEndOfFile, 19},
      {"huge rle image, few bytes", tga({.type = 11, .depth = 8, .width = 16384, .height = 16384}, "\xff\1"),
       K::kEndOfFile, 18},
      {"index outside the colour map",
       tga({.type = 1, .depth = 8, .map_type = 1, .map_length = 1, .map_bits = 24}, "abc\0\0\7\0"s), K::kBadData, 23},
  };
  for (const BadFile& c : cases) expect_refused(c, decode_tga);
}

// A PCX header for an 8-bit picture, the given rows and a palette whose
// entry i is (i, 255 - i, i / 2).
std::string pcx(int width, int height, int line, const std::string& rows) {
  std::string b(128, '\0');
  b[0] = 10, b[1] = 5, b[2] = 1, b[3] = 8, b[65] = 1;
  b.replace(8, 4, u16(width - 1) + u16(height - 1));
  b.replace(66, 2, u16(line));
  b += rows + '\x0c';
  for (int i = 0; i < 256; ++i) b += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2)};
  return b;
}

TEST(Pcx, RowsDecodeWithRunsAcrossRowEndsAndPaddingDropped) {
  // Rows of 4 bytes for 3 pixels: [1 2 3 pad] [3 0xC7 4 pad]; the run of
  // three 3s ends in the second row, the lone 0xC7 is written as a run.
  tools::Result<Image> image = decode_pcx(pcx(3, 2, 4, "\1\2\xc3\3\xc1\xc7\4\0"s), "p.pcx");
  ASSERT_TRUE(image.ok()) << image.error().message;
  EXPECT_EQ(image->indices, (std::vector<uint8_t>{1, 2, 3, 3, 0xC7, 4}));
  ASSERT_TRUE(expand_palette(*image, "p.pcx").ok());
  EXPECT_EQ(image->pixels.at(4), argb(255, 0xC7, 255 - 0xC7, 0xC7 / 2));
}

TEST(Pcx, DamagedOrUnreadFilesGiveCodeThreeAtTheirOffset) {
  using K = tools::ErrorKind;
  const std::string good = pcx(2, 2, 2, "\1\2\3\4");
  const auto with = [&](std::size_t at, std::string bytes) {
    return std::string(good).replace(at, bytes.size(), bytes);
  };
  const BadFile cases[] = {
      {"header cut short", good.substr(0, 100), K::kEndOfFile, 100},
      {"not a PCX file", with(0, "B"), K::kBadData, 0},
      {"four planes", with(65, "\4"), K::kBadData, 65},
      {"window ends before it begins", with(4, u16(5)), K::kBadData, 4},
      {"rows shorter than the width", with(66, u16(1)), K::kBadData, 66},
      {"no palette marker", with(good.size() - 769, "\x0b"), K::kBadData, 132},
      {"too short for a palette", good.substr(0, 800), K::kEndOfFile, 800},
      {"rows cut short", pcx(2, 2, 2, "\1\2\3"), K::kEndOfFile, 131},
      {"run past the image", pcx(2, 2, 2, "\1\2\xc3\3"), K::kBadData, 130},
  };
  for (const BadFile& c : cases) expect_refused(c, decode_pcx);
  EXPECT_TRUE(decode_pcx(good, "p").ok());
}

TEST(Pcx, WrittenPicturesReadBackTheSame) {
  for (const int width : {1, 130, 131}) {
    Image image{.width = width, .height = 3};
    for (int i = 0; i < width * 3; ++i) {
      // A long run of a byte that needs escaping, lone escaped bytes, mixed values.
      image.indices.push_back(static_cast<uint8_t>(i < 200 ? 0xC5 : (i % 7 == 0 ? 0xFF : i * 37)));
    }
    for (uint32_t i = 0; i < 256; ++i) image.palette.push_back(argb(255, i, 255 - i, i ^ 0x55));
    const tools::Result<std::string> bytes = encode_pcx(image, "w.pcx");
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ((*bytes)[1], 5);
    EXPECT_EQ(static_cast<uint8_t>((*bytes)[66]), width + (width & 1));
    const tools::Result<Image> back = decode_pcx(*bytes, "w.pcx");
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(*back, image) << width;
  }
}

TEST(Pcx, WriterReplacesTheFileOnlyWhenItCan) {
  tools::test::ScratchDir dir("pcx");
  const std::string path = dir.put("old.pcx", "old");
  Image image{.width = 1, .height = 1, .indices = {9}, .palette = Pixels(256, kRed)};
  Image no_palette = image;
  no_palette.palette.clear();
  EXPECT_EQ(write_pcx(path, no_palette).error().kind, tools::ErrorKind::kBadArgument);
  EXPECT_EQ(tools::test::slurp(path), "old");
  const tools::Status missing = write_pcx(dir.file("none/x.pcx"), image);
  EXPECT_EQ(missing.code(), kImageCannotOpen);
  EXPECT_NE(missing.error().message.find(dir.file("none/x.pcx")), std::string::npos);
  ASSERT_TRUE(write_pcx(path, image).ok());
  EXPECT_EQ(*read_pcx(path), image);
  EXPECT_EQ(dir.entries(), 1u);
}

TEST(Images, MissingFilesAndFoldersGiveCodeOne) {
  tools::test::ScratchDir dir("img");
  for (const std::string& path : {dir.file("none.tga"), dir.root()}) {
    EXPECT_EQ(read_tga(path).code(), kImageCannotOpen) << path;
    EXPECT_EQ(read_pcx(path).code(), kImageCannotOpen) << path;
  }
}

TEST(Images, CorpusFilesDecodeToTheirHeaderSizeOrAreRefused) {
  if (!fs::is_directory(fs::path(ORVO_CORPUS_DIR) / "images")) GTEST_SKIP() << "no corpus beside the checkout";
  std::map<std::string, Pixels> seen;  // picture kind -> pixels of its first decoded form
  int decoded = 0, same = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(ORVO_CORPUS_DIR) / "images")) {
    const std::string path = entry.path().string(), ext = entry.path().extension().string();
    if (ext != ".tga" && ext != ".pcx") continue;
    const std::string bytes = tools::test::slurp(path);
    tools::Result<Image> image = ext == ".tga" ? read_tga(path) : read_pcx(path);
    if (!image.ok()) {
      EXPECT_EQ(image.code(), kImageBadFile) << path;
      EXPECT_EQ(image.error().message.rfind(path + ": ", 0), 0u) << image.error().message;
      continue;
    }
    ++decoded;
    const auto at = [&](std::size_t i) {
      return static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8;
    };
    EXPECT_EQ(image->width, ext == ".tga" ? at(12) : at(8) - at(4) + 1) << path;
    EXPECT_EQ(image->height, ext == ".tga" ? at(14) : at(10) - at(6) + 1) << path;
    ASSERT_TRUE(expand_palette(*image, path).ok());
    EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width) * image->height) << path;
    // "200x32_rgb_bl_raw.tga" and "200x32_rgb_tl_rle.tga" hold the same picture.
    const std::string name = entry.path().filename().string();
    const std::string kind = name.substr(0, name.find('_', name.find('_') + 1));
    if (auto [it, added] = seen.emplace(kind, image->pixels); !added) {
      EXPECT_EQ(it->second, image->pixels) << path;
      ++same;
    }
  }
  EXPECT_GE(decoded, 10);
  EXPECT_GE(same, 4);
}

// A picture file's probe and its decoding, whichever the format.
struct Probed {
  tools::Result<PictureInfo> info = tools::Error{};
  tools::Result<PictureInfo> info_of_bytes = tools::Error{};
  std::optional<PictureInfo> decoded;  // what decoding gave, as a probe reports it
  std::string decode_error;
};

std::string lower_extension(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

Probed probe_and_decode(const std::string& path) {
  const std::string ext = lower_extension(path);
  const std::string bytes = tools::test::slurp(path);
  Probed p;
  const auto take = [&](const auto& result, PictureKind kind, int levels) {
    if (!result) {
      p.decode_error = result.error().message;
      return;
    }
    p.decoded = PictureInfo{.kind = kind, .width = result->width, .height = result->height, .levels = levels};
  };
  if (ext == ".tga") {
    p.info = probe_tga(path);
    p.info_of_bytes = probe_tga(bytes, path);
    take(read_tga(path), PictureKind::kTga, 1);
  } else if (ext == ".pcx") {
    p.info = probe_pcx(path);
    p.info_of_bytes = probe_pcx(bytes, path);
    take(read_pcx(path), PictureKind::kPcx, 1);
  } else {
    p.info = probe_dds(path);
    p.info_of_bytes = probe_dds(bytes, path);
    const tools::Result<DdsFile> dds = read_dds(path);
    take(dds, PictureKind::kDds, dds ? static_cast<int>(dds->levels.size()) : 0);
  }
  return p;
}

TEST(Probe, SamplesAndCorpusPicturesHaveTheSizeDecodingGives) {
  std::vector<fs::path> files;
  for (const fs::path& folder :
       {fs::path(ORVO_SOURCE_DIR) / "samples/textures", fs::path(ORVO_CORPUS_DIR) / "images"}) {
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string ext = lower_extension(entry.path());
      if (ext == ".tga" || ext == ".pcx" || ext == ".dds") files.push_back(entry.path());
    }
  }
  int agreed = 0;
  for (const fs::path& file : files) {
    const std::string path = file.string();
    SCOPED_TRACE(path);
    const Probed p = probe_and_decode(path);
    if (p.info.ok() != p.info_of_bytes.ok() || (p.info.ok() && *p.info != *p.info_of_bytes)) {
      ADD_FAILURE() << "the probe of the file and of its bytes differ";
    }
    if (!p.decoded) {
      // What the probe refuses, decoding refuses in the same words.
      if (!p.info.ok()) {
        EXPECT_EQ(p.info.error().message, p.decode_error);
      }
      continue;
    }
    ASSERT_TRUE(p.info.ok()) << p.info.error().message;
    EXPECT_EQ(p.info->kind, p.decoded->kind);
    EXPECT_EQ(p.info->width, p.decoded->width);
    EXPECT_EQ(p.info->height, p.decoded->height);
    EXPECT_EQ(p.info->levels, p.decoded->levels);
    EXPECT_GT(p.info->bits, 0);
    ++agreed;
  }
  // The samples alone are seven; the corpus adds about as many again.
  EXPECT_GE(agreed, files.size() > 7 ? 17 : 7);
}

TEST(Probe, RefusesWhatTheHeaderOrTheLengthRulesOutInTheDecodersWords) {
  tools::test::ScratchDir dir("probe");
  const std::string pcx_good = pcx(2, 2, 2, "\1\2\3\4");
  const struct {
    const char* what;
    std::string name, bytes;
  } cases[] = {
      {"TGA header cut short", "a.tga", tga({}, "").substr(0, 10)},
      {"TGA of absurd size", "c.tga", tga({.width = 65535, .height = 65535}, "abc")},
      {"TGA colour map cut short", "d.tga", tga({.map_type = 1, .map_length = 256, .map_bits = 24}, "abc")},
      {"huge run-length TGA, few bytes", "f.tga",
       tga({.type = 11, .depth = 8, .width = 16384, .height = 16384}, "\xff\1")},
      {"PCX without a palette marker", "h.pcx", std::string(pcx_good).replace(pcx_good.size() - 769, 1, "\x0b")},
      {"PCX too short for a palette", "i.pcx", pcx_good.substr(0, 800)},
      {"PCX of more rows than its bytes hold", "j.pcx", pcx(16384, 16384, 16384, "\xff\1")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Probed p = probe_and_decode(dir.put(c.name, c.bytes));
    ASSERT_FALSE(p.info.ok());
    EXPECT_EQ(p.info.error().message, p.decode_error);
    EXPECT_EQ(p.info.error().code, kImageBadFile);
    EXPECT_EQ(p.info_of_bytes.error().message, p.decode_error);
  }
  // Damage past the header is the decoder's to find.
  const Probed run_past_the_end = probe_and_decode(dir.put("k.pcx", pcx(2, 2, 2, "\1\2\xc3\3")));
  EXPECT_TRUE(run_past_the_end.info.ok());
  EXPECT_FALSE(run_past_the_end.decoded);
  EXPECT_EQ(probe_tga(dir.file("none.tga")).code(), kImageCannotOpen);
}

TEST(TextureFile, ExactNameFirstThenAnyCaseInTheSameFolder) {
  tools::test::ScratchDir dir("tex");
  fs::create_directories(dir.file("sub"));
  dir.put("ROCK.TGA", "a");
  dir.put("sub/Grass.pcx", "b");
  dir.put("sub/grass.PCX", "c");
  const struct {
    std::string folder, name;
    std::optional<std::string> found;
  } cases[] = {
      {dir.root(), "ROCK.TGA", dir.prefix() + "ROCK.TGA"},
      {dir.prefix(), "rock.tga", dir.prefix() + "ROCK.TGA"},
      {dir.root() + "\\", "sub\\GRASS.pcx", dir.prefix() + "sub/Grass.pcx"},
      {dir.root(), "Sub/grass.pcx", std::nullopt},  // only the file name's case is free
      {dir.root(), "sand.tga", std::nullopt},
      {dir.root(), "sub", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(find_texture_file(c.folder, c.name), c.found) << c.name;
}

}  // namespace
}  // namespace orvo
