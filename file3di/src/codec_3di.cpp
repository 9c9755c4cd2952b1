#include "orvo/file3di/codec_3di.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace orvo::file3di {

namespace {

constexpr char kStripAddr[] = "Addr";
constexpr uint32_t kFlagLightinfo = 0x1;
constexpr uint32_t kFlagVStream = 0x2;
constexpr uint32_t kFlagOccData = 0x4;
constexpr uint32_t kLodSkinned = 0x1;
constexpr uint32_t kLodPartMotion = 0x2;
constexpr uint8_t kMaxOccluderCorner = 127;

std::string num(uint64_t v) {
  return std::to_string(v);
}

tools::Error writer_error(const std::string& text, int code = k3diDoesNotFit) {
  return tools::Error{
      code, text, {}, code == k3diDoesNotFit ? tools::ErrorKind::kDoesNotFit : tools::ErrorKind::kBadData};
}

// "N things, more than the L a file holds", or empty when n <= limit.
std::string over_limit(uint64_t n, uint64_t limit, const std::string& what) {
  if (n <= limit) return {};
  return num(n) + " " + what + ", more than the " + num(limit) + " a file holds";
}

std::string lod_name(size_t lod) {
  return "LOD " + num(lod);
}

// ---- checks shared by the writer and the reader ---------------------------
// Each returns why the record cannot stand in the file, or empty.

std::string strip_problem(const Strip& s, size_t materials, size_t vertices, bool skinned) {
  if (s.material >= materials) {
    return "strip material " + num(s.material) + " is not below the LOD's material count " + num(materials);
  }
  if (s.indices.size() > kMaxVertexSpan) {
    return "strip of " + num(s.indices.size()) + " indices, more than the " + num(kMaxVertexSpan) +
           " an index count holds";
  }
  if (s.vertex_span > kMaxVertexSpan) {
    return "strip vertex span " + num(s.vertex_span) + ", more than the " + num(kMaxVertexSpan) +
           " its indices can reach";
  }
  if (skinned && s.palette_size > kMaxPaletteBones) {
    return "bone palette of " + num(s.palette_size) + " bones, more than the " + num(kMaxPaletteBones) +
           " a strip holds";
  }
  for (uint16_t i : s.indices) {
    if (i > s.vertex_span) return "strip index " + num(i) + " is above its vertex span " + num(s.vertex_span);
  }
  if (!s.indices.empty() && uint64_t{s.base_vertex} + s.vertex_span >= vertices) {
    return "strip vertices " + num(s.base_vertex) + " to " + num(uint64_t{s.base_vertex} + s.vertex_span) +
           " are not below the render vertex count " + num(vertices);
  }
  return {};
}

std::string face_problem(const CollisionFace& f, const CollisionPart& p) {
  for (uint16_t c : f.corners) {
    if (c >= p.vertices.size()) {
      return "collision face corner " + num(c) + " is not below its part's vertex count " + num(p.vertices.size());
    }
  }
  if (f.normal >= p.normals.size()) {
    return "collision face normal " + num(f.normal) + " is not below its part's normal count " + num(p.normals.size());
  }
  return {};
}

std::string occluder_face_problem(const OccluderFace& f, const Occluder& o) {
  for (uint8_t c : f.corners) {
    if (c > kMaxOccluderCorner) {
      return "occluder face corner " + num(c) + ", above the " + num(kMaxOccluderCorner) + " an edge key holds";
    }
    if (c >= o.vertices.size()) {
      return "occluder face corner " + num(c) + " is not below the occluder's vertex count " + num(o.vertices.size());
    }
  }
  return {};
}

std::string bone_problem(const SkinnedVertex& v) {
  for (uint8_t b : v.bones) {
    if (b > kMaxBoneIndex) return "bad bone index in skinned mesh";
  }
  return {};
}

std::string motion_problem(const PartMotion& m, size_t matrices) {
  if (m.matrix >= matrices) {
    return "part motion matrix " + num(m.matrix) + " is not below the matrix count " + num(matrices);
  }
  return {};
}

size_t strip_count(const RModel& lod) {
  size_t n = lod.skin_group.class0.size() + lod.skin_group.class1.size();
  for (const LodPart& p : lod.parts) {
    for (const StripGroup& g : p.levels) n += g.class0.size() + g.class1.size();
  }
  return n;
}

uint64_t strips_bytes(const std::vector<Strip>& strips, uint64_t header) {
  uint64_t n = 0;
  for (const Strip& s : strips) n += header + 2 * uint64_t{s.indices.size()};
  return n;
}

// ---- strips ---------------------------------------------------------------

void encode_strip_header(ByteWriter& w, const Strip& s, bool skinned) {
  w.u32(s.material);
  w.bytes(std::string_view(kStripAddr, 4));
  w.u16(static_cast<uint16_t>(s.indices.size()));
  w.u16(0);
  w.u32(s.primitive);
  w.u32(s.base_vertex);
  w.u32(s.vertex_span);
  if (!skinned) {
    w.zeros(16);
    return;
  }
  for (uint8_t b : s.palette) w.u8(b);
  w.zeros(7);
  w.u8(s.palette_size);
}

void encode_indices(ByteWriter& w, const Strip& s) {
  w.u16s(s.indices);
}

// Reads a strip header and returns its index count.
uint16_t decode_strip_header(ByteReader& r, Strip& s, bool skinned) {
  s.material = r.u32();
  r.skip(4);
  const uint16_t count = r.u16();
  r.skip(2);
  s.primitive = r.u32();
  s.base_vertex = r.u32();
  s.vertex_span = r.u32();
  if (!skinned) {
    r.skip(16);
    return count;
  }
  for (uint8_t& b : s.palette) b = r.u8();
  r.skip(7);
  s.palette_size = r.u8();
  return count;
}

bool decode_indices(ByteReader& r, Strip& s, uint16_t count) {
  if (!r.fits(count, 2, "strip indices")) return false;
  s.indices.resize(count);
  for (uint16_t& i : s.indices) i = r.u16();
  return r.ok();
}

// Reads `count` strips; checks each against the LOD.
bool decode_strips(ByteReader& r, std::vector<Strip>& out, uint32_t count, bool skinned, size_t materials,
                   size_t vertices) {
  const uint64_t header = skinned ? kSkinnedStripHeaderBytes : kPlainStripHeaderBytes;
  if (!r.fits(count, header, "strips")) return false;
  out.resize(count);
  for (Strip& s : out) {
    const size_t at = r.offset();
    const uint16_t n = decode_strip_header(r, s, skinned);
    if (!decode_indices(r, s, n)) return false;
    const std::string why = strip_problem(s, materials, vertices, skinned);
    if (!why.empty()) return r.fail(at, why, k3diBadData);
  }
  return r.ok();
}

void encode_group(ByteWriter& w, const StripGroup& g) {
  w.u32(0);
  w.u32(static_cast<uint32_t>(g.class0.size()));
  w.u32(0);
  w.u32(static_cast<uint32_t>(g.class1.size()));
  w.zeros(16);
}

void encode_group_strips(ByteWriter& w, const StripGroup& g, bool skinned) {
  for (const auto* list : {&g.class0, &g.class1}) {
    for (const Strip& s : *list) {
      encode_strip_header(w, s, skinned);
      encode_indices(w, s);
    }
  }
}

struct GroupCounts {
  uint32_t class0 = 0;
  uint32_t class1 = 0;
};

GroupCounts decode_group(ByteReader& r) {
  GroupCounts c;
  r.skip(4);
  c.class0 = r.u32();
  r.skip(4);
  c.class1 = r.u32();
  r.skip(16);
  return c;
}

void encode_light_generator(ByteWriter& w, const LightGenerator& g) {
  w.u8(g.style);
  w.u8(g.phase);
  w.i16(g.rate);
  w.u32(g.start);
  w.u32(g.end);
}

void decode_light_generator(ByteReader& r, LightGenerator& g) {
  g.style = r.u8();
  g.phase = r.u8();
  g.rate = r.i16();
  g.start = r.u32();
  g.end = r.u32();
}

void encode_vec(ByteWriter& w, const Vec3f& v) {
  for (float f : v) w.f32(f);
}
void decode_vec(ByteReader& r, Vec3f& v) {
  for (float& f : v) f = r.f32();
}
template <size_t N>
void encode_ints(ByteWriter& w, const std::array<int32_t, N>& v) {
  for (int32_t i : v) w.i32(i);
}
template <size_t N>
void decode_ints(ByteReader& r, std::array<int32_t, N>& v) {
  for (int32_t& i : v) i = r.i32();
}
template <size_t N>
void encode_floats(ByteWriter& w, const std::array<float, N>& v) {
  for (float f : v) w.f32(f);
}
template <size_t N>
void decode_floats(ByteReader& r, std::array<float, N>& v) {
  for (float& f : v) f = r.f32();
}

}  // namespace

// ---- helpers ----------------------------------------------------------------

uint32_t render_function_code(std::string_view name) {
  int64_t code = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int c = k < name.size() ? static_cast<signed char>(name[k]) : 0;
    code = code * 256 + c;
  }
  return static_cast<uint32_t>(code);
}

Name16 model_name_of(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  base = base.substr(0, std::min(base.find_first_of(std::string_view(".\0", 2)), base.size()));
  return Name16(base);
}

uint16_t dominant_axis(const CollisionNormal& n) {
  const int ax = std::abs(int{n.nx}), ay = std::abs(int{n.ny}), az = std::abs(int{n.nz});
  if (az > ax && az > ay) return 1;
  if (ay > ax && ay > az) return 2;
  return 4;
}

uint16_t edge_key(uint8_t p, uint8_t q) {
  if (p < q) return static_cast<uint16_t>(q * 256 + p);
  return static_cast<uint16_t>((p + 128) * 256 + q);
}

uint64_t cmodel_blob_size(const CModel& c) {
  uint64_t size = kCollisionPartBytes * uint64_t{c.parts.size()} + kCollisionPointBytes * uint64_t{c.points.size()};
  for (const CollisionPart& p : c.parts) {
    size += kCollisionVertexBytes * uint64_t{p.vertices.size()} + kCollisionNormalBytes * uint64_t{p.normals.size()} +
            kCollisionFaceBytes * uint64_t{p.faces.size()} + kCollisionVolumeBytes * uint64_t{p.volumes.size()};
    for (const CollisionVolume& v : p.volumes) size += kVolumePlaneBytes * uint64_t{v.planes.size()};
  }
  return size;
}

uint64_t rmodel_blob_size(const RModel& lod) {
  const uint64_t parts = lod.parts.size();
  uint64_t size = kMaterialBytes * uint64_t{lod.materials.size()} + kLodPointBytes * uint64_t{lod.points.size()} +
                  kLodPartBytes * parts;
  if (lod.part_motion) size += kPartMotionBytes * parts;
  if (lod.skinned) {
    size += kSkinBlockBytes + kStripGroupBytes + strips_bytes(lod.skin_group.class0, kSkinnedStripHeaderBytes) +
            strips_bytes(lod.skin_group.class1, kSkinnedStripHeaderBytes);
  } else {
    for (const LodPart& p : lod.parts) {
      size += kStripGroupBytes * uint64_t{p.levels.size()};
      for (const StripGroup& g : p.levels) {
        size += strips_bytes(g.class0, kPlainStripHeaderBytes) + strips_bytes(g.class1, kPlainStripHeaderBytes);
      }
    }
  }
  for (const ActionPlane& a : lod.action_planes) size += kActionPlaneBytes + 2 * uint64_t{a.strip.indices.size()};
  return size + kProjectorBytes * uint64_t{lod.projectors.size()};
}

size_t File3di::vertex_count() const {
  switch (header.kind) {
    case 'P': return skinned_vertices.size();
    case 'S': return old_skinned_vertices.size();
    default: return plain_vertices.size();
  }
}

// ---- records ------------------------------------------------------------------

void encode(ByteWriter& w, const UserPoint& p) {
  encode_ints(w, p.position);
  encode_ints(w, p.vector);
  w.u32(p.value);
  w.u8(p.type);
  w.u8(p.first_number);
  w.u8(p.second_number);
  w.u8(0);
  w.name(p.name);
}
void decode(ByteReader& r, UserPoint& p) {
  decode_ints(r, p.position);
  decode_ints(r, p.vector);
  p.value = r.u32();
  p.type = r.u8();
  p.first_number = r.u8();
  p.second_number = r.u8();
  r.skip(1);
  r.name(p.name);
}

void encode(ByteWriter& w, const TextureRecord& t, uint16_t index) {
  w.name(t.first_name);
  w.name(t.second_name);
  w.u32(0);
  w.u16(index);
  w.u16(t.flags);
  w.u16(t.width);
  w.u16(t.height);
  w.zeros(16);
}
void decode(ByteReader& r, TextureRecord& t, uint16_t& index) {
  r.name(t.first_name);
  r.name(t.second_name);
  r.skip(4);
  index = r.u16();
  t.flags = r.u16();
  t.width = r.u16();
  t.height = r.u16();
  r.skip(16);
}

void encode(ByteWriter& w, const CollisionVertex& v) {
  w.i16(v.x);
  w.i16(v.y);
  w.i16(v.z);
  w.u16(v.owner);
}
void decode(ByteReader& r, CollisionVertex& v) {
  v.x = r.i16();
  v.y = r.i16();
  v.z = r.i16();
  v.owner = r.u16();
}

void encode(ByteWriter& w, const CollisionNormal& n) {
  w.i16(n.nx);
  w.i16(n.ny);
  w.i16(n.nz);
  w.u16(dominant_axis(n));
}
void decode(ByteReader& r, CollisionNormal& n, uint16_t& axis) {
  n.nx = r.i16();
  n.ny = r.i16();
  n.nz = r.i16();
  axis = r.u16();
}

void encode(ByteWriter& w, const CollisionFace& f) {
  for (uint16_t c : f.corners) w.u16(c);
  w.u16(f.normal);
  w.i32(f.distance);
  encode_ints(w, f.box);
  w.u32(f.flags);
  w.u8(f.surface);
  w.u8(0);
  w.u16(0);
}
void decode(ByteReader& r, CollisionFace& f) {
  for (uint16_t& c : f.corners) c = r.u16();
  f.normal = r.u16();
  f.distance = r.i32();
  decode_ints(r, f.box);
  f.flags = r.u32();
  f.surface = r.u8();
  r.skip(3);
}

void encode(ByteWriter& w, const PlainVertex& v) {
  encode_vec(w, v.position);
  encode_vec(w, v.normal);
  w.u32(v.colour);
  encode_floats(w, v.uv1);
  encode_floats(w, v.uv2);
}
void decode(ByteReader& r, PlainVertex& v) {
  decode_vec(r, v.position);
  decode_vec(r, v.normal);
  v.colour = r.u32();
  decode_floats(r, v.uv1);
  decode_floats(r, v.uv2);
}

void encode(ByteWriter& w, const SkinnedVertex& v) {
  encode_vec(w, v.position);
  encode_vec(w, v.weights);
  for (uint8_t b : v.bones) w.u8(b);
  encode_vec(w, v.normal);
  w.u32(v.colour);
  encode_floats(w, v.uv1);
  encode_floats(w, v.uv2);
}
void decode(ByteReader& r, SkinnedVertex& v) {
  decode_vec(r, v.position);
  decode_vec(r, v.weights);
  for (uint8_t& b : v.bones) b = r.u8();
  decode_vec(r, v.normal);
  v.colour = r.u32();
  decode_floats(r, v.uv1);
  decode_floats(r, v.uv2);
}

void encode(ByteWriter& w, const GeneratorField& g) {
  w.u8(g.style);
  w.u8(g.index_or_phase);
  w.i16(g.rate);
  w.i16(g.start);
  w.i16(g.end);
}
void decode(ByteReader& r, GeneratorField& g) {
  g.style = r.u8();
  g.index_or_phase = r.u8();
  g.rate = r.i16();
  g.start = r.i16();
  g.end = r.i16();
}

void encode(ByteWriter& w, const Material& m) {
  w.name(m.name);
  w.u32(m.flags);
  w.i16(m.anim_time);
  w.u8(m.anim_frames);
  w.u8(m.anim_sequence);
  w.u32(0);
  for (uint8_t c : m.colours) w.u8(c);
  for (uint8_t t : m.colour_textures) w.u8(t);
  w.u8(m.alpha_texture);
  w.u32(m.reflect_colour);
  w.u8(m.reflect_type);
  w.u8(m.reflect_alpha);
  w.u8(m.shader_type);
  w.zeros(5);
  for (uint8_t b : {m.color_type, m.alpha_type, m.transparency, m.alpha_test, m.blending_mode, m.second_layer}) {
    w.u8(b);
  }
  w.u16(0);
  for (float f : {m.u_offset, m.v_offset, m.u_tiling, m.v_tiling}) w.f32(f);
  encode(w, m.mapfunc_u);
  encode(w, m.mapfunc_v);
  w.u8(m.rgbgen_style);
  w.u8(m.rgbgen_phase);
  w.i16(m.rgbgen_rate);
  w.u32(m.rgbgen_start);
  w.u32(m.rgbgen_end);
  w.u8(m.alphagen_style);
  w.u8(m.alphagen_phase);
  w.i16(m.alphagen_rate);
  w.i16(m.alphagen_start);
  w.i16(m.alphagen_end);
  w.zeros(36);
}
void decode(ByteReader& r, Material& m) {
  r.name(m.name);
  m.flags = r.u32();
  m.anim_time = r.i16();
  m.anim_frames = r.u8();
  m.anim_sequence = r.u8();
  r.skip(4);
  for (uint8_t& c : m.colours) c = r.u8();
  for (uint8_t& t : m.colour_textures) t = r.u8();
  m.alpha_texture = r.u8();
  m.reflect_colour = r.u32();
  m.reflect_type = r.u8();
  m.reflect_alpha = r.u8();
  m.shader_type = r.u8();
  r.skip(5);
  for (uint8_t* b : {&m.color_type, &m.alpha_type, &m.transparency, &m.alpha_test, &m.blending_mode, &m.second_layer}) {
    *b = r.u8();
  }
  r.skip(2);
  for (float* f : {&m.u_offset, &m.v_offset, &m.u_tiling, &m.v_tiling}) *f = r.f32();
  decode(r, m.mapfunc_u);
  decode(r, m.mapfunc_v);
  m.rgbgen_style = r.u8();
  m.rgbgen_phase = r.u8();
  m.rgbgen_rate = r.i16();
  m.rgbgen_start = r.u32();
  m.rgbgen_end = r.u32();
  m.alphagen_style = r.u8();
  m.alphagen_phase = r.u8();
  m.alphagen_rate = r.i16();
  m.alphagen_start = r.i16();
  m.alphagen_end = r.i16();
  r.skip(36);
}

void encode(ByteWriter& w, const PartMotion& m) {
  w.u32(m.flags);
  w.u8(m.parent);
  w.u8(m.transform_as);
  w.u16(0);
  w.u32(m.matrix);
  if (m.flags & kMotionRotateFuncs) {
    for (const GeneratorField& g : m.rotate_funcs) encode(w, g);
  } else if (m.flags & kMotionRotateRates) {
    encode_vec(w, m.rotate_rates);
    w.zeros(12);
  } else {
    w.zeros(24);
  }
  if (m.flags & kMotionScaleThree) {
    for (const GeneratorField& g : m.scale_funcs) encode(w, g);
  } else if (m.flags & kMotionScaleOne) {
    encode(w, m.scale_funcs[0]);
    w.zeros(16);
  } else {
    w.zeros(24);
  }
  w.zeros(32);
}
void decode(ByteReader& r, PartMotion& m) {
  m.flags = r.u32();
  m.parent = r.u8();
  m.transform_as = r.u8();
  r.skip(2);
  m.matrix = r.u32();
  if (m.flags & kMotionRotateFuncs) {
    for (GeneratorField& g : m.rotate_funcs) decode(r, g);
  } else if (m.flags & kMotionRotateRates) {
    decode_vec(r, m.rotate_rates);
    r.skip(12);
  } else {
    r.skip(24);
  }
  if (m.flags & kMotionScaleThree) {
    for (GeneratorField& g : m.scale_funcs) decode(r, g);
  } else if (m.flags & kMotionScaleOne) {
    decode(r, m.scale_funcs[0]);
    r.skip(16);
  } else {
    r.skip(24);
  }
  r.skip(32);
}

void encode(ByteWriter& w, const Projector& p) {
  encode_floats(w, p.matrix);
  encode_floats(w, p.inverse);
  w.u32(p.material);
  w.zeros(100);
}
void decode(ByteReader& r, Projector& p) {
  decode_floats(r, p.matrix);
  decode_floats(r, p.inverse);
  p.material = r.u32();
  r.skip(100);
}

void encode(ByteWriter& w, const LightRecord& l) {
  w.u8(l.style);
  w.u8(l.phase);
  w.i16(l.rate);
  w.u32(l.start);
  w.u32(l.end);
  encode_vec(w, l.position);
  encode_floats(w, l.values);
  w.u8(l.extra);
  w.zeros(15);
}
void decode(ByteReader& r, LightRecord& l) {
  l.style = r.u8();
  l.phase = r.u8();
  l.rate = r.i16();
  l.start = r.u32();
  l.end = r.u32();
  decode_vec(r, l.position);
  decode_floats(r, l.values);
  l.extra = r.u8();
  r.skip(15);
}

void encode(ByteWriter& w, const Tangent& t) {
  encode_vec(w, t.tangent);
  encode_vec(w, t.binormal);
}
void decode(ByteReader& r, Tangent& t) {
  decode_vec(r, t.tangent);
  decode_vec(r, t.binormal);
}

// ---- the whole file: writing --------------------------------------------------

namespace {

std::optional<tools::Error> check_lod(const File3di& f, size_t index) {
  const RModel& lod = f.lods[index];
  const std::string where = lod_name(index) + ": ";
  std::string why = over_limit(lod.parts.size(), kMaxPartsPerLod, "parts in one LOD");
  if (why.empty()) why = over_limit(strip_count(lod), kMaxStripsPerLod, "strips in one LOD");
  if (!why.empty()) return writer_error(where + why);
  if (lod.skinned &&
      std::any_of(lod.parts.begin(), lod.parts.end(), [](const LodPart& p) { return !p.levels.empty(); })) {
    return writer_error(where + "a skinned LOD keeps its strips in its one strip group, not in its parts", k3diBadData);
  }
  if (!lod.skinned && !(lod.skin_group.class0.empty() && lod.skin_group.class1.empty())) {
    return writer_error(where + "a plain LOD keeps its strips in its parts' detail levels", k3diBadData);
  }
  const size_t motions = lod.part_motion ? lod.parts.size() : 0;
  if (lod.motions.size() != motions) {
    return writer_error(where + num(lod.motions.size()) + " part motion records for " + num(motions) + " parts",
                        k3diBadData);
  }
  const size_t vertices = f.vertex_count();
  auto check_strips = [&](const std::vector<Strip>& strips, bool skinned) {
    for (const Strip& s : strips) {
      const std::string w = strip_problem(s, lod.materials.size(), vertices, skinned);
      if (!w.empty()) return w;
    }
    return std::string();
  };
  why = check_strips(lod.skin_group.class0, true);
  if (why.empty()) why = check_strips(lod.skin_group.class1, true);
  for (const LodPart& p : lod.parts) {
    for (const StripGroup& g : p.levels) {
      if (why.empty()) why = check_strips(g.class0, false);
      if (why.empty()) why = check_strips(g.class1, false);
    }
  }
  for (const ActionPlane& a : lod.action_planes) {
    if (why.empty()) why = strip_problem(a.strip, lod.materials.size(), vertices, false);
  }
  for (const Projector& p : lod.projectors) {
    if (why.empty() && p.material >= lod.materials.size()) {
      why = "projector material " + num(p.material) + " is not below the LOD's material count " +
            num(lod.materials.size());
    }
  }
  for (const PartMotion& m : lod.motions) {
    if (why.empty()) why = motion_problem(m, f.matrices.size());
  }
  if (!why.empty())
    return writer_error(where + why, why.find("more than") != std::string::npos ? k3diDoesNotFit : k3diBadData);
  const uint64_t blob = rmodel_blob_size(lod);
  if (blob > std::numeric_limits<uint32_t>::max()) return writer_error(where + "blob of " + num(blob) + " bytes");
  return std::nullopt;
}

std::optional<tools::Error> check_file(const File3di& f) {
  const char kind = f.header.kind;
  if (kind != 'M' && kind != 'P' && kind != 'S') return writer_error("unknown mesh type", k3diBadKind);
  const size_t others =
      f.plain_vertices.size() + f.skinned_vertices.size() + f.old_skinned_vertices.size() - f.vertex_count();
  if (others != 0) {
    return writer_error(num(others) + " render vertices of another kind than the file's '" + std::string(1, kind) + "'",
                        k3diBadData);
  }
  std::string why = over_limit(f.lods.size(), kMaxLods, "LODs");
  if (why.empty() && f.lods.empty()) why = "no LOD; a file holds 1 to 4";
  if (why.empty()) why = over_limit(f.textures.size(), kMaxTextures, "textures");
  if (why.empty()) why = over_limit(f.matrices.size(), kMaxMatrices, "orientation matrices");
  if (why.empty()) why = over_limit(f.vertex_count(), std::numeric_limits<uint32_t>::max(), "render vertices");
  if (!why.empty()) return writer_error(why);
  for (const SkinnedVertex& v : f.skinned_vertices) {
    why = bone_problem(v);
    if (!why.empty()) return writer_error(why, k3diBadBone);
  }
  const uint64_t cblob = cmodel_blob_size(f.collision);
  if (cblob > std::numeric_limits<uint32_t>::max()) return writer_error("collision blob of " + num(cblob) + " bytes");
  for (const CollisionPart& p : f.collision.parts) {
    for (const CollisionFace& face : p.faces) {
      why = face_problem(face, p);
      if (!why.empty()) return writer_error(why, k3diBadData);
    }
  }
  for (size_t i = 0; i < f.lods.size(); ++i) {
    if (auto e = check_lod(f, i)) return e;
  }
  if (f.vstream && f.vstream->size() != f.vertex_count()) {
    return writer_error(num(f.vstream->size()) + " tangent entries for " + num(f.vertex_count()) + " render vertices",
                        k3diBadData);
  }
  if (f.occluders) {
    for (const Occluder& o : *f.occluders) {
      for (const OccluderFace& face : o.faces) {
        why = occluder_face_problem(face, o);
        if (!why.empty()) return writer_error(why, k3diBadData);
      }
    }
  }
  return std::nullopt;
}

void encode_header(ByteWriter& w, const File3di& f) {
  const FileHeader& h = f.header;
  w.u8('G');
  w.u8('P');
  w.u8(static_cast<uint8_t>(h.kind));
  w.u8(kFormatVersion);
  w.u32(h.revision);
  w.name(h.model_name);
  w.u32((f.lightinfo ? kFlagLightinfo : 0) | (f.vstream ? kFlagVStream : 0) | (f.occluders ? kFlagOccData : 0));
  w.u32(static_cast<uint32_t>(f.lods.size()));
  for (int32_t d : h.lod_distance) w.i32(d);
  w.zeros(16);
  for (uint32_t c : h.render_function) w.u32(c);
  w.zeros(16);
  w.i32(h.bounding_radius);
  w.i32(h.horizontal_radius);
  w.i32(h.height);
  w.zeros(28);
  w.u32(static_cast<uint32_t>(f.vertex_count()));
  w.zeros(36);
  w.u32(static_cast<uint32_t>(f.user_points.size()));
  w.zeros(8);
  w.u32(static_cast<uint32_t>(f.ctrl_regs.size()));
  w.u32(0);
  w.u32(static_cast<uint32_t>(f.matrices.size()));
  w.zeros(8);
  w.u32(static_cast<uint32_t>(f.occluders ? f.occluders->size() : 0));
  w.zeros(24);
}

void encode_cmodel(ByteWriter& w, const CModel& c) {
  size_t counts[5] = {};  // vertices, normals, faces, planes, volumes
  for (const CollisionPart& p : c.parts) {
    counts[0] += p.vertices.size();
    counts[1] += p.normals.size();
    counts[2] += p.faces.size();
    counts[4] += p.volumes.size();
    for (const CollisionVolume& v : p.volumes) counts[3] += v.planes.size();
  }
  w.u32(c.skinned);
  w.u32(static_cast<uint32_t>(cmodel_blob_size(c)));
  w.u32(0);
  w.i32(c.radius);
  w.i32(c.horizontal_radius);
  w.i32(c.height);
  encode_ints(w, c.box);
  for (size_t n : {counts[0], counts[1], counts[2], c.parts.size(), c.points.size(), counts[3], counts[4]}) {
    w.u32(static_cast<uint32_t>(n));
    w.u32(0);
  }
  w.zeros(36 - 4);  // the runtime slot after G is the first of these 36 bytes
  for (const CollisionPart& p : c.parts) {
    for (const CollisionVertex& v : p.vertices) encode(w, v);
  }
  for (const CollisionPart& p : c.parts) {
    for (const CollisionNormal& n : p.normals) encode(w, n);
  }
  for (const CollisionPart& p : c.parts) {
    for (const CollisionFace& f : p.faces) encode(w, f);
  }
  for (const CollisionPart& p : c.parts) {
    w.u32(p.flags);
    for (size_t n : {p.vertices.size(), p.faces.size(), p.normals.size(), p.volumes.size()}) {
      w.u32(static_cast<uint32_t>(n));
      w.u32(0);
    }
    w.i32(p.parent);
    w.zeros(12);
    encode_ints(w, p.pivot);
    encode_ints(w, p.box);
    encode_ints(w, p.centre);
    w.i32(p.radius);
    w.i32(p.horizontal_radius);
    w.i32(p.height);
    w.zeros(16);
  }
  for (const Vec3i& pt : c.points) encode_ints(w, pt);
  for (const CollisionPart& p : c.parts) {
    for (const CollisionVolume& v : p.volumes) {
      for (const VolumePlane& pl : v.planes) encode_ints(w, pl);
    }
  }
  for (const CollisionPart& p : c.parts) {
    for (const CollisionVolume& v : p.volumes) {
      w.u32(v.type);
      w.u32(v.flags);
      encode_ints(w, v.centre);
      w.i32(v.radius);
      w.i32(v.horizontal_radius);
      w.i32(v.height);
      encode_ints(w, v.half_size);
      w.u32(0);
      encode_ints(w, v.box);
      w.u32(static_cast<uint32_t>(v.planes.size()));
      w.u32(0);
      w.zeros(16);
    }
  }
}

void encode_rmodel(ByteWriter& w, const RModel& lod) {
  w.u32(static_cast<uint32_t>(rmodel_blob_size(lod)));
  for (size_t n : {lod.materials.size(), lod.parts.size(), lod.points.size()}) {
    w.u32(0);
    w.u32(static_cast<uint32_t>(n));
  }
  w.u32(0);
  for (int16_t v : lod.anim_frames) w.i16(v);
  for (int16_t v : lod.anim_times) w.i16(v);
  w.u32((lod.skinned ? kLodSkinned : 0) | (lod.part_motion ? kLodPartMotion : 0));
  w.zeros(12);
  w.u32(static_cast<uint32_t>(lod.action_planes.size()));
  w.u32(0);
  w.u32(static_cast<uint32_t>(lod.projectors.size()));
  w.zeros(28);

  for (const Vec3f& p : lod.points) encode_vec(w, p);
  for (const LodPart& p : lod.parts) {
    w.u32(0);
    w.u32(lod.skinned ? 1 : static_cast<uint32_t>(p.levels.size()));
    w.u32(0);
    w.i32(p.parent);
    encode_vec(w, p.relative_pivot);
    encode_vec(w, p.pivot);
    encode_vec(w, p.centre);
    w.i32(p.radius);
    w.zeros(16);
  }
  if (lod.skinned) {
    w.u32(0);
    w.u32(1);
    w.zeros(20);
    encode_group(w, lod.skin_group);
    encode_group_strips(w, lod.skin_group, true);
  } else {
    for (const LodPart& p : lod.parts) {
      for (const StripGroup& g : p.levels) encode_group(w, g);
    }
    for (const LodPart& p : lod.parts) {
      for (const StripGroup& g : p.levels) encode_group_strips(w, g, false);
    }
  }
  for (const Material& m : lod.materials) encode(w, m);
  for (const PartMotion& m : lod.motions) encode(w, m);
  for (const ActionPlane& a : lod.action_planes) {
    w.u32(a.type);
    encode_vec(w, a.point);
    encode_vec(w, a.normal);
    w.zeros(20);
    encode_strip_header(w, a.strip, false);
    encode_indices(w, a.strip);
  }
  for (const Projector& p : lod.projectors) encode(w, p);
}

}  // namespace

tools::Result<std::string> encode_3di(const File3di& f) {
  if (auto e = check_file(f)) return *e;
  ByteWriter w;
  encode_header(w, f);
  for (const UserPoint& p : f.user_points) encode(w, p);
  w.u32(static_cast<uint32_t>(f.textures.size()));
  for (size_t i = 0; i < f.textures.size(); ++i) encode(w, f.textures[i], static_cast<uint16_t>(i));
  encode_cmodel(w, f.collision);
  for (const PlainVertex& v : f.plain_vertices) encode(w, v);
  for (const SkinnedVertex& v : f.skinned_vertices) encode(w, v);
  for (const OldSkinnedVertex& v : f.old_skinned_vertices) {
    w.bytes(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
  }
  for (const RModel& lod : f.lods) encode_rmodel(w, lod);
  for (const CtrlReg& c : f.ctrl_regs) w.name(c);
  for (const RMatrix& m : f.matrices) encode_floats(w, m);
  if (f.lightinfo) {
    const Lightinfo& l = *f.lightinfo;
    w.u32(l.version);
    if (l.version < kLightinfoVersion) {
      w.u32(static_cast<uint32_t>(l.old_body.size()));
      w.bytes(std::string_view(reinterpret_cast<const char*>(l.old_body.data()), l.old_body.size()));
    } else {
      w.u32(static_cast<uint32_t>(kLightHeaderBytes + kLightRecordBytes * l.lights.size()));
      encode_light_generator(w, l.ambient);
      encode_light_generator(w, l.direct);
      w.u32(0);
      w.f32(-1.0f);
      w.u32(0);
      w.u32(static_cast<uint32_t>(l.lights.size()));
      w.zeros(20);
      for (const LightRecord& r : l.lights) encode(w, r);
    }
  }
  if (f.vstream) {
    w.u32(0);
    w.u32(static_cast<uint32_t>(kTangentBytes * f.vstream->size()));
    w.zeros(8);
    for (const Tangent& t : *f.vstream) encode(w, t);
  }
  if (f.occluders) {
    for (const Occluder& o : *f.occluders) {
      w.u8(o.kind);
      w.u8(o.first_number);
      w.u8(o.second_number);
      w.u8(0);
      encode_floats(w, o.sphere);
      for (size_t n : {o.vertices.size(), o.planes.size()}) {
        w.u32(static_cast<uint32_t>(n));
        w.u32(0);
      }
      w.u32(static_cast<uint32_t>(o.faces.size()));
      w.zeros(20);
    }
    for (const Occluder& o : *f.occluders) {
      for (const Vec3f& v : o.vertices) encode_vec(w, v);
      for (const auto& p : o.planes) encode_floats(w, p);
      for (const OccluderFace& face : o.faces) {
        for (uint8_t c : face.corners) w.u8(c);
        w.u8(face.flags);
        const auto& c = face.corners;
        w.u16(edge_key(c[0], c[1]));
        w.u16(edge_key(c[1], c[2]));
        w.u16(edge_key(c[2], c[0]));
        w.u16(0);
      }
    }
  }
  return w.take();
}

// ---- the whole file: reading ----------------------------------------------------

namespace {

class Decoder {
 public:
  Decoder(std::span<const uint8_t> bytes, const std::string& name) : r_(bytes, name) {}

  tools::Result<File3di> run() {
    if (header() && user_points() && textures() && cmodel() && vertices() && lods() && tables() && lightinfo() &&
        vstream() && occdata() && pending() && trailing()) {
      return std::move(f_);
    }
    return r_.error();
  }

 private:
  bool bad(size_t at, const std::string& text, int code = k3diBadData) {
    return r_.fail(at, text, code, code == k3diDoesNotFit ? tools::ErrorKind::kDoesNotFit : tools::ErrorKind::kBadData);
  }

  bool header() {
    if (!r_.fits(1, kFileHeaderBytes, "the file header")) return false;
    const uint8_t g = r_.u8(), p = r_.u8(), kind = r_.u8(), version = r_.u8();
    f_.header.revision = r_.u32();
    if (version != kFormatVersion) return bad(3, "incorrect version number", k3diBadVersion);
    if (static_cast<int32_t>(f_.header.revision) > static_cast<int32_t>(kRevision)) {
      return bad(4, "revision number newer than exe - update game GET", k3diBadRevision);
    }
    if (g != 'G' || p != 'P') return bad(0, "unknown mesh type", k3diBadKind);
    if (kind != 'M' && kind != 'S' && kind != 'P') return bad(2, "unknown mesh type", k3diBadKind);
    f_.header.kind = static_cast<char>(kind);
    r_.name(f_.header.model_name);
    flags_ = r_.u32();
    lod_count_ = r_.u32();
    for (int32_t& d : f_.header.lod_distance) d = r_.i32();
    r_.skip(16);
    for (uint32_t& c : f_.header.render_function) c = r_.u32();
    r_.skip(16);
    f_.header.bounding_radius = r_.i32();
    f_.header.horizontal_radius = r_.i32();
    f_.header.height = r_.i32();
    r_.skip(28);
    vertex_count_ = r_.u32();
    r_.skip(36);
    user_point_count_ = r_.u32();
    r_.skip(8);
    ctrl_reg_count_ = r_.u32();
    r_.skip(4);
    matrix_count_ = r_.u32();
    r_.skip(8);
    occluder_count_ = r_.u32();
    r_.skip(24);
    if (lod_count_ < 1 || lod_count_ > kMaxLods) {
      return bad(28, "LOD count " + num(lod_count_) + "; a file holds 1 to 4");
    }
    if (matrix_count_ > kMaxMatrices)
      return bad(196, over_limit(matrix_count_, kMaxMatrices, "orientation matrices"), k3diDoesNotFit);
    return r_.ok();
  }

  bool user_points() {
    if (!r_.fits(user_point_count_, kUserPointBytes, "the user points")) return false;
    f_.user_points.resize(user_point_count_);
    for (UserPoint& p : f_.user_points) decode(r_, p);
    return r_.ok();
  }

  bool textures() {
    const size_t at = r_.offset();
    const uint32_t count = r_.u32();
    if (r_.ok() && count > kMaxTextures) return bad(at, over_limit(count, kMaxTextures, "textures"), k3diDoesNotFit);
    if (!r_.fits(count, kTextureRecordBytes, "the texture table")) return false;
    f_.textures.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const size_t record = r_.offset();
      uint16_t index = 0;
      decode(r_, f_.textures[i], index);
      if (r_.ok() && index != i)
        return bad(record + 0x24, "texture index " + num(index) + " at table position " + num(i));
    }
    return r_.ok();
  }

  bool cmodel() {
    const size_t at = r_.offset();
    if (!r_.fits(1, kSectionHeaderBytes, "the collision header")) return false;
    CModel& c = f_.collision;
    c.skinned = r_.u32();
    const uint32_t blob = r_.u32();
    r_.skip(4);
    c.radius = r_.i32();
    c.horizontal_radius = r_.i32();
    c.height = r_.i32();
    decode_ints(r_, c.box);
    uint32_t n[7] = {};  // A..G
    for (uint32_t& v : n) {
      v = r_.u32();
      r_.skip(4);
    }
    r_.skip(32);
    const uint64_t formula = kCollisionVertexBytes * uint64_t{n[0]} + kCollisionNormalBytes * uint64_t{n[1]} +
                             kCollisionFaceBytes * uint64_t{n[2]} + kCollisionPartBytes * uint64_t{n[3]} +
                             kCollisionPointBytes * uint64_t{n[4]} + kVolumePlaneBytes * uint64_t{n[5]} +
                             kCollisionVolumeBytes * uint64_t{n[6]};
    if (blob != formula) {
      return bad(at + 4, "collision blob size " + num(blob) + " is not the " + num(formula) + " its counts give");
    }
    if (!r_.fits(blob, 1, "the collision blob")) return false;

    std::vector<CollisionVertex> verts(n[0]);
    for (CollisionVertex& v : verts) decode(r_, v);
    std::vector<CollisionNormal> normals(n[1]);
    for (CollisionNormal& nv : normals) {
      uint16_t axis = 0;
      decode(r_, nv, axis);
      if (r_.ok() && axis != dominant_axis(nv)) {
        return bad(r_.offset() - 2,
                   "normal axis code " + num(axis) + " where the normal gives " + num(dominant_axis(nv)));
      }
    }
    const size_t faces_at = r_.offset();
    std::vector<CollisionFace> faces(n[2]);
    for (CollisionFace& fc : faces) decode(r_, fc);
    const size_t parts_at = r_.offset();
    c.parts.resize(n[3]);
    std::vector<std::array<uint32_t, 4>> part_counts(n[3]);  // vertices, faces, normals, volumes
    for (size_t i = 0; i < c.parts.size(); ++i) {
      CollisionPart& p = c.parts[i];
      p.flags = r_.u32();
      for (uint32_t& v : part_counts[i]) {
        v = r_.u32();
        r_.skip(4);
      }
      p.parent = r_.i32();
      r_.skip(12);
      decode_ints(r_, p.pivot);
      decode_ints(r_, p.box);
      decode_ints(r_, p.centre);
      p.radius = r_.i32();
      p.horizontal_radius = r_.i32();
      p.height = r_.i32();
      r_.skip(16);
    }
    c.points.resize(n[4]);
    for (Vec3i& pt : c.points) decode_ints(r_, pt);
    std::vector<VolumePlane> planes(n[5]);
    for (VolumePlane& pl : planes) decode_ints(r_, pl);
    const size_t volumes_at = r_.offset();
    std::vector<CollisionVolume> volumes(n[6]);
    std::vector<uint32_t> plane_counts(n[6]);
    for (size_t i = 0; i < volumes.size(); ++i) {
      CollisionVolume& v = volumes[i];
      v.type = r_.u32();
      v.flags = r_.u32();
      decode_ints(r_, v.centre);
      v.radius = r_.i32();
      v.horizontal_radius = r_.i32();
      v.height = r_.i32();
      decode_ints(r_, v.half_size);
      r_.skip(4);
      decode_ints(r_, v.box);
      plane_counts[i] = r_.u32();
      r_.skip(20);
    }
    if (!r_.ok()) return false;

    // Hand out the arrays by the parts' and volumes' own counts.
    static const char* const kWhat[4] = {"vertex", "face", "normal", "volume"};
    const uint32_t totals[4] = {n[0], n[2], n[1], n[6]};
    for (size_t k = 0; k < 4; ++k) {
      uint64_t sum = 0;
      for (const auto& pc : part_counts) sum += pc[k];
      if (sum != totals[k]) {
        return bad(parts_at,
                   std::string("the parts' ") + kWhat[k] + " counts add up to " + num(sum) + ", not " + num(totals[k]));
      }
    }
    uint64_t plane_sum = 0;
    for (uint32_t pc : plane_counts) plane_sum += pc;
    if (plane_sum != n[5]) {
      return bad(volumes_at, "the volumes' plane counts add up to " + num(plane_sum) + ", not " + num(n[5]));
    }
    size_t next[4] = {};
    size_t next_plane = 0;
    for (size_t i = 0; i < c.parts.size(); ++i) {
      CollisionPart& p = c.parts[i];
      const auto& pc = part_counts[i];
      p.vertices.assign(verts.begin() + next[0], verts.begin() + next[0] + pc[0]);
      p.normals.assign(normals.begin() + next[2], normals.begin() + next[2] + pc[2]);
      for (uint32_t k = 0; k < pc[1]; ++k) {
        const size_t face = next[1] + k;
        const std::string why = face_problem(faces[face], p);
        if (!why.empty()) return bad(faces_at + face * kCollisionFaceBytes, why);
        p.faces.push_back(faces[face]);
      }
      for (uint32_t k = 0; k < pc[3]; ++k) {
        const size_t v = next[3] + k;
        CollisionVolume vol = std::move(volumes[v]);
        vol.planes.assign(planes.begin() + next_plane, planes.begin() + next_plane + plane_counts[v]);
        next_plane += plane_counts[v];
        p.volumes.push_back(std::move(vol));
      }
      for (size_t k = 0; k < 4; ++k) next[k] += pc[k];
    }
    return true;
  }

  bool vertices() {
    const char kind = f_.header.kind;
    const uint64_t size = kind == 'P' ? kSkinnedVertexBytes : kind == 'S' ? kOldSkinnedVertexBytes : kPlainVertexBytes;
    if (!r_.fits(vertex_count_, size, "the render vertices")) return false;
    if (kind == 'M') {
      f_.plain_vertices.resize(vertex_count_);
      for (PlainVertex& v : f_.plain_vertices) decode(r_, v);
    } else if (kind == 'S') {
      f_.old_skinned_vertices.resize(vertex_count_);
      for (OldSkinnedVertex& v : f_.old_skinned_vertices) {
        for (uint8_t& b : v) b = r_.u8();
      }
    } else {
      f_.skinned_vertices.resize(vertex_count_);
      for (SkinnedVertex& v : f_.skinned_vertices) {
        const size_t at = r_.offset();
        decode(r_, v);
        if (r_.ok() && !bone_problem(v).empty()) return bad(at + 0x18, bone_problem(v), k3diBadBone);
      }
    }
    return r_.ok();
  }

  bool lods() {
    f_.lods.resize(lod_count_);
    for (size_t i = 0; i < f_.lods.size(); ++i) {
      if (!rmodel(f_.lods[i], i)) return false;
    }
    return true;
  }

  bool rmodel(RModel& lod, size_t index) {
    const size_t at = r_.offset();
    const std::string where = lod_name(index) + ": ";
    if (!r_.fits(1, kSectionHeaderBytes, "the header of " + lod_name(index))) return false;
    const uint32_t blob = r_.u32();
    r_.skip(4);
    const uint32_t materials = r_.u32();
    r_.skip(4);
    const uint32_t parts = r_.u32();
    r_.skip(4);
    const uint32_t points = r_.u32();
    r_.skip(4);
    for (int16_t& v : lod.anim_frames) v = r_.i16();
    for (int16_t& v : lod.anim_times) v = r_.i16();
    const uint32_t flags = r_.u32();
    r_.skip(12);
    const uint32_t action_planes = r_.u32();
    r_.skip(4);
    const uint32_t projectors = r_.u32();
    r_.skip(28);
    lod.skinned = (flags & kLodSkinned) != 0;
    lod.part_motion = (flags & kLodPartMotion) != 0;
    if (parts > kMaxPartsPerLod)
      return bad(at + 0x10, where + over_limit(parts, kMaxPartsPerLod, "parts in one LOD"), k3diDoesNotFit);
    const size_t start = r_.offset();
    if (!r_.fits(blob, 1, "the blob of " + lod_name(index))) return false;
    const size_t vertices = f_.vertex_count();

    if (!r_.fits(points, kLodPointBytes, "the LOD points")) return false;
    lod.points.resize(points);
    for (Vec3f& p : lod.points) decode_vec(r_, p);
    if (!r_.fits(parts, kLodPartBytes, "the LOD parts")) return false;
    lod.parts.resize(parts);
    std::vector<uint32_t> levels(parts);
    for (size_t i = 0; i < parts; ++i) {
      LodPart& p = lod.parts[i];
      r_.skip(4);
      levels[i] = r_.u32();
      r_.skip(4);
      p.parent = r_.i32();
      decode_vec(r_, p.relative_pivot);
      decode_vec(r_, p.pivot);
      decode_vec(r_, p.centre);
      p.radius = r_.i32();
      r_.skip(16);
    }
    if (!r_.ok()) return false;

    const size_t strips_at = r_.offset();
    uint64_t strips = 0;
    std::vector<GroupCounts> groups;
    if (lod.skinned) {
      r_.skip(4);
      const uint32_t group_count = r_.u32();
      r_.skip(20);
      if (r_.ok() && group_count != 1)
        return bad(strips_at + 4, where + "skinned strip group count " + num(group_count) + ", not 1");
      groups.push_back(decode_group(r_));
    } else {
      for (uint32_t n : levels) {
        if (!r_.fits(n, kStripGroupBytes, "the strip groups")) return false;
        for (uint32_t k = 0; k < n; ++k) groups.push_back(decode_group(r_));
      }
    }
    for (const GroupCounts& g : groups) strips += uint64_t{g.class0} + g.class1;
    if (!r_.ok()) return false;
    if (strips > kMaxStripsPerLod)
      return bad(strips_at, where + over_limit(strips, kMaxStripsPerLod, "strips in one LOD"), k3diDoesNotFit);
    auto read_group = [&](StripGroup& g, const GroupCounts& c) {
      return decode_strips(r_, g.class0, c.class0, lod.skinned, materials, vertices) &&
             decode_strips(r_, g.class1, c.class1, lod.skinned, materials, vertices);
    };
    if (lod.skinned) {
      if (!read_group(lod.skin_group, groups[0])) return false;
    } else {
      size_t next = 0;
      for (size_t i = 0; i < parts; ++i) {
        lod.parts[i].levels.resize(levels[i]);
        for (StripGroup& g : lod.parts[i].levels) {
          if (!read_group(g, groups[next++])) return false;
        }
      }
    }

    if (!r_.fits(materials, kMaterialBytes, "the materials")) return false;
    lod.materials.resize(materials);
    for (Material& m : lod.materials) decode(r_, m);
    if (lod.part_motion) {
      if (!r_.fits(parts, kPartMotionBytes, "the part motion records")) return false;
      lod.motions.resize(parts);
      for (PartMotion& m : lod.motions) {
        motion_at_.emplace_back(r_.offset(), &m);
        decode(r_, m);
      }
    }
    if (!r_.fits(action_planes, kActionPlaneBytes, "the action planes")) return false;
    lod.action_planes.resize(action_planes);
    for (ActionPlane& a : lod.action_planes) {
      const size_t record = r_.offset();
      a.type = r_.u32();
      decode_vec(r_, a.point);
      decode_vec(r_, a.normal);
      r_.skip(20);
      const uint16_t n = decode_strip_header(r_, a.strip, false);
      if (!decode_indices(r_, a.strip, n)) return false;
      const std::string why = strip_problem(a.strip, materials, vertices, false);
      if (!why.empty()) return bad(record + 0x30, where + why);
    }
    if (!r_.fits(projectors, kProjectorBytes, "the projectors")) return false;
    lod.projectors.resize(projectors);
    for (Projector& p : lod.projectors) {
      const size_t record = r_.offset();
      decode(r_, p);
      if (r_.ok() && p.material >= materials) {
        return bad(record + 128, where + "projector material " + num(p.material) + " is not below the material count " +
                                     num(materials));
      }
    }
    if (!r_.ok()) return false;
    if (r_.offset() - start != blob) {
      return bad(at,
                 where + "blob size " + num(blob) + " where its contents take " + num(r_.offset() - start) + " bytes");
    }
    return true;
  }

  bool tables() {
    if (!r_.fits(ctrl_reg_count_, kCtrlRegBytes, "the control register table")) return false;
    f_.ctrl_regs.resize(ctrl_reg_count_);
    for (CtrlReg& c : f_.ctrl_regs) r_.name(c);
    if (!r_.fits(matrix_count_, kRMatrixBytes, "the matrix table")) return false;
    f_.matrices.resize(matrix_count_);
    for (RMatrix& m : f_.matrices) decode_floats(r_, m);
    return r_.ok();
  }

  bool lightinfo() {
    if (!(flags_ & kFlagLightinfo)) return true;
    const size_t at = r_.offset();
    Lightinfo l;
    l.version = r_.u32();
    const uint32_t size = r_.u32();
    if (!r_.ok()) return false;
    if (l.version < kLightinfoVersion) {
      if (!r_.fits(size, 1, "the light section")) return false;
      l.old_body.resize(size);
      for (uint8_t& b : l.old_body) b = r_.u8();
    } else {
      if (!r_.fits(1, kLightHeaderBytes, "the light header")) return false;
      decode_light_generator(r_, l.ambient);
      decode_light_generator(r_, l.direct);
      r_.skip(12);
      const uint32_t count = r_.u32();
      r_.skip(20);
      const uint64_t expected = kLightHeaderBytes + kLightRecordBytes * uint64_t{count};
      if (size != expected) return bad(at + 4, "light section size " + num(size) + " for " + num(count) + " lights");
      if (!r_.fits(count, kLightRecordBytes, "the lights")) return false;
      l.lights.resize(count);
      for (LightRecord& rec : l.lights) decode(r_, rec);
    }
    f_.lightinfo = std::move(l);
    return r_.ok();
  }

  bool vstream() {
    if (!(flags_ & kFlagVStream)) return true;
    const size_t at = r_.offset();
    r_.skip(4);
    const uint32_t size = r_.u32();
    r_.skip(8);
    const uint64_t expected = kTangentBytes * uint64_t{vertex_count_};
    if (r_.ok() && size != 0 && size != expected) {
      return bad(at + 4, "tangent stream size " + num(size) + " for " + num(vertex_count_) + " render vertices");
    }
    if (!r_.fits(vertex_count_, kTangentBytes, "the tangent stream")) return false;
    f_.vstream.emplace(vertex_count_);
    for (Tangent& t : *f_.vstream) decode(r_, t);
    return r_.ok();
  }

  bool occdata() {
    if (!(flags_ & kFlagOccData)) return true;
    if (!r_.fits(occluder_count_, kOccluderBytes, "the occluders")) return false;
    auto& occluders = f_.occluders.emplace(occluder_count_);
    std::vector<std::array<uint32_t, 3>> counts(occluder_count_);
    for (size_t i = 0; i < occluders.size(); ++i) {
      Occluder& o = occluders[i];
      o.kind = r_.u8();
      o.first_number = r_.u8();
      o.second_number = r_.u8();
      r_.skip(1);
      decode_floats(r_, o.sphere);
      counts[i][0] = r_.u32();
      r_.skip(4);
      counts[i][1] = r_.u32();
      r_.skip(4);
      counts[i][2] = r_.u32();
      r_.skip(20);
    }
    for (size_t i = 0; i < occluders.size(); ++i) {
      Occluder& o = occluders[i];
      if (!r_.fits(counts[i][0], kOccluderVertexBytes, "occluder vertices")) return false;
      o.vertices.resize(counts[i][0]);
      for (Vec3f& v : o.vertices) decode_vec(r_, v);
      if (!r_.fits(counts[i][1], kOccluderPlaneBytes, "occluder planes")) return false;
      o.planes.resize(counts[i][1]);
      for (auto& p : o.planes) decode_floats(r_, p);
      if (!r_.fits(counts[i][2], kOccluderFaceBytes, "occluder faces")) return false;
      o.faces.resize(counts[i][2]);
      for (OccluderFace& face : o.faces) {
        const size_t at = r_.offset();
        for (uint8_t& c : face.corners) c = r_.u8();
        face.flags = r_.u8();
        const auto& c = face.corners;
        const uint16_t keys[3] = {r_.u16(), r_.u16(), r_.u16()};
        r_.skip(2);
        if (!r_.ok()) return false;
        const std::string why = occluder_face_problem(face, o);
        if (!why.empty()) return bad(at, why);
        const uint16_t want[3] = {edge_key(c[0], c[1]), edge_key(c[1], c[2]), edge_key(c[2], c[0])};
        for (size_t k = 0; k < 3; ++k) {
          if (keys[k] != want[k]) {
            return bad(at + 4 + 2 * k, "edge key " + num(keys[k]) + " where the corners give " + num(want[k]));
          }
        }
      }
    }
    return r_.ok();
  }

  // Checks that need a later section: part motion matrices.
  bool pending() {
    for (const auto& [at, m] : motion_at_) {
      const std::string why = motion_problem(*m, f_.matrices.size());
      if (!why.empty()) return bad(at + 8, why);
    }
    return true;
  }

  bool trailing() {
    if (r_.left() == 0) return true;
    return bad(r_.offset(), num(r_.left()) + " bytes after the last section");
  }

  ByteReader r_;
  File3di f_;
  uint32_t flags_ = 0, lod_count_ = 0, vertex_count_ = 0, user_point_count_ = 0;
  uint32_t ctrl_reg_count_ = 0, matrix_count_ = 0, occluder_count_ = 0;
  std::vector<std::pair<size_t, const PartMotion*>> motion_at_;
};

}  // namespace

tools::Result<File3di> decode_3di(std::span<const uint8_t> bytes, const std::string& name_for_errors) {
  return Decoder(bytes, name_for_errors).run();
}

}  // namespace orvo::file3di
