#pragma once
// The graphics hardware layer's backend over OpenGL: one adapter, the
// context's renderer; its driver the GL version string; the PCI ids from
// /sys/class/drm (or, without them, the vendor told by GL_VENDOR); the
// display-format rows a 3.3 core context can give; the capabilities of a
// 3.3 core context, which has everything the game's most capable path asks
// for (transform and lighting, vertex and pixel programs, palette skinning).
// There is no driver certification on this system: the driver counts as not
// certified.

#include <memory>
#include <string>

#include "orvo/runtime/gl/gl_context.h"
#include "orvo/runtime/hardware.h"

namespace orvo {

class GlBackend final : public GraphicsBackend {
 public:
  // Uses `gl` when given (the preview's context), else makes an offscreen
  // context on first use.
  explicit GlBackend(OffscreenGl* gl = nullptr) : gl_(gl) {}

  std::optional<std::string> api_version() override;
  bool open() override;
  int adapter_count() override { return gl_ != nullptr ? 1 : 0; }
  std::optional<AdapterIdentifier> adapter_identifier(int adapter) override;
  SurfaceFormat desktop_format(int) override { return SurfaceFormat::kX8R8G8B8; }
  bool row_valid(int adapter, const FormatRow& row, bool windowed) override;
  DeviceCaps device_caps(int adapter) override;
  DeviceCreation create_device(const DeviceRequest& request, const FormatRow& row) override;
  void release_device() override { device_ = false; }
  uint64_t available_texture_memory() override;
  bool supports_dxt3() override { return info_.s3tc; }
  void release_object(int, uint32_t) override {}

  const GlInfo& info() const { return info_; }
  // Why the context could not be made, when api_version gave none.
  const std::string& error() const { return error_; }

 private:
  bool ensure_context();

  OffscreenGl* gl_;
  std::unique_ptr<OffscreenGl> own_;
  GlInfo info_;
  std::string error_;
  bool device_ = false;
};

// The driver version of a GL_VERSION text as four 16-bit parts, most
// significant first: the numbers after "Mesa " when there are some, else
// the first dotted numbers ("4.6.0 NVIDIA 535.129.03" gives 535.129.3.0).
uint64_t driver_version_of(const std::string& gl_version);
// A PCI vendor id told by a GL_VENDOR text, or 0.
uint32_t vendor_id_of(const std::string& gl_vendor);

}  // namespace orvo
