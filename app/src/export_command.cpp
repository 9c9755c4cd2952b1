#include "orvo/app/export_command.h"

#include <algorithm>

#include "orvo/viewer/image.h"
#include "orvo/viewer/texture_file.h"
#include "tools/base/text.h"

namespace orvo {

namespace {}  // namespace

PictureSizeReader picture_size_reader(std::string folder, std::vector<std::string>* read) {
  return [folder = std::move(folder), read](const std::string& name) -> std::optional<PictureSize> {
    const std::optional<std::string> path = find_texture_file(folder, name);
    if (!path) return std::nullopt;
    // The header tells the size: a picture is never decoded here.
    const std::string up = tools::ascii_upper(name);
    tools::Result<PictureInfo> info =
        up.find(".TGA") != std::string::npos || up.find(".MDT") != std::string::npos ? probe_tga(*path)
        : up.find(".PCX") != std::string::npos                                       ? probe_pcx(*path)
                                               : tools::Result<PictureInfo>(tools::Error{3, "", {}, {}});
    if (!info) return std::nullopt;
    if (read != nullptr && std::find(read->begin(), read->end(), *path) == read->end()) read->push_back(*path);
    return PictureSize{info->width, info->height};
  };
}

std::array<const Model*, 4> export_order(const std::array<const Model*, 4>& slots, int view_lod) {
  if (view_lod <= 0 || view_lod > 3) return slots;
  std::array<const Model*, 4> out{};
  for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = slots[static_cast<std::size_t>((view_lod + i) % 4)];
  return out;
}

tools::Result<ExportStats> export_slots(const std::array<Model*, 4>& slots, const std::string& output,
                                        const std::string& texture_folder, int view_lod, int jobs,
                                        tools::UserNotifier* notifier, std::vector<std::string>* pictures_read) {
  std::array<const Model*, 4> order{slots[0], slots[1], slots[2], slots[3]};
  float kept_threshold = 0;
  Model* first = nullptr;
  if (view_lod >= 0 && view_lod <= 3) {
    order = export_order(order, view_lod);
    first = slots[static_cast<std::size_t>(view_lod)];
    if (first != nullptr) {
      kept_threshold = first->threshold;
      first->threshold = 0;
    }
  }
  ExportRequest request;
  request.output_path = output;
  request.slots = order;
  request.picture_sizes = picture_size_reader(texture_folder, pictures_read);
  request.notifier = notifier;
  request.jobs = jobs;
  tools::Result<ExportStats> result = export_3di(request);
  if (first != nullptr) first->threshold = kept_threshold;
  return result;
}

nlohmann::json export_summary_json(const ExportStats& stats, const std::string& output) {
  nlohmann::json j;
  j["file"] = output;
  j["kind"] = std::string(1, stats.kind);
  j["lod_count"] = stats.lod_count;
  j["vertex_count"] = stats.vertex_count;
  j["lods"] = nlohmann::json::array();
  for (const ExportLodStats& l : stats.lods) {
    j["lods"].push_back({{"parts", l.parts},
                         {"strip_records", l.strips},
                         {"lists", l.lists},
                         {"strips", l.strips - l.lists},
                         {"indices", l.indices},
                         {"triangles", l.triangles},
                         {"indices_per_triangle",
                          l.triangles > 0 ? static_cast<double>(l.indices) / static_cast<double>(l.triangles) : 0.0}});
  }
  j["textures"] = nlohmann::json::array();
  for (const TextureEntry& t : stats.textures) {
    j["textures"].push_back({{"first_name", t.first_name},
                             {"second_name", t.second_name},
                             {"flags", t.flags},
                             {"width", t.width},
                             {"height", t.height}});
  }
  const char* const stages[] = {"vertices", "collision", "sorting", "strips", "writing"};
  nlohmann::json timings;
  double total = 0;
  for (std::size_t i = 0; i < stats.stage_seconds.size(); ++i) {
    timings[stages[i]] = stats.stage_seconds[i];
    total += stats.stage_seconds[i];
  }
  timings["total"] = total;
  j["seconds"] = timings;
  j["warnings"] = stats.warnings;
  return j;
}

std::string depfile_text(const std::string& target, const std::vector<std::string>& inputs) {
  const auto escape = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      if (c == ' ' || c == '#' || c == '\\') out += '\\';
      if (c == '$') out += '$';
      out += c;
    }
    return out;
  };
  std::string text = escape(target) + ":";
  for (const std::string& in : inputs) text += " \\\n  " + escape(in);
  return text + "\n";
}

std::string scene_path_of(const std::string& model_path, const Model& model) {
  const std::size_t dot = model_path.find_last_of('.');
  const std::size_t slash = model_path.find_last_of('/');
  const std::string stem =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? model_path : model_path.substr(0, dot);
  return stem + ((model.attributes & 1) != 0 ? ".ase" : ".asc");
}

}  // namespace orvo
