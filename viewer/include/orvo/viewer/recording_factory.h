#pragma once
// A texture factory without a graphics device, for the command line and the
// tests: it finds each texture file in the texture folder (in any case),
// reads the headers of TGA and PCX files to learn their size, and records
// what it was asked to make. Files of other kinds count as made when they
// exist.

#include <string>
#include <vector>

#include "orvo/viewer/model_loader.h"

namespace orvo {

class RecordingTextureFactory : public TextureFactory {
 public:
  explicit RecordingTextureFactory(std::string folder) : folder_(std::move(folder)) {}

  struct Made {
    std::string name;  // the file, "colour + alpha" for a pair, or the placeholder's name
    int width = 0;     // as asked for
    int height = 0;
    int file_width = 0;  // as read from the file (0: not read)
    int file_height = 0;
    bool from_pixels = false;
  };

  int32_t create_texture(const Request& request) override;
  int32_t create_texture_from_pixels(const std::string& name, int width, int height,
                                     std::span<const uint32_t> argb) override;
  int32_t create_material(const render::Material& material, bool skinned) override;
  int32_t create_render_target(const render::Projector& projector) override;

  const std::vector<Made>& textures() const { return textures_; }
  int materials() const { return materials_; }
  int render_targets() const { return render_targets_; }
  // Why the last create_texture returned 0.
  const std::string& last_error() const { return last_error_; }

 private:
  // The file's size, or false (last_error_ says why).
  bool probe(const std::string& name, int& width, int& height);

  std::string folder_;
  std::vector<Made> textures_;
  int materials_ = 0;
  int render_targets_ = 0;
  std::string last_error_;
};

}  // namespace orvo
