#include "orvo/viewer/recording_factory.h"

#include "orvo/image/image.h"
#include "orvo/image/texture_file.h"
#include "tools/base/text.h"

namespace orvo {

bool RecordingTextureFactory::probe(const std::string& name, int& width, int& height) {
  width = height = 0;
  if (name.empty()) {
    last_error_ = "no file name";
    return false;
  }
  const auto path = find_texture_file(folder_, name);
  if (!path) {
    last_error_ = name + ": no such file in " + (folder_.empty() ? std::string(".") : folder_);
    return false;
  }
  const std::string upper = tools::ascii_upper(*path);
  const bool tga = upper.ends_with(".TGA"), pcx = upper.ends_with(".PCX");
  if (!tga && !pcx) return true;
  const tools::Result<PictureInfo> info = tga ? probe_tga(*path) : probe_pcx(*path);
  if (!info) {
    last_error_ = info.error().message;
    return false;
  }
  width = info->width;
  height = info->height;
  return true;
}

int32_t RecordingTextureFactory::create_texture(const Request& request) {
  Made made{request.colour_name, request.width, request.height};
  if (!probe(request.colour_name, made.file_width, made.file_height)) return 0;
  if (!request.alpha_name.empty()) {
    int w = 0, h = 0;
    if (!probe(request.alpha_name, w, h)) return 0;
    made.name += " + " + request.alpha_name;
  }
  textures_.push_back(std::move(made));
  return static_cast<int32_t>(textures_.size());
}

int32_t RecordingTextureFactory::create_texture_from_pixels(const std::string& name, int width, int height,
                                                            std::span<const uint32_t> argb) {
  if (argb.size() != static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)))
    return 0;
  textures_.push_back({name, width, height, 0, 0, true});
  return static_cast<int32_t>(textures_.size());
}

int32_t RecordingTextureFactory::create_material(const render::Material&, bool) {
  return ++materials_;
}

int32_t RecordingTextureFactory::create_render_target(const render::Projector&) {
  return ++render_targets_;
}

}  // namespace orvo
