// Bone palettes: weight sorting, segments of at most 16 bones, per-segment
// vertex copies with palette positions, limits; the skinned strips of a
// level.
#include <gtest/gtest.h>

#include "orvo/export/skinned.h"

namespace {

using namespace orvo;

ExportVertex with_bones(std::array<int32_t, 4> bones, std::array<float, 4> weights = {0.25f, 0.25f, 0.25f, 0.25f}) {
  ExportVertex v;
  v.bones = bones;
  v.weights = weights;
  return v;
}

TEST(BonePalettes, WeightsSortDescendingWithTheirBones) {
  ExportVertex v = with_bones({3, 7, 9, -1}, {0.2f, 0.5f, 0.3f, 0.0f});
  sort_bone_weights(v);
  EXPECT_EQ(v.bones, (std::array<int32_t, 4>{7, 9, 3, -1}));
  EXPECT_EQ(v.weights, (std::array<float, 4>{0.5f, 0.3f, 0.2f, 0.0f}));
}

TEST(BonePalettes, SegmentsOpenWhenThePaletteIsFull) {
  // Bones 0..15 over four triangles: one segment of 16, in first-use order.
  std::vector<ExportVertex> v;
  std::vector<uint16_t> tris;
  for (int t = 0; t < 4; ++t) {
    for (int k = 0; k < 3; ++k) v.push_back(with_bones({15 - (4 * t + k) % 16, -1, -1, -1}, {1, 0, 0, 0}));
    tris.insert(tris.end(), {uint16_t(3 * t), uint16_t(3 * t + 1), uint16_t(3 * t + 2)});
  }
  v[0].bones = {15, 14, 13, 12};
  auto one = partition_bones(v, tris, "m");
  ASSERT_TRUE(one.ok());
  ASSERT_EQ(one->size(), 1u);
  EXPECT_EQ((*one)[0].palette_size, 13);
  EXPECT_EQ((*one)[0].palette[0], 15);  // first added, not the smallest

  // A triangle of 12 distinct bones fits an empty segment; one of 8 new
  // bones does not fit a segment already holding 12 others.
  std::vector<ExportVertex> w{with_bones({0, 1, 2, 3}),     with_bones({4, 5, 6, 7}),     with_bones({8, 9, 10, 11}),
                              with_bones({20, 21, 22, 23}), with_bones({24, 25, 26, 27}), with_bones({20, 21, 22, 23})};
  auto two = partition_bones(w, {0, 1, 2, 3, 4, 5}, "m");
  ASSERT_TRUE(two.ok());
  ASSERT_EQ(two->size(), 2u);
  EXPECT_EQ((*two)[0].palette_size, 12);
  EXPECT_EQ((*two)[1].palette_size, 8);
}

TEST(BonePalettes, SharedVerticesAreCopiedIntoEachSegmentWithItsPalette) {
  // Triangle 0 fills segment 0 with 12 bones; triangle 1 shares vertex 2
  // (bones 8..11) but brings 8 more, so it opens segment 1.
  std::vector<ExportVertex> v{with_bones({0, 1, 2, 3}), with_bones({4, 5, 6, 7}), with_bones({8, 9, 10, 11}),
                              with_bones({30, 31, 32, 33}), with_bones({34, 35, 36, 37})};
  auto s = partition_bones(v, {0, 1, 2, 2, 3, 4}, "m");
  ASSERT_TRUE(s.ok());
  ASSERT_EQ(s->size(), 2u);
  const BoneSegment& second = (*s)[1];
  ASSERT_EQ(second.vertices.size(), 3u);
  EXPECT_EQ(second.indices, (std::vector<uint16_t>{0, 1, 2}));
  EXPECT_EQ(second.vertices[0].bones, (std::array<int32_t, 4>{0, 1, 2, 3}));  // bones 8..11 at positions 0..3
  EXPECT_EQ((*s)[0].vertices[2].bones, (std::array<int32_t, 4>{8, 9, 10, 11}));
}

TEST(BonePalettes, TrianglesWithoutBonesDoNotCountSegmentsAgain) {
  std::vector<ExportVertex> v(3, with_bones({-1, -1, -1, -1}, {0, 0, 0, 0}));
  std::vector<uint16_t> tris;
  for (int i = 0; i < 100; ++i) tris.insert(tris.end(), {0, 1, 2});
  auto s = partition_bones(v, tris, "m");
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s->size(), 1u);
  EXPECT_EQ((*s)[0].triangle_count(), 100);
}

TEST(BonePalettes, LimitsAreRefused) {
  std::vector<ExportVertex> high{with_bones({255, -1, -1, -1}), with_bones({0, -1, -1, -1}),
                                 with_bones({0, -1, -1, -1})};
  auto bone = partition_bones(high, {0, 1, 2}, "material 3");
  ASSERT_FALSE(bone.ok());
  EXPECT_NE(bone.error().message.find("material 3: bone 255"), std::string::npos);

  // 65 triangles of 12 bones each, any two sharing at most 6: no palette
  // takes two of them, so 65 palettes would be needed. Triangles 0..19 use
  // bone groups of 12; the others half of one group and half of another.
  std::vector<ExportVertex> v;
  std::vector<uint16_t> tris;
  for (int t = 0; t < 65; ++t) {
    std::array<int32_t, 12> set;
    const int i = t < 20 ? t : (t - 20) % 20, j = t < 20 ? t : (i + 1 + (t - 20) / 20) % 20;
    for (int b = 0; b < 12; ++b) set[static_cast<std::size_t>(b)] = b < 6 ? 12 * i + b : 12 * j + b;
    for (int k = 0; k < 3; ++k) {
      const std::size_t o = 4 * static_cast<std::size_t>(k);
      v.push_back(with_bones({set[o], set[o + 1], set[o + 2], set[o + 3]}));
      tris.push_back(uint16_t(v.size() - 1));
    }
  }
  auto many = partition_bones(v, tris, "material 0");
  ASSERT_FALSE(many.ok());
  EXPECT_NE(many.error().message.find("material 0: triangle 64 needs more than 64 bone palettes"), std::string::npos)
      << many.error().message;
}

TEST(SkinnedStrips, SegmentsBecomeListsAppendedToTheSkinnedTable) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = 1;
  m->materials[0].blending_mode = 3;
  SubObject part;
  for (int i = 0; i < 4; ++i) {
    Vertex v{float(i), float(i % 2), 0};
    v.bones = {i * 10, -1, -1, -1};
    v.weights = {1, 0, 0, 0};
    part.verts.push_back(v);
  }
  part.tverts = {{0, 0}};
  Face a;
  a.v = {0, 1, 2, 0};
  a.nz = 1;
  Face b = a;
  b.v = {1, 3, 2, 1};
  part.faces = {a, b};
  m->subobjects.push_back(part);
  CornerContext c;
  c.model = m.get();
  c.skinned = true;
  VertexTable plain;
  add_part_corners(plain, c, 0);
  std::vector<ExportVertex> table(5);  // records of an earlier level
  auto strips = build_skinned_strips(c, plain, table);
  ASSERT_TRUE(strips.ok()) << strips.error().message;
  ASSERT_EQ(strips->size(), 1u);
  const StripRecord& r = (*strips)[0];
  EXPECT_EQ(r.primitive, Primitive::kList);
  EXPECT_EQ(r.base, 5u);
  EXPECT_EQ(r.span, 3u);
  EXPECT_EQ(r.indices.size(), 6u);
  EXPECT_EQ(r.blend_class, 1);
  EXPECT_EQ(r.palette.size(), 4u);
  ASSERT_EQ(table.size(), 9u);
  for (std::size_t i = 5; i < table.size(); ++i)
    for (int32_t bone : table[i].bones) EXPECT_TRUE(bone >= 0 && bone < 16) << bone;  // unused slots filled
}

}  // namespace
