#include "orvo/viewer/gl/gl_buffers.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

namespace orvo {

GlBufferDevice::GlBufferDevice(QOpenGLContext& context)
    : gl_(QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context)) {}

GlBufferDevice::~GlBufferDevice() {
  while (!pairs_.empty()) release(pairs_.begin()->first);
}

int GlBufferDevice::create_buffers(BufferKind, bool vid, std::span<const std::byte> vertices,
                                   std::span<const uint16_t> indices) {
  if (gl_ == nullptr || vertices.empty()) return 0;
  while (gl_->glGetError() != GL_NO_ERROR) {
  }
  const GLenum usage = vid ? GL_STATIC_DRAW : GL_STREAM_DRAW;
  GLuint names[2] = {0, 0};
  gl_->glGenBuffers(2, names);
  gl_->glBindBuffer(GL_ARRAY_BUFFER, names[0]);
  gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size()), vertices.data(), usage);
  gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
  // Index data is bound to the element target only inside a vertex array;
  // written through the copy target it needs none.
  gl_->glBindBuffer(GL_COPY_WRITE_BUFFER, names[1]);
  gl_->glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(indices.size_bytes()), indices.data(), usage);
  gl_->glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
  if (gl_->glGetError() != GL_NO_ERROR) {
    gl_->glDeleteBuffers(2, names);
    return 0;
  }
  const int handle = next_++;
  pairs_[handle] = {names[0], names[1]};
  sizes_[handle] = {vertices.size(), indices.size()};
  return handle;
}

void GlBufferDevice::release(int handle) {
  const auto it = pairs_.find(handle);
  if (it == pairs_.end()) return;
  if (gl_ != nullptr) {
    const GLuint names[2] = {it->second.vertex_buffer, it->second.index_buffer};
    gl_->glDeleteBuffers(2, names);
  }
  pairs_.erase(it);
  sizes_.erase(handle);
}

GlBufferDevice::Pair GlBufferDevice::buffers(int handle) const {
  const auto it = pairs_.find(handle);
  return it == pairs_.end() ? Pair{} : it->second;
}

std::vector<std::byte> GlBufferDevice::read_vertices(int handle) {
  std::vector<std::byte> out;
  const auto it = pairs_.find(handle);
  if (gl_ == nullptr || it == pairs_.end()) return out;
  out.resize(sizes_[handle].first);
  gl_->glBindBuffer(GL_COPY_READ_BUFFER, it->second.vertex_buffer);
  gl_->glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(out.size()), out.data());
  gl_->glBindBuffer(GL_COPY_READ_BUFFER, 0);
  return out;
}

std::vector<uint16_t> GlBufferDevice::read_indices(int handle) {
  std::vector<uint16_t> out;
  const auto it = pairs_.find(handle);
  if (gl_ == nullptr || it == pairs_.end()) return out;
  out.resize(sizes_[handle].second);
  gl_->glBindBuffer(GL_COPY_READ_BUFFER, it->second.index_buffer);
  gl_->glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(out.size() * 2), out.data());
  gl_->glBindBuffer(GL_COPY_READ_BUFFER, 0);
  return out;
}

}  // namespace orvo
