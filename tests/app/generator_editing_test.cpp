// The generator editors' texts and graph, and the function preset file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/app/generator_texts.h"
#include "orvo/model/generators.h"

namespace orvo {
namespace {

Generator scalar(int style, float start, float end, float rate = 0, float phase = 0, const char* reg = "") {
  Generator g;
  g.style = style;
  g.start = start;
  g.end = end;
  g.rate = rate;
  g.phase = phase;
  g.ctrlreg.assign(reg);
  return g;
}

TEST(GeneratorSummary, ScalarForms) {
  struct Case {
    Generator g;
    bool integer, three;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {scalar(0, 1, 2), false, true, "None"},
      {scalar(kStyleSet, 3.7f, 9), true, true, "Set\r\n3\r\n"},
      {scalar(kStyleSet, 3.7f, 9), false, false, "Set\r\n3.70    "},
      {scalar(0x32, 1.5f, -2.25f, 1, 0.5f), false, true,
       "Set Wave - Sine\r\nStart 1.50   End -2.25\r\nRate 1.00   Phase 0.50"},
      {scalar(0x32, 1.9f, -2.9f, 2, 0), true, false, "Set Wave - Sine\r\nStart 1   End -2    Rate 2.00   Phase 0.00"},
      {scalar(0x71, 0, 255, 0, 0, "DOOR_03"), true, true,
       "Set - Control Register\r\nStart 0   End 255\r\nRegister 'DOOR_03'"},
      {scalar(0x20, 0, 1, 0.25f, 0), false, true, "Rotate CW\r\nStart 0.00   End 1.00\r\nRate 0.25   Phase 0.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(scalar_summary(c.g, c.integer, c.three), c.expected) << c.expected;
}

TEST(GeneratorSummary, ColourForms) {
  ColorGenerator g;
  EXPECT_EQ(color_summary(g), "None");
  g.style = kStyleSet;
  g.start_red = 10, g.start_green = 20, g.start_blue = 30;
  g.end_red = 1, g.end_green = 2, g.end_blue = 3;
  EXPECT_EQ(color_summary(g), "Set\r\n10,20,30");
  g.style = 0x41;
  g.rate = 0.5f;
  EXPECT_EQ(color_summary(g), "Add Wave - Square\r\nStart 10,20,30   End 1,2,3\r\nRate 0.50   Phase 0.00");
  g.style = 0x72;
  g.ctrlreg.assign("FLICKER");
  EXPECT_EQ(color_summary(g), "Add - Control Register\r\nStart 10,20,30   End 1,2,3\r\nRegister 'FLICKER'");
}

TEST(GeneratorStyleLists, DialogListsHoldTheirStyles) {
  auto values = [](const NamedValue* list) {
    std::vector<int> v;
    for (const NamedValue& e : named_entries(list)) v.push_back(e.value);
    return v;
  };
  const std::vector<int> set_only = {0,    0x18, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
                                     0x37, 0x38, 0x39, 0x3A, 0x3F, 0x70, 0x71};
  EXPECT_EQ(values(kSetOnlyStyleList), set_only);
  EXPECT_EQ(values(kColorStyleList).size(), set_only.size() + 13);
  EXPECT_EQ(values(kFullStyleList), values(kMappingStyles));
}

TEST(WaveGraph, ThreePeriodsAcrossTheRectangle) {
  const auto points = wave_graph_points(0x31, 0, 0, 772, 100);  // Set Wave - Square
  ASSERT_EQ(points.size(), 767u);
  EXPECT_EQ(points.front().x, 2);
  EXPECT_EQ(points.back().x, 2 + 766 * 768 / 768);
  EXPECT_EQ(points[0].y, 98 + (255 * -96) / 256);  // the top of the square
  EXPECT_EQ(points[200].y, 98);                    // its bottom
  EXPECT_EQ(points[256].y, points[0].y);           // the next period
  // A style without a wave draws a flat line.
  for (const GraphPoint& p : wave_graph_points(kStyleSet, 0, 0, 772, 100)) EXPECT_EQ(p.y, 98);
}

}  // namespace
}  // namespace orvo
