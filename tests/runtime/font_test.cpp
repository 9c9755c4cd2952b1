// Preview fonts: the atlas cells (no glyph for 127 .. 129, a large size
// spilling onto page 1 with every rectangle inside its page), the page
// effects and reduction, string layout, and real pages drawn with the
// system's substitute for "Arial".
#include "orvo/runtime/font.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <map>

#include "orvo/runtime/fonts/font_pages.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

TEST(FontLayout, CellsFollowTheRowAndPageRules) {
  const auto fixed = [](int) { return GlyphExtent{20, 30}; };
  const std::vector<GlyphPlacement> small = place_glyphs(32, 0, fixed);
  EXPECT_EQ(small.size(), 220u);  // 32 .. 254 without 127, 128, 129
  for (const GlyphPlacement& g : small) EXPECT_TRUE(font_has_glyph(g.code));
  // gw = 27 & ~3 = 24, gh = 29 & ~3 = 28; cells 36 x 36, 28 to a row.
  EXPECT_EQ(small[0].gw, 24);
  EXPECT_EQ(small[0].gh, 28);
  EXPECT_EQ(small[28].x, 0);
  EXPECT_EQ(small[28].y, 36);
  EXPECT_EQ(small[1].draw_x, 36 + 4);

  // A large size fills page 0 and goes on on page 1.
  const std::vector<GlyphPlacement> large = place_glyphs(200, kFontGlow, [](int) { return GlyphExtent{90, 120}; });
  EXPECT_GT(large.back().page, 0);
  for (const GlyphPlacement& g : large) {
    EXPECT_LE(g.x + g.gw, kFontPageSide);
    EXPECT_LE(g.y + g.gh, kFontPageSide);
    EXPECT_EQ(g.draw_x, g.x + 12);
  }
  EXPECT_EQ(font_baseline(16, kFontGlow | kFontItalic), -3 - 1);
}

TEST(FontPages, EffectsAndReductionKeepGlyphsWhiteWithTheirCoverage) {
  FontPage page{kFontPageSide, std::vector<uint32_t>(kFontPageSide * kFontPageSide, 0)};
  for (int y = 100; y < 104; ++y)
    for (int x = 200; x < 204; ++x) page.pixels[static_cast<size_t>(y * kFontPageSide + x)] = 0xFFFFFF;
  const FontPage plain = reduce_page(page);
  EXPECT_EQ(plain.pixels[25 * 256 + 50], 0xFFFFFFFFu);
  EXPECT_EQ(plain.pixels[25 * 256 + 51] >> 24, 0u);

  FontPage outlined = page;
  apply_outline(outlined);
  EXPECT_EQ(outlined.pixels[100 * kFontPageSide + 198], 0xFF000000u);  // the rim: opaque black
  EXPECT_EQ(outlined.pixels[100 * kFontPageSide + 197], 0u);
  FontPage glowing = page;
  apply_glow(glowing);
  EXPECT_EQ(glowing.pixels[100 * kFontPageSide + 196] >> 24, 127u);
}

TEST(FontPages, ArialIsDrawnWithASubstituteAndStringsLayOut) {
  tools::test::ScratchDir dir{"font"};
  tools::SystemLog log(dir.file("ghw.txt"));
  std::map<std::string, FontPage> made;
  Font font;
  ASSERT_EQ(create_font(
                font, "Arial", 16, kFontKeepPixels,
                [&](const std::string& key, const FontPage& page, int format, uint32_t flags) {
                  EXPECT_EQ(format, 0);
                  EXPECT_EQ(flags, 0x140001u);
                  made[key] = page;
                  return static_cast<int32_t>(made.size());
                },
                96, &log),
            0);
  ASSERT_GE(font.page_count, 1);
  EXPECT_EQ(made.size(), static_cast<size_t>(font.page_count));
  EXPECT_EQ(made.begin()->first.substr(0, 5), "GFONT");
  EXPECT_NE(tools::test::slurp(dir.file("ghw.txt")).find("Font:     'Arial' drawn as '" + font.substitute + "'"),
            std::string::npos);
  EXPECT_EQ(font.glyphs[127].page, -1);
  EXPECT_EQ(font.glyphs[128].page, -1);

  // 'A' has coverage inside its rectangle on its page.
  const GlyphRect& a = font.glyphs['A'];
  ASSERT_GE(a.page, 0);
  const FontPage& page = font.kept_pages[static_cast<size_t>(a.page)];
  uint32_t most = 0;
  for (int y = static_cast<int>(a.top * 256); y < static_cast<int>(a.bottom * 256); ++y)
    for (int x = static_cast<int>(a.left * 256); x < static_cast<int>(a.right * 256); ++x)
      most = std::max(most, page.pixels[static_cast<size_t>(y * 256 + x)] >> 24);
  EXPECT_GT(most, 128u);

  const std::vector<GlyphQuad> quads = layout_string(font, "FPS: 60", 32, 120);
  ASSERT_EQ(quads.size(), 7u);
  EXPECT_FLOAT_EQ(quads[0].x0, 32);
  for (size_t i = 1; i < quads.size(); ++i) EXPECT_FLOAT_EQ(quads[i].x0, quads[i - 1].x1);
  EXPECT_FLOAT_EQ(string_width(font, "FPS: 60"), quads.back().x1 - 32);
  EXPECT_EQ(create_font(font, "", 16, 0, {}), kFontCreationFailed);
}

}  // namespace
}  // namespace orvo

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
