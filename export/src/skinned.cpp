#include "orvo/export/skinned.h"

#include <algorithm>
#include <string>

namespace orvo {

namespace {

// The distinct bones of a vertex's four slots, in slot order, without -1.
int distinct_bones(const ExportVertex& v, int32_t out[4]) {
  int n = 0;
  for (int32_t b : v.bones) {
    if (b < 0) continue;
    if (std::find(out, out + n, b) == out + n) out[n++] = b;
  }
  return n;
}

int find_in_palette(const BoneSegment& s, int32_t bone) {
  for (int i = 0; i < s.palette_size; ++i)
    if (s.palette[static_cast<std::size_t>(i)] == bone) return i;
  return -1;
}

void add_to_palette(BoneSegment& s, int32_t bone) {
  if (find_in_palette(s, bone) >= 0) return;
  s.palette[static_cast<std::size_t>(s.palette_size++)] = bone;
}

}  // namespace

void sort_bone_weights(ExportVertex& v) {
  for (bool swapped = true; swapped;) {
    swapped = false;
    for (std::size_t i = 0; i + 1 < 4; ++i) {
      if (v.weights[i] < v.weights[i + 1]) {
        std::swap(v.weights[i], v.weights[i + 1]);
        std::swap(v.bones[i], v.bones[i + 1]);
        swapped = true;
      }
    }
  }
}

tools::Result<std::vector<BoneSegment>> partition_bones(std::vector<ExportVertex>& vertices,
                                                        const std::vector<uint16_t>& triangles,
                                                        const std::string& what) {
  for (ExportVertex& v : vertices) {
    for (int32_t b : v.bones) {
      if (b > kMaxBone) {
        return tools::Error{1,
                            what + ": bone " + std::to_string(b) + " is above " + std::to_string(kMaxBone) +
                                ", the highest bone a palette can take",
                            {},
                            tools::ErrorKind::kBadData};
      }
    }
    sort_bone_weights(v);
  }
  const std::size_t count = triangles.size() / 3;
  for (uint16_t i : triangles)
    if (i >= vertices.size())
      return tools::Error{1, what + ": a triangle names a missing vertex", {}, tools::ErrorKind::kBadData};

  std::vector<BoneSegment> segments(kMaxBoneSegments);
  std::vector<int> segment_of(count);
  int used = 0;  // segments that received triangles: the highest one used, plus one
  for (std::size_t t = 0; t < count; ++t) {
    int32_t bones[12];
    int n = 0;
    for (int k = 0; k < 3; ++k)
      n += distinct_bones(vertices[triangles[3 * t + static_cast<std::size_t>(k)]], bones + n);
    int chosen = -1;
    for (int s = 0; s < kMaxBoneSegments && chosen < 0; ++s) {
      BoneSegment& seg = segments[static_cast<std::size_t>(s)];
      int missing = 0;
      for (int i = 0; i < n; ++i) missing += find_in_palette(seg, bones[i]) < 0 ? 1 : 0;
      if (seg.palette_size + missing > kPaletteSize) continue;
      for (int i = 0; i < n; ++i) add_to_palette(seg, bones[i]);
      chosen = s;
    }
    if (chosen < 0) {
      return tools::Error{1,
                          what + ": triangle " + std::to_string(t) + " needs more than " +
                              std::to_string(kMaxBoneSegments) + " bone palettes of " + std::to_string(kPaletteSize) +
                              " bones",
                          {},
                          tools::ErrorKind::kBadData};
    }
    segment_of[t] = chosen;
    used = std::max(used, chosen + 1);
    const std::size_t at = 3 * t;
    segments[static_cast<std::size_t>(chosen)].indices.insert(segments[static_cast<std::size_t>(chosen)].indices.end(),
                                                              {triangles[at], triangles[at + 1], triangles[at + 2]});
  }
  segments.resize(static_cast<std::size_t>(used));

  // Each segment's own copies of the vertices it uses, in input order, with
  // bones as palette positions.
  std::vector<int32_t> local(vertices.size(), -1);
  for (BoneSegment& seg : segments) {
    std::vector<uint16_t> used_vertices(seg.indices.begin(), seg.indices.end());
    std::sort(used_vertices.begin(), used_vertices.end());
    used_vertices.erase(std::unique(used_vertices.begin(), used_vertices.end()), used_vertices.end());
    std::array<int32_t, kMaxBone + 1> position;
    position.fill(-1);
    for (int i = 0; i < seg.palette_size; ++i)
      position[static_cast<std::size_t>(seg.palette[static_cast<std::size_t>(i)])] = i;
    seg.vertices.reserve(used_vertices.size());
    for (uint16_t v : used_vertices) {
      local[v] = static_cast<int32_t>(seg.vertices.size());
      ExportVertex copy = vertices[v];
      for (int32_t& b : copy.bones)
        if (b >= 0) b = position[static_cast<std::size_t>(b)];
      seg.vertices.push_back(copy);
    }
    for (uint16_t& i : seg.indices) i = static_cast<uint16_t>(local[i]);
  }
  return segments;
}

namespace {

// The skinned strips of a level; vertex_of(part, face, k) gives the render
// vertex of corner k of a face, or nothing when the table does not hold it.
template <class VertexOf>
tools::Result<std::vector<StripRecord>> skinned_strips(const CornerContext& context, const VertexTable& plain,
                                                       std::vector<ExportVertex>& table, VertexOf vertex_of) {
  const Model& model = *context.model;
  std::vector<StripRecord> strips;
  for (int m = 0; m < model.num_materials; ++m) {
    const ModelMaterial& mat = model.materials[static_cast<std::size_t>(m)];
    if ((mat.render_attributes & kRenderDontDraw) != 0) continue;
    // The material's corners, numbered in order of first use.
    std::vector<int32_t> local_of(plain.size(), -1);
    std::vector<ExportVertex> vertices;
    std::vector<uint16_t> triangles;
    for (int p = 0; p < model.num_subobjects(); ++p) {
      const SubObject& part = model.subobjects[static_cast<std::size_t>(p)];
      bool any = false;
      for (const Face& f : part.faces) any = any || f.material == m;
      if (!any) continue;
      for (std::size_t fi = 0; fi < part.faces.size(); ++fi) {
        if (part.faces[fi].material != m) continue;
        for (int k = 0; k < 3; ++k) {
          const std::optional<uint32_t> index = vertex_of(p, fi, k);
          if (!index || *index >= plain.size()) {
            return tools::Error{
                1,
                subobject_label(p) + ", face " + std::to_string(fi) + ": a corner is not in the vertex table",
                {},
                tools::ErrorKind::kBadData};
          }
          int32_t& local = local_of[*index];
          if (local < 0) {
            if (vertices.size() > 0xFFFF) {
              return tools::Error{1,
                                  "material " + std::to_string(m) + ": more than 65536 skinned vertices",
                                  {},
                                  tools::ErrorKind::kBadData};
            }
            local = static_cast<int32_t>(vertices.size());
            ExportVertex v = plain.records()[*index];
            int32_t first = 0;
            for (int32_t b : v.bones)
              if (b >= 0) {
                first = b;
                break;
              }
            for (std::size_t s = 0; s < 4; ++s)
              if (v.bones[s] < 0) {
                v.bones[s] = first;
                v.weights[s] = 0;
              }
            vertices.push_back(v);
          }
          triangles.push_back(static_cast<uint16_t>(local));
        }
      }
    }
    if (triangles.empty()) continue;
    tools::Result<std::vector<BoneSegment>> segments =
        partition_bones(vertices, triangles, "material " + std::to_string(m));
    if (!segments) return segments.error();
    for (BoneSegment& seg : *segments) {
      StripRecord r;
      r.material = m;
      r.primitive = Primitive::kList;
      r.base = static_cast<uint32_t>(table.size());
      r.span = seg.vertices.empty() ? 0 : static_cast<uint32_t>(seg.vertices.size() - 1);
      r.indices = std::move(seg.indices);
      r.blend_class = mat.blending_mode < 2 ? 0 : 1;
      r.palette.assign(seg.palette.begin(), seg.palette.begin() + seg.palette_size);
      table.insert(table.end(), seg.vertices.begin(), seg.vertices.end());
      strips.push_back(std::move(r));
    }
  }
  return strips;
}

}  // namespace

tools::Result<std::vector<StripRecord>> build_skinned_strips(const CornerContext& context, const VertexTable& plain,
                                                             std::vector<ExportVertex>& table) {
  const Model& model = *context.model;
  std::vector<std::vector<std::array<Frame, 3>>> frames;
  for (const SubObject& part : model.subobjects) frames.push_back(corner_frames(part));
  return skinned_strips(context, plain, table, [&](int p, std::size_t face, int k) {
    return plain.find(build_corner(context, p, static_cast<int>(face), frames[static_cast<std::size_t>(p)], k));
  });
}

tools::Result<std::vector<StripRecord>> build_skinned_strips(const CornerContext& context, const VertexTable& plain,
                                                             const std::vector<PartCorners>& corners,
                                                             std::vector<ExportVertex>& table) {
  return skinned_strips(context, plain, table, [&](int p, std::size_t face, int k) -> std::optional<uint32_t> {
    if (static_cast<std::size_t>(p) >= corners.size() || face >= corners[static_cast<std::size_t>(p)].vertex.size())
      return std::nullopt;
    const uint32_t v = corners[static_cast<std::size_t>(p)].vertex[face][static_cast<std::size_t>(k)];
    if (v == kNoVertex) return std::nullopt;
    return v;
  });
}

}  // namespace orvo
