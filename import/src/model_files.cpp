#include "orvo/import/model_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "orvo/import/asc.h"
#include "orvo/import/ase.h"
#include "orvo/import/assimp_scene.h"
#include "orvo/model/base.h"

namespace orvo {

namespace {

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// File names inside data were written on a system that ignores case: when
// the exact name is missing, take a file of the same name in another case.
std::string find_file(const std::string& path) {
  if (file_exists(path)) return path;
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return path;
  std::string found = path;
  while (const dirent* e = ::readdir(d)) {
    if (iequals(e->d_name, name)) {
      found = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

UserNotifier& notifier_of(ModelContext& context) {
  static NullNotifier quiet;
  return context.notifier != nullptr ? *context.notifier : quiet;
}

// Parses a scene file by its kind.
Status load_scene(const std::string& path, SceneReader reader, ImportedScene& scene, UserNotifier& notifier) {
  switch (reader) {
    case SceneReader::kAse: return ase_load(path, scene, notifier);
    case SceneReader::kAsc: return asc_load(path, scene, notifier);
    case SceneReader::kAssimp: return assimp_load(path, scene, notifier);
  }
  return asc_load(path, scene, notifier);
}

// The path with its extension (the text after the last dot of the file
// name) replaced, or the extension appended when it has none.
std::string with_extension(const std::string& path, std::string_view ext) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const std::string base =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path : path.substr(0, dot);
  return base + "." + std::string(ext);
}

// The scene file of a model: the base name with the first choice's
// extension, else with the others in kSceneLookupOrder, each in any case.
// The first choice when none exists (its reader then reports it missing).
std::string scene_file_for(const std::string& base_path, bool ase) {
  const std::string_view first = ase ? "ase" : "asc";
  const std::string first_path = find_file(with_extension(base_path, first));
  if (file_exists(first_path)) return first_path;
  for (const std::string_view ext : kSceneLookupOrder) {
    if (ext == first) continue;
    const std::string candidate = find_file(with_extension(base_path, ext));
    if (file_exists(candidate)) return candidate;
  }
  return first_path;
}

}  // namespace

SceneReader scene_reader_for(std::string_view path) {
  if (is_assimp_scene_path(path)) return SceneReader::kAssimp;
  // Everything else as the tool has always decided: ".ASE" anywhere in the
  // upper-cased path is an ASE scene, anything else an ASC one.
  std::string upper(path);
  for (char& c : upper) c = ascii_upper(c);
  return upper.find(".ASE") != std::string::npos ? SceneReader::kAse : SceneReader::kAsc;
}

bool is_scene_path(std::string_view path) {
  if (is_assimp_scene_path(path)) return true;
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return false;
  const std::string_view ext = path.substr(dot + 1);
  return iequals(ext, "ase") || iequals(ext, "asc");
}

std::string model_scene_path(const std::string& model_path, const Model& model) {
  return scene_file_for(model_path, (model.attributes & kModelFromAse) != 0);
}

Status model_read_3da(const std::string& path, Model& model, ModelContext& context) {
  UserNotifier& notifier = notifier_of(context);
  Result<FileText> text = FileText::open(path, k3daMaxBytes);
  if (!text) {  // the Model stays as it was
    Error e = text.error();
    e.code = kMetafileCannotOpen;
    return e;
  }

  MetafileInfo info;
  if (Status s = metafile_parse(text->view(), path, model, info); !s) return s;
  if (info.has_scale) context.scale = info.scale_factor;

  // The geometry comes from the scene file beside the 3DA file.
  const std::string scene_path = model_scene_path(path, model);
  auto scene = std::make_unique<ImportedScene>();
  if (Status s = load_scene(scene_path, scene_reader_for(scene_path), *scene, notifier); !s) {
    return Error{kModelSceneFailed, "cannot load the scene of " + path + ": " + s.error().message, s.error().where,
                 s.error().kind};
  }
  Result<ConversionReport> converted = convert_scene(model, *scene, context.scale, context.stretch_boxes, notifier);
  if (!converted) {
    return Error{kModelSceneFailed, "cannot convert the scene of " + path + ": " + converted.error().message,
                 converted.error().where, converted.error().kind};
  }
  context.conversion_errors = context.conversion_errors || converted->errors;
  scene.reset();

  // Files written before vertex colours had their own switch: every material
  // used by faces with colours shows them.
  if (!info.diffuse_set) {
    for (const SubObject& so : model.subobjects) {
      if (so.facecolors.empty()) continue;
      for (const Face& f : so.faces) {
        if (f.material >= 0 && f.material < kMaxMaterials) {
          model.materials[static_cast<std::size_t>(f.material)].render_attributes |= kRenderNoGameDiffuse;
        }
      }
    }
  }
  // Light generators are matched to the scene's lights by exact name.
  for (int b = 0; b <= info.highest_light; ++b) {
    const MetafileInfo::Light& block = info.lights[static_cast<std::size_t>(b)];
    if (!block.present) continue;
    for (ModelLight& l : model.lights) {
      if (l.name.view() == block.name.view()) l.colorgen = block.colorgen;
    }
  }
  model.name = bare_name(path);
  return {};
}

Status model_write_3da(const Model& model, const std::string& path, const ModelContext& context,
                       std::string_view username, const tools::LocalTime& when) {
  return write_file_atomic(path, metafile_write(model, context.scale, when, username));
}

Status model_import_scene(const std::string& path, Model& model, ModelContext& context) {
  UserNotifier& notifier = notifier_of(context);
  auto scene = std::make_unique<ImportedScene>();
  if (Status s = load_scene(path, scene_reader_for(path), *scene, notifier); !s)
    return s;  // the Model keeps what it had
  scene->name = bare_name(path);
  model_release(model);
  model.version_3di = 2;
  Result<ConversionReport> converted = convert_scene(model, *scene, context.scale, context.stretch_boxes, notifier);
  if (!converted) return converted.error();
  context.conversion_errors = context.conversion_errors || converted->errors;
  for (int i = 0; i < model.num_materials; ++i) model.materials[static_cast<std::size_t>(i)].color_type = 2;
  model.name = bare_name(path);
  return {};
}

Status model_rebuild_from_scene(Model& model, const std::string& folder, ModelContext& context) {
  UserNotifier& notifier = notifier_of(context);
  const std::string scene_path = scene_file_for((folder.empty() ? std::string() : folder + "/") + model.name.str(),
                                                (model.attributes & kModelFromAse) != 0);
  auto scene = std::make_unique<ImportedScene>();
  if (Status s = load_scene(scene_path, scene_reader_for(scene_path), *scene, notifier); !s) return s;
  const Name32 name = model.name;
  model_release(model);
  model.name = name;
  Result<ConversionReport> converted = convert_scene(model, *scene, context.scale, context.stretch_boxes, notifier);
  if (!converted) return converted.error();
  context.conversion_errors = context.conversion_errors || converted->errors;
  return {};
}

std::string lod_path(std::string_view path, char letter) {
  // The character just before the four-character extension ".3da".
  if (path.size() < 5) return {};
  std::string out(path);
  out[out.size() - 5] = letter;
  return out;
}

std::string lod_message(char letter, const Status& status) {
  const std::string l(1, letter);
  switch (status.code()) {
    case kMetafileCannotOpen: return "Unable to open '" + l + "' file";
    case kMetafileEndInBlock: return "Unexpeded EOF in '" + l + "' file";
    default:
      if (status.code() < 0) return "Error parsing '" + l + "' file, line " + std::to_string(-status.code());
      return letter == 'h' ? "Error loading 'h' 3da file, h" : "Error loading '" + l + "' 3da file";
  }
}

std::array<Status, 4> model_write_lod_set(const std::string& path, std::array<const Model*, 4> models,
                                          const ModelContext& context, std::string_view username,
                                          const tools::LocalTime& when) {
  std::array<Status, 4> results;
  for (std::size_t level = 0; level < 4; ++level) {
    if (!models[level]->present()) continue;
    const std::string level_path = lod_path(path, kLodLetters[level]);
    if (level_path.empty()) {
      results[level] = Error{1, path + ": not a level set file name"};
      continue;
    }
    results[level] = model_write_3da(*models[level], level_path, context, username, when);
  }
  return results;
}

std::array<Status, 4> model_read_lod_set(const std::string& path, std::array<Model*, 4> models, ModelContext& context) {
  UserNotifier& notifier = notifier_of(context);
  std::array<Status, 4> results;
  for (int level = 0; level < 4; ++level) {
    const char letter = kLodLetters[level];
    const std::string level_path = lod_path(path, letter);
    if (level_path.empty()) {
      results[static_cast<std::size_t>(level)] = Error{kMetafileCannotOpen, path + ": not a level set file name"};
    } else {
      results[static_cast<std::size_t>(level)] =
          model_read_3da(level_path, *models[static_cast<std::size_t>(level)], context);
    }
    if (!results[static_cast<std::size_t>(level)])
      notifier.message(lod_message(letter, results[static_cast<std::size_t>(level)]), "");
  }
  bool any = false;
  for (Model* m : models) any = any || m->polycollision != 0;
  if (!any) models[0]->polycollision = 1;
  return results;
}

}  // namespace orvo
