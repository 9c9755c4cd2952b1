#pragma once
// Texture registration of the export: the file's texture table and, for
// every material of every level, the indices of its colour and alpha
// textures (255: none).
//
// Materials register in table order, level 0 first, then levels 1 to 3 that
// hold parts (also beyond the exported level count, as their materials may
// still name textures). A material's flags start from its multitexture
// flags: bit 0 adds 0x200, else bit 1 adds 0x400; a material with neither
// keeps the value of the material before it in the same level (0 for the
// first). A second-layer material (bit 1 without bit 0) is tested for being
// textured (color_type 2) by the material before it, its first layer; names
// and use_alpha_pcx are its own.
//
//   textured, no alpha picture:  green_texture by name, flags | 7, colour slots
//   textured with alpha picture: green_texture + alpha_texture as one
//                                combined entry, flags | 0x107, colour slots
//   otherwise, alpha picture:    alpha_texture by name, flags | 0x18, alpha slot
//
// By name: a ".TGA" name (any case) always gets a new entry named as given;
// other names are upper-cased, given the extension "pcx" when they have
// none, and reuse an entry of that second name whose 0x10 flag agrees (the
// flags are then merged). A combined entry is always new: first name the
// colour file, second the alpha file, as given; the colour picture's size.
// An empty name or a picture that cannot be read gives 255 and no entry.
//
// Index 255 (file3di::kNoTexture) means "no texture" to the game, so the
// table holds at most 255 entries (0 to 254); one more refuses the export.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "orvo/file3di/codec_3di.h"
#include "orvo/model/model.h"
#include "tools/base/result.h"

namespace orvo {

inline constexpr std::size_t kMaxTextures = 255;

struct TextureEntry {
  std::string first_name;   // the colour file of a combined entry, or the ".TGA" file, as given
  std::string second_name;  // the alpha file of a combined entry; the upper-cased name of a by-name entry
  uint32_t flags = 0;       // usage flags (the file keeps the low 16 bits)
  uint16_t width = 0, height = 0;
};

struct MaterialTextures {
  uint8_t colour = file3di::kNoTexture;  // written to the three colour slots
  uint8_t alpha = file3di::kNoTexture;
};

struct PictureSize {
  int width = 0, height = 0;
};

// The size of the picture file `name` (as the table looks it up: a file
// name, the texture folder is the reader's business); nothing when it
// cannot be read.
using PictureSizeReader = std::function<std::optional<PictureSize>(const std::string& name)>;

struct TextureTable {
  std::vector<TextureEntry> entries;
  // Per level, per material (num_materials of the level).
  std::array<std::vector<MaterialTextures>, 4> materials;
};

// Registers the textures of the four levels (null or empty levels are
// skipped, level 0 always registers). Refuses a 256th entry.
tools::Result<TextureTable> register_textures(const std::array<const Model*, 4>& levels,
                                              const PictureSizeReader& sizes);

}  // namespace orvo
