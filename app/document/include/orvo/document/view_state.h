#pragma once
// How the model tool looks at its current model: the plane or 3D view, the
// camera, what is drawn, the grid, the layers, the current model slot. One
// instance lives in the document; the keys and buttons of the main window
// change it through the functions below, which say whether the page must be
// drawn again.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo {

struct Model;

// Display flags: what the 2D views draw.
inline constexpr uint32_t kShowPolys = 0x100;
inline constexpr uint32_t kShowFacets = 0x200;
inline constexpr uint32_t kShowSmoothOnly = 0x400;
inline constexpr uint32_t kShowCentrePoints = 0x800;
inline constexpr uint32_t kShowAttachmentPoints = 0x1000;
inline constexpr uint32_t kShowBoundingObjects = 0x2000;
inline constexpr uint32_t kShowLights = 0x4000;
inline constexpr uint32_t kShowUserPoints = 0x8000;
inline constexpr uint32_t kShowText = 0x10000;
// The flags at start-up, and once the control panel is built (its "Show:"
// boxes: polys, faces, centre points, attachment points, lights).
inline constexpr uint32_t kInitialDisplayFlags = 0x7B00;
inline constexpr uint32_t kPanelDisplayFlags = 0x5B00;

// The views' planes, with the numbers the view state stores.
enum class Plane : int { kXY = 0, kXZ = 1, kYZ = 2, k3D = 4 };
inline constexpr int kPlaneXY = static_cast<int>(Plane::kXY);
inline constexpr int kPlaneXZ = static_cast<int>(Plane::kXZ);
inline constexpr int kPlaneYZ = static_cast<int>(Plane::kYZ);
inline constexpr int kPlane3D = static_cast<int>(Plane::k3D);
enum LayerBy : int { kLayerByObject = 0, kLayerByMaterial = 1, kLayerByBounding = 2 };
enum MouseMode : int { kMouseCamera = 0, kMouseObject = 1, kMouseLight = 2, kMouseFlyCamera = 3 };

inline constexpr float kMinZoom = 0.01f;
inline constexpr float kMaxZoom = 1000.0f;
inline constexpr int kMinGridStep = 1;
inline constexpr int kMaxGridStep = 1024;
inline constexpr int kLayersPerBank = 100;
inline constexpr int kLayerCount = 300;  // banks: sub-objects, materials, bounding objects

// The unit scale handed to the importers and the 3DA reader: 1.0 with
// "1unit = 1m" checked, else this (0.3084, as the tool has always used).
inline constexpr float kUnitScaleDefault = 0.3084f;

struct ViewState {
  uint32_t display_flags = kInitialDisplayFlags;
  int32_t preview_spin_a = 0;
  int32_t preview_spin_b = 0;
  float yaw = 1.0f;    // radians
  float pitch = 0.5f;  // radians
  float light_angle_1 = 1.0f;
  float light_angle_2 = 1.0f;
  float zoom = 6.0f;
  std::array<float, 3> centre{};
  // Position x, y, z in 16.16, then heading, pitch, roll in binary-angle
  // units (65536 a turn) held in the upper 16 bits.
  std::array<int32_t, 6> fly_camera{};
  int32_t plane = kPlaneXY;
  int32_t insert_mode = 0;
  int32_t layer_by = kLayerByObject;
  int32_t environment = 0;  // 0 Jungle, 1 Desert, 2 Snow
  int32_t mouse_mode = kMouseCamera;
  int32_t grid_shown = 1;
  int32_t grid_step = 32;
  std::array<int32_t, kLayerCount> layer_visible = all_visible();
  int32_t current_slot = 0;  // 0 H, 1 M, 2 L, 3 T
  int32_t printing = 0;

  static constexpr std::array<int32_t, kLayerCount> all_visible() {
    std::array<int32_t, kLayerCount> a{};
    for (int32_t& v : a) v = 1;
    return a;
  }
};

// Zoom keys: x 1.1 / x 0.9. A result beyond the limit is set to the limit
// and the page is not drawn again (false); otherwise true.
bool zoom_in(ViewState& v);
bool zoom_out(ViewState& v);

// Arrow keys: pan by a sixteenth of the grid step in the view's own
// directions (left/right: direction -1/+1; up/down: +1/-1).
void pan_sideways(ViewState& v, int direction);
void pan_up_down(ViewState& v, int direction);

// Grid "+" and "-": doubled while below 1024, halved while above 1. True
// when the step changed.
bool grow_grid_step(ViewState& v);
bool shrink_grid_step(ViewState& v);

// "Control Camera (Fly Mode)": the fly camera placed where the orbit camera
// is, looking the same way.
void set_fly_camera_from_orbit(ViewState& v);

// Frame All: the view state's centre and zoom set so the current model fills
// most of a page of width x height: the centre at the middle of the box of
// its sub-objects' vertices, the zoom (within the zoom keys' limits) such
// that the box takes kFrameFill of the page in the view's plane, or in the
// wire 3D view that the vertices, seen from the view's direction, span
// kFrameFill of the page's width or height. False, and the view unchanged,
// for a model without vertices or an empty page.
inline constexpr float kFrameFill = 0.9f;
bool frame_model(ViewState& view, const Model& model, int width, int height);

// The main window's title: "TanuORVO v1.05.02e - NAME", or without the
// model name (and its dash) when the model has none.
std::string window_title(std::string_view model_name);

// The layer flag of item `index` in the bank of `layer_by`; items beyond a
// bank count as visible.
bool layer_visible(const ViewState& v, int layer_by, int index);

}  // namespace orvo
