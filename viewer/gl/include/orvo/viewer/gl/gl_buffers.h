#pragma once
// The shared vertex and index buffers of the preview on the OpenGL device:
// the thin layer under the vertex buffer packing. Both memory variants
// become buffer objects written once ("Vid" as static draw data the driver
// keeps where it draws fastest, "Sys" as stream data it may keep in system
// memory). The context must be current whenever these functions run.

#include <QOpenGLContext>
#include <unordered_map>

#include "orvo/viewer/vertex_buffers.h"

class QOpenGLFunctions_3_3_Core;

namespace orvo {

class GlBufferDevice final : public BufferDevice {
 public:
  explicit GlBufferDevice(QOpenGLContext& context);
  ~GlBufferDevice() override;
  GlBufferDevice(const GlBufferDevice&) = delete;
  GlBufferDevice& operator=(const GlBufferDevice&) = delete;

  int create_buffers(BufferKind kind, bool vid, std::span<const std::byte> vertices,
                     std::span<const uint16_t> indices) override;
  void release(int handle) override;

  struct Pair {
    uint32_t vertex_buffer = 0;
    uint32_t index_buffer = 0;
  };
  // The GL buffer names of a handle (zeros for none).
  Pair buffers(int handle) const;
  // What a buffer of a pair holds, read back from the device.
  std::vector<std::byte> read_vertices(int handle);
  std::vector<uint16_t> read_indices(int handle);

 private:
  QOpenGLFunctions_3_3_Core* gl_ = nullptr;
  std::unordered_map<int, Pair> pairs_;
  std::unordered_map<int, std::pair<std::size_t, std::size_t>> sizes_;
  int next_ = 1;
};

}  // namespace orvo
