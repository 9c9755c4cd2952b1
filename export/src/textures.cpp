#include "orvo/export/textures.h"

#include <string_view>

#include "tools/base/text.h"

namespace orvo {

namespace {

bool is_tga(std::string_view name) {
  return tools::ascii_upper(name).find(".TGA") != std::string::npos;
}

// The name a by-name entry is looked up and stored under.
std::string by_name_key(std::string_view name) {
  std::string key = tools::ascii_upper(name);
  if (key.find('.') == std::string::npos) key += ".pcx";
  return key;
}

class Registry {
 public:
  Registry(const PictureSizeReader& sizes) : sizes_(sizes) {}

  tools::Result<uint8_t> by_name(std::string_view name, uint32_t flags) {
    if (name.empty()) return file3di::kNoTexture;
    if (is_tga(name)) {
      const std::optional<PictureSize> size = sizes_(std::string(name));
      if (!size) return file3di::kNoTexture;
      return add({std::string(name), {}, flags, clamp16(size->width), clamp16(size->height)});
    }
    const std::string key = by_name_key(name);
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
      TextureEntry& e = table.entries[i];
      if (e.second_name == key && (e.flags & file3di::kTextureAlphaOnly) == (flags & file3di::kTextureAlphaOnly)) {
        e.flags |= flags;
        return static_cast<uint8_t>(i);
      }
    }
    const std::optional<PictureSize> size = sizes_(key);
    if (!size) return file3di::kNoTexture;
    return add({{}, key, flags, clamp16(size->width), clamp16(size->height)});
  }

  tools::Result<uint8_t> combined(std::string_view colour, std::string_view alpha, uint32_t flags) {
    if (colour.empty() || alpha.empty()) return file3di::kNoTexture;
    // A ".TGA" colour file is looked up as it is; other names as by-name
    // entries are (upper case, "pcx" when they have no extension).
    const std::optional<PictureSize> colour_size = sizes_(is_tga(colour) ? std::string(colour) : by_name_key(colour));
    const std::optional<PictureSize> alpha_size = sizes_(is_tga(alpha) ? std::string(alpha) : by_name_key(alpha));
    if (!colour_size || !alpha_size) return file3di::kNoTexture;
    return add(
        {std::string(colour), std::string(alpha), flags, clamp16(colour_size->width), clamp16(colour_size->height)});
  }

  TextureTable table;

 private:
  static uint16_t clamp16(int v) { return static_cast<uint16_t>(std::clamp(v, 0, 0xFFFF)); }

  tools::Result<uint8_t> add(TextureEntry e) {
    if (table.entries.size() >= kMaxTextures) {
      return tools::Error{1,
                          "too many textures: the file's table holds " + std::to_string(kMaxTextures) +
                              " (index 255 means none); \"" + (e.first_name.empty() ? e.second_name : e.first_name) +
                              "\" would be number " + std::to_string(table.entries.size() + 1),
                          {},
                          tools::ErrorKind::kBadData};
    }
    table.entries.push_back(std::move(e));
    return static_cast<uint8_t>(table.entries.size() - 1);
  }

  const PictureSizeReader& sizes_;
};

}  // namespace

tools::Result<TextureTable> register_textures(const std::array<const Model*, 4>& levels,
                                              const PictureSizeReader& sizes) {
  Registry r(sizes);
  for (std::size_t lod = 0; lod < levels.size(); ++lod) {
    const Model* level = levels[lod];
    if (level == nullptr || (lod > 0 && !level->present())) continue;
    std::vector<MaterialTextures>& out = r.table.materials[lod];
    out.assign(static_cast<std::size_t>(std::max(level->num_materials, 0)), {});
    uint32_t base_flags = 0;  // carried over to a material without layer bits
    for (int i = 0; i < level->num_materials; ++i) {
      const ModelMaterial& mat = level->materials[static_cast<std::size_t>(i)];
      if ((mat.multitexture_flags & kMultiTextureOrdinary) != 0) {
        base_flags = file3di::kTextureOrdinaryLayer;
      } else if ((mat.multitexture_flags & kMultiTextureSecondLayer) != 0) {
        base_flags = file3di::kTextureSecondLayer;
      }
      // A second layer is textured as its first layer is.
      const bool second_layer = (mat.multitexture_flags & kMultiTextureOrdinary) == 0 &&
                                (mat.multitexture_flags & kMultiTextureSecondLayer) != 0;
      const int color_type =
          second_layer && i > 0 ? level->materials[static_cast<std::size_t>(i - 1)].color_type : mat.color_type;
      MaterialTextures& slots = out[static_cast<std::size_t>(i)];
      if (color_type == 2) {
        tools::Result<uint8_t> index =
            mat.use_alpha_pcx == 0 ? r.by_name(mat.green_texture.view(), base_flags | file3di::kTextureColour)
                                   : r.combined(mat.green_texture.view(), mat.alpha_texture.view(),
                                                base_flags | file3di::kTextureColour | file3di::kTextureCombined);
        if (!index) return index.error();
        slots.colour = *index;
      } else if (mat.use_alpha_pcx != 0) {
        tools::Result<uint8_t> index = r.by_name(mat.alpha_texture.view(), base_flags | file3di::kTextureAlpha);
        if (!index) return index.error();
        slots.alpha = *index;
      }
    }
  }
  return std::move(r.table);
}

}  // namespace orvo
