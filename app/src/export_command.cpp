#include "orvo/app/export_command.h"

#include <algorithm>
#include <filesystem>

#include "orvo/image/image.h"
#include "orvo/image/texture_file.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

// The name the texture table looks a material's picture up by: a ".TGA"
// name as it is, any other upper-cased, with "pcx" when it has no
// extension.
std::string lookup_name(std::string_view name) {
  std::string up = tools::ascii_upper(name);
  if (up.find(".TGA") != std::string::npos) return std::string(name);
  if (up.find('.') == std::string::npos) up += ".pcx";
  return up;
}

// The picture names a material registers, as the texture table takes them:
// a textured material (a second layer counts as textured when its first
// layer is) its colour picture and, with an alpha picture, that one too;
// any other its alpha picture alone.
std::vector<std::string> pictures_of(const Model& level, int index) {
  const ModelMaterial& mat = level.materials[static_cast<std::size_t>(index)];
  const bool second_layer =
      (mat.multitexture_flags & kMultiTextureOrdinary) == 0 && (mat.multitexture_flags & kMultiTextureSecondLayer) != 0;
  const int color_type =
      second_layer && index > 0 ? level.materials[static_cast<std::size_t>(index - 1)].color_type : mat.color_type;
  std::vector<std::string> out;
  if (color_type == 2) {
    if (!mat.green_texture.view().empty()) out.push_back(lookup_name(mat.green_texture.view()));
    if (mat.use_alpha_pcx != 0 && !mat.alpha_texture.view().empty())
      out.push_back(lookup_name(mat.alpha_texture.view()));
  } else if (mat.use_alpha_pcx != 0 && !mat.alpha_texture.view().empty()) {
    out.push_back(lookup_name(mat.alpha_texture.view()));
  }
  return out;
}

}  // namespace

PictureSizeReader picture_size_reader(std::string folder, std::vector<std::string>* read,
                                      std::vector<PictureProblem>* problems) {
  return [folder = std::move(folder), read, problems](const std::string& name) -> std::optional<PictureSize> {
    const auto problem = [&](std::string reason) -> std::optional<PictureSize> {
      if (problems == nullptr) return std::nullopt;
      for (const PictureProblem& p : *problems)
        if (p.name == name) return std::nullopt;
      problems->push_back({name, folder.empty() ? std::string(".") : folder, std::move(reason)});
      return std::nullopt;
    };
    const std::optional<std::string> path = find_texture_file(folder, name);
    if (!path) return problem("no such file (in any case)");
    // The header tells the size: a picture is never decoded here.
    const std::string up = tools::ascii_upper(name);
    const bool tga = up.find(".TGA") != std::string::npos || up.find(".MDT") != std::string::npos;
    if (!tga && up.find(".PCX") == std::string::npos) return problem("not a TGA or PCX picture");
    tools::Result<PictureInfo> info = tga ? probe_tga(*path) : probe_pcx(*path);
    if (!info) {
      // The reader's message names the file; the warning names it already.
      std::string reason = info.error().message;
      if (reason.starts_with(*path + ": ")) reason.erase(0, path->size() + 2);
      return problem(std::move(reason));
    }
    if (read != nullptr && std::find(read->begin(), read->end(), *path) == read->end()) read->push_back(*path);
    return PictureSize{info->width, info->height};
  };
}

std::vector<std::string> picture_warnings(const std::array<const Model*, 4>& slots,
                                          const std::vector<PictureProblem>& problems) {
  std::vector<std::string> out;
  for (const PictureProblem& p : problems) {
    std::vector<std::string> users;
    for (const Model* level : slots) {
      if (level == nullptr) continue;
      for (int i = 0; i < level->num_materials; ++i) {
        const std::vector<std::string> names = pictures_of(*level, i);
        const std::string user(level->materials[static_cast<std::size_t>(i)].name.view());
        if (std::find(names.begin(), names.end(), p.name) != names.end() &&
            std::find(users.begin(), users.end(), user) == users.end())
          users.push_back(user);
      }
    }
    std::string line = "texture \"" + p.name + "\"";
    for (std::size_t i = 0; i < users.size(); ++i)
      line += (i == 0 ? (users.size() == 1 ? " of material \"" : " of materials \"") : ", \"") + users[i] + "\"";
    line += ": not read from " + p.folder + ": " + p.reason + "; ";
    line += users.size() > 1 ? "the materials go without it" : "the material goes without it";
    out.push_back(std::move(line));
  }
  return out;
}

std::array<const Model*, 4> export_order(const std::array<const Model*, 4>& slots, int view_lod) {
  if (view_lod <= 0 || view_lod > 3) return slots;
  std::array<const Model*, 4> out{};
  for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = slots[static_cast<std::size_t>((view_lod + i) % 4)];
  return out;
}

tools::Result<ExportStats> export_slots(const std::array<Model*, 4>& slots, const std::string& output,
                                        const std::string& texture_folder, int view_lod, int jobs,
                                        tools::UserNotifier* notifier, std::vector<std::string>* pictures_read,
                                        std::vector<std::string>* warnings_out) {
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
  std::vector<PictureProblem> problems;
  request.picture_sizes = picture_size_reader(texture_folder, pictures_read, &problems);
  request.notifier = notifier;
  request.jobs = jobs;
  tools::Result<ExportStats> result = export_3di(request);
  if (first != nullptr) first->threshold = kept_threshold;
  if (!result) return result;
  for (std::string& w : picture_warnings(order, problems)) {
    result->warnings.push_back(w);
    if (warnings_out != nullptr) warnings_out->push_back(std::move(w));
    else if (notifier != nullptr) notifier->log(w);
  }
  return result;
}

std::string export_summary_line(const ExportStats& stats, const std::string& output) {
  const std::size_t slash = output.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? output : output.substr(slash + 1);
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string line = file + ": " + count(static_cast<std::size_t>(stats.lod_count), "level", "levels") + ", " +
                     count(stats.vertex_count, "vertex", "vertices") + ", " +
                     count(stats.textures.size(), "texture", "textures");
  std::error_code ec;
  const std::uintmax_t bytes = std::filesystem::file_size(output, ec);
  if (!ec) line += ", " + std::to_string((bytes + 1023) / 1024) + " KB";
  return line;
}

std::string failure_message(const std::string& first_line, const std::string& path, const std::string& reason) {
  if (reason.empty()) return first_line + "\n" + path;
  if (reason.starts_with(path + ":") || reason.starts_with(path + " ")) return first_line + "\n" + reason;
  return first_line + "\n" + path + ": " + reason;
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
  // The scene the reader found beside the model, whatever its kind.
  return model_scene_path(model_path, model);
}

}  // namespace orvo
