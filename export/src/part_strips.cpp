#include "orvo/export/part_strips.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/mesh/progressive_reducer.h"
#include "tools/mesh/stripify.h"

namespace orvo {

namespace {

// The coarser welding of the reducer's input: positions on a 1/256 grid,
// normal and colour ignored.
ExportVertex welded_for_reduction(ExportVertex v) {
  const auto q = [](float c) { return std::trunc(c * 256.0f) / 256.0f; };
  v.position = {q(v.position.x), q(v.position.y), q(v.position.z)};
  v.normal = {};
  v.colour = 0;
  return v;
}

// The triangles of a strip as a list in the strip's order; degenerate ones
// are skipped.
std::vector<uint16_t> strip_ordered_list(const std::vector<uint16_t>& s) {
  std::vector<uint16_t> out;
  if (s.size() < 3) return out;
  out.reserve(s.size() * 3);
  for (std::size_t i = 0; i + 2 < s.size(); ++i) {
    const uint16_t a = s[i], b = i % 2 == 0 ? s[i + 1] : s[i + 2], c = i % 2 == 0 ? s[i + 2] : s[i + 1];
    if (a == b || b == c || a == c) continue;
    out.insert(out.end(), {a, b, c});
  }
  return out;
}

}  // namespace

std::vector<uint32_t> first_use_order(std::size_t table_size, const std::vector<const StripRecord*>& strips) {
  constexpr uint32_t kUnnumbered = 0xFFFFFFFFu;
  std::vector<uint32_t> order(table_size, kUnnumbered);
  uint32_t next = 0;
  for (const StripRecord* r : strips)
    for (uint16_t i : r->indices) {
      const std::size_t v = std::size_t{i} + r->base;
      if (v < table_size && order[v] == kUnnumbered) order[v] = next++;
    }
  for (uint32_t& o : order)
    if (o == kUnnumbered) o = next++;
  return order;
}

std::vector<uint32_t> record_triangles(const StripRecord& record) {
  std::vector<uint32_t> out;
  const auto& s = record.indices;
  if (record.primitive == Primitive::kList) {
    for (std::size_t i = 0; i + 2 < s.size(); i += 3)
      out.insert(out.end(), {s[i] + record.base, s[i + 1] + record.base, s[i + 2] + record.base});
    return out;
  }
  for (uint16_t v : strip_ordered_list(s)) out.push_back(v + record.base);
  return out;
}

namespace {

tools::Error missing_corner(int part_index, std::size_t face) {
  return tools::Error{
      1,
      subobject_label(part_index) + ", face " + std::to_string(face) + ": a corner is not in the vertex table",
      {},
      tools::ErrorKind::kBadData};
}

// The strips of one part; vertex_of(face, k) gives the render vertex of
// corner k of a face, or nothing when the table does not hold it.
template <class VertexOf>
tools::Result<PartStrips> part_strips(const CornerContext& context, const VertexTable& table, int part_index,
                                      int levels, float fraction, tools::UserNotifier* notifier, VertexOf vertex_of) {
  const Model& model = *context.model;
  const SubObject& part = model.subobjects[static_cast<std::size_t>(part_index)];
  const tools::mesh::StripifyOptions stripify_options = tools::mesh::StripifyOptions::model_export();
  levels = std::max(levels, 1);

  PartStrips result;
  result.levels.resize(static_cast<std::size_t>(levels));
  // The material's local number of each render vertex met (kNoVertex: not
  // yet). Equal records are one render vertex, so with one detail level
  // the local list is the render vertices in order of first use; with more,
  // the local records are the coarser welded ones of those vertices.
  std::vector<uint32_t> local_of(table.size(), kNoVertex);
  for (int m = 0; m < model.num_materials; ++m) {
    const ModelMaterial& mat = model.materials[static_cast<std::size_t>(m)];
    if ((mat.render_attributes & kRenderDontDraw) != 0) continue;

    // The material's corners, welded locally, and its triangles.
    VertexTable local;
    std::vector<uint32_t> render_of;  // local index -> vertex table index
    std::vector<uint32_t> met;        // render vertices given a local number
    std::vector<uint32_t> triangles;
    bool any = false;
    for (std::size_t fi = 0; fi < part.faces.size(); ++fi) {
      if (part.faces[fi].material != m) continue;
      any = true;
      uint32_t corner[3];
      for (int k = 0; k < 3; ++k) {
        const std::optional<uint32_t> render = vertex_of(fi, k);
        if (!render || *render >= table.size()) return missing_corner(part_index, fi);
        uint32_t& li = local_of[*render];
        if (li == kNoVertex) {
          met.push_back(*render);
          if (levels > 1) {
            li = local.add(welded_for_reduction(table.records()[*render]));
          } else {
            li = static_cast<uint32_t>(render_of.size());
          }
          if (li == render_of.size()) render_of.push_back(*render);
        }
        corner[k] = li;
      }
      if (corner[0] == corner[1] || corner[1] == corner[2] || corner[0] == corner[2]) continue;
      triangles.insert(triangles.end(), {corner[0], corner[1], corner[2]});
    }
    for (uint32_t r : met) local_of[r] = kNoVertex;
    if (!any) continue;

    const std::size_t n = levels > 1 ? local.size() : render_of.size();
    tools::mesh::ProgressiveReducer reducer;
    if (levels > 1)
      reducer.load(local.records().data(), n, sizeof(ExportVertex), triangles.data(), triangles.size() / 3);
    const std::size_t keep = static_cast<std::size_t>(std::trunc(static_cast<double>(n) * fraction));
    const std::size_t step = n > keep ? n - keep : 0;

    for (int g = 0; g < levels; ++g) {
      std::vector<uint32_t> level_triangles;
      if (levels > 1) {
        reducer.reduce_to(n - (static_cast<std::size_t>(g) * step) / static_cast<std::size_t>(levels) + 1);
        level_triangles = reducer.read_triangles32();
      } else {
        level_triangles = triangles;
      }
      for (uint32_t& i : level_triangles) i = render_of[i];
      StripRecord record;
      record.material = m;
      record.blend_class = mat.blending_mode < 2 ? 0 : 1;
      if (!level_triangles.empty()) {
        const auto [lo, hi] = std::minmax_element(level_triangles.begin(), level_triangles.end());
        record.base = *lo;
        record.span = *hi - *lo;
      }
      if (record.span > kMaxVertexSpan) {
        return tools::Error{1,
                            subobject_label(part_index) + ", material " + std::to_string(m) +
                                ": the vertices of one strip span " + std::to_string(record.span) +
                                " indices; at most " + std::to_string(kMaxVertexSpan) + " fit a 16-bit index",
                            {},
                            tools::ErrorKind::kBadData};
      }
      std::vector<uint16_t> rebased(level_triangles.size());
      for (std::size_t i = 0; i < rebased.size(); ++i)
        rebased[i] = static_cast<uint16_t>(level_triangles[i] - record.base);
      const std::size_t t = rebased.size() / 3;
      std::vector<uint16_t> strip = tools::mesh::stripify(rebased, stripify_options);
      const std::size_t s = strip.size();
      if (2 * s > 3 * t) {
        record.primitive = Primitive::kList;
        record.indices = strip_ordered_list(strip);
        if (record.indices.size() != 3 * t) {
          char text[160];
          std::snprintf(text, sizeof text,
                        "%s\r\nList Index Count: %ld\r\nStrip Index Count: %ld\r\nStrip-Ordered List:%ld",
                        "Stripification Error!", static_cast<long>(3 * t), static_cast<long>(s),
                        static_cast<long>(record.indices.size()));
          result.messages.emplace_back(text);
          if (notifier != nullptr) notifier->message(text, "Orvo Export");
        }
      } else {
        record.primitive = Primitive::kStrip;
        record.indices = std::move(strip);
      }
      StripGroup& group = result.levels[static_cast<std::size_t>(g)];
      ++group.class_counts[record.blend_class];
      group.strips.push_back(std::move(record));
    }
  }
  return result;
}

}  // namespace

tools::Result<PartStrips> build_part_strips(const CornerContext& context, const VertexTable& table, int part_index,
                                            int levels, float fraction, tools::UserNotifier* notifier) {
  const SubObject& part = context.model->subobjects[static_cast<std::size_t>(part_index)];
  const std::vector<std::array<Frame, 3>> frames = corner_frames(part);
  return part_strips(context, table, part_index, levels, fraction, notifier, [&](std::size_t face, int k) {
    return table.find(build_corner(context, part_index, static_cast<int>(face), frames, k));
  });
}

tools::Result<PartStrips> build_part_strips(const CornerContext& context, const VertexTable& table,
                                            const PartCorners& corners, int part_index, int levels, float fraction,
                                            tools::UserNotifier* notifier) {
  return part_strips(context, table, part_index, levels, fraction, notifier,
                     [&](std::size_t face, int k) -> std::optional<uint32_t> {
                       if (face >= corners.vertex.size()) return std::nullopt;
                       const uint32_t v = corners.vertex[face][static_cast<std::size_t>(k)];
                       if (v == kNoVertex) return std::nullopt;
                       return v;
                     });
}

}  // namespace orvo
