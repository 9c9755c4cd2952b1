#include "orvo/app/gltf_export.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

namespace orvo::gltf {
namespace {

using nlohmann::json;
using render::Vec3f;

std::vector<Triangle> tris(std::vector<uint16_t> indices, uint32_t primitive) {
  return strip_triangles(indices, primitive);
}

// ---- Strips to triangle lists ---------------------------------------------------

TEST(GltfStrips, OddTrianglesOfAStripSwapTheirFirstTwoCorners) {
  EXPECT_EQ(tris({0, 1, 2, 3, 4, 5}, 1), (std::vector<Triangle>{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}}));
}

TEST(GltfStrips, DegenerateTrianglesAreDroppedAndTheParityKept) {
  // Two strips joined by repeating the last index of the first and the
  // first of the second: the four joining triangles are degenerate, and
  // the second strip's first triangle sits at an odd place.
  EXPECT_EQ(tris({0, 1, 2, 2, 5, 5, 6, 7}, 1), (std::vector<Triangle>{{0, 1, 2}, {6, 5, 7}}));
  // A strip made only of joins draws nothing.
  EXPECT_TRUE(tris({3, 3, 3, 3}, 1).empty());
  EXPECT_TRUE(tris({0, 1}, 1).empty());
}

TEST(GltfStrips, ListsTakeThreeIndicesATriangle) {
  // A degenerate triangle and a last incomplete one are dropped.
  EXPECT_EQ(tris({0, 1, 2, 3, 3, 4, 5, 6, 7, 8}, 0), (std::vector<Triangle>{{0, 1, 2}, {5, 6, 7}}));
}

// ---- Axes and units ------------------------------------------------------------------

// The model's own axes (x forward, y left, z up) as the file stores them.
Vec3f file_of_model(const Vec3f& m) {
  return {-m[1], m[2], m[0]};
}

TEST(GltfAxes, ModelAxesBecomeGltfAxesInMetres) {
  EXPECT_EQ(position_from_file(file_of_model({1, 0, 0})), (Vec3f{0, 0, 1}));  // forward: +Z
  EXPECT_EQ(position_from_file(file_of_model({0, 1, 0})), (Vec3f{1, 0, 0}));  // left: +X
  EXPECT_EQ(position_from_file(file_of_model({0, 0, 1})), (Vec3f{0, 1, 0}));  // up: +Y
  // One unit is one metre.
  EXPECT_EQ(position_from_file({2.5f, -4.0f, 8.0f}), (Vec3f{-2.5f, -4.0f, 8.0f}));
  const float nan = std::nanf("");
  EXPECT_EQ(position_from_file({nan, INFINITY, 1}), (Vec3f{0, 0, 1}));
}

TEST(GltfAxes, NormalsTurnWithThePositionsAndHaveUnitLength) {
  const Vec3f n = normal_from_file({3, 0, 4});
  EXPECT_FLOAT_EQ(n[0], -0.6f);
  EXPECT_FLOAT_EQ(n[1], 0.0f);
  EXPECT_FLOAT_EQ(n[2], 0.8f);
  EXPECT_EQ(normal_from_file({0, 0, 0}), (Vec3f{0, 1, 0}));
  EXPECT_EQ(normal_from_file({std::nanf(""), 1, 0}), (Vec3f{0, 1, 0}));
}

Vec3f cross(const Vec3f& a, const Vec3f& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

TEST(GltfAxes, AFaceTheGameDrawsStaysAFrontFace) {
  // The game draws a triangle whose corners run clockwise as seen from its
  // front (left-handed axes): this one, seen from -z, faces -z.
  const std::array<Vec3f, 3> file = {Vec3f{0, 0, 0}, Vec3f{0, 1, 0}, Vec3f{1, 0, 0}};
  const Vec3f facing = normal_from_file({0, 0, -1});
  const Triangle g = gltf_corners({0, 1, 2});
  const Vec3f a = position_from_file(file[g[0]]), b = position_from_file(file[g[1]]),
              c = position_from_file(file[g[2]]);
  // glTF's front faces run counter-clockwise: the right-handed normal.
  const Vec3f n = cross({b[0] - a[0], b[1] - a[1], b[2] - a[2]}, {c[0] - a[0], c[1] - a[1], c[2] - a[2]});
  EXPECT_GT(n[0] * facing[0] + n[1] * facing[1] + n[2] * facing[2], 0.0f);
}

// ---- PNG ---------------------------------------------------------------------------------

uint32_t be32(const std::string& s, std::size_t at) {
  return uint32_t{static_cast<uint8_t>(s[at])} << 24 | uint32_t{static_cast<uint8_t>(s[at + 1])} << 16 |
         uint32_t{static_cast<uint8_t>(s[at + 2])} << 8 | uint32_t{static_cast<uint8_t>(s[at + 3])};
}

// The IHDR colour type and the unpacked rows of a PNG this writer made
// (IHDR, one IDAT, IEND), checking every chunk's CRC.
std::pair<int, std::string> unpack_png(const std::string& png) {
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  int colour_type = -1;
  std::string packed;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = be32(png, at);
    const std::string type = png.substr(at + 4, 4);
    const std::string data = png.substr(at + 8, length);
    const std::string body = png.substr(at + 4, 4 + length);
    EXPECT_EQ(be32(png, at + 8 + length),
              crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())))
        << type;
    if (type == "IHDR") colour_type = static_cast<uint8_t>(data[9]);
    if (type == "IDAT") packed += data;
    at += 12 + length;
  }
  std::string raw(1 << 16, '\0');
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(packed.data()),
                       static_cast<uLong>(packed.size())),
            Z_OK);
  raw.resize(size);
  return {colour_type, raw};
}

TEST(GltfPng, OpaquePicturesAreRgbOthersRgbaRowsFromTheTop) {
  Image image;
  image.width = 2;
  image.height = 2;
  image.pixels = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
  auto [type, raw] = unpack_png(encode_png(image));
  EXPECT_EQ(type, 2);
  EXPECT_EQ(raw, std::string("\0\x10\x20\x30\x40\x50\x60\0\x70\x80\x90\xA0\xB0\xC0", 14));

  image.pixels[3] = 0x80A0B0C0;
  std::tie(type, raw) = unpack_png(encode_png(image));
  EXPECT_EQ(type, 6);
  EXPECT_EQ(raw, std::string("\0\x10\x20\x30\xFF\x40\x50\x60\xFF\0\x70\x80\x90\xFF\xA0\xB0\xC0\x80", 18));
}

TEST(GltfPng, PaletteImagesAreExpanded) {
  Image image;
  image.width = 1;
  image.height = 1;
  image.indices = {1};
  image.palette.assign(256, 0xFF000000);
  image.palette[1] = 0xFF0A0B0C;
  const auto [type, raw] = unpack_png(encode_png(image));
  EXPECT_EQ(type, 2);
  EXPECT_EQ(raw, std::string("\0\x0A\x0B\x0C", 4));
}

// ---- The file -------------------------------------------------------------------------------

// A hand-made loaded model: the spans point into the vectors it keeps.
struct TestModel {
  render::Model model;
  render::Lod lod{};
  std::vector<render::VertexM> vertices_m;
  std::vector<render::VertexP> vertices_p;
  std::vector<render::Part> parts;
  std::vector<render::Material> materials;
  std::vector<render::Strip> strips;
  std::vector<render::StripGroup> groups;
  std::vector<std::vector<uint16_t>> indices;

  void finish() {
    model.vertex_count = static_cast<uint32_t>(vertices_m.size() + vertices_p.size());
    model.vertices_m = vertices_m;
    model.vertices_p = vertices_p;
    lod.parts = parts;
    lod.materials = materials;
    lod.strips = strips;
    model.lods[0] = &lod;
    model.lod_count = 1;
  }
};

struct Glb {
  json doc;
  std::string bin;

  template <typename T>
  std::vector<T> read(int accessor) const {
    const json& a = doc["accessors"][static_cast<std::size_t>(accessor)];
    const json& v = doc["bufferViews"][a["bufferView"].get<std::size_t>()];
    const std::size_t n = a["count"].get<std::size_t>() *
                          std::map<std::string, std::size_t>{{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}}.at(
                              a["type"].get<std::string>());
    std::vector<T> out(n);
    std::memcpy(out.data(), bin.data() + v["byteOffset"].get<std::size_t>(), n * sizeof(T));
    return out;
  }
};

Glb parse(const std::string& glb) {
  Glb g;
  EXPECT_EQ(glb.substr(0, 4), "glTF");
  uint32_t total = 0, json_length = 0;
  std::memcpy(&total, glb.data() + 8, 4);
  std::memcpy(&json_length, glb.data() + 12, 4);
  EXPECT_EQ(total, glb.size());
  EXPECT_EQ(json_length % 4, 0u);
  g.doc = json::parse(glb.substr(20, json_length));
  if (20 + json_length < glb.size()) g.bin = glb.substr(20 + json_length + 8);
  return g;
}

render::Strip strip_of(std::vector<uint16_t>& indices, const render::Material* m, uint32_t primitive,
                       uint32_t base = 0) {
  render::Strip s{};
  s.material = m;
  s.primitive = primitive;
  s.base_vertex = base;
  s.index_count = static_cast<uint32_t>(indices.size());
  s.indices = indices;
  return s;
}

TEST(GltfFile, PartsHangUnderTheirParentsWithVerticesAboutTheirPivots) {
  TestModel t;
  t.model.header.model_name = "tank";
  for (int i = 0; i < 4; ++i) {
    render::VertexM v{};
    v.position = {static_cast<float>(i), 10.0f, 0.0f};
    v.normal = {0, 1, 0};
    t.vertices_m.push_back(v);
  }
  t.materials.resize(2);
  t.materials[0].record.name = "hull";
  t.materials[1].record.name = "tracks";
  t.indices = {{0, 1, 2, 3}, {0, 1, 2}};
  t.strips.push_back(strip_of(t.indices[0], &t.materials[1], 1));
  t.strips.push_back(strip_of(t.indices[1], &t.materials[0], 0));
  t.groups.push_back({std::span(t.strips)});
  // The first body the root, the second under it, the third and fourth
  // each other's parent (a loop), the fifth naming a parent that is not there.
  t.parts.resize(5);
  for (std::size_t i = 0; i < t.parts.size(); ++i) t.parts[i].pivot = {0, 0, static_cast<float>(i)};
  t.parts[0].parent = 0;
  t.parts[1].parent = 0;
  t.parts[2].parent = 3;
  t.parts[3].parent = 2;
  t.parts[4].parent = 9;
  t.parts[1].levels = t.groups;
  t.finish();

  Stats stats;
  const Glb g = parse(build_glb(t.model, {}, "test", &stats));
  const json& nodes = g.doc["nodes"];
  ASSERT_EQ(nodes.size(), 6u);
  EXPECT_EQ(nodes[0]["name"], "tank LOD 0");
  // The loop is broken where it is met first: the third body hangs under the
  // level, the fourth stays under the third; the fifth goes under the level.
  EXPECT_EQ(nodes[0]["children"], json::array({1, 3, 5}));
  EXPECT_EQ(nodes[1]["children"], json::array({2}));
  EXPECT_EQ(nodes[3]["children"], json::array({4}));
  EXPECT_EQ(nodes[2]["name"], "LOD 0 part 02");
  EXPECT_EQ(nodes[2]["translation"], json::array({0.0, 0.0, 1.0}));
  EXPECT_EQ(g.doc["scenes"][0]["nodes"], json::array({0}));
  EXPECT_EQ(g.doc["scene"], 0);

  // One primitive per material, in the order the strips use them; the
  // vertices relative to the second body's pivot (glTF z = file z).
  const json& prims = g.doc["meshes"][nodes[2]["mesh"].get<std::size_t>()]["primitives"];
  ASSERT_EQ(prims.size(), 2u);
  EXPECT_EQ(prims[0]["material"], 1);
  EXPECT_EQ(prims[1]["material"], 0);
  EXPECT_EQ(g.doc["materials"][1]["name"], "tracks");
  const std::vector<float> pos = g.read<float>(prims[0]["attributes"]["POSITION"].get<int>());
  ASSERT_EQ(pos.size(), 12u);
  EXPECT_EQ((std::vector<float>(pos.begin(), pos.begin() + 6)), (std::vector<float>{-0.0f, 10, -1, -1, 10, -1}));
  // The strip's two triangles with their corners turned round.
  EXPECT_EQ(g.read<uint16_t>(prims[0]["indices"].get<int>()), (std::vector<uint16_t>{0, 2, 1, 2, 3, 1}));
  EXPECT_EQ(stats.triangles, 3u);
  EXPECT_EQ(stats.meshes, 1u);
  EXPECT_EQ(stats.nodes, 6u);
}

TEST(GltfFile, SkinnedVerticesNameEachJointOnceWithWeightsSummingToOne) {
  TestModel t;
  t.model.kind = render::MeshKind::kSkinned;
  render::VertexP v{};
  v.normal = {0, 1, 0};
  // Palette slots 0 and 1 (the fourth and the second body); slots 2 and 3 repeat slot 1
  // with no weight, as the file stores unused slots.
  v.bones = {0, 1, 1, 1};
  v.weights = {0.25f, 0.75f, 0.0f};
  t.vertices_p = {v, v, v};
  t.vertices_p[1].position = {1, 0, 0};
  t.vertices_p[2].position = {0, 1, 0};
  // A vertex with no weight at all hangs on its first bone.
  t.vertices_p[2].weights = {std::nanf(""), 0, 0};
  t.vertices_p[2].bones = {1, 1, 1, 1};
  t.materials.resize(1);
  t.indices = {{0, 1, 2}};
  t.strips.push_back(strip_of(t.indices[0], &t.materials[0], 0));
  t.strips[0].palette = {3, 1};
  t.strips[0].palette_size = 2;
  t.parts.resize(4);
  for (std::size_t i = 0; i < t.parts.size(); ++i) t.parts[i].pivot = {0, static_cast<float>(i), 0};
  t.lod.skinned = true;
  t.lod.skin_group = {std::span(t.strips)};
  t.finish();

  Stats stats;
  const Glb g = parse(build_glb(t.model, {}, "test", &stats));
  ASSERT_EQ(g.doc["skins"].size(), 1u);
  EXPECT_EQ(g.doc["skins"][0]["joints"], json::array({1, 2, 3, 4}));
  // The skinned mesh's node is a root of the scene.
  const json& roots = g.doc["scenes"][0]["nodes"];
  ASSERT_EQ(roots.size(), 2u);
  const json& skinned = g.doc["nodes"][roots[1].get<std::size_t>()];
  EXPECT_EQ(skinned["skin"], 0);
  const json& prim = g.doc["meshes"][skinned["mesh"].get<std::size_t>()]["primitives"][0];
  EXPECT_EQ(g.read<uint8_t>(prim["attributes"]["JOINTS_0"].get<int>()),
            (std::vector<uint8_t>{1, 3, 0, 0, 1, 3, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(g.read<float>(prim["attributes"]["WEIGHTS_0"].get<int>()),
            (std::vector<float>{0.75f, 0.25f, 0, 0, 0.75f, 0.25f, 0, 0, 1, 0, 0, 0}));
  // Skinned vertices stay in the model's place (no pivot taken off).
  EXPECT_EQ(g.read<float>(prim["attributes"]["POSITION"].get<int>())[3], -1.0f);
  EXPECT_EQ(stats.skins, 1u);
}

}  // namespace
}  // namespace orvo::gltf
