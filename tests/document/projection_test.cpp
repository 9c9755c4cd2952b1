#include "orvo/document/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <locale>
#include <memory>

namespace orvo {
namespace {

ViewCamera camera(Plane plane, std::array<float, 3> centre = {0, 0, 0}, float zoom = 6.0f) {
  ViewCamera c;
  c.plane = static_cast<int>(plane);
  c.centre = centre;
  c.zoom = zoom;
  return c;
}

TEST(Projection, PlanesShowThirtyPixelsPerUnitAtZoomSix) {
  struct Case {
    Plane plane;
    int width;
    Vec3 point;
    Point2i pixel;
  };
  // Centre (1, 2, 3); an 800 x 600 page has its centre at (400, 300).
  const Case cases[] = {
      {Plane::kXY, 800, {2, 4, 0}, {430, 240}},
      {Plane::kXZ, 800, {2, 4, 0}, {430, 390}},
      {Plane::kYZ, 800, {2, 4, 0}, {460, 390}},
      // Plane coordinates are truncated toward zero: -7.5 and 7.5 give -7 and 7.
      {Plane::kXY, 800, {0.75f, 2.25f, 3}, {393, 293}},
      // Wider pages widen the scale; odd widths round the centre up.
      {Plane::kXY, 1600, {2, 4, 0}, {860, 180}},
      {Plane::kYZ, 801, {0, 2.5f, 3}, {416, 300}},
  };
  for (const Case& c : cases) {
    const Projection p(camera(c.plane, {1, 2, 3}), c.width, 600);
    EXPECT_EQ(p.project(c.point), c.pixel) << static_cast<int>(c.plane) << " width " << c.width;
  }
}

TEST(Projection, PickingInvertsToWithinAPixel) {
  // Within a pixel on an 800-pixel page; other widths pick in plane units
  // of k = W / 800 pixels and may be off by two units.
  const std::pair<int, int> widths[] = {{800, 1}, {1000, 3}, {1600, 4}};
  for (Plane plane : {Plane::kXY, Plane::kXZ, Plane::kYZ}) {
    const std::array<float, 3> centre{1.5f, -2.25f, 7.0f};
    for (const auto& [width, tolerance] : widths) {
      const Projection p(camera(plane, centre, 3.7f), width, 700);
      for (int x = 0; x < width; x += 7) {
        for (int y = 0; y < 700; y += 11) {
          const std::optional<Vec3> picked = p.unproject(x, y);
          ASSERT_TRUE(picked);
          const Point2i back = *p.project(*picked);
          EXPECT_LE(std::abs(back.x - x), tolerance) << static_cast<int>(plane) << " at " << x << "," << y;
          EXPECT_LE(std::abs(back.y - y), tolerance) << static_cast<int>(plane) << " at " << x << "," << y;
        }
      }
    }
    const Projection p(camera(plane, centre, 3.7f), 1000, 700);
    // The coordinate the plane does not show is the centre's.
    const Vec3 q = *p.unproject(10, 20);
    const float hidden = plane == Plane::kXY ? q.z : plane == Plane::kXZ ? q.y : q.x;
    const float centre_hidden = plane == Plane::kXY ? centre[2] : plane == Plane::kXZ ? centre[1] : centre[0];
    EXPECT_EQ(hidden, centre_hidden);
  }
  // 3D view (yaw 1, pitch 0.5: looking down at the centre): the ray meets
  // the horizontal plane through the centre.
  const Projection p3(camera(Plane::k3D, {1, 2, 3}), 800, 600);
  const Vec3 mid = *p3.unproject(400, 300);
  EXPECT_NEAR(mid.x, 1.0f, 1e-4);
  EXPECT_NEAR(mid.y, 2.0f, 1e-4);
  EXPECT_EQ(mid.z, 3.0f);
  const Point2i at = *p3.project({3, -1, 3});
  const Vec3 hit = *p3.unproject(at.x, at.y);
  EXPECT_NEAR(hit.x, 3.0f, 0.1);
  EXPECT_NEAR(hit.y, -1.0f, 0.1);
  // Looking level, the ray through the centre runs along the plane.
  ViewCamera level = camera(Plane::k3D);
  level.pitch = 0;
  EXPECT_FALSE(Projection(level, 800, 600).unproject(400, 300));
}

TEST(Projection, ThreeDViewDropsAndClipsWhatIsNearerThanTheNearLimit) {
  // Yaw 0, pitch 0: the eye looks from +x toward the centre, d = 100/6 + 1.
  ViewCamera c = camera(Plane::k3D);
  c.yaw = 0;
  c.pitch = 0;
  const Projection p(c, 800, 600);
  const float d = 100.0f / 6.0f + 1.0f;
  EXPECT_FLOAT_EQ(p.near_limit(), 0.2f * d);

  EXPECT_EQ(p.project({0, 0, 0}), (Point2i{400, 300}));
  // One unit up at the centre's depth: 500 / d pixels higher.
  EXPECT_EQ(p.project({0, 0, 1}), (Point2i{400, static_cast<int>(300 - 500.0f / d)}));
  EXPECT_FALSE(p.project({20, 0, 0}));  // behind the eye
  EXPECT_FALSE(p.project({d - 0.1f * d, 0, 0}));

  // A segment from in front to behind the eye ends on the near limit.
  const Vec3 front{-10, 0, 1}, behind{20, 0, 1};
  const auto line = p.project_line(front, behind);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->first, *p.project(front));
  EXPECT_NEAR(line->second.x, 400, 1);
  EXPECT_NEAR(line->second.y, 300 - 500.0f / p.near_limit(), 1);
  const auto reversed = p.project_line(behind, front);
  ASSERT_TRUE(reversed);
  EXPECT_EQ(reversed->first, line->second);
  EXPECT_FALSE(p.project_line({20, 0, 0}, {30, 1, 1}));
}

TEST(Grid, ThirtyThreeLinesEachWayWithEverySixteenthMajor) {
  // Centre x 5 and y -3 with step 2 round down to 4 and -4; the lines start
  // 16 steps before.
  const ViewCamera c = camera(Plane::kXY, {5, -3, 0});
  const Projection p(c, 800, 600);
  const std::vector<GridLine> lines = grid_lines(p, c, 2);
  ASSERT_EQ(lines.size(), 66u);
  int vertical = 0, major = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    vertical += lines[i].vertical;
    major += lines[i].major;
    EXPECT_EQ(lines[i].major, i % 33 % 16 == 0) << i;
    EXPECT_EQ(lines[i].colour(), lines[i].major ? kGridMajorColour : kGridColour);
  }
  EXPECT_EQ(vertical, 33);
  EXPECT_EQ(major, 6);
  // First vertical line at x = -28 (33 units left of the centre), then every 2.
  EXPECT_EQ(lines[0].from, (Point2i{400 - 990, 0}));
  EXPECT_EQ(lines[0].to, (Point2i{400 - 990, 599}));
  EXPECT_EQ(lines[1].from.x, 400 - 930);
  EXPECT_EQ(lines[16].from.x, 400 - 30);
  // First horizontal line at y = -36, 33 units below the centre.
  EXPECT_EQ(lines[33].from, (Point2i{0, 300 + 990}));
  EXPECT_EQ(lines[33].to, (Point2i{799, 300 + 990}));

  EXPECT_TRUE(grid_lines(Projection(camera(Plane::k3D), 800, 600), camera(Plane::k3D), 2).empty());
}

SubObject subobject(const char* name, int verts, int faces) {
  SubObject so;
  so.name = name;
  so.verts.resize(static_cast<std::size_t>(verts));
  so.faces.resize(static_cast<std::size_t>(faces));
  return so;
}

TEST(ItemPane, LinesForEachLayerBy) {
  auto m = std::make_unique<Model>();  // 1000 materials inline: off the stack
  model_reset(*m);
  m->name = "tankh";
  m->subobjects.push_back(subobject("01 Hull", 28, 44));
  m->subobjects.push_back(subobject("02 Turret", 12, 20));
  m->num_materials = 2;
  m->materials[0].name = "hull.tga";
  m->materials[1].name = "turret.tga";
  BoundingObject b;
  b.name = "CB01 Hull";
  m->bobj.push_back(b);

  using Lines = std::vector<std::string>;
  EXPECT_EQ(item_pane_lines(*m, 0), (Lines{"Object: tankh", "Sub Objects: 2", "01 Hull   28   44",
                                           "02 Turret   12   20", "Vertices: 40", "Polys: 64"}));
  EXPECT_EQ(item_pane_lines(*m, 1), (Lines{"Object: tankh", "Materials: 2", "hull.tga", "turret.tga"}));
  EXPECT_EQ(item_pane_lines(*m, 2), (Lines{"Object: tankh", "Num Bound: 1", "CB01 Hull"}));
  m->subobjects.clear();
  EXPECT_EQ(item_pane_lines(*m, 0), (Lines{"Object: tankh", "Sub Objects: 0"}));
}

TEST(Texts, CentreAndHoverReadouts) {
  EXPECT_EQ(centre_pane_text({1.5f, -2.25f, 1234.56789f}), "X:1.5000\nY:-2.2500\nZ:1234.5679");
  EXPECT_EQ(hover_text(Vec3{0.5f, -3, 10}), "(0.5000, -3.0000, 10.0000)   ");
  const std::string none = hover_text(std::nullopt);
  EXPECT_EQ(none.size(), kHoverNoneLength);
  EXPECT_EQ(none.substr(0, 3), "N/A");
  EXPECT_EQ(none.find_first_not_of(' ', 3), std::string::npos);
}

TEST(Texts, NumbersKeepTheirPointUnderAGermanLocale) {
  // Setting the global locale by name also sets the C library's locale.
  std::locale old_global;
  try {
    old_global = std::locale::global(std::locale("de_DE.UTF-8"));
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "no de_DE.UTF-8 locale";
  }
  const std::string centre = centre_pane_text({1.5f, 0, 0});
  const std::string hover = hover_text(Vec3{0.25f, 0, 0});
  std::locale::global(old_global);
  EXPECT_EQ(centre, "X:1.5000\nY:0.0000\nZ:0.0000");
  EXPECT_EQ(hover, "(0.2500, 0.0000, 0.0000)   ");
}

TEST(Layers, FiltersFollowLayerBy) {
  LayerFlags layers;
  layers.fill(1);
  layers[1] = 0;    // sub-object 1
  layers[105] = 0;  // material 5
  layers[203] = 0;  // bounding object 3
  Face hidden_material;
  hidden_material.material = 5;
  hidden_material.smoothing = 1;
  Face unsmoothed;
  BoundingObject on_subobject_1;
  on_subobject_1.subobj = 1;

  EXPECT_FALSE(subobject_visible(layers, 0, 1));
  EXPECT_TRUE(subobject_visible(layers, 1, 1));  // a hidden material leaves its sub-objects
  EXPECT_TRUE(subobject_visible(layers, 0, 150));
  EXPECT_FALSE(face_visible(layers, 1, false, hidden_material));
  EXPECT_TRUE(face_visible(layers, 0, true, hidden_material));
  EXPECT_FALSE(face_visible(layers, 0, true, unsmoothed));
  EXPECT_TRUE(face_visible(layers, 0, false, unsmoothed));
  EXPECT_FALSE(bounding_visible(layers, 0, on_subobject_1, 0));
  EXPECT_TRUE(bounding_visible(layers, 1, on_subobject_1, 3));
  EXPECT_FALSE(bounding_visible(layers, 2, on_subobject_1, 3));
  EXPECT_TRUE(bounding_visible(layers, 2, on_subobject_1, 0));
}

}  // namespace
}  // namespace orvo
