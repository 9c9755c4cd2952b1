#pragma once
// The preview frame's decisions, without a graphics API: where the camera
// is, which level of the model is drawn, how the model is placed and lit,
// how fast frames come, what the statistics overlay says, and which passes
// each material is drawn with. The OpenGL renderer (gl_renderer.h) carries
// them out.
//
// Axes: the preview draws in the model's own axes (x and y on the ground, z
// up, right-handed), the axes of the 2D views, so the preview and the wire
// view look at a model the same way. A render vertex is stored in file axes
// (-y, z, x); `file_to_model` turns it back. The camera orbits the view
// centre as the wire view's does: from yaw and pitch at a distance of
// 100 / zoom + 0.1 units, looking at the centre with z up, and its lens is
// the wire view's (500 units of focal length per 800 pixels of width).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "orvo/runtime/hardware.h"
#include "orvo/viewer/render_model.h"

namespace orvo::preview {

// Row-major 4 x 4, applied to row vectors (v' = v x M), translation in
// elements 12..14: the convention of the part transforms. Uploaded to GL as
// it is, a GLSL `m * v` computes the same product.
using Mat4 = render::Matrix4f;
using Vec3 = std::array<float, 3>;

// a x b, a applied first, as full 4 x 4 products (projections are not
// affine; part_motion.h has the affine helpers).
Mat4 multiply(const Mat4& a, const Mat4& b);

// File axes (-y, z, x) back to the model's axes.
const Mat4& file_to_model();

// ---- Camera ------------------------------------------------------------------

inline constexpr float kNearPlane = 0.05f;
inline constexpr float kFarPlane = 1024.0f;
inline constexpr float kFocalPerWidth = 500.0f / 800.0f;

struct Camera {
  Vec3 eye{};
  Mat4 view{};         // world to camera (camera looks down -z, y up)
  Mat4 projection{};   // camera to GL clip space
  Mat4 orientation{};  // the camera's turn in world axes (its 3 x 3 part), for parts facing the camera
  float distance = 0;  // from the eye to the view centre
};

// The orbit camera of mouse modes 0 to 2 around the origin (the model is
// placed so that the view centre is at the origin).
Camera orbit_camera(float yaw, float pitch, float zoom, int width, int height);

// The fly camera of mouse mode 3: position in 16.16 units, heading, pitch
// and roll in binary-angle units (65536 per turn in the upper 16 bits), in
// the same world as the orbit camera (relative to the view centre).
Camera fly_camera(const std::array<int32_t, 6>& fly, int width, int height);

// ---- Model placement and light -------------------------------------------------

// The model's world matrix: file axes to model axes, moved so that the view
// centre is at the origin, turned by the two preview spins (spin a about the
// vertical axis, spin b about the horizontal y axis).
Mat4 model_placement(const Vec3& centre, float spin_a, float spin_b);

// The direction the scene light shines in, for the light angle of the frame
// (growing 0.002 radian per frame) and the two light angles of the mouse's
// light mode: its horizontal part turns with the angles, starting from
// (-0.7071, -0.7071, -0.7071); unit length.
Vec3 light_direction(float frame_angle, float light_yaw, float light_pitch);
inline constexpr float kLightStepPerFrame = 0.002f;

// ---- Level choice ----------------------------------------------------------------

// The level drawn at `distance` units from the camera: the last level whose
// switch distance (16.16, header offset 32) the distance has reached, among
// the levels the model holds, a switch distance of 0 (no threshold set)
// counting as never reached; the first level the model holds when none is
// reached. -1 when the model has no level at all.
int choose_level(const render::Model& model, float distance);

// ---- Frame rate --------------------------------------------------------------------

// Counts frames; once 40 or more have been drawn and more than 500 ms have
// passed since the last measure, frames per second = frames x 1000 /
// elapsed ms, and the count starts again.
class FrameRate {
 public:
  // The frame drawn at `now_ms`; returns the current value.
  int frame(uint64_t now_ms);
  int value() const { return fps_; }

 private:
  int frames_ = 0;
  uint64_t last_ms_ = 0;
  bool started_ = false;
  int fps_ = 0;
};

// ---- Overlay ----------------------------------------------------------------------

struct OverlayLine {
  std::string text;
  int x = 0;  // left edge, or the right edge when right_aligned
  int y = 0;  // top of the line
  bool right_aligned = false;
};

struct FrameStats {
  int size = 0;  // texture memory in units of 1024 bytes
  int polys = 0;
  int verts = 0;
  int strips = 0;
  int fps = 0;
};

// The lines of the statistics overlay for a picture of `width` x `height`:
// "Size: %i", "Polys: %i", "Verts: %i", "Strips: %i" at x 32 (unless the
// statistics are off), "FPS: %i", and right-aligned 32 pixels from the right
// edge the picture size and the hardware level ("HW T&L : NO"; "HW T&L :
// YES" with "Shaders : NO" or "Shaders : YES"; "Err" when `caps` is null).
std::vector<OverlayLine> overlay_lines(const FrameStats& stats, const RenderCapabilities* caps, int width, int height,
                                       bool show_stats);

// What a level draws: the strips of every part's first detail level (or of
// a skinned level's skin group) and the vertices they span.
FrameStats level_stats(const render::Lod& lod);

// ---- Material passes ----------------------------------------------------------------

// The program a pass runs: the plain lit-and-textured program, one of the
// fourteen pixel shaders, or the bump program of devices with transform and
// lighting but no pixel shaders.
enum class Program : uint8_t { kPlain, kPixelShader, kBumpFallback };

enum class Blend : uint8_t {
  kOpaque,          // no blending
  kAlpha,           // src·a + dst·(1 − a)
  kPremultiplied,   // src + dst·(1 − a)
  kAdditive,        // src·a + dst
  kMultiplicative,  // src·dst
};

// What a texture stage samples.
enum class Source : uint8_t {
  kNone,
  kBase,         // the material's texture (white when it has none or colours are solid)
  kSecondLayer,  // the texture of the material's second layer
  kNormalMap,    // the material's normal map (bump map or MDT file)
  kLightVector,  // the normalising cube map, addressed by the light vector
  kHalfVector,   // the normalising cube map, addressed by the half vector
  kPhongRamp,    // "gsys_phong"
  kEnvironment,  // the environment cube map (a grey sky without one)
  kGrey,         // "GSysGray": a neutral detail texture
};

struct Pass {
  Program program = Program::kPlain;
  int pixel_shader = -1;  // 0..13 for kPixelShader
  Blend blend = Blend::kOpaque;
  bool second_layer = false;  // the pass draws the second layer (its texture on uv2)
  bool reflection = false;    // the additive reflection pass of reflect_type
  std::array<Source, 4> stages{};
};

// The passes of `material` on a strip drawn by `path`, at most `pass_limit`
// of them. `second` is the material's second layer (the next material of
// its level) when it has one. Only the tangent path runs the shading types;
// it runs pixel shaders when the device has them, else the bump program.
std::vector<Pass> material_passes(const render::Material& material, const render::Material* second, render::Path path,
                                  const RenderCapabilities& caps, int pass_limit);

// The blend of a blending_mode value (1 opaque .. 5 multiplicative; any
// other value opaque).
Blend blend_of(uint8_t blending_mode);

// The stages pixel shader `k` samples as cube maps with a plain texture
// read (the light and half vector stages): bit n for stage n.
uint32_t shader_cube_stages(int k);

// The mapping from shader type to the first pass's pixel shader, -1 for
// type 0.
int pixel_shader_of(uint8_t shader_type);

}  // namespace orvo::preview
