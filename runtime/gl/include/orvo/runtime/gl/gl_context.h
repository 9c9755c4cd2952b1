#pragma once
// The OpenGL side of the graphics hardware layer's questions: an OpenGL 3.3
// core context (offscreen, for headless work and for asking what the
// machine offers before any window exists), what the driver says of itself,
// and the PCI ids of the graphics card from /sys/class/drm where the system
// has them. Needs a QGuiApplication.

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QOpenGLFunctions_3_3_Core;

namespace orvo {

struct PciIds {
  uint16_t vendor = 0;
  uint16_t device = 0;
  uint16_t subsystem = 0;  // the subsystem device id
};

// The ids of the first card under `root` (card0, card1, ...; connectors
// such as card0-HDMI-A-1 are passed over); none when there is no such
// folder or its files do not hold hexadecimal ids.
std::optional<PciIds> read_drm_ids(const std::string& root = "/sys/class/drm");

// What a current context says of itself.
struct GlInfo {
  std::string vendor;        // GL_VENDOR
  std::string renderer;      // GL_RENDERER: the adapter's description
  std::string version;       // GL_VERSION: the driver
  std::string glsl_version;  // GL_SHADING_LANGUAGE_VERSION
  int major = 0, minor = 0;
  std::vector<std::string> extensions;
  int max_texture_size = 0;
  int max_texture_units = 0;
  bool s3tc = false;      // GL_EXT_texture_compression_s3tc: DXT data uploads as it is
  bool software = false;  // a software rasteriser (llvmpipe, softpipe, swrast)
  std::optional<PciIds> pci;
  bool has_extension(const std::string& name) const;
};

// An OpenGL 3.3 core profile context on an offscreen surface.
class OffscreenGl {
 public:
  // None, with `error` saying why, when no such context can be made (no
  // display, no OpenGL 3.3).
  static std::unique_ptr<OffscreenGl> create(std::string* error);
  ~OffscreenGl();

  bool make_current();
  void done_current();
  QOpenGLContext& context() { return context_; }
  // Reads the driver's strings and limits; the context is made current.
  GlInfo info();

 private:
  OffscreenGl() = default;
  QOffscreenSurface surface_;
  QOpenGLContext context_;
};

// A framebuffer of an RGBA8 colour and a 24/8 depth-stencil renderbuffer,
// for frames drawn without a window. The context it was made on must be
// current whenever its functions run (the destructor included).
class OffscreenFramebuffer {
 public:
  explicit OffscreenFramebuffer(QOpenGLContext& context);
  ~OffscreenFramebuffer();
  OffscreenFramebuffer(const OffscreenFramebuffer&) = delete;
  OffscreenFramebuffer& operator=(const OffscreenFramebuffer&) = delete;

  // Sizes the renderbuffers (again only when the size changes) and binds
  // the framebuffer; false when the driver cannot make it complete.
  bool resize(int width, int height);
  void bind();
  // The colour buffer, top row first.
  QImage read();
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  QOpenGLFunctions_3_3_Core* gl_ = nullptr;
  unsigned fbo_ = 0;
  unsigned renderbuffers_[2] = {};
  int width_ = 0, height_ = 0;
  bool complete_ = false;
};

}  // namespace orvo
