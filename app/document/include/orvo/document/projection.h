// Geometry of the 2D page view, free of any window system: the projection of
// model points onto the page (three orthographic planes and a wire 3D view),
// picking a model point under a pixel, the grid, the pens of the drawing, the
// texts of the item and centre panes and of the hover readout, and the layer
// filters that decide what is drawn.
//
// Arithmetic is done in 32-bit floats, as the view state holds its angles,
// zoom and centre; every truncation toward zero sits where the drawing code
// has always put it, so a point lands on the same pixel as it always has.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "orvo/document/view_state.h"
#include "orvo/model/model.h"

namespace orvo {

// What the projection is set up from: the view state's yaw and pitch
// (radians), zoom, centre (x, y, z) and plane (0 XY, 1 XZ, 2 YZ, 4 3D view).
struct ViewCamera {
  float yaw = 1.0f;
  float pitch = 0.5f;
  float zoom = 6.0f;
  std::array<float, 3> centre{};
  int plane = 0;
};

// The camera of the view state.
inline ViewCamera view_camera(const ViewState& v) {
  return ViewCamera{v.yaw, v.pitch, v.zoom, v.centre, v.plane};
}

struct Point2i {
  int x = 0, y = 0;
  friend bool operator==(const Point2i&, const Point2i&) = default;
};

// Maps model points to pixels of a drawing rectangle of width W and height H
// (page or printer). Scale s = zoom · 5 model units to plane pixels, widened
// by k = W / 800, so at zoom 6 on an 800-pixel page one unit is 30 pixels.
// The page centre is ((W + 1) / 2, (H + 1) / 2) in integer halves. The 3D
// view looks at the centre from a distance d = 100 / zoom + 1 with heading
// −(yaw + 3.14159), a perspective factor of 500, and does not draw what lies
// nearer than 0.2 · d.
class Projection {
 public:
  Projection(const ViewCamera& camera, int width, int height);

  Plane plane() const { return plane_; }
  int width() const { return width_; }
  int height() const { return height_; }
  float scale() const { return s_; }
  float page_factor() const { return k_; }
  int centre_x() const { return cx_; }
  int centre_y() const { return cy_; }
  float near_limit() const { return near_; }

  // The pixel of a model point; none in the 3D view when the point lies
  // nearer than the near limit (behind the eye included).
  std::optional<Point2i> project(const Vec3& p) const;
  // The pixels of a segment's ends. In the 3D view the segment is first cut
  // at the near limit (in view space, before the perspective divide); none
  // when it lies wholly nearer. In the planes both ends are always drawn.
  std::optional<std::pair<Point2i, Point2i>> project_line(const Vec3& a, const Vec3& b) const;
  // Picking: the model point under pixel (x, y) in the three planes, with the
  // two plane coordinates from the inverse mapping and the third taken from
  // the centre. The inverse truncates to whole plane units of k pixels, like
  // the forward mapping, and u / s need not scale back to exactly u, so a
  // picked point projects back to within one pixel of (x, y) on an 800-pixel
  // page (k = 1), within about 2k pixels on others, not always onto it.
  // In the 3D view: where the view ray through the pixel meets the
  // horizontal plane through the centre (z = centre z); none when the ray is
  // within 0.0001 of parallel to it or the hit lies nearer than the near
  // limit.
  std::optional<Vec3> unproject(int x, int y) const;

 private:
  // View-space coordinates in the 3D view: side a, up b, depth e.
  struct ViewPoint {
    float a, b, e;
  };
  ViewPoint to_view(const Vec3& p) const;
  Point2i to_pixel(int u, float v) const;
  Point2i from_view(const ViewPoint& q) const;

  Plane plane_;
  int width_, height_;
  std::array<float, 3> centre_;
  float s_, k_;
  int cx_, cy_;
  float cos_h_, sin_h_, cos_p_, sin_p_;
  float d_, near_;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Pens of the 2D drawing.
inline constexpr Rgb kGridColour{0, 0, 200};
inline constexpr Rgb kGridMajorColour{50, 50, 255};
inline constexpr Rgb kSmoothPolyColour{255, 100, 255};  // polygons in a smoothing group
inline constexpr Rgb kPolyColour{200, 200, 200};        // polygons without one
inline constexpr Rgb kTextureAnimColour{0, 128, 255};
inline constexpr Rgb kAttachColour{255, 100, 255};
inline constexpr Rgb kAttachTextColour{255, 255, 0};
// Centre point axes, the first, second and third.
inline constexpr std::array<Rgb, 3> kCentreAxisColours{Rgb{144, 144, 0}, Rgb{192, 96, 96}, Rgb{192, 0, 0}};
inline constexpr Rgb kLightColour{255, 224, 96};
inline constexpr Rgb kLightShadeColour{160, 128, 48};
// Plus marks of attachment, centre and user points: five pixels across.
inline constexpr int kPlusMarkSize = 5;

struct Pen {
  Rgb colour;
  bool dotted = false;
  friend bool operator==(const Pen&, const Pen&) = default;
};
// The outline pen of a bounding object by its type: occluders (20 to 24)
// brown, bounding boxes ("BB", 8) green, collision volumes (the other "C"
// types) blue, anything else (detail and light volumes, unknown prefixes)
// dotted light blue.
Pen bounding_pen(int type);

// Grid of the three planes: 33 lines across the rectangle each way.
struct GridLine {
  Point2i from, to;
  bool vertical = false;  // a line of constant horizontal plane coordinate
  bool major = false;     // every sixteenth line, counted from the first
  Rgb colour() const { return major ? kGridMajorColour : kGridColour; }
};
inline constexpr int kGridLines = 33;
// The first line of each direction lies 16 steps before the centre's
// coordinate rounded down to a multiple of the step; lines 0, 16 and 32 are
// major. Vertical lines run from y = 0 to H − 1, horizontal ones from x = 0 to
// W − 1. Empty in the 3D view or for a step below 1.
std::vector<GridLine> grid_lines(const Projection& projection, const ViewCamera& camera, int grid_step);

// Labels of the drawing.
std::string user_point_label(const UserPoint& point);  // "UPL %s", "UPG %s", "UPS %s" or "UP %s" by kind
// "_%02ld" with the two-digit number of centre point `index`'s sub-object,
// index + 1 as in "_01 Center".
std::string centre_label(int index);

// Pane and readout texts. Numbers are written with '.' whatever the
// program's locale (std::to_chars, which never consults a locale).
// Item pane lines for layer_by 0 (sub-objects), 1 (materials) or 2
// (bounding objects); header lines first.
std::vector<std::string> item_pane_lines(const Model& model, int layer_by);
// "X:%.4f\nY:%.4f\nZ:%.4f".
std::string centre_pane_text(const std::array<float, 3>& centre);
// "(%.4f, %.4f, %.4f)   " for a picked point; without one "N/A" and blanks,
// 40 characters in all, enough in the GUI font to cover an earlier readout of
// three coordinates, since the text is drawn over the old one.
std::string hover_text(const std::optional<Vec3>& point);
inline constexpr std::size_t kHoverNoneLength = 40;

// Layer visibility: 300 flags in banks of 100, bank 0 sub-objects (by
// index), bank 1 materials, bank 2 bounding objects; layer_by picks the bank
// the views filter by. Items from 100 on in a bank have no flag and are
// always shown.
inline constexpr int kLayerBankSize = 100;
using LayerFlags = std::array<int32_t, 3 * kLayerBankSize>;
bool layer_visible(const LayerFlags& layers, int bank, int index);
// Sub-objects are filtered only when layer_by is 0.
bool subobject_visible(const LayerFlags& layers, int layer_by, int index);
// A polygon is skipped when layer_by is 1 and its material is hidden, or
// when only smoothed polygons are drawn and it has no smoothing group.
bool face_visible(const LayerFlags& layers, int layer_by, bool smooth_only, const Face& face);
// Bounding object `index`: by its sub-object when layer_by is 0, by its own
// flag when layer_by is 2, always when 1.
bool bounding_visible(const LayerFlags& layers, int layer_by, const BoundingObject& object, int index);

}  // namespace orvo
