// orvo-cli: the model tool's commands without the window.
//
//   orvo-cli inspect FILE.(ase|asc|3da) [--set] [--meters | --scale S] [--json]
//   orvo-cli import SCENE.(ase|asc) -o MODEL.3da [--meters | --scale S]
//   orvo-cli resave IN.3da -o OUT.3da
//
// Exit status: 0 success, 1 input unreadable or output unwritable, 2 usage,
// 3 the work completed but the conversion log reports errors.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "orvo/app/report.h"
#include "orvo/app/summary.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/import/model_files.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "tools/base/host.h"
#include "tools/cli/program.h"

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
    if (isatty(STDERR_FILENO)) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
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

// One model from a scene (.ase, .asc) or a 3DA file with its geometry.
int load_one(const std::string& path, Model& model, ModelContext& context) {
  const std::string ext = upper_extension(path);
  Status s;
  if (ext == ".ASE" || ext == ".ASC") {
    s = model_import_scene(path, model, context);
  } else if (ext == ".3DA") {
    s = model_read_3da(path, model, context);
  } else {
    tools::cli::print_error(kProgram, path + ": not a scene (.ase, .asc) or model (.3da) file");
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
  const bool accepted = from_scene ? (ext == ".ASE" || ext == ".ASC") : ext == ".3DA";
  if (!accepted) {
    tools::cli::print_error(kProgram, path + ": not a " + (from_scene ? "scene (.ase, .asc)" : "model file (.3da)"));
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

int run(int argc, char** argv) {
  CLI::App app{"Orvo model tool, command-line edition: imports scenes and inspects models."};
  app.set_version_flag("--version", std::string("orvo-cli ") + ORVO_VERSION);
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
      "inspect", "Read a scene (.ase, .asc) or a model (.3da, with its scene); print the conversion log and a summary");
  inspect->add_option("FILE", in_path, "Scene export (.ase, .asc) or model metafile (.3da)")->required();
  scale_options(inspect);
  inspect->add_flag("--json", json, "Print one JSON object instead of the log and report");
  inspect->add_flag("--set", set, "FILE is one level of a set: read the h, m, l and t levels");

  CLI::App* import = app.add_subcommand("import", "Import a scene into a new model and save it as a 3DA file");
  import->add_option("SCENE", in_path, "Scene export (.ase, .asc)")->required();
  import->add_option("-o,--output", out_path, "The 3DA file to write")->required();
  scale_options(import);

  CLI::App* resave = app.add_subcommand("resave", "Read a 3DA file with its scene and write it back (current version)");
  resave->add_option("MODEL", in_path, "Model metafile (.3da)")->required();
  resave->add_option("-o,--output", out_path, "The 3DA file to write")->required();
  scale_options(resave);

  if (std::optional<int> done = tools::cli::parse_command_line(app, kProgram, argc, argv)) return *done;

  if (*inspect) return run_inspect(in_path, scale, json, set);
  if (*import) return run_convert(in_path, out_path, scale, true);
  if (*resave) return run_convert(in_path, out_path, scale, false);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  return tools::cli::run_main(kProgram, [&] { return run(argc, argv); });
}
