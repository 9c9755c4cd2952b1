#include "orvo/app/editor_texts.h"

#include <gtest/gtest.h>

#include <memory>

namespace orvo {
namespace {

SubObject part(const char* name, int index, int verts, int faces) {
  SubObject so;
  so.name = name;
  so.verts.resize(static_cast<std::size_t>(verts));
  for (Vertex& v : so.verts) v.subobj = v.subobj2 = index;
  so.faces.resize(static_cast<std::size_t>(faces));
  return so;
}

TEST(EditorTexts, TotalsCountStretchyVerticesByEitherIndex) {
  struct Case {
    int subobj, subobj2;
    const char* expected;
  };
  const Case cases[] = {{1, 1, "Total Vertices: 7"},
                        {0, 1, "Total Vertices: 7, (1 stretchy)"},
                        {1, 0, "Total Vertices: 7, (1 stretchy)"}};
  for (const Case& c : cases) {
    auto m = std::make_unique<Model>();
    m->subobjects.push_back(part("01 Hull", 0, 4, 5));
    m->subobjects.push_back(part("02 Turret", 1, 3, 2));
    m->subobjects[1].verts[2].subobj = c.subobj;
    m->subobjects[1].verts[2].subobj2 = c.subobj2;
    EXPECT_EQ(total_vertices_text(*m), c.expected);
    EXPECT_EQ(total_polys_text(*m), "Total Polys: 7");
  }
}

TEST(EditorTexts, ObjectLinePadsCounts) {
  EXPECT_EQ(object_line(part("01 Hull", 0, 28, 123456)), "01 Hull    28 123456");
}

TEST(EditorTexts, PartAnimationLineNamesTheTypes) {
  struct Case {
    int transform_as, rotate, scale;
    const char* expected;
  };
  const Case cases[] = {{0, 0, 0, "02 Gun\t[01]\t-\t-"},          {2, 1, 1, "02 Gun\t[03]\tRFixed\tSAll"},
                        {11, 2, 2, "02 Gun\t[12]\tRFunc\tSIndv"}, {0, 3, 0, "02 Gun\t[01]\tRFace\t-"},
                        {0, 4, 7, "02 Gun\t[01]\tRFaceXZ\t-"},    {0, -1, 0, "02 Gun\t[01]\t-\t-"}};
  for (const Case& c : cases) {
    PartAnimation a;
    a.transform_as = c.transform_as;
    a.rotate_type = c.rotate;
    a.scale_type = c.scale;
    EXPECT_EQ(part_animation_line(part("02 Gun", 1, 0, 0), a), c.expected);
  }
}

TEST(EditorTexts, ColourStripFollowsTheStyle) {
  ColorGenerator g;
  g.start_red = 10;
  g.start_green = 300;  // stored as typed: shown clamped
  g.end_red = 210;
  g.end_blue = 100;
  struct Case {
    int style, x;
    std::optional<std::array<int, 3>> expected;
  };
  const Case cases[] = {{0, 0, std::nullopt},
                        {0x18, 0, std::array{10, 255, 0}},
                        {0x18, 100, std::array{10, 255, 0}},
                        {0x32, 0, std::array{10, 255, 0}},
                        {0x32, 50, std::array{110, 128, 50}},
                        {0x32, 100, std::array{210, 0, 100}}};
  for (const Case& c : cases) {
    g.style = c.style;
    EXPECT_EQ(colour_strip_at(g, c.x, 101), c.expected) << c.style << " " << c.x;
  }
}

}  // namespace
}  // namespace orvo
