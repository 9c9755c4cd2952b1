#include "orvo/runtime/gl/gl_backend.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <cctype>
#include <functional>

namespace orvo {

namespace {

// Memory queries of the drivers that offer them, in kilobytes.
constexpr GLenum kNvxAvailableVidmem = 0x9049;
constexpr GLenum kAtiTextureFreeMemory = 0x87FC;

bool contains(const std::string& text, const char* word) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(word) != std::string::npos;
}

}  // namespace

uint64_t driver_version_of(const std::string& gl_version) {
  std::size_t at = gl_version.find("Mesa ");
  if (at != std::string::npos) {
    at += 5;
  } else {
    // The vendor's own version follows the GL version, after a blank.
    const std::size_t blank = gl_version.find(' ');
    at = 0;
    if (blank != std::string::npos) {
      std::size_t next = blank;
      while (next < gl_version.size() && !std::isdigit(static_cast<unsigned char>(gl_version[next]))) ++next;
      if (next < gl_version.size()) at = next;
    }
  }
  uint64_t parts[4] = {0, 0, 0, 0};
  int n = 0;
  uint64_t value = 0;
  bool digits = false;
  for (std::size_t i = at; i <= gl_version.size() && n < 4; ++i) {
    const char c = i < gl_version.size() ? gl_version[i] : ' ';
    if (std::isdigit(static_cast<unsigned char>(c))) {
      value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), 0xFFFF);
      digits = true;
    } else {
      if (digits) parts[n++] = value;
      value = 0;
      digits = false;
      if (c != '.') break;
    }
  }
  return (parts[0] << 48) | (parts[1] << 32) | (parts[2] << 16) | parts[3];
}

uint32_t vendor_id_of(const std::string& gl_vendor) {
  if (contains(gl_vendor, "nvidia")) return 0x10DE;
  if (contains(gl_vendor, "ati ") || contains(gl_vendor, "amd") || contains(gl_vendor, "advanced micro")) return 0x1002;
  if (contains(gl_vendor, "intel")) return 0x8086;
  if (contains(gl_vendor, "matrox")) return 0x102B;
  return 0;
}

bool GlBackend::ensure_context() {
  if (gl_ == nullptr) {
    own_ = OffscreenGl::create(&error_);
    gl_ = own_.get();
  }
  if (gl_ == nullptr) return false;
  if (info_.version.empty()) info_ = gl_->info();
  return !info_.version.empty();
}

std::optional<std::string> GlBackend::api_version() {
  if (!ensure_context()) return std::nullopt;
  return info_.version;
}

bool GlBackend::open() {
  return ensure_context();
}

std::optional<AdapterIdentifier> GlBackend::adapter_identifier(int adapter) {
  if (adapter != 0 || !ensure_context()) return std::nullopt;
  AdapterIdentifier id;
  id.description = info_.renderer;
  id.driver = info_.version;
  id.driver_version = driver_version_of(info_.version);
  if (info_.pci) {
    id.vendor_id = info_.pci->vendor;
    id.device_id = info_.pci->device;
    id.subsystem_id = info_.pci->subsystem;
  } else {
    id.vendor_id = vendor_id_of(info_.vendor);
  }
  // A stable identity of this renderer and driver in the shape of a GUID.
  const std::size_t h1 = std::hash<std::string>{}(info_.renderer);
  const std::size_t h2 = std::hash<std::string>{}(info_.version);
  id.guid.data1 = static_cast<uint32_t>(h1);
  id.guid.data2 = static_cast<uint16_t>(h1 >> 32);
  id.guid.data3 = static_cast<uint16_t>(h1 >> 48);
  for (int i = 0; i < 8; ++i) id.guid.data4[static_cast<std::size_t>(i)] = static_cast<uint8_t>(h2 >> (8 * i));
  return id;
}

bool GlBackend::row_valid(int adapter, const FormatRow& row, bool windowed) {
  if (adapter != 0 || !ensure_context()) return false;
  // A window shows the desktop's 32-bit format; full screen takes the
  // 16-bit ones as well. Depth buffers of 16, 24 (with or without 8 stencil
  // bits) and 32 bits exist; the 15+1 and 24+4+4 layouts do not.
  if (windowed && row.display != SurfaceFormat::kX8R8G8B8) return false;
  switch (row.depth_stencil) {
    case SurfaceFormat::kD16:
    case SurfaceFormat::kD24S8:
    case SurfaceFormat::kD24X8:
    case SurfaceFormat::kD32: return true;
    default: return false;
  }
}

DeviceCaps GlBackend::device_caps(int adapter) {
  DeviceCaps c;
  if (adapter != 0 || !ensure_context()) return c;
  c.max_texture_width = static_cast<uint32_t>(info_.max_texture_size);
  c.max_texture_height = static_cast<uint32_t>(info_.max_texture_size);
  c.max_texture_aspect = static_cast<uint32_t>(info_.max_texture_size);
  c.max_simultaneous_textures = static_cast<uint32_t>(std::min(info_.max_texture_units, 8));
  c.cube_maps = true;
  c.volume_maps = true;
  c.draw_primitive2 = true;
  c.draw_primitive2_ex = true;
  c.max_vertex_streams = 16;
  c.hardware_tnl = true;
  c.vertex_shader_version = 0x0101;  // vertex programs of the 1.1 model and more
  c.vertex_shader_constants = 256;
  c.pixel_shader_version = 0x0104;
  c.indexed_vertex_blending = true;
  return c;
}

DeviceCreation GlBackend::create_device(const DeviceRequest&, const FormatRow&) {
  device_ = ensure_context();
  return {device_ ? 0u : 0x80004005u, device_};
}

uint64_t GlBackend::available_texture_memory() {
  if (!ensure_context() || !gl_->make_current()) return 0;
  auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl_->context());
  if (f == nullptr) return 0;
  GLint kb[4] = {0, 0, 0, 0};
  if (info_.has_extension("GL_NVX_gpu_memory_info")) f->glGetIntegerv(kNvxAvailableVidmem, kb);
  else if (info_.has_extension("GL_ATI_meminfo")) f->glGetIntegerv(kAtiTextureFreeMemory, kb);
  while (f->glGetError() != GL_NO_ERROR) {
  }
  return static_cast<uint64_t>(std::max(kb[0], 0)) * 1024;
}

}  // namespace orvo
