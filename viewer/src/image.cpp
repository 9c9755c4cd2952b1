#include "orvo/viewer/image.h"

#include "image_io.h"
#include "tools/base/file_io.h"

namespace orvo {

void expand_palette(Image& image) {
  if (!image.has_palette()) return;
  image.pixels.resize(image.indices.size());
  for (std::size_t i = 0; i < image.indices.size(); ++i) image.pixels[i] = image.palette[image.indices[i]];
}

namespace detail {

tools::Result<std::string> read_image_file(const std::string& path) {
  tools::Result<std::string> data = tools::read_file(path, kMaxImageFileBytes);
  if (!data && data.error().kind == tools::ErrorKind::kTooLarge) {
    tools::Error e = data.error();
    e.code = kImageBadFile;
    return e;
  }
  return data;
}

tools::Error bad_data(const std::string& name, std::size_t offset, const std::string& text, tools::ErrorKind kind) {
  return tools::data_error(name, static_cast<int64_t>(offset), text, kImageBadFile, kind);
}

tools::Error cut_short(const std::string& name, std::size_t offset, const std::string& what) {
  return bad_data(name, offset, "the file ends inside " + what, tools::ErrorKind::kEndOfFile);
}

tools::Error too_large(const std::string& name, std::size_t offset, int width, int height) {
  return bad_data(name, offset,
                  std::to_string(width) + " x " + std::to_string(height) + " pixels is more than a texture can have (" +
                      std::to_string(kMaxImageSide) + " x " + std::to_string(kMaxImageSide) + ")",
                  tools::ErrorKind::kTooLarge);
}

tools::Error no_memory(const std::string& name, int width, int height) {
  return tools::data_error(
      name, -1,
      "not enough memory for an image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels",
      kImageNoMemory, tools::ErrorKind::kTooLarge);
}

}  // namespace detail
}  // namespace orvo
