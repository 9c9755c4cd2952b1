// orvo-cli render: one preview frame drawn offscreen and saved as PNG.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

struct RenderOptions {
  std::string model;     // a binary model (.3di)
  std::string output;    // the picture (.png)
  std::string textures;  // folder of the texture files; empty: the current one
  std::string log;       // the loader's log; empty: none
  int width = 640, height = 480;
  int lod = -1;  // the level drawn; -1: chosen by the camera's distance
  float yaw = 0.6f, pitch = 0.35f;
  // 0: the camera frames the model (centred on it, its bounding sphere
  // filling most of the picture); else the camera is 100 / zoom + 0.1 units
  // from the model's origin.
  float zoom = 0.0f;
  uint64_t time_ms = 0;
  int level = 3;  // compatibility level 1 .. 3
  int pass_limit = 3;
  bool wireframe = false;
  bool solid_colour = false;
  bool overlay = true;
  uint32_t background = 0x404040;
};

// True when an OpenGL context can be asked for (a display, or a platform named).
bool has_display();
// Exit status: 0 written, 1 no context / unreadable model / unwritable picture, 2 bad size.
int run_render(const RenderOptions& options);

}  // namespace orvo
