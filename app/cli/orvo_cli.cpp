// orvo-cli: the model tool's commands without the window.
//
//   orvo-cli inspect SCENE.ase [--meters | --scale S] [--json]
//
// Exit status: 0 success, 1 input unreadable or output unwritable, 2 usage,
// 3 the work completed but the conversion log reports errors.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "orvo/app/report.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/model/file_io.h"
#include "orvo/model/model.h"
#include "orvo/model/notifier.h"
#include "orvo/model/text.h"

namespace {

using namespace orvo;

constexpr int kExitOk = 0;
constexpr int kExitInput = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLoggedErrors = 3;

// Prints log lines to stdout as they come and message boxes to stderr; in
// JSON mode keeps the log for the summary instead.
class CliNotifier final : public UserNotifier {
 public:
  explicit CliNotifier(bool quiet_log) : quiet_log_(quiet_log) {}
  void message(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
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

nlohmann::json pos(float x, float y, float z) { return nlohmann::json::array({x, y, z}); }

nlohmann::json model_json(const Model& m, const CliNotifier& notifier) {
  using nlohmann::json;
  json j;
  j["name"] = m.name.str();
  j["attributes"] = m.attributes;
  j["log"] = notifier.lines;
  json messages = json::array();
  for (const auto& msg : notifier.messages) messages.push_back({{"caption", msg.caption}, {"text", msg.text}});
  j["messages"] = messages;
  json subs = json::array();
  for (const SubObject& so : m.subobjects) {
    subs.push_back({{"name", so.name.str()},
                    {"parent", so.parent},
                    {"flags", so.flags},
                    {"verts", so.verts.size()},
                    {"tverts", so.tverts.size()},
                    {"faces", so.faces.size()},
                    {"has_colors", !so.facecolors.empty()},
                    {"bounding_objects", so.num_bobj}});
  }
  j["subobjects"] = subs;
  json centers = json::array();
  for (const CenterPoint& c : m.centers) centers.push_back({{"name", c.name.str()}, {"pos", pos(c.x, c.y, c.z)}});
  j["centers"] = centers;
  json attach = json::array();
  for (const AttachPoint& a : m.attach) attach.push_back({{"name", a.name.str()}, {"pos", pos(a.x, a.y, a.z)}});
  j["attach"] = attach;
  json bounding = json::array();
  for (const BoundingObject& b : m.bobj) {
    bounding.push_back({{"name", b.name.str()},
                        {"type", b.type},
                        {"flags", b.flags},
                        {"subobject", b.subobj},
                        {"subobject2", b.subobj2},
                        {"center", pos(b.cx, b.cy, b.cz)},
                        {"radius", b.radius},
                        {"min", pos(b.min_x, b.min_y, b.min_z)},
                        {"max", pos(b.max_x, b.max_y, b.max_z)}});
  }
  j["bounding"] = bounding;
  json users = json::array();
  for (const UserPoint& u : m.userpts) {
    users.push_back({{"name", u.name.str()},
                     {"kind", std::string(1, static_cast<char>(u.kind))},
                     {"subobject", u.subobj},
                     {"pos", pos(u.x, u.y, u.z)}});
  }
  j["userpoints"] = users;
  json lights = json::array();
  for (const ModelLight& l : m.lights) {
    lights.push_back({{"name", l.name.str()},
                      {"subobject", l.subobj},
                      {"pos", pos(l.x, l.y, l.z)},
                      {"color", pos(l.r, l.g, l.b)},
                      {"intensity", l.intensity},
                      {"attenuation", nlohmann::json::array({l.atten_start, l.atten_end})}});
  }
  j["lights"] = lights;
  json materials = json::array();
  for (int i = 0; i < m.num_materials; ++i) {
    const ModelMaterial& mat = m.materials[static_cast<std::size_t>(i)];
    materials.push_back({{"name", mat.name.str()},
                         {"description", mat.description.str()},
                         {"render_attributes", mat.render_attributes},
                         {"color_type", mat.color_type},
                         {"alpha_type", mat.alpha_type},
                         {"blending_mode", mat.blending_mode},
                         {"multitexture_flags", mat.multitexture_flags},
                         {"use_alpha_pcx", mat.use_alpha_pcx},
                         {"alpha_texture", mat.alpha_texture.str()}});
  }
  j["materials"] = materials;
  return j;
}

struct ScaleOptions {
  bool meters = false;
  double scale = kDefaultScaleFactor;

  float value() const { return meters ? kMetreScaleFactor : static_cast<float>(scale); }
};

int run_inspect(const std::string& path, const ScaleOptions& scale, bool json) {
  CliNotifier notifier(json);
  ImportedScene scene;
  const std::string upper = [&] {
    std::string u = path;
    for (char& c : u) c = ascii_upper(c);
    return u;
  }();
  if (upper.size() < 4 || upper.compare(upper.size() - 4, 4, ".ASE") != 0) {
    std::fprintf(stderr, "orvo-cli: %s: not an ASE scene (.ase)\n", path.c_str());
    return kExitInput;
  }
  const Status loaded = ase_Load(path, scene, notifier);
  if (!loaded) {
    std::fprintf(stderr, "orvo-cli: %s\n", loaded.error().message.c_str());
    return kExitInput;
  }
  scene.name = bare_name(path);

  // The Model holds a 1000-entry material table inline: keep it off the stack.
  auto model = std::make_unique<Model>();
  model_Reset(*model);
  model->version_3di = 2;
  StretchBoxTable boxes;
  Result<ConversionReport> report = conv_ConvertScene(*model, scene, scale.value(), boxes, notifier);
  if (!report) {
    std::fprintf(stderr, "orvo-cli: %s\n", report.error().message.c_str());
    return kExitInput;
  }
  for (int i = 0; i < model->num_materials; ++i) model->materials[static_cast<std::size_t>(i)].color_type = 2;
  model->name = scene.name;

  if (json) {
    nlohmann::json j = model_json(*model, notifier);
    j["errors"] = report->errors;
    j["scale"] = scale.value();
    // Names come in the modelling package's code page, not always UTF-8.
    std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::printf("\n%s", report_Text(*model, local).c_str());
  }
  return report->errors ? kExitLoggedErrors : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Orvo model tool, command-line edition: imports scenes and inspects models."};
  app.set_version_flag("--version", std::string("orvo-cli ") + ORVO_VERSION);
  app.require_subcommand(1);

  std::string scene_path;
  ScaleOptions scale;
  bool json = false;
  CLI::App* inspect = app.add_subcommand("inspect", "Parse and convert a scene; print the conversion log and a summary");
  inspect->add_option("SCENE", scene_path, "ASE scene export (.ase)")->required();
  auto* meters = inspect->add_flag("--meters", scale.meters, "Scale factor 1.0 (1 unit = 1 m)");
  inspect->add_option("--scale", scale.scale, "Scale factor (default 0.3084)")->excludes(meters);
  inspect->add_flag("--json", json, "Print one JSON object instead of the log and report");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  int status = kExitUsage;
  if (*inspect) status = run_inspect(scene_path, scale, json);
  // Output that could not be written (a full disk, a closed pipe) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "orvo-cli: cannot write the output: %s\n", std::strerror(errno));
    return kExitInput;
  }
  return status;
}
