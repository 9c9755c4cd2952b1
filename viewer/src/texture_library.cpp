#include "orvo/viewer/texture_library.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "orvo/file3di/codec_3di.h"
#include "tools/base/file_io.h"
#include "tools/base/text.h"

namespace orvo {
namespace {

enum class FileKind { kNone, kTga, kPcx };

// The reader the upper-cased folder + name picks (MDT files are TGA).
FileKind kind_of(const std::string& upper_path) {
  if (upper_path.find(".TGA") != std::string::npos || upper_path.find(".MDT") != std::string::npos)
    return FileKind::kTga;
  if (upper_path.find(".PCX") != std::string::npos) return FileKind::kPcx;
  return FileKind::kNone;
}

// The picture at `path` read by `kind`, with 32-bit pixels (a PCX keeps its
// indices and palette too).
tools::Result<Image> read_picture(FileKind kind, const std::string& path) {
  if (kind == FileKind::kNone)
    return tools::Error{
        kImageBadFile, path + ": only TGA, MDT, PCX and DDS pictures are read", {path}, tools::ErrorKind::kBadData};
  tools::Result<Image> image = kind == FileKind::kTga ? read_tga(path) : read_pcx(path);
  if (!image) return image;
  if (tools::Status s = expand_palette(*image, path); !s) return s.error();
  return image;
}

// The picture `name` in the texture folder, its file name in any case, read
// by `kind`; an error naming the folder when it is missing.
tools::Result<Image> read_in_folder(FileKind kind, const std::string& folder, const std::string& name) {
  const std::optional<std::string> path = tools::find_file_any_case(folder + name);
  if (!path) {
    const std::string shown = folder.empty() ? std::string(".") : folder.substr(0, folder.size() - 1);
    return tools::Error{kImageCannotOpen, name + ": no such file in " + shown, {name}, tools::ErrorKind::kCannotOpen};
  }
  return read_picture(kind, *path);
}

uint32_t height_of(uint32_t pixel) {
  return (((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF)) / 3;
}

uint32_t normal_byte(double c) {
  return static_cast<uint32_t>(std::clamp(std::trunc(127.5 * c + 128.0), 0.0, 255.0));
}

}  // namespace

std::string texture_key(std::string_view name, int k, bool bump) {
  std::string key(name);
  key += bump ? ":BA:" : ":";
  key += static_cast<char>('1' + k);
  return key;
}

std::vector<uint8_t> grey_table(const std::vector<uint32_t>& palette) {
  std::vector<uint8_t> grey(256, 0);
  for (std::size_t i = 0; i < std::min<std::size_t>(palette.size(), 256); ++i) {
    const uint32_t c = palette[i];
    grey[i] = static_cast<uint8_t>(((((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF)) * 85) >> 8);
  }
  return grey;
}

Image bump_map(const Image& heights, float scale) {
  Image out;
  out.width = heights.width;
  out.height = heights.height;
  const int w = heights.width, h = heights.height;
  out.pixels.resize(heights.pixels.size());
  if (w <= 0 || h <= 0 || heights.pixels.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
    return out;
  const auto at = [&](int x, int y) {
    return static_cast<double>(height_of(heights.pixels[static_cast<std::size_t>((y + h) % h) * w + (x + w) % w]));
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double dx = (at(x + 1, y) - at(x - 1, y)) / 2, dy = (at(x, y + 1) - at(x, y - 1)) / 2;
      const double nx = -dx * scale, ny = -dy * scale, len = std::sqrt(nx * nx + ny * ny + 1.0);
      out.pixels[static_cast<std::size_t>(y) * w + x] =
          argb(static_cast<uint32_t>(at(x, y)), normal_byte(nx / len), normal_byte(ny / len), normal_byte(1.0 / len));
    }
  }
  return out;
}

TextureLibrary::TextureLibrary(TextureDevice& device, std::string_view folder) : device_(device) {
  set_texture_folder(folder);
}

void TextureLibrary::set_texture_folder(std::string_view folder) {
  folder_ = folder;
  if (!folder_.empty() && folder_.back() != '\\' && folder_.back() != '/') folder_ += '\\';
}

std::string TextureLibrary::dds_path(const std::string& name) const {
  if (name.find(".MDT") != std::string::npos) return {};
  std::string path = folder_ + name;
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos) path.resize(dot);
  return tools::find_file_any_case(path + ".dds").value_or(std::string());
}

int32_t TextureLibrary::remember(const std::string& key, int32_t handle) {
  if (handle > 0) {
    keys_[key] = handle;
    return handle;
  }
  last_error_ = key + ": the device cannot make the texture";
  return 0;
}

int32_t TextureLibrary::fail(const tools::Error& error) {
  last_error_ = error.message;
  return 0;
}

int32_t TextureLibrary::find(const std::string& key) const {
  const auto it = keys_.find(key);
  return it == keys_.end() ? 0 : it->second;
}

bool TextureLibrary::release(const std::string& key) {
  return keys_.erase(key) != 0;
}

int32_t TextureLibrary::from_pixels(const std::string& key, const Image& image, int format, uint32_t flags) {
  if (const int32_t live = find(key)) return live;
  return remember(key, device_.create_from_pixels(key, image, format, flags));
}

int32_t TextureLibrary::plain(const std::string& name, int k, uint32_t flags) {
  const std::string key = texture_key(name, k);
  if (const int32_t live = find(key)) return live;
  if (const std::string dds = dds_path(name); !dds.empty()) {
    const tools::Result<DdsFile> file = read_dds(dds);
    if (!file) return fail(file.error());
    return remember(key, device_.create_from_dds(key, *file, flags | kTextureFlagsFromDds));
  }
  const std::string upper = tools::ascii_upper(folder_ + name);
  const tools::Result<Image> image = read_in_folder(kind_of(upper), folder_, name);
  if (!image) return fail(image.error());
  // Only a TGA name marks the texture as carrying its own alpha here; a pair
  // marks MDT colour files too.
  if (upper.find(".TGA") != std::string::npos) flags |= kTextureFlagsTga;
  return remember(key, device_.create_from_pixels(key, *image, k, flags));
}

int32_t TextureLibrary::alpha(const std::string& name, int k, uint32_t flags) {
  const std::string key = texture_key(name, k);
  if (const int32_t live = find(key)) return live;
  const FileKind kind = kind_of(tools::ascii_upper(folder_ + name));
  tools::Result<Image> image = read_in_folder(kind, folder_, name);
  if (!image) return fail(image.error());
  if (kind == FileKind::kPcx)
    for (uint32_t& p : image->pixels) p = argb(p & 0xFF, 255, 255, 255);
  return remember(key, device_.create_from_pixels(key, *image, k, flags));
}

int32_t TextureLibrary::colour_with_alpha(const std::string& colour, const std::string& alpha, int k, uint32_t flags) {
  const std::string key = std::string(colour) + "/" + alpha + ":" + static_cast<char>('1' + k);
  if (const int32_t live = find(key)) return live;
  if (const std::string dds = dds_path(colour); !dds.empty()) {
    const tools::Result<DdsFile> file = read_dds(dds);
    if (!file) return fail(file.error());
    return remember(key, device_.create_from_dds(key, *file, flags | kTextureFlagsFromDds));
  }
  const FileKind kind = kind_of(tools::ascii_upper(folder_ + colour));
  tools::Result<Image> image = read_in_folder(kind, folder_, colour);
  if (!image) return fail(image.error());
  if (kind == FileKind::kTga) {
    flags |= kTextureFlagsTga;
  } else if (tools::ascii_upper(folder_ + alpha).find(".PCX") != std::string::npos) {
    const tools::Result<Image> mask = read_in_folder(FileKind::kPcx, folder_, alpha);
    if (mask) {
      const std::vector<uint8_t> grey = grey_table(mask->palette);
      for (int y = 0; y < std::min(image->height, mask->height); ++y)
        for (int x = 0; x < std::min(image->width, mask->width); ++x) {
          uint32_t& p = image->pixels[static_cast<std::size_t>(y) * image->width + x];
          p = (p & 0xFFFFFF) |
              (static_cast<uint32_t>(grey[mask->indices[static_cast<std::size_t>(y) * mask->width + x]]) << 24);
        }
    }
  }
  return remember(key, device_.create_from_pixels(key, *image, k, flags));
}

int32_t TextureLibrary::bump(const std::string& name, int k, uint32_t flags, float scale) {
  const std::string key = texture_key(name, k, true);
  if (const int32_t live = find(key)) return live;
  tools::Result<Image> heights = tools::Error{};
  if (const std::string dds = dds_path(name); !dds.empty()) {
    const tools::Result<DdsFile> file = read_dds(dds);
    if (!file) return fail(file.error());
    heights = dds_to_image(*file);
  } else {
    heights = read_in_folder(kind_of(tools::ascii_upper(folder_ + name)), folder_, name);
  }
  if (!heights) return fail(heights.error());
  Image normals;
  try {
    normals = bump_map(*heights, scale);
  } catch (const std::bad_alloc&) {
    return fail(tools::Error{
        kImageNoMemory, name + ": out of memory while making the bump map", {name}, tools::ErrorKind::kTooLarge});
  }
  return remember(key, device_.create_from_pixels(key, normals, k, flags));
}

std::vector<BuiltinTexture> builtin_texture_images() {
  const auto make = [](int w, int h, auto pixel) {
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.pixels[static_cast<std::size_t>(y) * w + x] = pixel(x, y);
    return image;
  };
  const auto power = [](double t, int n) { return static_cast<uint32_t>(std::trunc(std::pow(t, n) * 255.0)); };
  std::vector<BuiltinTexture> out;
  out.push_back({"ReflectRamp", make(64, 8, [](int x, int) { return argb(255, 4 * x, 4 * x, 4 * x); }), 0, 1});
  out.push_back({"GSysClip", make(4, 4, [](int x, int) { return argb(x < 2 ? 0 : 255, 127, 127, 127); }), 0, 0x140003});
  out.push_back({"GSysGray", make(4, 4, [](int, int) { return argb(255, 128, 128, 128); }), 0, 0});
  out.push_back({"gsys_phong",
                 make(256, 256,
                      [&](int x, int y) {
                        const double t = y / 255.0;
                        return argb(x, power(t, 4), power(t, 16), power(t, 64));
                      }),
                 2, 0x100001});
  return out;
}

void create_builtin_textures(TextureLibrary& library) {
  for (const BuiltinTexture& t : builtin_texture_images()) library.from_pixels(t.key, t.image, t.format, t.flags);
}

int32_t LibraryTextureFactory::create_texture(const Request& request) {
  int32_t handle = 0;
  if (!request.alpha_name.empty()) {
    handle = library_.colour_with_alpha(request.colour_name, request.alpha_name, options_.format, options_.flags);
  } else if ((request.flags & file3di::kTextureFromSecondName) != 0) {
    handle = library_.alpha(request.colour_name, options_.format, options_.flags);
  } else {
    handle = library_.plain(request.colour_name, options_.format, options_.flags);
  }
  if (handle == 0) failures_.push_back(library_.last_error());
  return handle;
}

int32_t LibraryTextureFactory::create_texture_from_pixels(const std::string& name, int width, int height,
                                                          std::span<const uint32_t> argb) {
  if (width <= 0 || height <= 0 || argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return 0;
  Image image;
  image.width = width;
  image.height = height;
  image.pixels.assign(argb.begin(), argb.end());
  return library_.from_pixels(name, image, options_.format, options_.flags);
}

int32_t LibraryTextureFactory::create_material(const render::Material&, bool) {
  return ++materials_;
}

int32_t LibraryTextureFactory::create_render_target(const render::Projector&) {
  return ++render_targets_;
}

}  // namespace orvo
