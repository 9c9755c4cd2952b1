#include "lod_model.h"

#include <algorithm>
#include <cmath>

#include "records.h"
#include "tools/base/parallel.h"

namespace orvo::export3di {

namespace {

f3::Strip file_strip(const StripRecord& s) {
  f3::Strip r;
  r.material = static_cast<uint32_t>(s.material);
  r.primitive = static_cast<uint32_t>(s.primitive);
  r.base_vertex = s.base;
  r.vertex_span = s.span;
  r.indices = s.indices;
  for (std::size_t i = 0; i < s.palette.size() && i < r.palette.size(); ++i)
    r.palette[i] = static_cast<uint8_t>(s.palette[i]);
  r.palette_size = static_cast<uint8_t>(std::min<std::size_t>(s.palette.size(), 16));
  return r;
}

// The record of corner `corner` of the first face (parts and faces in
// order) of `material`, for an action plane.
bool first_triangle(const Model& level, int material, std::array<Vec3, 3>& corners) {
  for (int p = 0; p < level.num_subobjects(); ++p) {
    const SubObject& part = level.subobjects[static_cast<std::size_t>(p)];
    for (std::size_t f = 0; f < part.faces.size(); ++f) {
      if (part.faces[f].material != material) continue;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = part.faces[f].v[static_cast<std::size_t>(2 - k)];  // corner k is stored corner 2 - k
        const Vertex& s = v >= 0 && static_cast<std::size_t>(v) < part.verts.size()
                              ? part.verts[static_cast<std::size_t>(v)]
                              : Vertex{};
        corners[static_cast<std::size_t>(k)] = {-s.y, s.z, s.x};
      }
      return true;
    }
  }
  return false;
}

bool material_used(const Model& level, int material) {
  for (const SubObject& part : level.subobjects)
    for (const Face& f : part.faces)
      if (f.material == material) return true;
  return false;
}

// The reduction fraction of a level: its pm_polythresh over its face count.
float reduction_fraction(const Model& m) {
  long faces = 0;
  for (const SubObject& p : m.subobjects) faces += static_cast<long>(p.faces.size());
  return faces > 0 ? static_cast<float>(m.pm_polythresh) / static_cast<float>(faces) : 0.0f;
}

// The LOD header values: layout flags, texture animation per sequence and
// the attachment points.
f3::RModel lod_header(const Model& m, bool skinned) {
  f3::RModel r;
  r.skinned = skinned;
  r.part_motion = m.part_anim_enable != 0;
  for (int s = 0; s < 12; ++s)
    for (int i = 0; i < m.num_materials; ++i) {
      const ModelMaterial& mat = m.materials[static_cast<std::size_t>(i)];
      if (mat.anim_sequence == s && mat.anim_frames != 0) {
        r.anim_frames[static_cast<std::size_t>(s)] = static_cast<int16_t>(mat.anim_frames);
        r.anim_times[static_cast<std::size_t>(s)] = static_cast<int16_t>(mat.anim_time);
      }
    }
  for (const AttachPoint& a : m.attach) r.points.push_back({a.x, a.y, a.z});
  return r;
}

// The record of part `p`: parent, pivots, bounding sphere and (plain LOD)
// its strip groups, counted in `ls`.
tools::Result<f3::LodPart> lod_part(const LodSources& s, int p, ExportLodStats& ls) {
  const Model& m = s.level;
  const SubObject& part = m.subobjects[static_cast<std::size_t>(p)];
  f3::LodPart lp;
  lp.parent = part.parent;
  const auto pivot_of = [&](int i) {
    return i >= 0 && static_cast<std::size_t>(i) < m.centers.size()
               ? Vec3{m.centers[static_cast<std::size_t>(i)].x, m.centers[static_cast<std::size_t>(i)].y,
                      m.centers[static_cast<std::size_t>(i)].z}
               : Vec3{};
  };
  const Vec3 pivot = pivot_of(p), parent = pivot_of(part.parent);
  lp.pivot = file_axes(pivot);
  lp.relative_pivot = file_axes(pivot.x - parent.x, pivot.y - parent.y, pivot.z - parent.z);
  if (!part.verts.empty()) {
    Vec3 lo{10000, 10000, 10000}, hi{-10000, -10000, -10000};
    for (const Vertex& v : part.verts) {
      lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    const Vec3 c{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    float radius = 0;
    for (const Vertex& v : part.verts)
      radius = std::max(radius,
                        std::sqrt((v.x - c.x) * (v.x - c.x) + (v.y - c.y) * (v.y - c.y) + (v.z - c.z) * (v.z - c.z)));
    lp.centre = file_axes(c);
    tools::Result<int32_t> rad =
        fixed16(radius, "LOD " + std::to_string(s.lod) + ", " + subobject_label(p) + " radius");
    if (!rad) return rad.error();
    lp.radius = *rad;
  }
  if (s.skinned) return lp;
  const PartStrips& strips = s.strips[static_cast<std::size_t>(p)];
  for (const StripGroup& g : strips.levels) {
    f3::StripGroup fg;
    for (const StripRecord& r : g.strips) {
      (r.blend_class == 0 ? fg.class0 : fg.class1).push_back(file_strip(r));
      ++ls.strips;
      ls.lists += r.primitive == Primitive::kList ? 1 : 0;
      ls.indices += static_cast<long>(r.indices.size());
    }
    lp.levels.push_back(std::move(fg));
  }
  if (!strips.levels.empty())
    for (const StripRecord& r : strips.levels[0].strips)
      ls.triangles += static_cast<long>(record_triangles(r).size() / 3);
  return lp;
}

// The skinned LOD's one strip group, counted in `ls`.
void add_skin_group(const LodSources& s, f3::RModel& r, ExportLodStats& ls) {
  for (const StripRecord& strip : s.skinned_strips) {
    (strip.blend_class == 0 ? r.skin_group.class0 : r.skin_group.class1).push_back(file_strip(strip));
    ++ls.strips;
    ++ls.lists;
    ls.indices += static_cast<long>(strip.indices.size());
    ls.triangles += static_cast<long>(strip.indices.size() / 3);
  }
}

// The action plane of material `i`: its first triangle's plane and its first
// strip at detail level 0.
f3::ActionPlane action_plane(const LodSources& s, int i) {
  const ModelMaterial& mat = s.level.materials[static_cast<std::size_t>(i)];
  f3::ActionPlane ap;
  ap.type = static_cast<uint32_t>(mat.actionplane_type);
  std::array<Vec3, 3> c{};
  first_triangle(s.level, i, c);
  ap.point = as_array(c[0]);
  const Vec3 e1{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z},
      e2{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z};
  Vec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
  const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (len > 0) n = {n.x / len, n.y / len, n.z / len};
  ap.normal = as_array(n);
  for (const PartStrips& ps : s.strips) {
    if (ps.levels.empty()) continue;
    for (const StripRecord& r : ps.levels[0].strips)
      if (r.material == i && ap.strip.indices.empty()) ap.strip = file_strip(r);
  }
  if (s.skinned)
    for (const StripRecord& r : s.skinned_strips)
      if (r.material == i && ap.strip.indices.empty()) {
        ap.strip = file_strip(r);
        ap.strip.palette = {};
        ap.strip.palette_size = 0;
      }
  ap.strip.material = static_cast<uint32_t>(i);
  return ap;
}

// Action planes and projectors, in material order; a material left out of
// the geometry has them only when it is one of the two.
void add_planes_and_projectors(const LodSources& s, f3::RModel& r) {
  const Model& m = s.level;
  for (int i = 0; i < m.num_materials; ++i) {
    const ModelMaterial& mat = m.materials[static_cast<std::size_t>(i)];
    if ((mat.render_attributes & kRenderDontDraw) != 0 && mat.actionplane_type == 0 && mat.projector_type == 0)
      continue;
    if (mat.actionplane_type != 0 && material_used(m, i)) r.action_planes.push_back(action_plane(s, i));
    if (mat.projector_type != 0 && material_used(m, i)) r.projectors.push_back(projector_record(m, i));
  }
}

}  // namespace

tools::Result<std::vector<PartStrips>> level_strips(const CornerContext& context, const VertexTable& table,
                                                    const std::vector<PartCorners>& corners, int lod, int levels,
                                                    int jobs, tools::UserNotifier* notifier) {
  const Model& m = *context.model;
  const float fraction = reduction_fraction(m);
  std::vector<tools::Result<PartStrips>> results(static_cast<std::size_t>(m.num_subobjects()), PartStrips{});
  // Each part's strips depend on that part alone: the parts are shared out
  // among the threads and the results kept in part order.
  tools::parallel_for(results.size(), std::clamp(jobs, 1, 64), [&](std::size_t p) {
    results[p] = build_part_strips(context, table, corners[p], static_cast<int>(p), levels, fraction, nullptr);
  });
  std::vector<PartStrips> out;
  for (tools::Result<PartStrips>& r : results) {
    if (!r) return lod_error(lod, r.error());
    // The messages of the strips that are written, in part order.
    if (notifier != nullptr)
      for (const std::string& text : r->messages) notifier->message(text, "Orvo Export");
    out.push_back(std::move(*r));
  }
  return out;
}

tools::Result<f3::RModel> lod_model(const LodSources& s, ExportLodStats& ls) {
  const Model& m = s.level;
  f3::RModel r = lod_header(m, s.skinned);
  ls.parts = m.num_subobjects();
  for (int p = 0; p < m.num_subobjects(); ++p) {
    tools::Result<f3::LodPart> part = lod_part(s, p, ls);
    if (!part) return part.error();
    r.parts.push_back(std::move(*part));
  }
  if (s.skinned) add_skin_group(s, r, ls);
  if (ls.strips > static_cast<int>(f3::kMaxStripsPerLod)) {
    return export_error("LOD " + std::to_string(s.lod) + " has " + std::to_string(ls.strips) +
                        " strips; a LOD holds at most " + std::to_string(f3::kMaxStripsPerLod));
  }
  for (int i = 0; i < m.num_materials; ++i) {
    tools::Result<f3::Material> mat = material_record(m, i, s.textures[static_cast<std::size_t>(i)], s.registers);
    if (!mat) return lod_error(s.lod, mat.error());
    r.materials.push_back(*mat);
  }
  if (r.part_motion) {
    for (int p = 0; p < m.num_subobjects(); ++p) {
      tools::Result<f3::PartMotion> motion =
          part_motion(m, p, s.part_matrices[static_cast<std::size_t>(p)], s.registers);
      if (!motion) return lod_error(s.lod, motion.error());
      r.motions.push_back(*motion);
    }
  }
  add_planes_and_projectors(s, r);
  return r;
}

}  // namespace orvo::export3di
