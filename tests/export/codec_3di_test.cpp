#include "orvo/file3di/codec_3di.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "orvo/export/fixed_point.h"
#include "sample_3di.h"

namespace orvo::file3di {
namespace {

// ---- an independent reader: raw offsets, little-endian fields ------------

uint32_t u32_at(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) v |= uint32_t{static_cast<uint8_t>(b.at(at + k))} << (8 * k);
  return v;
}
uint16_t u16_at(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b.at(at)) | static_cast<uint8_t>(b.at(at + 1)) << 8);
}
float f32_at(const std::string& b, size_t at) {
  const uint32_t bits = u32_at(b, at);
  float f = 0;
  std::memcpy(&f, &bits, 4);
  return f;
}
std::string text_at(const std::string& b, size_t at, size_t n) {
  return std::string(b.c_str() + at, strnlen(b.c_str() + at, n));
}
void put_u32(std::string& b, size_t at, uint32_t v) {
  for (size_t k = 0; k < 4; ++k) b.at(at + k) = static_cast<char>(v >> (8 * k));
}

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string encoded(const File3di& f) {
  tools::Result<std::string> bytes = encode_3di(f);
  EXPECT_TRUE(bytes.ok()) << (bytes.ok() ? "" : bytes.error().message);
  return bytes.ok() ? *bytes : std::string();
}

TEST(Codec3di, FixedPointTruncatesTowardZeroAndRefusesWhatDoesNotFit) {
  struct Case {
    std::optional<int64_t> got;
    std::optional<int64_t> want;
  };
  auto opt = [](auto v) { return v ? std::optional<int64_t>(*v) : std::nullopt; };
  const Case cases[] = {
      {opt(fixed::to_8_8(1.5)), 384},
      {opt(fixed::to_8_8(-2.25)), -576},
      {opt(fixed::to_8_8(0.004)), 1},
      {opt(fixed::to_8_8(-0.003)), 0},
      {opt(fixed::to_8_8(-128.0)), -32768},
      {opt(fixed::to_8_8(128.0)), std::nullopt},
      {opt(fixed::to_8_8(std::nan(""))), std::nullopt},
      {opt(fixed::to_8_8_wide(128.0)), 32768},
      {opt(fixed::to_16_16(1.5)), 98304},
      {opt(fixed::to_16_16(-0.00001)), 0},
      {opt(fixed::to_16_16(32768.0)), std::nullopt},
      {opt(fixed::to_2_14(1.0)), 16384},
      {opt(fixed::to_2_14(-2.0)), -32768},
      {opt(fixed::to_2_14(2.0)), std::nullopt},
      {opt(fixed::to_u8_fraction(0.5)), 128},
      {opt(fixed::to_u8_fraction(1.0)), std::nullopt},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(Codec3di, DerivedValuesFollowTheirRules) {
  // Edge keys of the face (5, 2, 9); render function codes with signed
  // characters; dominant axis codes on the stored integers.
  EXPECT_EQ(edge_key(5, 2), 0x8502);
  EXPECT_EQ(edge_key(2, 9), 0x0902);
  EXPECT_EQ(edge_key(9, 5), 0x8905);
  EXPECT_EQ(render_function_code("Gouraud"), 0x476F7572u);
  EXPECT_EQ(render_function_code("AB"), 0x41420000u);
  EXPECT_EQ(render_function_code("\xFF"), 0xFF000000u);
  EXPECT_EQ(render_function_code("A\xFF"), 0x40FF0000u);
  EXPECT_EQ(dominant_axis({0, 0, -5}), 1);
  EXPECT_EQ(dominant_axis({1, 5, 2}), 2);
  EXPECT_EQ(dominant_axis({5, 5, 5}), 4);
  EXPECT_EQ(dominant_axis({0, 5, 5}), 4);
}

TEST(Codec3di, NamesAreCutTo15Characters) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\models\\tank.v2.3di", "tank"},
      {"out/temprend.3di", "temprend"},
      {"abcdefghijklmnopqrstu.3di", "abcdefghijklmno"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(model_name_of(c.path).str(), c.name) << c.path;

  const std::string b = encoded(sample_file());
  const size_t second_texture = 236 + 48 + 4 + 60;
  EXPECT_EQ(text_at(b, second_texture, 16), "averyverylongco");
  EXPECT_EQ(b.at(second_texture + 15), '\0');
}

TEST(Codec3di, SectionsSitWhereTheHeaderAndTheSizeFormulasSay) {
  const File3di f = sample_file();
  const std::string b = encoded(f);
  ASSERT_GE(b.size(), 236u);
  EXPECT_EQ(b.substr(0, 3), "GPM");
  EXPECT_EQ(b[3], 2);
  EXPECT_EQ(u32_at(b, 4), 259u);
  EXPECT_EQ(text_at(b, 8, 16), "tank");
  EXPECT_EQ(u32_at(b, 24), 7u);  // Lightinfo, VStream, OccData
  EXPECT_EQ(u32_at(b, 28), 2u);
  EXPECT_EQ(u32_at(b, 44), 4u << 16);
  EXPECT_EQ(u32_at(b, 64), 0x476F7572u);
  EXPECT_EQ(u32_at(b, 96), 5u << 16);
  EXPECT_EQ(u32_at(b, 136), 4u);
  EXPECT_EQ(u32_at(b, 176), 1u);
  EXPECT_EQ(u32_at(b, 188), 1u);
  EXPECT_EQ(u32_at(b, 196), 1u);
  EXPECT_EQ(u32_at(b, 208), 1u);

  size_t at = 236;
  EXPECT_EQ(b[at + 0x1C], 'L');
  EXPECT_EQ(text_at(b, at + 0x20, 16), "S01_02");
  at += 48;
  ASSERT_EQ(u32_at(b, at), 2u);
  EXPECT_EQ(text_at(b, at + 4 + 0x10, 16), "GREEN.PCX");
  EXPECT_EQ(u16_at(b, at + 4 + 60 + 0x24), 1);  // index = position
  EXPECT_EQ(u16_at(b, at + 4 + 60 + 0x26), 0x107);
  at += 4 + 2 * 60;

  // CModel: A=4 vertices, B=1 normal, C=1 face, D=2 parts, E=1 point,
  // F=2 planes, G=1 volume.
  const uint32_t counts[7] = {4, 1, 1, 2, 1, 2, 1};
  for (size_t k = 0; k < 7; ++k) EXPECT_EQ(u32_at(b, at + 0x30 + 8 * k), counts[k]) << k;
  const uint32_t cblob = 8 * 4 + 8 * 1 + 44 * 1 + 128 * 2 + 12 * 1 + 16 * 2 + 96 * 1;
  EXPECT_EQ(u32_at(b, at + 4), cblob);
  EXPECT_EQ(u16_at(b, at + 136 + 32 + 6), 1);  // the normal's axis code: z
  const size_t part1 = at + 136 + 32 + 8 + 44 + 128;
  EXPECT_EQ(u32_at(b, part1 + 0x04), 1u);  // the second part: one vertex, no faces
  EXPECT_EQ(u32_at(b, part1 + 0x0C), 0u);
  const size_t volume = at + 136 + cblob - 96;
  EXPECT_EQ(u32_at(b, volume), 4u);
  EXPECT_EQ(u32_at(b, volume + 0x48), 2u);
  at += 136 + cblob;

  EXPECT_FLOAT_EQ(f32_at(b, at + 44 + 4), -2.0f);
  EXPECT_EQ(u32_at(b, at + 44 + 0x18), 0xFF102030u);
  at += 4 * 44;

  // LOD 0: 1 material, 1 point, 2 parts with motion, 3 strip groups,
  // strips of 4, 3 indices, an action plane of 2 and one projector.
  const uint32_t blob0 = 152 + 12 + 92 * 2 + (72 * 2 + 32 * 3 + (40 + 8) + (40 + 6)) + (88 + 4) + 232;
  EXPECT_EQ(u32_at(b, at), blob0);
  EXPECT_EQ(u32_at(b, at + 0x50), 2u);  // part motion, plain layout
  EXPECT_EQ(u32_at(b, at + 0x60), 1u);
  EXPECT_EQ(u32_at(b, at + 0x68), 1u);
  const size_t parts0 = at + 136 + 12;
  EXPECT_EQ(u32_at(b, parts0 + 4), 2u);
  EXPECT_EQ(u32_at(b, parts0 + 72 + 4), 1u);
  const size_t groups0 = parts0 + 2 * 72;
  EXPECT_EQ(u32_at(b, groups0 + 4), 1u);        // level 0: one class 0 strip
  EXPECT_EQ(u32_at(b, groups0 + 32 + 12), 1u);  // level 1: one class 1 strip
  const size_t strip0 = groups0 + 3 * 32;
  EXPECT_EQ(b.substr(strip0 + 4, 4), "Addr");
  EXPECT_EQ(u16_at(b, strip0 + 8), 4);
  EXPECT_EQ(u32_at(b, strip0 + 0x14), 3u);
  EXPECT_EQ(u16_at(b, strip0 + 40 + 6), 3);
  const size_t motion = strip0 + 48 + 46 + 152;
  EXPECT_EQ(u32_at(b, motion), 0x15u);
  EXPECT_EQ(b[motion + 0x14], 0x71);  // pitch generator
  EXPECT_EQ(u16_at(b, motion + 0x24 + 2), 3);
  at += 136 + blob0;
  const uint32_t blob1 = 152 + 72 + 32 + 40 + 6;
  EXPECT_EQ(u32_at(b, at), blob1);
  at += 136 + blob1;

  EXPECT_EQ(text_at(b, at, 44), "HELO_ROTOR");
  at += 44;
  EXPECT_FLOAT_EQ(f32_at(b, at + 20), 1.0f);
  at += 64;
  EXPECT_EQ(u32_at(b, at), 256u);
  EXPECT_EQ(u32_at(b, at + 4), 60u + 48);
  EXPECT_FLOAT_EQ(f32_at(b, at + 8 + 28), -1.0f);
  EXPECT_EQ(u32_at(b, at + 8 + 36), 1u);
  at += 8 + 60 + 48;
  EXPECT_EQ(u32_at(b, at + 4), 24u * 4);
  at += 16 + 24 * 4;
  EXPECT_EQ(b[at], 2);
  EXPECT_EQ(u32_at(b, at + 0x14), 10u);
  const size_t face_at = at + 60 + 10 * 12 + 16;
  EXPECT_EQ(u16_at(b, face_at + 4), 0x8502);
  EXPECT_EQ(u16_at(b, face_at + 6), 0x0902);
  EXPECT_EQ(u16_at(b, face_at + 8), 0x8905);
  EXPECT_EQ(face_at + 12, b.size());
}

TEST(Codec3di, EncodeDecodeEncodeIsByteIdentical) {
  File3di skinned;
  skinned.header.kind = 'P';
  skinned.skinned_vertices.resize(3);
  skinned.skinned_vertices[2].bones = {1, 15, 15, 15};
  RModel lod;
  lod.skinned = true;
  lod.parts.resize(1);
  lod.materials.resize(1);
  Strip s = strip(0, {0, 1, 2});
  s.primitive = 0;
  s.palette = {1, 15};
  s.palette_size = 2;
  lod.skin_group.class1 = {s};
  skinned.lods = {lod};
  File3di old_lights = sample_file();
  old_lights.lightinfo = Lightinfo{};
  old_lights.lightinfo->version = 255;
  old_lights.lightinfo->old_body = {1, 2, 3};

  for (const File3di& f : {sample_file(), skinned, old_lights}) {
    const std::string first = encoded(f);
    tools::Result<File3di> back = decode_3di(bytes_of(first), "first.3di");
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_TRUE(*back == f);
    EXPECT_EQ(encoded(*back), first);
  }
}

TEST(Codec3di, DecodeRefusesTruncatedAndInconsistentFilesWithTheOffset) {
  const std::string good = encoded(sample_file());
  const size_t cmodel = 236 + 48 + 124;
  const size_t lod0 = cmodel + 136 + 480 + 4 * 44;
  const size_t occ_face = good.size() - 12;
  struct Case {
    const char* what;
    std::function<void(std::string&)> change;
    int code;
    int64_t offset;
  };
  const Case cases[] = {
      {"shorter than a header", [](std::string& b) { b.resize(100); }, k3diTruncated, 0},
      {"version 3", [](std::string& b) { b[3] = 3; }, k3diBadVersion, 3},
      {"revision 260", [](std::string& b) { put_u32(b, 4, 260); }, k3diBadRevision, 4},
      {"kind X", [](std::string& b) { b[2] = 'X'; }, k3diBadKind, 2},
      {"no GP", [](std::string& b) { b[0] = 'g'; }, k3diBadKind, 0},
      {"LOD count 5", [](std::string& b) { put_u32(b, 28, 5); }, k3diBadData, 28},
      {"user points past the end", [](std::string& b) { put_u32(b, 176, 0xFFFFFFFF); }, k3diTruncated, 236},
      {"257 textures", [](std::string& b) { put_u32(b, 284, 257); }, k3diDoesNotFit, 284},
      {"texture index", [](std::string& b) { b[284 + 4 + 0x24] = 1; }, k3diBadData, 284 + 4 + 0x24},
      {"collision blob size", [&](std::string& b) { put_u32(b, cmodel + 4, 481); }, k3diBadData,
       static_cast<int64_t>(cmodel + 4)},
      {"axis code", [&](std::string& b) { b[cmodel + 136 + 32 + 6] = 2; }, k3diBadData,
       static_cast<int64_t>(cmodel + 136 + 32 + 6)},
      {"face corner outside its part", [&](std::string& b) { b[cmodel + 136 + 40] = 3; }, k3diBadData,
       static_cast<int64_t>(cmodel + 136 + 40)},
      {"LOD blob size", [&](std::string& b) { put_u32(b, lod0, u32_at(b, lod0) + 2); }, k3diBadData,
       static_cast<int64_t>(lod0)},
      {"65 parts", [&](std::string& b) { put_u32(b, lod0 + 0x10, 65); }, k3diDoesNotFit,
       static_cast<int64_t>(lod0 + 0x10)},
      {"edge key", [&](std::string& b) { b[occ_face + 4] = 0; }, k3diBadData, static_cast<int64_t>(occ_face + 4)},
      {"cut in the last face", [](std::string& b) { b.pop_back(); }, k3diTruncated, static_cast<int64_t>(occ_face)},
      {"bytes after the end", [](std::string& b) { b += "xx"; }, k3diBadData, static_cast<int64_t>(occ_face + 12)},
  };
  for (const Case& c : cases) {
    std::string b = good;
    c.change(b);
    tools::Result<File3di> r = decode_3di(bytes_of(b), "bad.3di");
    ASSERT_FALSE(r.ok()) << c.what;
    EXPECT_EQ(r.code(), c.code) << c.what << ": " << r.error().message;
    EXPECT_EQ(r.error().where.offset, c.offset) << c.what << ": " << r.error().message;
    EXPECT_EQ(r.error().where.path, "bad.3di") << c.what;
    EXPECT_EQ(r.error().message.rfind("bad.3di: byte " + std::to_string(c.offset) + ": ", 0), 0u) << r.error().message;
  }

  // Older revisions read; a skinned vertex with bone 16 does not.
  std::string older = good;
  put_u32(older, 4, 1);
  EXPECT_TRUE(decode_3di(bytes_of(older), "old.3di").ok());
  File3di bones;
  bones.header.kind = 'P';
  bones.skinned_vertices.resize(1);
  bones.lods.resize(1);
  std::string b = encoded(bones);
  const size_t bone_at = 236 + 4 + 136 + 0x18 + 2;
  b.at(bone_at) = 16;
  const tools::Result<File3di> r = decode_3di(bytes_of(b), "bones.3di");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), k3diBadBone);
  EXPECT_EQ(r.error().message, "bones.3di: byte " + std::to_string(bone_at - 2) + ": bad bone index in skinned mesh");
}

TEST(Codec3di, EncoderRefusesTableLimitsNamingLimitAndValue) {
  struct Case {
    const char* what;
    std::function<void(File3di&)> change;
    const char* message;
  };
  const Case cases[] = {
      {"textures", [](File3di& f) { f.textures.resize(257); }, "257 textures, more than the 256 a file holds"},
      {"parts", [](File3di& f) { f.lods[1].parts.resize(65); }, "LOD 1: 65 parts in one LOD, more than the 64"},
      {"matrices", [](File3di& f) { f.matrices.resize(65); }, "65 orientation matrices, more than the 64"},
      {"strips", [](File3di& f) { f.lods[1].parts[0].levels[0].class1.resize(16384); },
       "LOD 1: 16385 strips in one LOD, more than the 16384"},
      {"span", [](File3di& f) { f.lods[1].parts[0].levels[0].class0[0].vertex_span = 65536; },
       "strip vertex span 65536, more than the 65535"},
      {"LODs", [](File3di& f) { f.lods.insert(f.lods.end(), 3, RModel{}); }, "5 LODs, more than the 4 a file holds"},
      {"bones",
       [](File3di& f) {
         f.header.kind = 'P';
         f.skinned_vertices.resize(f.plain_vertices.size());
         f.plain_vertices.clear();
         f.skinned_vertices[0].bones[3] = 16;
       },
       "bad bone index in skinned mesh"},
      {"occluder corner", [](File3di& f) { (*f.occluders)[0].faces[0].corners[0] = 128; },
       "occluder face corner 128, above the 127 an edge key holds"},
  };
  for (const Case& c : cases) {
    File3di f = sample_file();
    c.change(f);
    const tools::Result<std::string> r = encode_3di(f);
    ASSERT_FALSE(r.ok()) << c.what;
    EXPECT_NE(r.error().message.find(c.message), std::string::npos) << c.what << ": " << r.error().message;
  }
}

}  // namespace
}  // namespace orvo::file3di
