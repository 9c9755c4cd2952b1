// The view state's key and button rules: zoom clamps without a redraw, grid
// step limits, panning per plane, the fly camera from the orbit camera, the
// window title.
#include "orvo/document/view_state.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvo {
namespace {

TEST(ViewState, ZoomStopsAtItsLimitsWithoutARedraw) {
  ViewState v;
  v.zoom = 950;
  EXPECT_FALSE(zoom_in(v));
  EXPECT_EQ(v.zoom, 1000.0f);
  v.zoom = 900;
  EXPECT_TRUE(zoom_in(v));
  EXPECT_FLOAT_EQ(v.zoom, 990.0f);
  v.zoom = 0.0105f;
  EXPECT_FALSE(zoom_out(v));
  EXPECT_EQ(v.zoom, 0.01f);
}

TEST(ViewState, GridStepStaysWithinOneAnd1024) {
  ViewState v;
  v.grid_step = 1024;
  EXPECT_FALSE(grow_grid_step(v));
  EXPECT_EQ(v.grid_step, 1024);
  EXPECT_TRUE(shrink_grid_step(v));
  EXPECT_EQ(v.grid_step, 512);
  v.grid_step = 1;
  EXPECT_FALSE(shrink_grid_step(v));
  EXPECT_EQ(v.grid_step, 1);
}

TEST(ViewState, ArrowsPanAlongThePlane) {
  struct Case {
    int plane;
    bool sideways;
    int direction;
    std::array<float, 3> centre;
  } cases[] = {
      {kPlaneXY, true, 1, {-2, 0, 0}},  {kPlaneXZ, true, -1, {2, 0, 0}},  {kPlaneYZ, true, 1, {0, -2, 0}},
      {kPlaneXY, false, 1, {0, -2, 0}}, {kPlaneXZ, false, 1, {0, 0, -2}}, {kPlaneYZ, false, -1, {0, 0, 2}},
  };
  for (const Case& c : cases) {
    ViewState v;
    v.grid_step = 32;  // s = 2
    v.plane = c.plane;
    c.sideways ? pan_sideways(v, c.direction) : pan_up_down(v, c.direction);
    EXPECT_EQ(v.centre, c.centre) << c.plane << " " << c.sideways;
  }
  ViewState v;
  v.plane = kPlane3D;
  v.grid_step = 16;
  v.yaw = 0;
  pan_sideways(v, 1);
  EXPECT_FLOAT_EQ(v.centre[1], -1.0f);
}

TEST(ViewState, FlyCameraStartsWhereTheOrbitCameraIs) {
  ViewState v;
  v.yaw = 0;
  v.pitch = 0;
  v.zoom = 10;
  set_fly_camera_from_orbit(v);
  EXPECT_EQ(v.fly_camera[0], static_cast<int32_t>(10.1 * 65536));
  EXPECT_EQ(v.fly_camera[1], 0);
  EXPECT_EQ(v.fly_camera[3], static_cast<int32_t>(32767u << 16));  // half a turn
  EXPECT_EQ(v.fly_camera[4], 0);
  v.pitch = 0.5f;
  set_fly_camera_from_orbit(v);
  EXPECT_LT(v.fly_camera[4], 0);
}

TEST(ViewState, TitleWithAndWithoutModelName) {
  EXPECT_EQ(window_title("tank"), "TanuORVO v1.05.02e - tank");
  EXPECT_EQ(window_title(""), "TanuORVO v1.05.02e");
}

}  // namespace
}  // namespace orvo
