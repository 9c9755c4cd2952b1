#pragma once
// The real-time preview on an OpenGL 3.3 core context: the loaded binary
// model with its shared buffers and textures, the renderer's programs (the
// plain lit-and-textured program, the bump program of devices without pixel
// shaders and the fourteen pixel shaders), the floor, the overlay font, and
// one frame drawn into the framebuffer that is bound.
//
// Preparing (on every load) applies the compatibility level's mask (15, 14
// or 0) to the device's four capability flags and builds the programs for
// the flags in force; the loader then chooses each part's render path from
// the same flags. Each material is drawn with the passes preview_frame.h
// plans, at most the pass limit; the generators of its texture matrix,
// colour and alpha are evaluated every frame, and each part gets its final
// transform from the part motion of its level.
//
// Every function must run with the context current, on the thread that
// owns it.

#include <QOpenGLContext>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvo/model/generators.h"
#include "orvo/runtime/font.h"
#include "orvo/runtime/hardware.h"
#include "orvo/viewer/preview_frame.h"
#include "orvo/viewer/render_model.h"
#include "tools/base/system_log.h"

namespace orvo {

// What a frame is drawn from: the view state's preview values.
struct PreviewView {
  float yaw = 0.0f, pitch = 0.0f, zoom = 6.0f;
  preview::Vec3 centre{};
  float spin_a = 0.0f, spin_b = 0.0f;
  float light_yaw = 0.0f, light_pitch = 0.0f;
  int mouse_mode = 0;              // 3: the fly camera
  std::array<int32_t, 6> fly{};    // 16.16 position, binary-angle heading, pitch, roll
  uint32_t background = 0x404040;  // 0xRRGGBB
  bool fog = false;
  bool show_stats = true;
  bool overlay = true;  // false: no overlay at all (offscreen pictures)
  int pass_limit = 3;
  bool wireframe = false;
  bool solid_colour = false;  // textures replaced by their solid colours
  uint64_t time_ms = 0;       // the clock the generators and part motion read
  int forced_level = -1;      // a level to draw whatever the distance; -1: chosen by distance
};

// What the last frame drew.
struct PreviewFrameInfo {
  int level = -1;  // the level drawn, -1 when none
  int draw_calls = 0;
  preview::FrameStats stats;
  double cpu_ms = 0.0;  // time spent in our own code (submission, generators, part motion)
};

class GlPreview {
 public:
  // `system_log` receives the font's line; may be null.
  GlPreview(QOpenGLContext& context, tools::SystemLog* system_log = nullptr);
  ~GlPreview();
  GlPreview(const GlPreview&) = delete;
  GlPreview& operator=(const GlPreview&) = delete;

  void set_texture_folder(const std::string& folder) { texture_folder_ = folder; }
  // The loader's log ("3di_log.txt" beside the model); empty: no log.
  void set_log_path(const std::string& path) { log_path_ = path; }

  // Prepares the renderer for the compatibility level (1 .. 3), loads the
  // binary model `name` (the loader's name rule) with its textures and
  // buffers and builds the preview scene. False, with `error` saying why,
  // when the model cannot be loaded or the programs cannot be built;
  // nothing is kept then.
  bool load(const std::string& name, int compatibility_level, std::string* error = nullptr);
  // Frees the render model, its buffers and textures, the floor and the font.
  void release();
  bool loaded() const;

  // Draws one frame into the bound framebuffer (a viewport of `width` x
  // `height` at the origin) and counts it in the frame-rate measure.
  PreviewFrameInfo draw(const PreviewView& view, int width, int height);

  // The flags in force after the last preparation.
  const RenderCapabilities& capabilities() const { return caps_; }
  const render::Model* model() const;
  // Why each of the loaded model's textures that could not be made failed
  // (a checkerboard stands in for each), in the order they were asked for.
  std::vector<std::string> texture_failures() const;
  // The control register values the generators read (the test dialogs
  // write them).
  ControlRegisterValues& registers() { return registers_; }
  const Font& font() const { return font_; }

  // The capability mask a compatibility level's preparation applies.
  static uint32_t preparation_mask(int compatibility_level);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  RenderCapabilities caps_{};
  std::string texture_folder_;
  std::string log_path_;
  ControlRegisterValues registers_;
  Font font_;
  tools::SystemLog* system_log_;
  preview::FrameRate frame_rate_;
  float light_angle_ = 0.0f;
};

}  // namespace orvo
