// Turning the texture names of materials into device textures, without a
// graphics API: the library finds files in the texture folder, reads them,
// combines colour and alpha images, computes bump maps and shares every
// texture it made through its key. The device that holds the textures is an
// interface (the OpenGL layer implements it; tests record the calls).
//
// Keys ('1' + k is the format number k as a character):
//   plain and alpha textures   "NAME:1"
//   colour with separate alpha "COLOUR/ALPHA:1"
//   bump maps                  "NAME:BA:1"
// A texture is created once per key; asking again returns the live handle
// until the key is released.
//
// Files: the texture folder + the name. Names in model data are upper-cased
// Windows names; a file is found when its name matches in any case (the
// folder itself must be spelt right). A missing or unreadable file gives 0;
// last_error() says why (a picture too large to decode is one of them).
//
// Single-threaded: call from the thread that owns the device.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/image/dds.h"
#include "orvo/image/image.h"
#include "orvo/viewer/model_loader.h"

namespace orvo {

// Creation flags added by the library: to a texture made from a .dds file,
// and to one made from a TGA file (which carries its own alpha).
inline constexpr uint32_t kTextureFlagsFromDds = 0x80100000;
inline constexpr uint32_t kTextureFlagsTga = 0x100000;

class TextureDevice {
 public:
  virtual ~TextureDevice() = default;
  // A texture from 0xAARRGGBB pixels (`image.pixels`, top row first) of the
  // format number `format`; a handle above 0, or 0 when it cannot be made.
  virtual int32_t create_from_pixels(const std::string& key, const Image& image, int format, uint32_t flags) = 0;
  // A texture from a whole .dds file (its levels as stored).
  virtual int32_t create_from_dds(const std::string& key, const DdsFile& dds, uint32_t flags) = 0;
};

class TextureLibrary {
 public:
  explicit TextureLibrary(TextureDevice& device, std::string_view folder = {});

  // Empty: the current directory. Otherwise a trailing '\' is appended
  // unless the folder already ends in '\' or '/'.
  void set_texture_folder(std::string_view folder);
  const std::string& texture_folder() const { return folder_; }

  // One-file texture. Unless the name contains ".MDT" (exact case), a file
  // of the name's base (up to its last '.') with ".dds" is looked for first
  // and, when present, created whole with flags | kTextureFlagsFromDds (a
  // .dds file that does not decode gives 0). Otherwise the upper-cased
  // folder + name picks the reader: ".TGA" and ".MDT" TGA, ".PCX" PCX
  // (through its palette, opaque), anything else gives 0; a TGA gets flags |
  // kTextureFlagsTga.
  int32_t plain(const std::string& name, int k, uint32_t flags);
  // An alpha map: no .dds look-up; read as plain does. A PCX becomes white
  // with each pixel's alpha the low (blue) byte of its palette colour.
  // Created with the flags as given.
  int32_t alpha(const std::string& name, int k, uint32_t flags);
  // A colour file with a separate alpha file. The .dds look-up of plain for
  // the colour name; else a TGA or MDT colour file keeps its own alpha (the
  // alpha file is not read) and gets kTextureFlagsTga; a PCX colour file
  // takes its alpha from a PCX alpha file when the upper-cased folder + alpha
  // name contains ".PCX" and the file reads: alpha(x, y) = grey(index of the
  // alpha image at (x, y)), grey(i) = ((red + green + blue) x 85) >> 8 of the
  // alpha image's palette entry i; pixels outside the alpha image, and every
  // pixel when it does not read, stay opaque.
  int32_t colour_with_alpha(const std::string& colour, const std::string& alpha, int k, uint32_t flags);
  // A normal map from a height map: see bump_map. The image is the name's
  // .dds file decoded (level 0) when plain would take it, else read as plain
  // reads. Created from pixels with format k and the flags as given.
  int32_t bump(const std::string& name, int k, uint32_t flags, float scale);

  // The texture of `key`, made from `image` when none is live.
  int32_t from_pixels(const std::string& key, const Image& image, int format, uint32_t flags);

  // Why the last plain, alpha, colour_with_alpha or bump call that gave 0
  // failed: the reader's error ("path: ..."), that the file is missing, or
  // that the device refused the texture.
  const std::string& last_error() const { return last_error_; }

  // The live handle of `key`, 0 when none.
  int32_t find(const std::string& key) const;
  // Forgets a key (the device texture is the caller's to free); false when
  // it was not live.
  bool release(const std::string& key);
  void clear() { keys_.clear(); }
  std::size_t size() const { return keys_.size(); }

  TextureDevice& device() { return device_; }

 private:
  // The .dds file plain would use instead of `name`, or "" when none.
  std::string dds_path(const std::string& name) const;
  int32_t remember(const std::string& key, int32_t handle);
  // Keeps the error's message as the last error; 0.
  int32_t fail(const tools::Error& error);

  TextureDevice& device_;
  std::string folder_;
  std::map<std::string, int32_t> keys_;
  std::string last_error_;
};

// The key of a texture: name + ":" (or ":BA:" for bump maps) + ('1' + k).
std::string texture_key(std::string_view name, int k, bool bump = false);

// grey(i) = ((red + green + blue) x 85) >> 8 for each of the 256 palette
// entries (missing entries: 0).
std::vector<uint8_t> grey_table(const std::vector<uint32_t>& palette);

// The normal map of a height map. Height h(x, y) of a pixel: (red + green +
// blue) / 3, 0 to 255. Slopes by central differences over the two
// neighbours, wrapping at the edges (textures tile):
//   dx = (h(x+1, y) - h(x-1, y)) / 2,  dy = (h(x, y+1) - h(x, y-1)) / 2
// in height steps per pixel, y growing downwards. The normal is
//   n = normalise(-dx * scale, -dy * scale, 1)
// so with the loader's scale of 1/64 a rise of 64 steps per pixel leans it
// by 45 degrees. Stored as red = x, green = y, blue = z, each c mapped to
// trunc(127.5 c + 128) clamped to 0..255 (a flat map is (128, 128, 255));
// alpha keeps the height. A height that rises to the right gives red below
// 128, one that rises downwards green below 128.
Image bump_map(const Image& heights, float scale);

struct BuiltinTexture {
  std::string key;
  Image image;
  int format = 0;
  uint32_t flags = 0;
};
// The four textures the render paths use, made once when the preview starts:
//   "ReflectRamp" 64 x 8, format 0, flags 1: every row grey 4x (x = column), opaque
//   "GSysClip" 4 x 4, format 0, flags 0x140003: grey 127; alpha 0 in columns 0-1, 255 in 2-3
//   "GSysGray" 4 x 4, format 0, flags 0: opaque grey 128
//   "gsys_phong" 256 x 256, format 2, flags 0x100001: alpha x; with t = y / 255,
//     red trunc(t^4 x 255), green trunc(t^16 x 255), blue trunc(t^64 x 255)
std::vector<BuiltinTexture> builtin_texture_images();
// Creates them through the library (shared under their keys).
void create_builtin_textures(TextureLibrary& library);

// The loader's texture factory over a library. A request with an alpha name
// is a colour_with_alpha pair; one whose usage flags have bit 0x8 (an alpha
// texture registered on its own) an alpha texture; any other a plain one.
// The loader passes no format number and its usage flags are not creation
// flags, so every texture is made with the format number and creation flags
// of Options (default 0 and 0); the recorded size is the device's affair.
// Placeholders come through from_pixels under their names. Materials and
// render targets have no device yet: each call returns the next number of a
// counter of its own (1, 2, ...).
class LibraryTextureFactory : public TextureFactory {
 public:
  struct Options {
    int format = 0;
    uint32_t flags = 0;
  };
  explicit LibraryTextureFactory(TextureLibrary& library) : library_(library) {}
  LibraryTextureFactory(TextureLibrary& library, Options options) : library_(library), options_(options) {}

  int32_t create_texture(const Request& request) override;
  int32_t create_texture_from_pixels(const std::string& name, int width, int height,
                                     std::span<const uint32_t> argb) override;
  int32_t create_material(const render::Material& material, bool skinned) override;
  int32_t create_render_target(const render::Projector& projector) override;

  int materials() const { return materials_; }
  int render_targets() const { return render_targets_; }
  // Why each texture that could not be made failed, in the order asked
  // (the library's last_error of each).
  const std::vector<std::string>& failures() const { return failures_; }

 private:
  TextureLibrary& library_;
  Options options_;
  std::vector<std::string> failures_;
  int materials_ = 0;
  int render_targets_ = 0;
};

}  // namespace orvo
