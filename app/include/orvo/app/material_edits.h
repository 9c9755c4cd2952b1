#pragma once
// The material table edits of the material editor, free of any window:
// the two-stage rule, the list lines, appending a series of new materials
// from a template, deleting a material (both records of a two-stage one),
// the surface kind shown for the physical attributes, and the texts of the
// "Advanced Features" face, the shader descriptions and the texture summary.

#include <optional>
#include <string>
#include <string_view>

#include "orvo/model/model.h"

namespace orvo {

// The "New Material(s)" settings, kept between uses of the dialog.
struct NewMaterialSettings {
  std::string name;         // up to 17 characters
  std::string description;  // up to 31 characters
  int repeat = 0;
  int repeat_type = 0;  // 0 numbers, 1 letters
  int extension = 0;    // 0 ".pcx", 1 ".tga"
  int start = 0;
};

inline constexpr int kMaxNewMaterialRepeat = 99;
inline constexpr std::size_t kMaxNewMaterialName = 17;
inline constexpr std::size_t kMaxNewMaterialDescription = 31;

// A record whose multitexture flags hold the second-layer bit is the
// second texture stage of the record before it.
bool is_second_stage(const ModelMaterial& m);
// The first stage a selection of `index` shows: the record before a second
// stage, else `index` itself.
int first_stage_of(const Model& model, int index);
// True when the first stage `first` has its second stage in the next
// record (its own flags not 0 and the next record a second stage).
bool is_two_stage(const Model& model, int first);

// The material list's line of one record (tab-separated columns).
std::string material_list_line(const ModelMaterial& m);

// Appends the materials the settings describe, each a copy of the material
// at `template_index`, and renews the table's bookkeeping. Stops silently
// at kMaxMaterials. Returns how many were added.
int append_new_materials(Model& model, int template_index, const NewMaterialSettings& settings);

// Deletes the material at `index` (a second stage deletes its first stage
// with it; a two-stage material goes with its second stage). The records
// behind move up, faces follow their records (faces on a removed record go
// to material 0) and the bookkeeping is renewed. Returns the number of
// records removed (0 for an index outside the table).
int delete_material(Model& model, int index);

// Renews what the table keeps besides the records: every material's
// texture coordinate bounds.
void renew_material_bookkeeping(Model& model);

// The surface kind the drop-down list shows: the value of the first entry
// of kPhysicalAttributes that shares a bit with physical & kSurfaceKindMask,
// else 0 ("None").
int surface_kind_value(int physical);

// The face of the "Advanced Features" swatch: reflection, surface plane,
// projector and shader lines, or "None".
std::string advanced_summary(const ModelMaterial& m);

// The description of a shader type (21 rows; empty for any other type).
std::string_view shader_description(int type);

struct MapSize {
  int width = 0;
  int height = 0;
};
// The size of the texture map at `path`: a name holding ".TGA" is read as
// TGA, any other as PCX; none when it cannot be read.
std::optional<MapSize> read_map_size(const std::string& path);
// Whether a map of this name is read as TGA (".tga" in any case), else PCX.
bool is_tga_name(std::string_view path);

// The path a material's map is looked up at: the texture folder (with a '/'
// added when needed; empty for none) and the name, with ".pcx" added to a
// name without a ".".
std::string map_path(std::string_view texture_folder, std::string_view name);

// The texture summary of a first stage: its solid colour or colour map,
// alpha map or transparency and the sizes, or the error of a map that
// cannot be read or of two maps that differ in size. `read_size` reads a
// map's size (read_map_size unless a caller passes another).
using MapSizeReader = std::optional<MapSize> (*)(const std::string& path);
std::string texture_summary(const ModelMaterial& m, const std::string& texture_folder,
                            MapSizeReader read_size = read_map_size);

}  // namespace orvo
