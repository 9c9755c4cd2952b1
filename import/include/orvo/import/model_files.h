// Model files as the tool's file commands use them: a 3DA file read with its
// geometry rebuilt from the scene file of the same name, a scene imported
// into a fresh Model, a Model rebuilt from its scene alone, and the four
// levels of a level set ("tankh.3da", "tankm.3da", "tankl.3da", "tankt.3da").
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/metafile.h"
#include "orvo/model/model.h"
#include "tools/base/host.h"

namespace orvo {

// Result code of a 3DA read whose artist data was read but whose scene file
// could not be loaded or converted: the Model has no geometry, and the user
// must be told (the message names the scene file).
inline constexpr int kModelSceneFailed = 4;

// The largest 3DA file read (64 MiB): the artist data of a full model
// (1000 materials, 64 part animations) is well under a megabyte.
inline constexpr std::size_t k3daMaxBytes = std::size_t{64} << 20;

// Everything a read or import needs besides the Model: the tool's scale
// factor (a 3DA file may change it), the tool-wide stretch box table, and
// whom to tell.
struct ModelContext {
  float scale = kDefaultScaleFactor;
  StretchBoxTable stretch_boxes;
  UserNotifier* notifier = nullptr;
  bool conversion_errors = false;  // a conversion since this was cleared logged an ERROR line
};

// Which reader takes a scene file: the assimp reader for the extensions it
// takes (.gltf, .glb, .fbx, .dae, .obj in any case); otherwise the ASE reader
// when ".ASE" appears anywhere in the upper-cased path, else the ASC reader.
enum class SceneReader { kAse, kAsc, kAssimp };
SceneReader scene_reader_for(std::string_view path);

// True when the path ends in an extension (any case) of a scene file:
// .ase, .asc, .gltf, .glb, .fbx, .dae, .obj.
bool is_scene_path(std::string_view path);

// The scene extensions a model's scene file is looked up with, in order,
// after the first choice.
inline constexpr std::array<std::string_view, 7> kSceneLookupOrder = {"ase", "asc", "glb", "gltf", "fbx", "dae", "obj"};

// The scene file of the model read from `model_path` (a 3DA file): the same
// base name with ".ase" when bit 0 of `attributes` is set, else ".asc"; when
// that file does not exist, the first of kSceneLookupOrder that does (each
// name also found in another case). The first choice when none exists.
std::string model_scene_path(const std::string& model_path, const Model& model);

// Reads a 3DA file into `model`: the artist data, then the geometry from the
// scene file beside it (model_scene_path), the diffuse_set rule and the light generators matched by name.
// Result codes: 1 cannot open (the Model is unchanged), 2 the file ends
// inside a block, -line a parse error (the Model holds what was read before
// that line, no geometry), kModelSceneFailed. The model name is set from the
// file name on success.
Status model_read_3da(const std::string& path, Model& model, ModelContext& context);

// Writes `model` as a 3DA file (through a temporary file renamed over the
// target; on failure the old file stays as it was). Code 1 on failure.
Status model_write_3da(const Model& model, const std::string& path, const ModelContext& context,
                       std::string_view username, const tools::LocalTime& when);

// Imports a scene file (the reader chosen by scene_reader_for) into `model`: cleared, version 2,
// converted, every material "Color - Texture", named after the file.
// Result codes: those of the scene readers (1 cannot open, 3 no objects,
// -line a parse error), kConvertRefused.
Status model_import_scene(const std::string& path, Model& model, ModelContext& context);

// Rebuilds `model` from its scene file alone ("<folder>/<name>" with the
// extension looked up as model_scene_path does): on success everything but the name is
// made anew by the conversion; when the scene cannot be loaded the Model is
// left unchanged and the reader's result is returned.
Status model_rebuild_from_scene(Model& model, const std::string& folder, ModelContext& context);

// The path of one level of a set: the character before the extension
// replaced by the level's letter. Empty when the path has no such character.
std::string lod_path(std::string_view path, char letter);

// Reads the four levels of the set that `path` belongs to, in the order h, m,
// l, t. A level that fails shows its message (message box, no caption) and
// leaves that Model as far as it was read; the others are unaffected. When
// no level has polycollision set, the H level gets it. Returns each level's
// result.
std::array<Status, 4> model_read_lod_set(const std::string& path, std::array<Model*, 4> models, ModelContext& context);

// Writes every level whose Model holds sub-objects to the file of its letter
// (empty levels are skipped and report success). Returns each level's result.
std::array<Status, 4> model_write_lod_set(const std::string& path, std::array<const Model*, 4> models,
                                          const ModelContext& context, std::string_view username,
                                          const tools::LocalTime& when);

// The message a level's failed read shows ("Unable to open 'm' file", ...).
std::string lod_message(char letter, const Status& status);

}  // namespace orvo
