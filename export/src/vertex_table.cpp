#include "orvo/export/vertex_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvo {

static_assert(sizeof(ExportVertex) == 30 * 4, "export vertex records hold no padding: they are compared as bytes");

namespace {

Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// `v` made unit length; a zero vector stays zero.
Vec3 normalised(Vec3 v) {
  const float len = std::sqrt(dot(v, v));
  return len > 0 ? v * (1.0f / len) : v;
}

Vec3 file_axes(Vec3 v) {
  return {-v.y, v.z, v.x};
}

Vec3 position_of(const SubObject& part, int32_t vertex) {
  const Vertex& p = part.verts[static_cast<std::size_t>(vertex)];
  return {p.x, p.y, p.z};
}

bool valid_vertex(const SubObject& part, int32_t v) {
  return v >= 0 && static_cast<std::size_t>(v) < part.verts.size();
}
bool valid_tvertex(const SubObject& part, int32_t t) {
  return t >= 0 && static_cast<std::size_t>(t) < part.tverts.size();
}

// Two unit vectors orthogonal to the unit `n` and to each other, from `n`
// alone: the axis least aligned with n, made orthogonal to it.
void any_tangents(Vec3 n, Vec3& t, Vec3& b) {
  const Vec3 axis = std::fabs(n.x) <= std::fabs(n.y) && std::fabs(n.x) <= std::fabs(n.z) ? Vec3{1, 0, 0}
                    : std::fabs(n.y) <= std::fabs(n.z)                                   ? Vec3{0, 1, 0}
                                                                                         : Vec3{0, 0, 1};
  t = normalised(axis - n * dot(axis, n));
  b = cross(n, t);
}

Frame face_frame(const SubObject& part, const Face& f) {
  Frame frame;
  frame.normal = {f.nx, f.ny, f.nz};
  const Vec3 n = frame.normal;
  bool found = false;
  if (valid_vertex(part, f.v[0]) && valid_vertex(part, f.v[1]) && valid_vertex(part, f.v[2]) &&
      valid_tvertex(part, f.t[0]) && valid_tvertex(part, f.t[1]) && valid_tvertex(part, f.t[2])) {
    const Vec3 p0 = position_of(part, f.v[0]);
    const Vec3 e1 = position_of(part, f.v[1]) - p0, e2 = position_of(part, f.v[2]) - p0;
    const TextureVertex& t0 = part.tverts[static_cast<std::size_t>(f.t[0])];
    const TextureVertex& t1 = part.tverts[static_cast<std::size_t>(f.t[1])];
    const TextureVertex& t2 = part.tverts[static_cast<std::size_t>(f.t[2])];
    const float du1 = t1.u - t0.u, dv1 = t1.v - t0.v, du2 = t2.u - t0.u, dv2 = t2.v - t0.v;
    const float det = du1 * dv2 - du2 * dv1;
    if (std::fabs(det) > 1e-12f) {
      const float r = 1.0f / det;
      const Vec3 t = (e1 * dv2 - e2 * dv1) * r;
      const Vec3 b = (e2 * du1 - e1 * du2) * r;
      frame.tangent = normalised(t - n * dot(t, n));
      frame.binormal = normalised(b - n * dot(b, n) - frame.tangent * dot(b, frame.tangent));
      found = dot(frame.tangent, frame.tangent) > 0 && dot(frame.binormal, frame.binormal) > 0;
    }
  }
  if (!found) any_tangents(normalised(n), frame.tangent, frame.binormal);
  return frame;
}

// The face's colour entry and its marker for "no colours".
bool has_colour_marker(const FaceColor& c) {
  return c.c[0] == kNoFaceColour;
}

uint32_t float_bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// Normal grid cells are sixteen times as wide as the margin around an
// entry, and the margin a quarter more than the merging distance (1e-4,
// whose square is the tolerance): a normal within the merging distance of
// an entry lies, per axis, inside the entry's margin (rounding is monotone:
// entry - margin rounds to at most the normal), and the margin spans at
// most two cells per axis (eight cells an entry, about one and a half on
// average). The cell of a coordinate is monotone in it, so a normal inside
// the margin is in one of the entry's cells.
constexpr float kNormalCellsPerUnit = 500.0f;
constexpr float kNormalMargin = 1.25e-4f;

int32_t normal_cell(float x) {
  const float c = std::clamp(x * kNormalCellsPerUnit, -1e9f, 1e9f);  // NaN never comes here
  const auto t = static_cast<int32_t>(c);
  return static_cast<float>(t) > c ? t - 1 : t;  // rounded down
}
std::array<int32_t, 3> normal_cell(const Vec3& n) {
  return {normal_cell(n.x), normal_cell(n.y), normal_cell(n.z)};
}

std::size_t hash_cell(const std::array<int32_t, 3>& c) {
  return (static_cast<std::size_t>(static_cast<uint32_t>(c[0])) * 73856093u) ^
         (static_cast<std::size_t>(static_cast<uint32_t>(c[1])) * 19349663u) ^
         (static_cast<std::size_t>(static_cast<uint32_t>(c[2])) * 83492791u);
}

bool finite(const Vec3& n) {
  return std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z);
}

}  // namespace

bool same_vertex(const ExportVertex& a, const ExportVertex& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

namespace {

// The corner frames of a part; with `normals_only` the tangents and
// binormals are left zero (the normals are the same either way).
std::vector<std::array<Frame, 3>> frames_of(const SubObject& part, bool normals_only) {
  const std::size_t faces = part.faces.size();
  std::vector<Frame> own(faces);
  for (std::size_t i = 0; i < faces; ++i) {
    const Face& f = part.faces[i];
    if (normals_only) {
      own[i].normal = {f.nx, f.ny, f.nz};
    } else {
      own[i] = face_frame(part, f);
    }
  }

  // The faces that use each vertex, in face order, each face once per
  // vertex: vertex v's faces are users[start[v]] .. users[start[v + 1] - 1].
  const std::size_t verts = part.verts.size();
  std::vector<uint32_t> start(verts + 1, 0);
  const auto each_use = [&](auto&& use) {
    for (std::size_t i = 0; i < faces; ++i) {
      const Face& f = part.faces[i];
      for (int c = 0; c < 3; ++c) {
        const int32_t v = f.v[static_cast<std::size_t>(c)];
        if (!valid_vertex(part, v)) continue;
        // A face that names a vertex twice uses it once.
        bool again = false;
        for (int e = 0; e < c; ++e) again = again || f.v[static_cast<std::size_t>(e)] == v;
        if (!again) use(static_cast<std::size_t>(v), static_cast<uint32_t>(i));
      }
    }
  };
  each_use([&](std::size_t v, uint32_t) { ++start[v + 1]; });
  for (std::size_t v = 0; v < verts; ++v) start[v + 1] += start[v];
  std::vector<uint32_t> users(start[verts]);
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  each_use([&](std::size_t v, uint32_t i) { users[fill[v]++] = i; });

  std::vector<std::array<Frame, 3>> frames(faces);
  for (std::size_t i = 0; i < faces; ++i) {
    const Face& f = part.faces[i];
    for (int c = 0; c < 3; ++c) {
      Frame& out = frames[i][static_cast<std::size_t>(c)];
      const int32_t v = f.v[static_cast<std::size_t>(c)];
      if (f.smoothing == 0 || !valid_vertex(part, v)) {
        out = own[i];
        continue;
      }
      Frame sum;
      for (uint32_t u = start[static_cast<std::size_t>(v)]; u < start[static_cast<std::size_t>(v) + 1]; ++u) {
        const uint32_t g = users[u];
        if ((part.faces[g].smoothing & f.smoothing) == 0) continue;
        sum.normal = sum.normal + own[g].normal;
        if (normals_only) continue;
        sum.tangent = sum.tangent + own[g].tangent;
        sum.binormal = sum.binormal + own[g].binormal;
      }
      out.normal = normalised(sum.normal);
      if (normals_only) continue;
      out.tangent = normalised(sum.tangent);
      out.binormal = normalised(sum.binormal);
    }
  }
  return frames;
}

}  // namespace

std::vector<std::array<Frame, 3>> corner_frames(const SubObject& part) {
  return frames_of(part, false);
}

std::vector<std::array<Frame, 3>> corner_normals(const SubObject& part) {
  return frames_of(part, true);
}

void NormalGrid::add(uint32_t entry, const Vec3& n) {
  if (2 * (used_ + 8) > slots_.size()) rehash(std::max<std::size_t>(64, 2 * slots_.size()));
  const std::array<int32_t, 3> lo = normal_cell({n.x - kNormalMargin, n.y - kNormalMargin, n.z - kNormalMargin});
  const std::array<int32_t, 3> hi = normal_cell({n.x + kNormalMargin, n.y + kNormalMargin, n.z + kNormalMargin});
  for (int32_t x = lo[0]; x <= hi[0]; ++x)
    for (int32_t y = lo[1]; y <= hi[1]; ++y)
      for (int32_t z = lo[2]; z <= hi[2]; ++z) {
        Slot& slot = slot_of({x, y, z});
        if (slot.first < 0) {
          slot.cell = {x, y, z};
          ++used_;
        }
        links_.push_back({entry, slot.first});
        slot.first = static_cast<int32_t>(links_.size() - 1);
      }
}

namespace {
bool same_cell(const std::array<int32_t, 3>& a, const std::array<int32_t, 3>& b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}
}  // namespace

void NormalGrid::reserve(std::size_t entries) {
  std::size_t size = 64;
  while (size < 2 * entries) size *= 2;
  if (size > slots_.size()) rehash(size);
}

void NormalGrid::rehash(std::size_t size) {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(size, Slot{});
  used_ = 0;
  for (const Slot& s : old)
    if (s.first >= 0) {
      slot_of(s.cell) = s;
      ++used_;
    }
}

NormalGrid::Slot& NormalGrid::slot_of(const std::array<int32_t, 3>& cell) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash_cell(cell) & mask;
  while (slots_[i].first >= 0 && !same_cell(slots_[i].cell, cell)) i = (i + 1) & mask;
  return slots_[i];
}

int32_t NormalGrid::first_near(const Vec3& n) const {
  if (slots_.empty()) return -1;
  const std::array<int32_t, 3> cell = normal_cell(n);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash_cell(cell) & mask;; i = (i + 1) & mask) {
    if (slots_[i].first < 0) return -1;
    if (same_cell(slots_[i].cell, cell)) return slots_[i].first;
  }
}

std::vector<Vec3> part_normal_table(const SubObject& part, const std::vector<std::array<Frame, 3>>& frames) {
  NormalGrid grid;
  return part_normal_table(part, frames, grid);
}

std::vector<Vec3> part_normal_table(const SubObject& part, const std::vector<std::array<Frame, 3>>& frames,
                                    NormalGrid& grid) {
  // A normal is compared only with the entries listed in its grid cell
  // instead of the whole table; every entry within the tolerance is among
  // them, so the table is the one the first-to-last search builds.
  constexpr float kTolerance = 9.999999e-09f;  // squared distance
  grid = NormalGrid();
  grid.reserve(part.faces.size());
  std::vector<Vec3> table;
  const auto add = [&](Vec3 n) {
    if (!finite(n)) {
      // Not comparable by distance: joins only if no bitwise equal entry.
      for (const Vec3& e : table)
        if (float_bits(e.x) == float_bits(n.x) && float_bits(e.y) == float_bits(n.y) &&
            float_bits(e.z) == float_bits(n.z))
          return;
      table.push_back(n);
      return;
    }
    bool near = false;
    grid.for_each_near(n, [&](uint32_t i) {
      const Vec3 d = table[i] - n;
      near = near || dot(d, d) <= kTolerance;
    });
    if (near) return;
    grid.add(static_cast<uint32_t>(table.size()), n);
    table.push_back(n);
  };
  for (std::size_t i = 0; i < part.faces.size(); ++i) {
    const Face& f = part.faces[i];
    add({f.nx, f.ny, f.nz});
    if (f.smoothing != 0 && i < frames.size())
      for (const Frame& c : frames[i]) add(c.normal);
  }
  return table;
}

NormalIndex::NormalIndex(const std::vector<Vec3>& table) : table_(table) {
  grid_.reserve(table.size());
  for (std::size_t i = 0; i < table.size(); ++i)
    if (finite(table[i])) grid_.add(static_cast<uint32_t>(i), table[i]);
}

NormalIndex::NormalIndex(const std::vector<Vec3>& table, NormalGrid grid) : table_(table), grid_(std::move(grid)) {}

int NormalIndex::nearest(const Vec3& n) const {
  const auto distance = [&](std::size_t i) {
    const Vec3 d = table_[i] - n;
    return dot(d, d);
  };
  if (finite(n)) {
    // Every entry within 1e-4 of n is listed in n's cell; when one is found
    // there, no entry elsewhere can be nearer, nor as near.
    float best = 1000.0f;
    int index = -1;
    grid_.for_each_near(n, [&](uint32_t i) {
      const float d2 = distance(i);
      if (d2 < best || (d2 == best && static_cast<int>(i) < index)) {
        best = d2;
        index = static_cast<int>(i);
      }
    });
    if (index >= 0 && best <= 1e-8f) return index;
  }
  float best = 1000.0f;
  int index = 0;
  for (std::size_t i = 0; i < table_.size(); ++i) {
    const float d2 = distance(i);
    if (d2 < best) {
      best = d2;
      index = static_cast<int>(i);
    }
  }
  return index;
}

Vec3 bend_normal(const Vec3& position, const RadialLight& light, const Vec3& fallback) {
  const Vec3 offset = position - light.centre;
  const auto scaled = [](float d, float extent) { return extent != 0 ? d / extent : d; };
  const Vec3 relative{scaled(offset.x, light.extents.x), scaled(offset.y, light.extents.y),
                      scaled(offset.z, light.extents.z)};
  const float l = std::sqrt(dot(relative, relative));
  const float length = std::sqrt(dot(offset, offset));
  if (!(length > 0)) return fallback;
  Vec3 n = file_axes(offset * (1.0f / length));
  if (l < 0.45f) {
    const float a = (0.45f - l) / 0.45f;
    n = n * (1 - a);
    n.y -= 2 * a;
  } else if (l > 0.5f) {
    n.y += std::min((l - 0.5f) / 0.5f * 1.5f, 0.9f);
  }
  return normalised(n);
}

float fakeskin_weight(const Vec3& p, const Vec3& min, const Vec3& max) {
  const float height = max.z - min.z;
  const float share = height > 0 ? (p.z - min.z) / height : 0.0f;
  const float cx = (min.x + max.x) / 2, cy = (min.y + max.y) / 2;
  const float r = std::hypot(p.x - cx, p.y - cy);
  const float reach = std::hypot(max.x - cx, max.y - cy);
  const float spread = reach > 0 ? r / reach : 0.0f;
  const float w = (share * 1.5f - 0.5f) * (spread * 0.9f + 0.1f);
  return std::clamp(w, 0.0f, 1.0f);
}

void level_box(const Model& level, Vec3& min, Vec3& max) {
  constexpr float kBig = std::numeric_limits<float>::max();
  min = {kBig, kBig, kBig};
  max = {-kBig, -kBig, -kBig};
  bool any = false;
  for (const SubObject& part : level.subobjects)
    for (const Vertex& v : part.verts) {
      min = {std::min(min.x, v.x), std::min(min.y, v.y), std::min(min.z, v.z)};
      max = {std::max(max.x, v.x), std::max(max.y, v.y), std::max(max.z, v.z)};
      any = true;
    }
  if (!any) min = max = {};
}

ExportVertex build_corner(const CornerContext& context, int part_index, int face_index,
                          const std::vector<std::array<Frame, 3>>& frames, int k) {
  const Model& model = *context.model;
  const SubObject& part = model.subobjects[static_cast<std::size_t>(part_index)];
  const Face& f = part.faces[static_cast<std::size_t>(face_index)];
  const int stored = 2 - k;
  const Frame& frame = frames[static_cast<std::size_t>(face_index)][static_cast<std::size_t>(stored)];
  const int32_t vi = f.v[static_cast<std::size_t>(stored)];
  const bool has_vertex = valid_vertex(part, vi);
  const Vec3 source = has_vertex ? position_of(part, vi) : Vec3{};
  const bool has_material = f.material >= 0 && f.material < model.num_materials;
  static const ModelMaterial kNoMaterial{};
  const ModelMaterial& mat = has_material ? model.materials[static_cast<std::size_t>(f.material)] : kNoMaterial;

  ExportVertex v;
  v.position = file_axes(source);
  v.base_normal = file_axes(frame.normal);
  v.normal = (mat.render_attributes & kRenderMagicTreeLight) != 0 ? bend_normal(source, context.light, v.base_normal)
                                                                  : v.base_normal;
  v.tangent = {frame.tangent.y, -frame.tangent.z, -frame.tangent.x};
  v.binormal = file_axes(frame.binormal);
  v.part = part_index;

  // Colour: none without vertex colours, mid grey for a face marked
  // without them; always opaque; tinted by the material's colour for
  // colour type 1.
  uint32_t colour = 0;
  if (!part.facecolors.empty() && static_cast<std::size_t>(face_index) < part.facecolors.size()) {
    const FaceColor& fc = part.facecolors[static_cast<std::size_t>(face_index)];
    colour = has_colour_marker(fc) ? 0x7F7F7Fu : static_cast<uint32_t>(fc.c[static_cast<std::size_t>(stored)]);
  }
  colour |= 0xFF000000u;
  if (mat.color_type == 1) {
    const uint32_t r = ((colour >> 16 & 0xFF) * mat.color_green[0]) >> 8;
    const uint32_t g = ((colour >> 8 & 0xFF) * mat.color_green[1]) >> 8;
    const uint32_t b = ((colour & 0xFF) * mat.color_green[2]) >> 8;
    colour = 0xFF000000u | r << 16 | g << 8 | b;
  }
  v.colour = colour;

  // Texture coordinates, tiled around the texture's centre.
  const int32_t ti = f.t[static_cast<std::size_t>(stored)];
  const TextureVertex tv = valid_tvertex(part, ti) ? part.tverts[static_cast<std::size_t>(ti)] : TextureVertex{};
  const auto tile = [](float c, float tiling) { return (c - 0.5f) * tiling + 0.5f; };
  if (!(mat.color_type == 1 && mat.alpha_type == 1)) {
    v.u1 = mat.u_tiling != 0 ? tile(tv.u, mat.u_tiling) : tv.u;
    v.v1 = mat.u_tiling != 0 ? tile(tv.v, mat.v_tiling) : tv.v;
  }
  if (mat.multitexture_flags != 0) {
    // The second layer is the next material when it is marked as one;
    // otherwise the material's own tiling stands for it.
    const int next = f.material + 1;
    const ModelMaterial& layer =
        has_material && next < model.num_materials &&
                (model.materials[static_cast<std::size_t>(next)].multitexture_flags & kMultiTextureSecondLayer) != 0
            ? model.materials[static_cast<std::size_t>(next)]
            : mat;
    v.u2 = layer.u_tiling != 0 ? tile(tv.u, layer.u_tiling) : tv.u;
    v.v2 = layer.u_tiling != 0 ? tile(tv.v, layer.v_tiling) : tv.v;
  }

  if (context.skinned && has_vertex) {
    const Vertex& sv = part.verts[static_cast<std::size_t>(vi)];
    if (model.fakeskin_z != 0) {
      const float w = fakeskin_weight(source, context.box_min, context.box_max);
      v.bones = {0, 1, -1, -1};
      v.weights = {1 - w, w, 0, 0};
    } else {
      v.bones = sv.bones;
      v.weights = sv.weights;
    }
  }
  return v;
}

namespace {

// A hash of the record's bytes, eight at a time: equal records are equal bytes.
uint64_t record_hash(const ExportVertex& v) {
  static_assert(sizeof(ExportVertex) % 8 == 0);
  uint64_t words[sizeof(ExportVertex) / 8];
  std::memcpy(words, &v, sizeof v);
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (uint64_t w : words) {
    h ^= w;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 29);
}

}  // namespace

std::size_t VertexTable::slot_of(const ExportVertex& v, uint64_t h) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
    const uint32_t r = slots_[i];
    if (r == kEmpty || (hashes_[r] == h && same_vertex(records_[r], v))) return i;
  }
}

void VertexTable::grow() {
  slots_.assign(std::max<std::size_t>(256, 2 * slots_.size()), kEmpty);
  const std::size_t mask = slots_.size() - 1;
  for (uint32_t r = 0; r < records_.size(); ++r) {
    std::size_t i = static_cast<std::size_t>(hashes_[r]) & mask;
    while (slots_[i] != kEmpty) i = (i + 1) & mask;
    slots_[i] = r;
  }
}

uint32_t VertexTable::add(const ExportVertex& v) {
  if (2 * (records_.size() + 1) > slots_.size()) grow();
  const uint64_t h = record_hash(v);
  const std::size_t i = slot_of(v, h);
  if (slots_[i] == kEmpty) {
    slots_[i] = static_cast<uint32_t>(records_.size());
    records_.push_back(v);
    hashes_.push_back(h);
  }
  return slots_[i];
}

std::optional<uint32_t> VertexTable::find(const ExportVertex& v) const {
  if (slots_.empty()) return std::nullopt;
  const uint32_t r = slots_[slot_of(v, record_hash(v))];
  if (r == kEmpty) return std::nullopt;
  return r;
}

void VertexTable::reorder(const std::vector<uint32_t>& new_index) {
  std::vector<ExportVertex> sorted(records_.size());
  std::vector<uint64_t> hashes(records_.size());
  for (std::size_t i = 0; i < records_.size(); ++i) {
    sorted[new_index[i]] = records_[i];
    hashes[new_index[i]] = hashes_[i];
  }
  records_ = std::move(sorted);
  hashes_ = std::move(hashes);
  for (uint32_t& r : slots_)
    if (r != kEmpty) r = new_index[r];
}

void VertexTable::clear() {
  records_.clear();
  hashes_.clear();
  slots_.clear();
}

void add_part_corners(VertexTable& table, const CornerContext& context, int part_index) {
  PartCorners found;
  add_part_corners(table, context, part_index, found);
}

void add_part_corners(VertexTable& table, const CornerContext& context, int part_index, PartCorners& found) {
  const Model& model = *context.model;
  const SubObject& part = model.subobjects[static_cast<std::size_t>(part_index)];
  found.frames = corner_frames(part);
  found.vertex.assign(part.faces.size(), {kNoVertex, kNoVertex, kNoVertex});
  // Faces by material, each list in face order.
  std::vector<std::vector<int>> by_material(static_cast<std::size_t>(std::max(model.num_materials, 0)));
  for (std::size_t i = 0; i < part.faces.size(); ++i) {
    const int32_t m = part.faces[i].material;
    if (m >= 0 && m < model.num_materials) by_material[static_cast<std::size_t>(m)].push_back(static_cast<int>(i));
  }
  for (int m = 0; m < model.num_materials; ++m) {
    if ((model.materials[static_cast<std::size_t>(m)].render_attributes & kRenderDontDraw) != 0) continue;
    for (int face : by_material[static_cast<std::size_t>(m)])
      for (int k = 0; k < 3; ++k)
        found.vertex[static_cast<std::size_t>(face)][static_cast<std::size_t>(k)] =
            table.add(build_corner(context, part_index, face, found.frames, k));
  }
}

std::size_t fewest_vertices(const std::vector<const Model*>& levels) {
  int most_parts = 0;
  for (const Model* m : levels) most_parts = std::max(most_parts, m->num_subobjects());
  std::size_t count = 0;
  std::vector<std::array<uint32_t, 3>> positions;  // bit patterns: a corner's position is (-y, z, x) of these
  std::vector<uint8_t> met;
  for (int p = 0; p < most_parts; ++p) {
    positions.clear();
    for (const Model* m : levels) {
      if (p >= m->num_subobjects()) continue;
      const SubObject& part = m->subobjects[static_cast<std::size_t>(p)];
      // One flag per vertex, and one for the corners that name no vertex
      // (placed at the origin).
      met.assign(part.verts.size() + 1, 0);
      for (const Face& f : part.faces) {
        if (f.material < 0 || f.material >= m->num_materials ||
            (m->materials[static_cast<std::size_t>(f.material)].render_attributes & kRenderDontDraw) != 0)
          continue;
        for (std::size_t c = 0; c < 3; ++c) {
          const bool valid = valid_vertex(part, f.v[c]);
          const std::size_t at = valid ? static_cast<std::size_t>(f.v[c]) : part.verts.size();
          if (met[at] != 0) continue;
          met[at] = 1;
          const Vec3 q = valid ? position_of(part, f.v[c]) : Vec3{};
          positions.push_back({float_bits(q.x), float_bits(q.y), float_bits(q.z)});
        }
      }
    }
    std::sort(positions.begin(), positions.end());
    count += static_cast<std::size_t>(std::unique(positions.begin(), positions.end()) - positions.begin());
  }
  return count;
}

void renumber(PartCorners& corners, const std::vector<uint32_t>& new_index) {
  for (std::array<uint32_t, 3>& face : corners.vertex)
    for (uint32_t& v : face)
      if (v != kNoVertex) v = new_index[v];
}

}  // namespace orvo
