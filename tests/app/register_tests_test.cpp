// The register test dialogs' arithmetic: slider rows and the destroy
// sequence's stages over its cycle.
#include "orvo/app/register_tests.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvo {
namespace {

TEST(RegisterTests, ValuesClampToTheRegisterRange) {
  const struct {
    double value;
    int32_t expected;
  } cases[] = {{-0.5, 0}, {0.0, 0}, {0.25, 16384}, {0.999999, 65535}, {1.0, 65536}, {7.0, 65536}, {NAN, 0}};
  for (const auto& c : cases) EXPECT_EQ(register_fixed(c.value), c.expected) << c.value;
  EXPECT_EQ(slider_register_value(256), 65536);  // the right end is exactly 1.0
  EXPECT_EQ(slider_register_value(128), 32768);
  EXPECT_EQ(slider_register_value(0), 0);
}

TEST(RegisterTests, DestroyStagesAtOneAndAQuarterSeconds) {
  DestroySequence d;
  EXPECT_DOUBLE_EQ(d.cycle(), 3.5);
  EXPECT_EQ(d.slider_range(), 350);
  // Stage k runs from (k − 1)·S for L seconds: at 1.25 s the first is done,
  // the second three quarters and the third a quarter through, the others
  // not begun; the whole sequence is 1.25 / 3 through.
  d.set_time(1.25);
  const std::array<int32_t, 6> r = d.registers();
  EXPECT_EQ(r, (std::array<int32_t, 6>{65536, 49152, 16384, 0, 0, static_cast<int32_t>(1.25 / 3.0 * 65536)}));
}

TEST(RegisterTests, TheCycleRestartsAfterItsLengthAndTheSliderFollowsEveryFourthTick) {
  DestroySequence d;
  EXPECT_EQ(d.tick(), -1);  // paused: time stands
  EXPECT_EQ(d.time(), 0.0);
  d.toggle_playing();
  int restart = 0, moves = 0;
  for (int i = 1; i <= 80 && restart == 0; ++i) {
    const int position = d.tick();
    if (position == 0 && d.time() == 0.0) restart = i;
    else if (position > 0) ++moves;
  }
  EXPECT_EQ(restart, 70);  // 70 × 50 ms = 3.5 s
  EXPECT_EQ(moves, 17);
  d.set_slider(175);
  EXPECT_DOUBLE_EQ(d.time(), 1.75);
  // Lengths that make no cycle still give a usable slider.
  d.set_length(-9);
  EXPECT_EQ(d.slider_range(), 1);
}

}  // namespace
}  // namespace orvo
