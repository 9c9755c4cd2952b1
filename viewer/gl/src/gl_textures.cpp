#include "orvo/viewer/gl/gl_textures.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

namespace orvo {

namespace {

constexpr GLenum kDxt1 = 0x83F1;  // GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
constexpr GLenum kDxt3 = 0x83F2;
constexpr GLenum kDxt5 = 0x83F3;

GLenum dxt_format(DdsFormat f) {
  return f == DdsFormat::kDxt1 ? kDxt1 : f == DdsFormat::kDxt3 ? kDxt3 : kDxt5;
}

void set_sampling(QOpenGLFunctions_3_3_Core& gl, int levels) {
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, levels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

// 0xAARRGGBB words are the bytes B, G, R, A in memory on this machine.
void upload_pixels(QOpenGLFunctions_3_3_Core& gl, int level, const Image& image) {
  gl.glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, image.width, image.height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  image.pixels.data());
}

}  // namespace

GlTextureDevice::GlTextureDevice(QOpenGLContext& context, bool s3tc, Hardware* hardware)
    : gl_(QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context)), s3tc_(s3tc), hardware_(hardware) {}

GlTextureDevice::~GlTextureDevice() {
  release_all();
}

int32_t GlTextureDevice::add(const std::string& key, uint32_t id, int width, int height, bool compressed) {
  Texture t{id, 0, width, height, compressed};
  if (hardware_ != nullptr) {
    const ImageInfo info{static_cast<uint32_t>(width), static_cast<uint32_t>(height), 32, key};
    t.object = hardware_->register_object(kObjTexture, &info);
  }
  const int32_t handle = next_++;
  textures_[handle] = t;
  return handle;
}

int32_t GlTextureDevice::create_from_pixels(const std::string& key, const Image& image, int, uint32_t) {
  if (gl_ == nullptr || image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    return 0;
  GLuint id = 0;
  gl_->glGenTextures(1, &id);
  gl_->glBindTexture(GL_TEXTURE_2D, id);
  gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  upload_pixels(*gl_, 0, image);
  gl_->glGenerateMipmap(GL_TEXTURE_2D);
  set_sampling(*gl_, 1000);
  if (gl_->glGetError() != GL_NO_ERROR) {
    gl_->glDeleteTextures(1, &id);
    return 0;
  }
  return add(key, id, image.width, image.height, false);
}

int32_t GlTextureDevice::create_from_dds(const std::string& key, const DdsFile& dds, uint32_t) {
  if (gl_ == nullptr || dds.levels.empty()) return 0;
  const bool as_stored = dds.compressed() && s3tc_;
  // Decoding first so a level that cannot be decoded makes no texture.
  std::vector<Image> decoded;
  if (!as_stored) {
    for (std::size_t l = 0; l < dds.levels.size(); ++l) {
      tools::Result<Image> level = dds_to_image(dds, static_cast<int>(l));
      if (!level) return 0;
      decoded.push_back(std::move(*level));
    }
  }
  GLuint id = 0;
  gl_->glGenTextures(1, &id);
  gl_->glBindTexture(GL_TEXTURE_2D, id);
  gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (std::size_t l = 0; l < dds.levels.size(); ++l) {
    const DdsLevel& level = dds.levels[l];
    if (as_stored) {
      const std::string_view data = dds.level_bytes(l);
      gl_->glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(l), dxt_format(dds.format), level.width,
                                  level.height, 0, static_cast<GLsizei>(data.size()), data.data());
    } else {
      upload_pixels(*gl_, static_cast<int>(l), decoded[l]);
    }
  }
  set_sampling(*gl_, static_cast<int>(dds.levels.size()));
  gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (gl_->glGetError() != GL_NO_ERROR) {
    gl_->glDeleteTextures(1, &id);
    return 0;
  }
  return add(key, id, dds.width, dds.height, as_stored);
}

uint32_t GlTextureDevice::texture_id(int32_t handle) const {
  const auto it = textures_.find(handle);
  return it == textures_.end() ? 0 : it->second.id;
}

bool GlTextureDevice::compressed(int32_t handle) const {
  const auto it = textures_.find(handle);
  return it != textures_.end() && it->second.compressed;
}

Image GlTextureDevice::read_back(int32_t handle) {
  Image image;
  const auto it = textures_.find(handle);
  if (gl_ == nullptr || it == textures_.end()) return image;
  image.width = it->second.width;
  image.height = it->second.height;
  image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  gl_->glBindTexture(GL_TEXTURE_2D, it->second.id);
  gl_->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl_->glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.pixels.data());
  return image;
}

void GlTextureDevice::release(int32_t handle) {
  const auto it = textures_.find(handle);
  if (it == textures_.end()) return;
  if (gl_ != nullptr) gl_->glDeleteTextures(1, &it->second.id);
  if (hardware_ != nullptr && it->second.object != 0) hardware_->unregister_object(it->second.object);
  textures_.erase(it);
}

void GlTextureDevice::release_all() {
  while (!textures_.empty()) release(textures_.begin()->first);
}

}  // namespace orvo
