// orvo-cli: the model tool's commands without the window.
//
//   orvo-cli inspect FILE.(ase|asc|gltf|glb|fbx|dae|obj|3da) [--set] [--meters | --scale S] [--json]
//   orvo-cli import SCENE.(ase|asc|gltf|glb|fbx|dae|obj) -o MODEL.3da [--meters | --scale S]
//   orvo-cli resave IN.3da -o OUT.3da
//   orvo-cli export MODEL.3da -o OUT.3di [--textures DIR] [--single] [--view-lod K]
//                   [--json] [--depfile FILE] [--jobs N]
//   orvo-cli dump MODEL.3di [--json] [--capabilities MASK] [--textures DIR] [--gltf OUT.glb]
//   orvo-cli gpuinfo [--log FILE]
//   orvo-cli render MODEL.(3di|3da) -o SHOT.png [--size WxH] [--lod K] [--yaw Y --pitch P --zoom Z]
//                   [--time MS] [--level 1|2|3] [--passes N] [--wireframe] [--solid] [--no-overlay]
//   orvo-cli pff pack ARCHIVE.pff FILE...  |  pff list ARCHIVE.pff  |  pff extract ARCHIVE.pff [-o DIR]
//
// Exit status: 0 success, 1 input unreadable or output unwritable, 2 usage,
// 3 the work completed but the conversion log reports errors.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "orvo/app/dump_command.h"
#include "orvo/app/gltf_export.h"
#ifdef ORVO_HAVE_GL
#include "render_command.h"
#endif
#include "orvo/app/export_command.h"
#include "orvo/app/report.h"
#include "orvo/app/summary.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/import/model_files.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "orvo/runtime/file_access.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/export_log.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/recording_factory.h"
#include "tools/base/atomic_write.h"
#include "tools/base/file_io.h"
#include "tools/base/host.h"
#include "tools/base/version.h"
#include "tools/cli/program.h"

namespace orvo {
#ifdef ORVO_HAVE_GL
int run_gpuinfo(const std::string& log_path);  // gpuinfo_command.cpp
#endif
}  // namespace orvo

namespace {

using namespace orvo;

using tools::cli::kExitIo;
using tools::cli::kExitLoggedErrors;
using tools::cli::kExitOk;
using tools::cli::kExitUsage;

constexpr std::string_view kProgram = "orvo-cli";

// Prints log lines to stdout as they come and message boxes to stderr; in
// JSON mode keeps the log for the summary instead.
class CliNotifier final : public UserNotifier {
 public:
  explicit CliNotifier(bool quiet_log) : quiet_log_(quiet_log) {}
  void message(std::string_view text, std::string_view caption) override {
    // A message box without a caption shows its text alone.
    if (!caption.empty()) std::fprintf(stderr, "%.*s: ", static_cast<int>(caption.size()), caption.data());
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    messages.push_back({std::string(text), std::string(caption)});
  }
  void log(std::string_view line) override {
    lines.emplace_back(line);
    if (!quiet_log_) std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
  }
  void status(std::string_view text) override {
    if (statuses_on_stdout) {
      // The status window's lines ("\r\n" between them) as lines of their own.
      if (quiet_log_) return;
      std::string shown(text);
      for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.replace(at, 2, "\n");
      std::printf("%s\n", shown.c_str());
      return;
    }
    if (isatty(STDERR_FILENO)) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  bool statuses_on_stdout = false;  // the export's stages are its output
  std::vector<std::string> lines;
  std::vector<RecordingNotifier::Message> messages;

 private:
  bool quiet_log_;
};

struct ScaleOptions {
  bool meters = false;
  double scale = kDefaultScaleFactor;

  float value() const { return meters ? kMetreScaleFactor : static_cast<float>(scale); }
};

std::string upper_extension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext) c = ascii_upper(c);
  return ext;
}

std::string user_name() {
  const std::string& name = tools::logged_on_user();
  return name.empty() ? "unknown" : name;
}

void print_json(const nlohmann::json& j) {
  std::printf("%s\n", summary_text(j).c_str());
}

// One model from a scene (.ase, .asc, .gltf, .glb, .fbx, .dae, .obj) or a
// 3DA file with its geometry.
int load_one(const std::string& path, Model& model, ModelContext& context) {
  const std::string ext = upper_extension(path);
  Status s;
  if (is_scene_path(path)) {
    s = model_import_scene(path, model, context);
  } else if (ext == ".3DA") {
    s = model_read_3da(path, model, context);
  } else {
    tools::cli::print_error(kProgram,
                            path + ": not a scene (.ase, .asc, .gltf, .glb, .fbx, .dae, .obj) or model (.3da) file");
    return kExitIo;
  }
  if (!s) {
    tools::cli::print_error(kProgram, s.error().message);
    return kExitIo;
  }
  return context.conversion_errors ? kExitLoggedErrors : kExitOk;
}

int run_inspect(const std::string& path, const ScaleOptions& scale, bool json, bool set) {
  CliNotifier notifier(json);
  ModelContext context;
  context.scale = scale.value();
  context.notifier = &notifier;
  if (!set) {
    auto model = std::make_unique<Model>();  // large (1000 materials inline): off the stack
    model_reset(*model);
    const int status = load_one(path, *model, context);
    if (status == kExitIo) return status;
    if (json) {
      nlohmann::json j = model_summary_json(*model, notifier.lines, notifier.messages);
      j["errors"] = context.conversion_errors;
      j["scale"] = context.scale;
      print_json(j);
    } else {
      std::printf("\n%s", report_text(*model, tools::local_time_now()).c_str());
    }
    return status;
  }

  if (upper_extension(path) != ".3DA") {
    tools::cli::print_error(kProgram, path + ": --set takes one file of a level set (.3da)");
    return kExitIo;
  }
  std::array<std::unique_ptr<Model>, 4> models;
  std::array<Model*, 4> slots{};
  for (int i = 0; i < 4; ++i) {
    models[static_cast<std::size_t>(i)] = std::make_unique<Model>();
    model_reset(*models[static_cast<std::size_t>(i)]);
    slots[static_cast<std::size_t>(i)] = models[static_cast<std::size_t>(i)].get();
  }
  const std::array<Status, 4> results = model_read_lod_set(path, slots, context);
  bool any_failed = false;
  for (const Status& r : results) any_failed = any_failed || !r;
  if (json) {
    nlohmann::json levels = nlohmann::json::array();
    for (int i = 0; i < 4; ++i) {
      nlohmann::json level;
      level["letter"] = std::string(1, kLodLetters[i]);
      level["path"] = lod_path(path, kLodLetters[i]);
      level["ok"] = results[static_cast<std::size_t>(i)].ok();
      if (!results[static_cast<std::size_t>(i)].ok()) {
        level["error"] = results[static_cast<std::size_t>(i)].error().message;
      } else {
        level["model"] = model_summary_json(*models[static_cast<std::size_t>(i)], notifier.lines, notifier.messages);
      }
      levels.push_back(level);
    }
    print_json(nlohmann::json{{"levels", levels}, {"scale", context.scale}});
  } else {
    const tools::LocalTime now = tools::local_time_now();
    for (int i = 0; i < 4; ++i) {
      const Status& r = results[static_cast<std::size_t>(i)];
      if (!r) {
        // The level's message box says which level; this says which file and why.
        tools::cli::print_error(kProgram, std::string("level ") + kLodLetters[i] + ": " + r.error().message);
        continue;
      }
      std::printf("\n== level %c\n%s", kLodLetters[i], report_text(*models[static_cast<std::size_t>(i)], now).c_str());
    }
  }
  if (any_failed) return kExitIo;
  return context.conversion_errors ? kExitLoggedErrors : kExitOk;
}

// Writes a 3DA file, reporting a failure with its path.
bool write_3da(const Model& model, const std::string& out, const ModelContext& context) {
  const Status w = model_write_3da(model, out, context, user_name(), tools::local_time_now());
  if (!w) {
    tools::cli::print_error(kProgram, w.error().message);
    return false;
  }
  return true;
}

// import and resave: read one file (a scene, or a 3DA with its scene) and
// write the model as a 3DA file.
int run_convert(const std::string& path, const std::string& out, const ScaleOptions& scale, bool from_scene) {
  const std::string ext = upper_extension(path);
  const bool accepted = from_scene ? is_scene_path(path) : ext == ".3DA";
  if (!accepted) {
    tools::cli::print_error(
        kProgram,
        path + ": not a " + (from_scene ? "scene (.ase, .asc, .gltf, .glb, .fbx, .dae, .obj)" : "model file (.3da)"));
    return kExitIo;
  }
  CliNotifier notifier(false);
  ModelContext context;
  context.scale = scale.value();
  context.notifier = &notifier;
  auto model = std::make_unique<Model>();
  model_reset(*model);
  const int status = load_one(path, *model, context);
  if (status == kExitIo) return status;
  if (!write_3da(*model, out, context)) return kExitIo;
  return status;
}

// export: the level set (or one file) to a 3DI file.
struct ExportOptions {
  std::string textures;
  bool single = false;
  int view_lod = -1;
  bool json = false;
  std::string depfile;
  int jobs = 1;
};

// A level set (or one 3DA file) read into four slots, with the files read.
struct LoadedSlots {
  std::array<std::unique_ptr<Model>, 4> models;
  std::array<Model*, 4> slots{};
  std::vector<std::string> inputs;
};

// kExitOk, or the exit status after the error was printed.
int read_slots(const std::string& path, bool single, ModelContext& context, LoadedSlots& loaded) {
  std::array<std::unique_ptr<Model>, 4>& models = loaded.models;
  std::array<Model*, 4>& slots = loaded.slots;
  std::vector<std::string>& inputs = loaded.inputs;
  for (std::size_t i = 0; i < 4; ++i) {
    models[i] = std::make_unique<Model>();
    model_reset(*models[i]);
    slots[i] = models[i].get();
  }
  if (single) {
    const Status s = model_read_3da(path, *slots[0], context);
    if (!s) {
      tools::cli::print_error(kProgram, s.error().message);
      return kExitIo;
    }
    inputs = {path, scene_path_of(path, *slots[0])};
  } else {
    const std::array<Status, 4> results = model_read_lod_set(path, slots, context);
    for (std::size_t i = 0; i < 4; ++i) {
      const std::string level = lod_path(path, kLodLetters[i]);
      if (results[i].ok()) {
        inputs.push_back(level);
        inputs.push_back(scene_path_of(level, *slots[i]));
      } else if (results[i].error().code != tools::kCodeCannotOpen) {
        // A level that cannot be opened is skipped (its message said so);
        // one that is damaged must not be exported around.
        tools::cli::print_error(kProgram,
                                "level " + std::string(1, kLodLetters[i]) + ": " + results[i].error().message);
        return kExitIo;
      }
    }
  }
  return kExitOk;
}

int run_export(const std::string& path, const std::string& out, const ScaleOptions& scale, const ExportOptions& o) {
  if (upper_extension(path) != ".3DA") {
    tools::cli::print_error(kProgram, path + ": not a model file (.3da)");
    return kExitIo;
  }
  // Status texts and log lines on stdout (the JSON alone with --json),
  // message boxes on stderr.
  CliNotifier notifier(o.json);
  notifier.statuses_on_stdout = true;
  ModelContext context;
  context.scale = scale.value();
  context.notifier = &notifier;
  LoadedSlots loaded;
  if (const int failed = read_slots(path, o.single, context, loaded); failed != kExitOk) return failed;
  std::array<Model*, 4>& slots = loaded.slots;
  std::vector<std::string>& inputs = loaded.inputs;
  std::string folder = o.textures;
  if (folder.empty()) {
    const std::size_t slash = path.find_last_of('/');
    folder = slash == std::string::npos ? "." : path.substr(0, slash);
  }
  std::vector<std::string> pictures;
  std::vector<std::string> picture_warnings;
  tools::Result<ExportStats> stats =
      export_slots(slots, out, folder, o.view_lod, o.jobs, &notifier, &pictures, &picture_warnings);
  if (!stats) {
    // The message box's words, then the file and the reason.
    const std::string& why = stats.error().message;
    std::fprintf(stderr, "Unable to export file\n");
    tools::cli::print_error(kProgram, why.starts_with(out + ":") ? why : out + ": " + why);
    return kExitIo;
  }
  // A picture that is missing or unreadable leaves its material without a
  // texture in the file: one line each on stderr (and in the JSON).
  for (const std::string& w : picture_warnings) std::fprintf(stderr, "%s: warning: %s\n", kProgram.data(), w.c_str());
  inputs.insert(inputs.end(), pictures.begin(), pictures.end());
  if (!o.depfile.empty()) {
    if (tools::Status w = tools::write_file_atomic(o.depfile, depfile_text(out, inputs)); !w) {
      tools::cli::print_error(kProgram, w.error().message);
      return kExitIo;
    }
  }
  if (o.json) {
    nlohmann::json j = export_summary_json(*stats, out);
    j["inputs"] = inputs;
    j["errors"] = context.conversion_errors;
    print_json(j);
  }
  return context.conversion_errors ? kExitLoggedErrors : kExitOk;
}

#ifdef ORVO_HAVE_GL
// render: a 3DA level set is exported to a scratch 3DI first, as the
// preview does (all levels, H first); a 3DI file is drawn as it is.
int run_render_command(RenderOptions o, const std::string& size, const ScaleOptions& scale) {
  const std::size_t x = size.find('x');
  const auto number = [](const std::string& t, int& out) {
    if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoi(t);
    return true;
  };
  if (x == std::string::npos || !number(size.substr(0, x), o.width) || !number(size.substr(x + 1), o.height)) {
    tools::cli::print_error(kProgram, "--size " + size + ": give it as WIDTHxHEIGHT, such as 640x480");
    return kExitUsage;
  }
  const std::string path = o.model;
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  if (o.textures.empty()) o.textures = folder;
  if (upper_extension(path) != ".3DA") return run_render(o);

  CliNotifier notifier(false);
  ModelContext context;
  context.scale = scale.value();
  context.notifier = &notifier;
  LoadedSlots loaded;
  if (const int failed = read_slots(path, false, context, loaded); failed != kExitOk) return failed;
  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("orvo-render-" + std::to_string(::getpid()) + ".3di")).string();
  std::vector<std::string> picture_warnings;
  tools::Result<ExportStats> stats =
      export_slots(loaded.slots, scratch, o.textures, -1, 1, &notifier, nullptr, &picture_warnings);
  for (const std::string& w : picture_warnings) std::fprintf(stderr, "%s: warning: %s\n", kProgram.data(), w.c_str());
  if (!stats) {
    tools::cli::print_error(kProgram, path + ": the model cannot be exported for drawing: " + stats.error().message);
    std::filesystem::remove(scratch);
    return kExitIo;
  }
  o.model = scratch;
  const int status = run_render(o);
  std::filesystem::remove(scratch);
  return status;
}
#endif

// dump: a 3DI file loaded as the preview loads it, printed.
struct DumpOptions {
  std::string capabilities = "0";
  std::string textures;
  bool json = false;
  std::string gltf;  // write the model as binary glTF instead of printing it
};

// A capability mask: decimal or 0x hex, bits 1, 2, 4 and 8 only.
std::optional<uint32_t> parse_mask(const std::string& text) {
  const bool is_hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = is_hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (is_hex && ascii_upper(c) >= 'A' && ascii_upper(c) <= 'F') {
      d = ascii_upper(c) - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * (is_hex ? 16 : 10) + static_cast<uint32_t>(d);
  }
  if (value > 0xF) return std::nullopt;
  return value;
}

// dump --gltf: the loaded model as binary glTF, its pictures decoded from
// the texture folder as the preview decodes them. One warning line per
// picture that cannot be read; one summary line (or JSON) on stdout.
int write_gltf(ModelLoader& loader, render::Model& model, const std::string& folder, const DumpOptions& o) {
  const gltf::Export e = gltf::export_model(loader, model, folder, std::string("orvo-cli ") + tools::kPackageVersion);
  for (const std::string& w : e.warnings) std::fprintf(stderr, "%s: warning: %s\n", kProgram.data(), w.c_str());
  if (tools::Status w = tools::write_file_atomic(o.gltf, e.glb); !w) {
    tools::cli::print_error(kProgram, w.error().message);
    return kExitIo;
  }
  const gltf::Stats& s = e.stats;
  if (o.json) {
    nlohmann::json lods = nlohmann::json::array();
    for (const gltf::LodStats& l : s.lods) {
      lods.push_back({{"parts", l.parts},
                      {"meshes", l.meshes},
                      {"primitives", l.primitives},
                      {"triangles", l.triangles},
                      {"vertices", l.vertices},
                      {"skinned", l.skinned}});
    }
    const nlohmann::json j = {{"file", o.gltf},     {"bytes", e.glb.size()}, {"scenes", s.scenes},
                              {"nodes", s.nodes},   {"meshes", s.meshes},    {"materials", s.materials},
                              {"images", s.images}, {"skins", s.skins},      {"triangles", s.triangles},
                              {"lods", lods},       {"warnings", e.warnings}};
    std::printf("%s\n", j.dump(2).c_str());
  } else {
    std::printf("%s: %zu levels, %zu nodes, %zu meshes, %zu materials, %zu pictures, %zu triangles, %zu KB\n",
                o.gltf.c_str(), s.lods.size(), s.nodes, s.meshes, s.materials, s.images, s.triangles,
                (e.glb.size() + 1023) / 1024);
  }
  return kExitOk;
}

int run_dump(const std::string& path, const DumpOptions& o) {
  const std::optional<uint32_t> mask = parse_mask(o.capabilities);
  if (!mask) {
    tools::cli::print_error(kProgram, "--capabilities " + o.capabilities + ": not a mask of the bits 1, 2, 4 and 8");
    return kExitUsage;
  }
  FileAccess files;
  // The pools as the preview sets them up, the main one large enough for the
  // sections of a big file (each is held about once more while resolving).
  const long file_size = files.size(normalise_model_name(path));
  const std::int64_t main_size = std::min(
      kMaxPoolSize, std::max<std::int64_t>(kMainPoolSize, 3 * std::int64_t{std::max(file_size, 0L)} + (1 << 20)));
  if (!start_memory_pools(main_size, kSecondPoolSize)) {
    tools::cli::print_error(kProgram, "the memory pools cannot take " + std::to_string(main_size) + " bytes");
    return kExitIo;
  }
  ExportLog log;
  ModelLoader loader(files, main_pool(), &log);
  loader.capabilities = RenderCapabilities::from_mask(*mask);
  render::Model* model = loader.load_model(path);
  if (model == nullptr) {
    tools::cli::print_error(kProgram, path + ": " + loader.last_error());
    return kExitIo;
  }
  std::string folder = o.textures;
  if (folder.empty()) {
    const std::size_t slash = path.find_last_of('/');
    folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  }
  if (!o.gltf.empty()) {
    const int status = write_gltf(loader, *model, folder, o);
    loader.release_all();
    return status;
  }
  RecordingTextureFactory textures(folder);
  loader.create_textures_and_materials(textures);
  const nlohmann::json j = dump_json(*model, loader, textures);
  if (o.json) {
    std::printf("%s\n", j.dump(2).c_str());
  } else {
    std::fputs(dump_text(j).c_str(), stdout);
  }
  loader.release_all();
  return kExitOk;
}

// pff: PFF archives in the layout of file_access.h.
int run_pff(const std::string& action, const std::string& archive, const std::vector<std::string>& files,
            const std::string& folder) {
  if (action == "pack") {
    if (tools::Status s = pff_pack(archive, files); !s) {
      tools::cli::print_error(kProgram, s.error().message);
      return kExitIo;
    }
    return kExitOk;
  }
  tools::Result<std::unique_ptr<PffArchive>> a = PffArchive::open(archive);
  if (!a) {
    tools::cli::print_error(kProgram, a.error().message);
    return kExitIo;
  }
  if (action == "list") {
    for (const PffEntry& e : (*a)->entries()) std::printf("%10u  %s\n", e.size, e.name.c_str());
    return kExitOk;
  }
  // extract: every entry checked first, then each one copied in pieces.
  const tools::Status s = pff_extract(**a, folder.empty() ? std::string(".") : folder,
                                      [](const std::string& out) { std::printf("%s\n", out.c_str()); });
  if (!s) {
    tools::cli::print_error(kProgram, s.error().message);
    return kExitIo;
  }
  return kExitOk;
}

int run(int argc, char** argv) {
  CLI::App app{"Orvo model tool, command-line edition: imports scenes and inspects models."};
  app.set_version_flag("--version", std::string("orvo-cli ") + tools::kPackageVersion);
  app.set_help_all_flag("--help-all", "Print the help of every command and exit");
  app.require_subcommand(1);

  std::string in_path, out_path;
  ScaleOptions scale;
  bool json = false;
  bool set = false;
  const auto scale_options = [&](CLI::App* cmd) {
    auto* meters = cmd->add_flag("--meters", scale.meters, "Scale factor 1.0 (1 unit = 1 m)");
    cmd->add_option("--scale", scale.scale, "Scale factor (default 0.3084; a 3DA file sets its own)")->excludes(meters);
  };

  CLI::App* inspect = app.add_subcommand(
      "inspect",
      "Read a scene (.ase, .asc; .gltf, .glb, .fbx, .dae, .obj through assimp) or a model (.3da, with its scene); "
      "print the conversion log and a summary");
  inspect->add_option("FILE", in_path, "Scene (.ase, .asc, .gltf, .glb, .fbx, .dae, .obj) or model metafile (.3da)")
      ->required();
  scale_options(inspect);
  inspect->add_flag("--json", json, "Print one JSON object instead of the log and report");
  inspect->add_flag("--set", set, "FILE is one level of a set: read the h, m, l and t levels");

  CLI::App* import = app.add_subcommand("import", "Import a scene into a new model and save it as a 3DA file");
  import->add_option("SCENE", in_path, "Scene (.ase, .asc; .gltf, .glb, .fbx, .dae, .obj through assimp)")->required();
  import->add_option("-o,--output", out_path, "The 3DA file to write")->required();
  scale_options(import);

  CLI::App* resave = app.add_subcommand("resave", "Read a 3DA file with its scene and write it back (current version)");
  resave->add_option("MODEL", in_path, "Model metafile (.3da)")->required();
  resave->add_option("-o,--output", out_path, "The 3DA file to write")->required();
  scale_options(resave);

  ExportOptions export_options;
  export_options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  CLI::App* exp = app.add_subcommand("export", "Export a level set (or one 3DA file) to a 3DI file");
  exp->add_option("MODEL", in_path, "One model metafile of the set (.3da)")->required();
  exp->add_option("-o,--output", out_path, "The 3DI file to write")->required();
  exp->add_option("--textures", export_options.textures, "Folder of the texture pictures (default: the model's)");
  exp->add_flag("--single", export_options.single, "Export MODEL alone, as the one level");
  exp->add_option("--view-lod", export_options.view_lod, "Write level K first, as the preview does (0 to 3)")
      ->check(CLI::Range(0, 3));
  exp->add_flag("--json", export_options.json, "Print a JSON summary of the export");
  exp->add_option("--depfile", export_options.depfile, "Write a Make/Ninja depfile of the files read");
  exp->add_option("-j,--jobs", export_options.jobs, "Threads for the parts' strips (default: the cores)")
      ->check(CLI::Range(1, 64));
  scale_options(exp);

  DumpOptions dump_options;
  CLI::App* dump = app.add_subcommand(
      "dump", "Load a 3DI file as the preview does and print it: header, sections, strips, materials, render paths");
  dump->add_option("MODEL", in_path, "Binary model (.3di)")->required();
  dump->add_flag("--json", dump_options.json, "Print one JSON object instead of the text");
  dump->add_option("--capabilities", dump_options.capabilities,
                   "Device capability bits, decimal or 0x hex: 1 hardware T&L, 2 vertex shaders, 4 pixel shaders, "
                   "8 palette skinning (default 0)");
  dump->add_option("--textures", dump_options.textures, "Folder of the texture files (default: the model's)");
  dump->add_option("--gltf", dump_options.gltf,
                   "Write the model as binary glTF 2.0 (.glb) instead of printing it; --json then prints the "
                   "file's summary");
  dump->footer(std::string(
      "The model is read into a main memory pool of at least 3 x its file size + 1 MiB (never less than the "
      "preview's " +
      std::to_string(kMainPoolSize) +
      " bytes). The loader's log 3di_log.txt is written in the current folder: the loading "
      "steps, the textures, the checksum block and the final statistics.\n"
      "With --gltf each level of detail is a scene of its own (level 0 the default scene), each part a node "
      "under its parent with its mesh, one unit a metre, glTF's axes (+Y up, +Z forward); the textures are "
      "decoded from the texture folder and embedded as PNG pictures.\n"));

#ifdef ORVO_HAVE_GL
  std::string gpu_log;
  CLI::App* gpuinfo = app.add_subcommand(
      "gpuinfo",
      "Make an offscreen OpenGL context and print what the preview will find: the capability report and "
      "the graphics lines of the system log");
  gpuinfo->add_option("--log", gpu_log, "Also keep the system log in FILE (default: a scratch file)");
  gpuinfo->footer("Exit status 1 when no OpenGL 3.3 context can be created (no display: run it under xvfb-run).\n");

  RenderOptions render_options;
  std::string render_size = "640x480";
  CLI::App* render = app.add_subcommand(
      "render", "Draw one preview frame of a model offscreen and save it as a PNG picture (no window)");
  render->add_option("MODEL", render_options.model, "Binary model (.3di), or a level set (.3da, exported first)")
      ->required();
  render->add_option("-o,--output", render_options.output, "The PNG picture to write")->required();
  render->add_option("--size", render_size, "Picture size WIDTHxHEIGHT (default 640x480)");
  render->add_option("--lod", render_options.lod, "Draw level K (0..3) whatever the distance")->check(CLI::Range(0, 3));
  render->add_option("--yaw", render_options.yaw, "Camera yaw in radians (default 0.6)");
  render->add_option("--pitch", render_options.pitch, "Camera pitch in radians (default 0.35)");
  render
      ->add_option("--zoom", render_options.zoom,
                   "Zoom: the camera is 100 / zoom + 0.1 units away (default: the model is framed, its bounding sphere "
                   "filling most of the picture)")
      ->check(CLI::Range(0.01, 1000.0));
  render->add_option("--time", render_options.time_ms, "Clock in milliseconds for generators and moving parts");
  render->add_option("--level", render_options.level, "Compatibility level 1 Non-TnL, 2 DX7-level, 3 DX8-level")
      ->check(CLI::Range(1, 3));
  render->add_option("--passes", render_options.pass_limit, "Pass limit 1..3 (default 3)")->check(CLI::Range(1, 3));
  render->add_flag("--wireframe", render_options.wireframe, "Draw the model as lines");
  render->add_flag("--solid", render_options.solid_colour, "Replace textures by their solid colours");
  render->add_flag("!--no-overlay", render_options.overlay, "Leave the overlay (statistics, size, hardware level) out");
  render->add_option("--textures", render_options.textures, "Folder of the texture files (default: the model's)");
  render->add_option("--log", render_options.log, "Write the loader's log (3di_log.txt lines) to FILE");
  scale_options(render);
  render->footer(
      "Needs an OpenGL 3.3 context: a display, or xvfb-run on a headless machine. Exit status 1 when "
      "none can be made or the model cannot be read.\n");
#endif

  std::string pff_action, pff_archive, pff_folder;
  std::vector<std::string> pff_files;
  CLI::App* pff = app.add_subcommand("pff", "Make, list or unpack PFF archives");
  pff->add_option("ACTION", pff_action, "pack, list or extract")
      ->required()
      ->check(CLI::IsMember({"pack", "list", "extract"}));
  pff->add_option("ARCHIVE", pff_archive, "The archive (.pff)")->required();
  pff->add_option("FILES", pff_files, "pack: the files to store (each under its upper-cased file name)");
  pff->add_option("-o,--output", pff_folder, "extract: the folder to write to (default: the current one)");

  if (std::optional<int> done = tools::cli::parse_command_line(app, kProgram, argc, argv)) return *done;
  if (*exp) return run_export(in_path, out_path, scale, export_options);
  if (*dump) return run_dump(in_path, dump_options);
#ifdef ORVO_HAVE_GL
  if (*gpuinfo) return run_gpuinfo(gpu_log);
  if (*render) return run_render_command(render_options, render_size, scale);
#endif
  if (*pff) {
    if (pff_action == "pack" && pff_files.empty()) {
      tools::cli::print_error(kProgram, "pff pack: no files to store");
      return kExitUsage;
    }
    return run_pff(pff_action, pff_archive, pff_files, pff_folder);
  }

  if (*inspect) return run_inspect(in_path, scale, json, set);
  if (*import) return run_convert(in_path, out_path, scale, true);
  if (*resave) return run_convert(in_path, out_path, scale, false);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  tools::set_temporary_owner("orvo");
  return tools::cli::run_main(kProgram, argc, argv, [&] { return run(argc, argv); });
}
