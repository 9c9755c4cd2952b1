// The preview's floor textures: the checkerboard by value, the speckle's
// alpha range and grey relation, and the speckle pinned texel for texel.
#include "orvo/viewer/preview_floor.h"

#include <gtest/gtest.h>

namespace orvo::render {
namespace {

TEST(PreviewFloor, CheckerboardOfEightTexelSquares) {
  const auto t = floor_checker_texels();
  ASSERT_EQ(t.size(), 256u * 256u);
  const struct {
    int x, y;
    uint32_t want;
  } rows[] = {{0, 0, 0x80485060},     {7, 7, 0x80485060},   {8, 0, 0x08908078},
              {0, 15, 0x08908078},    {8, 8, 0x80485060},   {255, 0, 0x08908078},
              {255, 255, 0x80485060}, {21, 13, 0x08908078}, {20, 4, 0x80485060}};
  for (const auto& r : rows) EXPECT_EQ(t[r.y * 256 + r.x], r.want) << r.x << ", " << r.y;
}

TEST(PreviewFloor, SpeckleIsLightGreyWithItsPatternInAlpha) {
  const auto t = floor_noise_texels();
  ASSERT_EQ(t.size(), 256u * 256u);
  uint32_t lowest = 255, highest = 0;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the texels
  for (uint32_t texel : t) {
    const uint32_t a = texel >> 24;
    const uint32_t grey = (a >> 5) + 248;
    ASSERT_EQ(texel & 0xFFFFFF, grey * 0x010101u) << std::hex << texel;
    lowest = std::min(lowest, a);
    highest = std::max(highest, a);
    for (int k = 0; k < 4; ++k) hash = (hash ^ ((texel >> (8 * k)) & 0xFF)) * 1099511628211ull;
  }
  EXPECT_GE(lowest, 15u);
  EXPECT_LE(highest, 159u);
  EXPECT_LT(lowest, highest);  // a pattern, not a flat colour
  // Pinned: any change to the field, the smoothing or the sampling shows here.
  EXPECT_EQ(hash, 7447423236526455906ull);
  EXPECT_EQ(t[0], 0x4CFAFAFAu);
  EXPECT_EQ(t[256 * 100 + 37], 0x3AF9F9F9u);
  EXPECT_EQ(t[256 * 255 + 255], 0x1CF8F8F8u);
}

}  // namespace
}  // namespace orvo::render
