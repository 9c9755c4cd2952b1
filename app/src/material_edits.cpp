#include "orvo/app/material_edits.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "orvo/document/settings.h"
#include "orvo/image/image.h"
#include "orvo/image/texture_file.h"
#include "orvo/model/named_values.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

std::string printf_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string printf_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

bool in_table(const Model& model, int index) {
  return index >= 0 && index < model.num_materials && index < kMaxMaterials;
}

std::string cut(std::string text, std::size_t n) {
  if (text.size() > n) text.resize(n);
  return text;
}

// One new material: a copy of the template named `file` (its texture
// fields too) and described by `description`, its animation cleared.
void append_one(Model& model, const ModelMaterial& templ, const std::string& file, const std::string& description) {
  ModelMaterial m = templ;
  m.name = cut(file, Name32::max_length);
  m.green_texture = cut(file, Name16::max_length);
  m.alpha_texture = cut(file, Name16::max_length);
  m.description = description;
  m.anim_frames = 0;
  m.anim_time = 0;
  m.anim_sequence = 0;
  model.materials[static_cast<std::size_t>(model.num_materials)] = m;
  ++model.num_materials;
}

void remap_faces(std::vector<Face>& faces, int first, int count) {
  for (Face& f : faces) {
    if (f.material >= first + count) {
      f.material -= count;
    } else if (f.material >= first) {
      f.material = 0;
    }
  }
}

std::string named_or_number(const NamedValue* table, int value) {
  const std::string_view name = named_text(table, value);
  return name.empty() ? std::to_string(value) : std::string(name);
}

constexpr std::array<std::string_view, 21> kShaderDescriptions = {
    "No advanced shading",
    "Bump Diffuse lighting only.\r\n\r\nStage1:color = base color\r\nStage1:alpha = bump map",
    "Bump Diffuse & specular lighting, fixed exponent.\r\n\r\nStage1:color = base color\r\nStage1:alpha = bump map",
    "Bump Diffuse and white specular only.\r\nStage1 alpha used as bump map.",
    "Bump Diffuse and specular environment lighting.\r\n\r\nStage1:color = base color\r\nStage1:alpha = bump map",
    "Reflective environment only.\r\n\r\nStage1:alpha = bump map\r\nStage1:color = gloss map",
    "Diffuse and specular environment lighting.\r\n\r\nStage1:color = fallback\r\nStage1:alpha = bump "
    "map\r\nStage2:color = base color\r\nStage2:alpha = gloss map.",
    "Phong lighting without bumpmap.\r\nDiffuse only, no specular.",
    "Bump Diffuse lighting only.\r\n\r\nStage1:color = base color\r\nMDT file derived from Stage1 filename.",
    "",
    "Bump Diffuse & Phong Variable Specular\r\n\r\nStage1:color = base color\r\nMDT file derived from Stage1 "
    "filename.",
    "Bump Diffuse & Phong Variable Specular 2\r\n\r\nStage1:color = base color\r\nMDT file derived from Stage1 "
    "filename.",
    "Bump Diffuse & Phong Variable Specular 2\r\n\r\nStage1:color = base color\r\nMDT file derived from Stage1 "
    "filename.\r\nOBJECT RENDERTARGET USED",
    "",
    "Use for solid tracers etc.",
    "Bump Diffuse lighting only\r\n\r\nStage1:color = base color\r\nStage1:alpha = bump map\r\nStage2:color = "
    "optional detail texture",
    "Bump Diffuse & Phong Variable Specular\r\n\r\nStage1:color = base color\r\nbump placement T.B.D.",
    "",
    "",
    "",
    "Reflective environment with overlay.\r\n\r\nStage1:alpha = bump map\r\nStage1:color = gloss "
    "map\r\nStage2:color = overlay color\r\nStage2:alpha = overlay alpha",
};

// Kilobytes of a map (or of a colour map and its alpha map together).
int kilobytes(const MapSize& s, int maps) {
  const int64_t bytes = int64_t{s.width} * s.height * maps;
  return static_cast<int>(bytes / 1024) + 1;
}

}  // namespace

bool is_second_stage(const ModelMaterial& m) {
  return (m.multitexture_flags & kMultiTextureSecondLayer) != 0;
}

int first_stage_of(const Model& model, int index) {
  if (index > 0 && in_table(model, index) && is_second_stage(model.materials[static_cast<std::size_t>(index)]))
    return index - 1;
  return index;
}

bool is_two_stage(const Model& model, int first) {
  if (!in_table(model, first) || !in_table(model, first + 1)) return false;
  return model.materials[static_cast<std::size_t>(first)].multitexture_flags != 0 &&
         is_second_stage(model.materials[static_cast<std::size_t>(first) + 1]);
}

std::string material_list_line(const ModelMaterial& m) {
  if (m.description.empty()) return "\t1\t" + m.name.str();
  if (is_second_stage(m)) return "\t2\t" + m.name.str();
  return m.description.str() + ":\t1\t" + m.name.str();
}

int append_new_materials(Model& model, int template_index, const NewMaterialSettings& settings) {
  if (!in_table(model, template_index)) return 0;
  // Copied once: appending never moves the template, but a copy keeps the
  // series alike even should it ever do.
  const ModelMaterial templ = model.materials[static_cast<std::size_t>(template_index)];
  const std::string ext = settings.extension == 1 ? ".tga" : ".pcx";
  const std::string base_description = settings.description.empty() ? settings.name : settings.description;
  const int before = model.num_materials;
  const int repeat = std::min(settings.repeat, kMaxNewMaterialRepeat);

  if (repeat == 0) {
    if (model.num_materials < kMaxMaterials) append_one(model, templ, settings.name + ext, settings.name);
  } else {
    for (int k = settings.start; k < settings.start + repeat && model.num_materials < kMaxMaterials; ++k) {
      if (settings.repeat_type == 1) {
        // Letters run on past 'Z' through the printable characters; a
        // series stops before it would leave them, so that names stay text.
        const int letter = 'A' + k;
        if (letter <= ' ' || letter >= 0x7F) continue;
        const std::string suffix(1, static_cast<char>(letter));
        append_one(model, templ, settings.name + suffix + ext, base_description + suffix);
      } else {
        append_one(model, templ, printf_text("%s%02i%s", settings.name.c_str(), k, ext.c_str()),
                   printf_text("%s%02i", base_description.c_str(), k));
      }
    }
  }
  renew_material_bookkeeping(model);
  return model.num_materials - before;
}

int delete_material(Model& model, int index) {
  if (!in_table(model, index)) return 0;
  const int first = first_stage_of(model, index);
  const int count = is_two_stage(model, first) ? 2 : 1;
  const int n = model.num_materials;
  for (int i = first; i + count < n; ++i)
    model.materials[static_cast<std::size_t>(i)] = model.materials[static_cast<std::size_t>(i + count)];
  for (int i = n - count; i < n; ++i) model.materials[static_cast<std::size_t>(i)] = ModelMaterial{};
  model.num_materials = n - count;
  for (SubObject& so : model.subobjects) remap_faces(so.faces, first, count);
  for (BoundingObject& b : model.bobj) remap_faces(b.faces, first, count);
  renew_material_bookkeeping(model);
  return count;
}

void renew_material_bookkeeping(Model& model) {
  for (ModelMaterial& m : model.materials) m.runtime.reset_bounds();
}

int surface_kind_value(int physical) {
  const int kind = physical & kSurfaceKindMask;
  for (const NamedValue& e : named_entries(kPhysicalAttributes))
    if ((e.value & kind) != 0) return e.value;
  return 0;
}

std::string advanced_summary(const ModelMaterial& m) {
  std::string out;
  if (m.reflect_type != 0) {
    out += named_or_number(kReflectTypes, m.reflect_type);
    // The alpha note ends its line too, so that a following line starts on
    // a line of its own.
    out += m.reflect_alpha != 0 ? "\r\n(Reflect Uses Texture Alpha)\r\n" : "\r\n";
  }
  if (m.actionplane_type == 1) out += "Surface Plane: " + named_or_number(kActionPlaneTypes, 1) + "\r\n";
  if (m.projector_type == 1) out += "Projector: " + named_or_number(kProjectorTypes, 1) + "\r\n";
  if (m.shader_type != 0) {
    std::string_view name = named_text(kShaderTypesRigid, m.shader_type);
    if (name.empty()) name = named_text(kShaderTypesSkinned, m.shader_type);
    out += "Shader: " + (name.empty() ? std::to_string(m.shader_type) : std::string(name)) + "\r\n";
  }
  return out.empty() ? "None" : out;
}

std::string_view shader_description(int type) {
  if (type < 0 || type >= static_cast<int>(kShaderDescriptions.size())) return {};
  return kShaderDescriptions[static_cast<std::size_t>(type)];
}

bool is_tga_name(std::string_view path) {
  // Texture names are written in either case on a case-sensitive file
  // system ("hull.tga" is as much a TGA as "HULL.TGA").
  for (std::size_t i = 0; i + 4 <= path.size(); ++i)
    if (tools::iequals(path.substr(i, 4), ".tga")) return true;
  return false;
}

std::optional<MapSize> read_map_size(const std::string& path) {
  // The file as named, or one whose name differs only in case.
  const std::optional<std::string> found = find_texture_file({}, path);
  const std::string& file = found ? *found : path;
  const tools::Result<PictureInfo> info = is_tga_name(path) ? probe_tga(file) : probe_pcx(file);
  if (!info) return std::nullopt;
  return MapSize{info->width, info->height};
}

std::string map_path(std::string_view texture_folder, std::string_view name) {
  std::string path = texture_folder_for_lookup(texture_folder);
  path += name;
  if (name.find('.') == std::string_view::npos) path += ".pcx";
  return path;
}

std::string texture_summary(const ModelMaterial& m, const std::string& texture_folder, MapSizeReader read_size) {
  const int r = m.color_green[0], g = m.color_green[1], b = m.color_green[2];
  if (m.color_type == 0) return "No Color (Glass)";

  std::optional<MapSize> colour_size;
  std::string colour_path;
  if (m.color_type == 2) {
    colour_path = map_path(texture_folder, m.green_texture.view());
    colour_size = read_size(colour_path);
    if (!colour_size) return "Error: unable to load " + colour_path + "!";
  }
  std::optional<MapSize> alpha_size;
  std::string alpha_path;
  if (m.alpha_type == 2) {
    alpha_path = map_path(texture_folder, m.alpha_texture.view());
    alpha_size = read_size(alpha_path);
    if (!alpha_size) return "Error: unable to load " + alpha_path + "!";
  }

  if (m.color_type == 1) {
    const std::string solid = printf_text("Solid ( %i, %i, %i )", r, g, b);
    if (m.alpha_type == 1) return solid + printf_text(", Transparent (%i)", m.transparency);
    if (m.alpha_type == 2)
      return solid + printf_text(", %s, %ix%i (%iK)", alpha_path.c_str(), alpha_size->width, alpha_size->height,
                                 kilobytes(*alpha_size, 1));
    return solid;
  }
  if (m.color_type == 2) {
    const MapSize& c = *colour_size;
    if (m.alpha_type == 2) {
      if (alpha_size->width != c.width || alpha_size->height != c.height) return "Error: maps are not the same size!";
      return printf_text("%s, %s, %ix%i (%iK)", colour_path.c_str(), alpha_path.c_str(), c.width, c.height,
                         kilobytes(c, 2));
    }
    const std::string text = printf_text("%s, %ix%i (%iK)", colour_path.c_str(), c.width, c.height, kilobytes(c, 1));
    if (m.alpha_type == 1) return text + printf_text(", Transparent (%i)", m.transparency);
    return text;
  }
  return {};
}

}  // namespace orvo
