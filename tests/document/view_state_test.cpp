// The view state's key and button rules: zoom clamps without a redraw, grid
// step limits, panning per plane, the fly camera from the orbit camera, the
// window title.
#include "orvo/document/view_state.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvo/document/projection.h"
#include "orvo/model/model.h"

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

// Frame All puts a model far from the origin, hundreds of units across,
// into the page: in each plane and in the wire 3D view from several
// directions, its box spans most of the page's width or height and no
// corner leaves it.
TEST(ViewState, FrameAllFitsTheModelIntoThePage) {
  Model model;
  model.subobjects.resize(2);
  std::array<Vec3, 8> corners{};
  for (int i = 0; i < 8; ++i) {
    corners[i] = Vec3{i & 1 ? 1400.0f : 1000.0f, i & 2 ? 60.0f : -40.0f, i & 4 ? 85.0f : 5.0f};
    model.subobjects[i / 4].verts.push_back(Vertex{corners[i].x, corners[i].y, corners[i].z});
  }
  for (const int plane : {kPlaneXY, kPlaneXZ, kPlaneYZ, kPlane3D}) {
    for (const float yaw : {0.0f, 1.0f, 2.5f}) {
      ViewState v;
      v.plane = plane;
      v.yaw = yaw;
      ASSERT_TRUE(frame_model(v, model, 900, 600));
      EXPECT_FLOAT_EQ(v.centre[0], 1200.0f);
      EXPECT_FLOAT_EQ(v.centre[1], 10.0f);
      EXPECT_FLOAT_EQ(v.centre[2], 45.0f);
      const Projection p(view_camera(v), 900, 600);
      int left = 900, right = 0, top = 600, bottom = 0;
      for (const Vec3& c : corners) {
        const auto q = p.project(c);
        ASSERT_TRUE(q) << plane;
        left = std::min(left, q->x), right = std::max(right, q->x);
        top = std::min(top, q->y), bottom = std::max(bottom, q->y);
      }
      EXPECT_GE(left, 0) << plane << " " << yaw;
      EXPECT_LE(right, 900) << plane << " " << yaw;
      EXPECT_GE(top, 0) << plane << " " << yaw;
      EXPECT_LE(bottom, 600) << plane << " " << yaw;
      // In perspective, one side of a box centred on the page comes nearer
      // than the other.
      const double fill = plane == kPlane3D ? 0.6 : 0.85;
      EXPECT_TRUE(right - left >= fill * 900 || bottom - top >= fill * 600)
          << plane << " " << yaw << ": " << right - left << " x " << bottom - top;
    }
  }
  // Nothing to frame: the view stays.
  ViewState v;
  EXPECT_FALSE(frame_model(v, Model{}, 900, 600));
  EXPECT_EQ(v.zoom, ViewState{}.zoom);
  // A single point is looked at from as close as the zoom goes.
  Model point;
  point.subobjects.resize(1);
  point.subobjects[0].verts = {Vertex{3, 4, 5}};
  ASSERT_TRUE(frame_model(v, point, 900, 600));
  EXPECT_EQ(v.zoom, kMaxZoom);
}

}  // namespace
}  // namespace orvo
