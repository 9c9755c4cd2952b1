#include "orvo/runtime/gl/gl_context.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QSurfaceFormat>
#include <algorithm>
#include <filesystem>
#include <fstream>

namespace orvo {

namespace {

std::optional<uint16_t> read_hex_file(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text)) return std::nullopt;
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text = text.substr(2);
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return static_cast<uint16_t>(value);
}

std::string gl_string(QOpenGLFunctions_3_3_Core& f, GLenum name) {
  const auto* text = reinterpret_cast<const char*>(f.glGetString(name));
  return text != nullptr ? text : "";
}

}  // namespace

std::optional<PciIds> read_drm_ids(const std::string& root) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> cards;
  for (const fs::directory_entry& e : fs::directory_iterator(root, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("card", 0) == 0 && name.find('-') == std::string::npos) cards.push_back(e.path());
  }
  std::sort(cards.begin(), cards.end());
  for (const fs::path& card : cards) {
    const auto vendor = read_hex_file(card / "device" / "vendor");
    const auto device = read_hex_file(card / "device" / "device");
    if (!vendor || !device) continue;
    return PciIds{*vendor, *device, read_hex_file(card / "device" / "subsystem_device").value_or(0)};
  }
  return std::nullopt;
}

bool GlInfo::has_extension(const std::string& name) const {
  return std::find(extensions.begin(), extensions.end(), name) != extensions.end();
}

std::unique_ptr<OffscreenGl> OffscreenGl::create(std::string* error) {
  auto gl = std::unique_ptr<OffscreenGl>(new OffscreenGl);
  QSurfaceFormat format;
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setRenderableType(QSurfaceFormat::OpenGL);
  gl->surface_.setFormat(format);
  gl->surface_.create();
  gl->context_.setFormat(format);
  if (!gl->surface_.isValid() || !gl->context_.create()) {
    if (error != nullptr) *error = "no OpenGL context can be created on this display";
    return nullptr;
  }
  const QSurfaceFormat got = gl->context_.format();
  if (got.majorVersion() < 3 || (got.majorVersion() == 3 && got.minorVersion() < 3)) {
    if (error != nullptr)
      *error = "the OpenGL driver offers version " + std::to_string(got.majorVersion()) + "." +
               std::to_string(got.minorVersion()) + ", the preview needs 3.3";
    return nullptr;
  }
  if (!gl->make_current()) {
    if (error != nullptr) *error = "the OpenGL context cannot be made current";
    return nullptr;
  }
  return gl;
}

OffscreenGl::~OffscreenGl() {
  context_.doneCurrent();
}

bool OffscreenGl::make_current() {
  return context_.makeCurrent(&surface_);
}

void OffscreenGl::done_current() {
  context_.doneCurrent();
}

GlInfo OffscreenGl::info() {
  GlInfo i;
  if (!make_current()) return i;
  auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context_);
  if (f == nullptr) return i;
  i.vendor = gl_string(*f, GL_VENDOR);
  i.renderer = gl_string(*f, GL_RENDERER);
  i.version = gl_string(*f, GL_VERSION);
  i.glsl_version = gl_string(*f, GL_SHADING_LANGUAGE_VERSION);
  f->glGetIntegerv(GL_MAJOR_VERSION, &i.major);
  f->glGetIntegerv(GL_MINOR_VERSION, &i.minor);
  GLint count = 0;
  f->glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint n = 0; n < count; ++n) {
    const auto* text = reinterpret_cast<const char*>(f->glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(n)));
    if (text != nullptr) i.extensions.emplace_back(text);
  }
  f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &i.max_texture_size);
  f->glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &i.max_texture_units);
  i.s3tc = i.has_extension("GL_EXT_texture_compression_s3tc");
  for (const char* soft : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (i.renderer.find(soft) != std::string::npos) i.software = true;
  i.pci = read_drm_ids();
  return i;
}

OffscreenFramebuffer::OffscreenFramebuffer(QOpenGLContext& context)
    : gl_(QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context)) {
  if (gl_ == nullptr) return;
  gl_->glGenFramebuffers(1, &fbo_);
  gl_->glGenRenderbuffers(2, renderbuffers_);
}

OffscreenFramebuffer::~OffscreenFramebuffer() {
  if (gl_ == nullptr) return;
  gl_->glBindFramebuffer(GL_FRAMEBUFFER, 0);
  gl_->glDeleteRenderbuffers(2, renderbuffers_);
  gl_->glDeleteFramebuffers(1, &fbo_);
}

bool OffscreenFramebuffer::resize(int width, int height) {
  if (gl_ == nullptr || width < 1 || height < 1) return false;
  gl_->glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  if (width == width_ && height == height_) return complete_;
  gl_->glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
  gl_->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
  gl_->glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
  gl_->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
  width_ = width;
  height_ = height;
  complete_ = gl_->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  return complete_;
}

void OffscreenFramebuffer::bind() {
  if (gl_ != nullptr) gl_->glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
}

QImage OffscreenFramebuffer::read() {
  QImage image(width_, height_, QImage::Format_RGBA8888);
  if (gl_ == nullptr || width_ < 1 || height_ < 1) return image;
  bind();
  gl_->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl_->glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
  return image.mirrored(false, true);  // GL's rows run bottom-up
}

}  // namespace orvo
