#include "orvo/export/exporter.h"

#include <algorithm>
#include <chrono>

#include "lod_model.h"
#include "orvo/export/collision.h"
#include "orvo/export/model_tables.h"
#include "orvo/export/part_strips.h"
#include "orvo/export/skinned.h"
#include "orvo/export/vertex_table.h"
#include "records.h"
#include "tools/base/file_io.h"

namespace orvo {

namespace {

using namespace export3di;

bool holds_parts(const Model* m) {
  return m != nullptr && m->present();
}
bool skinned(const Model& m) {
  return (m.attributes & kModelSkinned) != 0;
}

class Clock {
 public:
  double lap() {
    const auto now = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    return s;
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// One export, stage by stage; each stage fills its part of the file and
// keeps what the later ones need.
class Driver {
 public:
  explicit Driver(const ExportRequest& request)
      : request_(request),
        slots_(request.slots),
        notifier_(request.notifier),
        title_("Exporting '" + request.output_path + "'") {}

  tools::Result<f3::File3di> run(ExportStats* stats_out) {
    status(nullptr);
    if (tools::Status s = check_levels(); !s) return s.error();
    if (tools::Status s = file_header(); !s) return s.error();
    if (tools::Status s = vertex_bound(); !s) return s.error();
    status("Processing vertices...");
    if (tools::Status s = vertices(); !s) return s.error();
    stats_.stage_seconds[0] = clock_.lap();
    if (tools::Status s = level0_records(); !s) return s.error();
    status("Calculating collision data...");
    if (tools::Status s = collision(); !s) return s.error();
    stats_.stage_seconds[1] = clock_.lap();
    if (!skinned_) status("Sorting vertices...");
    if (tools::Status s = render_vertices(); !s) return s.error();
    stats_.stage_seconds[2] = clock_.lap();
    status("Creating Strips...");
    if (tools::Status s = render_models(); !s) return s.error();
    stats_.stage_seconds[3] = clock_.lap();
    if (tools::Status s = tables(); !s) return s.error();
    finish(stats_out);
    return std::move(file_);
  }

 private:
  void status(const char* stage) {
    if (notifier_ != nullptr) notifier_->status(stage == nullptr ? title_ : title_ + "\r\n" + stage);
  }
  const Model& level(int lod) const { return *present_[static_cast<std::size_t>(lod)]; }

  tools::Status check_levels();
  tools::Status vertex_bound();
  tools::Status file_header();
  tools::Status vertices();
  tools::Status level0_records();
  tools::Status collision();
  tools::Status render_vertices();
  tools::Status render_models();
  tools::Status tables();
  void finish(ExportStats* stats_out);

  const ExportRequest& request_;
  const std::array<const Model*, 4>& slots_;
  tools::UserNotifier* notifier_;
  const std::string title_;
  Clock clock_;
  ExportStats stats_;
  f3::File3di file_;

  int lod_count_ = 1;
  std::array<const Model*, 4> present_{};  // the written levels; null past lod_count_
  bool skinned_ = false;
  std::vector<std::string> registers_;
  OrientationTable orientations_;
  // The optional sections the file has.
  bool light_section_ = false, tangent_section_ = false, occluder_section_ = false;
  TextureTable textures_;
  std::vector<int> occluders_;  // level 0's occluder volumes
  std::vector<std::string> collision_debug_;
  std::array<CornerContext, 4> contexts_;
  VertexTable table_;
  std::array<std::vector<PartCorners>, 4> corners_;  // per level and part: what the vertex pass found
  std::vector<ExportVertex> skinned_table_;
  std::array<std::vector<StripRecord>, 4> skinned_strips_;
};

// The written levels (the leading slots that hold parts), their part
// limits, the control register and orientation tables, and whether the
// model is skinned (all written levels or none).
tools::Status Driver::check_levels() {
  if (!holds_parts(slots_[0])) return export_error("LOD 0 has no parts: there is nothing to export");
  while (lod_count_ < 4 && holds_parts(slots_[static_cast<std::size_t>(lod_count_)])) ++lod_count_;
  for (int i = 0; i < lod_count_; ++i) present_[static_cast<std::size_t>(i)] = slots_[static_cast<std::size_t>(i)];
  for (int i = 0; i < lod_count_; ++i) {
    if (level(i).num_subobjects() > static_cast<int>(f3::kMaxPartsPerLod)) {
      return export_error("LOD " + std::to_string(i) + " has " + std::to_string(level(i).num_subobjects()) +
                          " parts; a LOD holds at most 64");
    }
  }
  registers_ = collect_control_registers(present_, lod_count_);
  tools::Result<OrientationTable> orientations = collect_orientations(present_, lod_count_);
  if (!orientations) return orientations.error();
  orientations_ = std::move(*orientations);

  int skinned_slots = 0;
  for (const Model* m : slots_) skinned_slots += holds_parts(m) && skinned(*m) ? 1 : 0;
  if (skinned_slots != 0 && skinned_slots != lod_count_) {
    return export_error("some LODs are skinned and some are not (" + std::to_string(skinned_slots) + " of " +
                        std::to_string(lod_count_) + " skinned): a model is one or the other");
  }
  skinned_ = skinned_slots != 0;
  return {};
}

// More vertices than a plain model holds.
tools::Error too_many_vertices(std::size_t count, bool at_least) {
  return export_error("the model has " + std::string(at_least ? "at least " : "") + std::to_string(count) +
                      " vertices; a plain model holds at most " + std::to_string(kMaxSortedVertices));
}

// A plain model that cannot fit the file whatever its corners weld to is
// refused before any corner is built: when its corners have more distinct
// positions (per part) than the table holds, so will its vertex table. The
// stages that run before the vertices are counted (the texture table and
// the user points, the collision data, which need no vertex table) still
// refuse it first for their own reasons, as when every stage runs.
tools::Status Driver::vertex_bound() {
  if (skinned_) return {};
  std::size_t corners = 0;
  for (int lod = 0; lod < lod_count_; ++lod)
    for (const SubObject& part : level(lod).subobjects) corners += 3 * part.faces.size();
  if (corners <= kMaxSortedVertices) return {};
  const std::size_t fewest = fewest_vertices({present_.begin(), present_.begin() + lod_count_});
  if (fewest <= kMaxSortedVertices) return {};
  if (tools::Status s = level0_records(); !s) return s;
  if (tools::Result<CollisionModel> c = build_collision_model(slots_); !c) return c.error();
  return too_many_vertices(fewest, true);
}

// Kind, model name, the four LOD distances and render functions, and level
// 0's bounding values.
tools::Status Driver::file_header() {
  f3::FileHeader& h = file_.header;
  h.kind = skinned_ ? 'P' : 'M';
  h.model_name = f3::model_name_of(request_.output_path);
  for (std::size_t k = 0; k < 4; ++k) {
    const Model* m = slots_[k];
    const float threshold = m != nullptr ? m->threshold : 0.0f;
    const float before = k > 0 && slots_[k - 1] != nullptr ? slots_[k - 1]->threshold : 0.0f;
    const bool named = m != nullptr && !m->name.view().empty();
    tools::Result<int32_t> d = k == 0 || named ? fixed16(threshold, "LOD " + std::to_string(k) + " threshold")
                                               : fixed16(before, "LOD " + std::to_string(k - 1) + " threshold");
    if (!d) return d.error();
    h.lod_distance[k] = k == 0 || named ? *d : *d / 2;
    h.render_function[k] = f3::render_function_code(m != nullptr ? m->render_function.view() : "");
  }
  const BoundingValues bounds = model_bounding_values(*slots_[0]);
  for (auto [value, field] :
       {std::pair{bounds.radius, &h.bounding_radius}, std::pair{bounds.horizontal_radius, &h.horizontal_radius},
        std::pair{bounds.height, &h.height}}) {
    tools::Result<int32_t> v = fixed16(value, "LOD 0 bounding values");
    if (!v) return v.error();
    *field = *v;
  }
  return {};
}

// Every corner of every part, levels 3 down to 0 for each part, into one
// table; a skinned model's strips and its own vertex table from it.
tools::Status Driver::vertices() {
  for (int i = 0; i < lod_count_; ++i) {
    CornerContext& c = contexts_[static_cast<std::size_t>(i)];
    c.model = present_[static_cast<std::size_t>(i)];
    c.skinned = skinned_;
    level_box(*c.model, c.box_min, c.box_max);
  }
  int most_parts = 0;
  for (int i = 0; i < lod_count_; ++i) {
    most_parts = std::max(most_parts, level(i).num_subobjects());
    corners_[static_cast<std::size_t>(i)].resize(static_cast<std::size_t>(level(i).num_subobjects()));
  }
  for (int part = 0; part < most_parts; ++part)
    for (int lod = lod_count_ - 1; lod >= 0; --lod)
      if (part < level(lod).num_subobjects())
        add_part_corners(table_, contexts_[static_cast<std::size_t>(lod)], part,
                         corners_[static_cast<std::size_t>(lod)][static_cast<std::size_t>(part)]);

  if (!skinned_) return {};
  for (int lod = 0; lod < lod_count_; ++lod) {
    tools::Result<std::vector<StripRecord>> s = build_skinned_strips(
        contexts_[static_cast<std::size_t>(lod)], table_, corners_[static_cast<std::size_t>(lod)], skinned_table_);
    if (!s) return lod_error(lod, s.error());
    skinned_strips_[static_cast<std::size_t>(lod)] = std::move(*s);
  }
  return {};
}

// Which optional sections the file has, the user points and the texture table (every level
// that holds parts registers, written or not).
tools::Status Driver::level0_records() {
  const Model& lod0 = *slots_[0];
  light_section_ = lod0.ambient.style != 0 || lod0.direct.style != 0 || !lod0.lights.empty();
  for (int lod = 0; lod < lod_count_; ++lod) {
    const Model& m = level(lod);
    for (int i = 0; i < m.num_materials; ++i)
      if (m.materials[static_cast<std::size_t>(i)].shader_type != 0) tangent_section_ = true;
  }
  for (const BoundingObject& b : lod0.bobj)
    if (bounding_type_is_occluder(b.type)) occluder_section_ = true;

  tools::Result<std::vector<f3::UserPoint>> points = user_points(lod0);
  if (!points) return points.error();
  file_.user_points = std::move(*points);

  std::vector<std::string>& read = stats_.pictures_read;
  const PictureSizeReader sizes = [&](const std::string& name) {
    read.push_back(name);
    return request_.picture_sizes ? request_.picture_sizes(name) : std::nullopt;
  };
  tools::Result<TextureTable> textures = register_textures(slots_, sizes);
  if (!textures) return textures.error();
  textures_ = std::move(*textures);
  for (const TextureEntry& e : textures_.entries) {
    f3::TextureRecord r;
    r.first_name = e.first_name;
    r.second_name = e.second_name;
    r.flags = static_cast<uint16_t>(e.flags);
    r.width = e.width;
    r.height = e.height;
    file_.textures.push_back(r);
  }
  stats_.textures = textures_.entries;
  return {};
}

// The collision model, its normal tables from the corner frames of the
// vertex pass when the collision level is a written one.
tools::Status Driver::collision() {
  const int from = collision_lod(slots_);
  tools::Result<CollisionModel> collision =
      build_collision_model(slots_, from < lod_count_ ? &corners_[static_cast<std::size_t>(from)] : nullptr);
  // The frames are needed no more.
  for (std::vector<PartCorners>& lod : corners_)
    for (PartCorners& part : lod) std::vector<std::array<Frame, 3>>().swap(part.frames);
  if (!collision) return collision.error();
  file_.collision = std::move(collision->model);
  stats_.warnings.insert(stats_.warnings.end(), collision->warnings.begin(), collision->warnings.end());
  occluders_ = std::move(collision->occluders);
  collision_debug_ = std::move(collision->debug_lines);
  return {};
}

// The render vertices: a plain model's table sorted so that the vertices the
// lowest level's strips meet come first, each level adding its own block; a
// skinned model's own table as it is.
tools::Status Driver::render_vertices() {
  if (skinned_) {
    for (const ExportVertex& v : skinned_table_) {
      f3::SkinnedVertex r;
      r.position = as_array(v.position);
      r.weights = {v.weights[0], v.weights[1], v.weights[2]};
      for (std::size_t b = 0; b < 4; ++b) r.bones[b] = static_cast<uint8_t>(std::max(v.bones[b], 0));
      r.normal = as_array(v.normal);
      r.colour = v.colour;
      r.uv1 = {v.u1, v.v1};
      r.uv2 = {v.u2, v.v2};
      file_.skinned_vertices.push_back(r);
    }
    return {};
  }
  if (table_.size() > kMaxSortedVertices) return too_many_vertices(table_.size(), false);
  std::vector<std::vector<PartStrips>> sort_strips;
  std::vector<const StripRecord*> pool;
  for (int lod = lod_count_ - 1; lod >= 0; --lod) {
    tools::Result<std::vector<PartStrips>> s =
        level_strips(contexts_[static_cast<std::size_t>(lod)], table_, corners_[static_cast<std::size_t>(lod)], lod, 1,
                     request_.jobs, nullptr);
    if (!s) return s.error();
    sort_strips.push_back(std::move(*s));
    for (const PartStrips& p : sort_strips.back())
      for (const StripGroup& g : p.levels)
        for (const StripRecord& r : g.strips) pool.push_back(&r);
  }
  const std::vector<uint32_t> order = first_use_order(table_.size(), pool);
  table_.reorder(order);
  for (std::vector<PartCorners>& lod : corners_)
    for (PartCorners& part : lod) renumber(part, order);
  for (const ExportVertex& v : table_.records()) {
    f3::PlainVertex r;
    r.position = as_array(v.position);
    r.normal = as_array(v.normal);
    r.colour = v.colour;
    r.uv1 = {v.u1, v.v1};
    r.uv2 = {v.u2, v.v2};
    file_.plain_vertices.push_back(r);
  }
  return {};
}

// One `RModel` per written level, with the strips of its parts (plain) or
// the skinned strips built with the vertices.
tools::Status Driver::render_models() {
  for (int lod = 0; lod < lod_count_; ++lod) {
    const Model& m = level(lod);
    std::vector<PartStrips> strips;
    if (!skinned_) {
      tools::Result<std::vector<PartStrips>> s =
          level_strips(contexts_[static_cast<std::size_t>(lod)], table_, corners_[static_cast<std::size_t>(lod)], lod,
                       m.pm_enable != 0 ? kDetailLevels : 1, request_.jobs, notifier_);
      if (!s) return s.error();
      strips = std::move(*s);
    }
    const auto i = static_cast<std::size_t>(lod);
    const LodSources sources{
        m, lod, skinned_, strips, skinned_strips_[i], textures_.materials[i], orientations_.part_index[i], registers_};
    ExportLodStats ls;
    tools::Result<f3::RModel> r = lod_model(sources, ls);
    if (!r) return r.error();
    stats_.lods.push_back(ls);
    file_.lods.push_back(std::move(*r));
  }
  return {};
}

// The register and orientation tables and the sections the flags announce.
tools::Status Driver::tables() {
  for (const std::string& name : registers_) file_.ctrl_regs.emplace_back(name);
  for (const Orientation& o : orientations_.entries) file_.matrices.push_back(o.matrix);
  const Model& lod0 = *slots_[0];
  if (light_section_) file_.lightinfo = lightinfo(lod0, registers_);
  if (tangent_section_) {
    const std::vector<ExportVertex>& written = skinned_ ? skinned_table_ : table_.records();
    std::vector<f3::Tangent> tangents;
    tangents.reserve(written.size());
    for (const ExportVertex& v : written) tangents.push_back({as_array(v.tangent), as_array(v.binormal)});
    file_.vstream = std::move(tangents);
  }
  if (occluder_section_) {
    tools::Result<std::vector<f3::Occluder>> occluders = occluder_records(lod0, occluders_);
    if (!occluders) return occluders.error();
    file_.occluders = std::move(*occluders);
  }
  return {};
}

void Driver::finish(ExportStats* stats_out) {
  stats_.kind = file_.header.kind;
  stats_.lod_count = lod_count_;
  stats_.vertex_count = skinned_ ? skinned_table_.size() : table_.size();
  if (notifier_ != nullptr) {
    for (const std::string& line : collision_debug_) notifier_->debug(line);
    for (const std::string& w : stats_.warnings) notifier_->log(w);
  }
  if (stats_out != nullptr) *stats_out = std::move(stats_);
}

}  // namespace

tools::Result<f3::File3di> build_3di(const ExportRequest& request, ExportStats* stats_out) {
  return Driver(request).run(stats_out);
}

tools::Result<ExportStats> export_3di(const ExportRequest& request) {
  ExportStats stats;
  tools::Result<file3di::File3di> file = build_3di(request, &stats);
  if (!file) return file.error();
  Clock clock;
  tools::Result<std::string> bytes = file3di::encode_3di(*file);
  if (!bytes) return bytes.error();
  if (tools::Status w = tools::write_file_atomic(request.output_path, *bytes); !w) return w.error();
  stats.stage_seconds[4] = clock.lap();
  return stats;
}

}  // namespace orvo
