#pragma once
// The textures of the preview on the OpenGL device: the thin layer under
// the texture library. Pixels upload as RGBA8 with their mip chain made by
// the driver; a .dds file uploads its stored levels as they are when the
// driver takes DXT data (GL_EXT_texture_compression_s3tc), else every level
// is decoded on the CPU first. Every texture is counted as a GTexture of
// the hardware layer. The context must be current whenever these functions
// run.

#include <QOpenGLContext>
#include <cstdint>
#include <unordered_map>

#include "orvo/runtime/hardware.h"
#include "orvo/viewer/texture_library.h"

class QOpenGLFunctions_3_3_Core;

namespace orvo {

class GlTextureDevice final : public TextureDevice {
 public:
  // `s3tc`: the driver takes DXT data. `hardware` counts the objects (may
  // be null).
  GlTextureDevice(QOpenGLContext& context, bool s3tc, Hardware* hardware = nullptr);
  ~GlTextureDevice() override;
  GlTextureDevice(const GlTextureDevice&) = delete;
  GlTextureDevice& operator=(const GlTextureDevice&) = delete;

  int32_t create_from_pixels(const std::string& key, const Image& image, int format, uint32_t flags) override;
  int32_t create_from_dds(const std::string& key, const DdsFile& dds, uint32_t flags) override;

  // The GL texture name of a handle, or 0.
  uint32_t texture_id(int32_t handle) const;
  // Whether a handle's texture holds DXT data as stored.
  bool compressed(int32_t handle) const;
  // Level 0 of a texture read back from the device as 0xAARRGGBB pixels.
  Image read_back(int32_t handle);
  void release(int32_t handle);
  void release_all();

 private:
  struct Texture {
    uint32_t id = 0;
    uint32_t object = 0;  // the hardware layer's handle
    int width = 0, height = 0;
    bool compressed = false;
  };
  int32_t add(const std::string& key, uint32_t id, int width, int height, bool compressed);

  QOpenGLFunctions_3_3_Core* gl_ = nullptr;
  bool s3tc_;
  Hardware* hardware_;
  std::unordered_map<int32_t, Texture> textures_;
  int32_t next_ = 1;
};

}  // namespace orvo
