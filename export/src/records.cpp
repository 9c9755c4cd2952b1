#include "records.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "orvo/export/collision.h"
#include "orvo/export/fixed_point.h"
#include "orvo/export/model_tables.h"
#include "orvo/model/generators.h"

namespace orvo::export3di {

namespace {

// Converts the generator values of one material, part or light; the first
// value that does not fit its field is kept as the error.
class Fields {
 public:
  Fields(const std::vector<std::string>& registers, std::string what) : registers_(registers), what_(std::move(what)) {}

  int16_t i16(double value, double scale, const char* field) {
    const std::optional<int16_t> v = fixed::to_fixed<int16_t>(value * scale, 0);
    if (!v) fail(field, value);
    return v.value_or(0);
  }
  // The phase byte, or the register index of a register-driven style.
  uint8_t phase_or_register(int style, float phase, std::string_view reg) {
    if (style_uses_ctrlreg(style)) return static_cast<uint8_t>(control_register_index(registers_, reg));
    double turns = std::fmod(static_cast<double>(phase), 1.0);
    if (turns < 0) turns += 1.0;
    if (!std::isfinite(turns)) turns = 0;
    return static_cast<uint8_t>(std::min(255.0, std::trunc(turns * 256.0)));
  }
  // A generator field: start and end times `scale` (256 for texture
  // coordinates and scales, 16384 / 360 for angles).
  f3::GeneratorField field(const Generator& g, double scale, const char* name) {
    f3::GeneratorField f;
    f.style = static_cast<uint8_t>(g.style);
    f.index_or_phase = phase_or_register(g.style, g.phase, g.ctrlreg.view());
    f.rate = i16(g.rate, 256, name);
    f.start = i16(g.start, scale, name);
    f.end = i16(g.end, scale, name);
    return f;
  }
  tools::Status status() const { return error_ ? tools::Status(*error_) : tools::Status(); }

 private:
  void fail(const char* field, double value) {
    if (error_) return;
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    error_ = export_error(what_ + ": " + field + " value " + text + " does not fit its 16-bit field");
  }
  const std::vector<std::string>& registers_;
  std::string what_;
  std::optional<tools::Error> error_;
};

constexpr double kTextureScale = 256.0;
constexpr double kAngleScale = 16384.0 / 360.0;

// A decimal number of one or two digits at name[i], name[i + 1]; characters
// that are no digit do not count.
uint8_t name_number(std::string_view name, std::size_t i) {
  int value = 0;
  for (std::size_t k = i; k < i + 2 && k < name.size(); ++k)
    if (name[k] >= '0' && name[k] <= '9') value = value * 10 + (name[k] - '0');
  return static_cast<uint8_t>(value);
}

f3::LightGenerator light_generator(const ColorGenerator& g, const std::vector<std::string>& registers) {
  Fields fields(registers, "light");
  f3::LightGenerator r;
  r.style = static_cast<uint8_t>(g.style);
  r.phase = fields.phase_or_register(g.style, g.phase, g.ctrlreg.view());
  r.rate = static_cast<int16_t>(std::clamp(std::trunc(g.rate * 256.0), -32768.0, 32767.0));
  r.start = packed(g.start_red, g.start_green, g.start_blue);
  r.end = packed(g.end_red, g.end_green, g.end_blue);
  return r;
}

}  // namespace

tools::Result<int32_t> fixed16(float v, const std::string& what) {
  const std::optional<int32_t> f = fixed::to_16_16(v);
  if (!f) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return export_error(what + ": " + text + " does not fit 16.16");
  }
  return *f;
}

tools::Result<f3::Vec3i> fixed16(float x, float y, float z, const std::string& what) {
  tools::Result<int32_t> a = fixed16(x, what), b = fixed16(y, what), c = fixed16(z, what);
  if (!a) return a.error();
  if (!b) return b.error();
  if (!c) return c.error();
  return f3::Vec3i{*a, *b, *c};
}

tools::Result<f3::Material> material_record(const Model& level, int index, const MaterialTextures& textures,
                                            const std::vector<std::string>& registers) {
  const ModelMaterial& m = level.materials[static_cast<std::size_t>(index)];
  Fields fields(registers, "material " + std::to_string(index) + " (" + m.name.str() + ")");
  f3::Material r;
  r.name = m.name.view();
  const int32_t ra = m.render_attributes;
  uint32_t flags = 0;
  if (ra & kRenderTwoSided) flags |= f3::kMaterialTwoSided;
  if ((ra & kRenderAlphaTest) && !(ra & kRenderAlphaTestInvert)) flags |= f3::kMaterialAlphaTest;
  if ((ra & kRenderAlphaTest) && (ra & kRenderAlphaTestInvert)) flags |= f3::kMaterialAlphaTestInverted;
  if (ra & kRenderUvClamp) flags |= f3::kMaterialUvClamp;
  if ((ra & kRenderTextureAnimation) || m.anim_frames != 0) flags |= f3::kMaterialTextureAnimation;
  if (m.mapfunc_u.style != 0 || m.mapfunc_v.style != 0) flags |= f3::kMaterialMapFunctions;
  if (m.rgbgen.style != 0) flags |= f3::kMaterialRgbGen;
  if (m.alphagen.style != 0) flags |= f3::kMaterialAlphaGen;
  if (ra & kRenderNoGameDiffuse) flags |= f3::kMaterialNoGameDiffuse;
  if (m.shader_type != 0) flags |= f3::kMaterialShader;
  if (m.actionplane_type == 1) flags |= f3::kMaterialMirror;
  if (m.projector_no_receive != 0) flags |= f3::kMaterialNoReceiveProjector;
  if (ra & kRenderNotReflectable) flags |= f3::kMaterialNotReflectable;
  if (ra & kRenderLessFog) flags |= f3::kMaterialLessFog;
  r.flags = flags;
  r.anim_time = fields.i16(m.anim_time, 100, "anim_time");
  r.anim_frames = static_cast<uint8_t>(m.anim_frames);
  r.anim_sequence = static_cast<uint8_t>(m.anim_sequence);
  for (std::size_t set = 0; set < 4; ++set)
    for (std::size_t c = 0; c < 3; ++c) r.colours[3 * set + c] = m.color_green[c];
  r.colour_textures = {textures.colour, textures.colour, textures.colour};
  r.alpha_texture = textures.alpha;
  if (m.reflect_type != 0) {
    r.reflect_colour = packed(m.reflect_r, m.reflect_g, m.reflect_b);
    const int t = m.reflect_type;
    r.reflect_type = static_cast<uint8_t>((((t >> 8) & 3) * 16 + ((t >> 4) & 3)) * 4 + (t & 3));
    r.reflect_alpha = static_cast<uint8_t>(m.reflect_alpha);
  }
  r.shader_type = static_cast<uint8_t>(m.shader_type);
  r.color_type = static_cast<uint8_t>(m.color_type);
  r.alpha_type = static_cast<uint8_t>(m.alpha_type);
  r.transparency = static_cast<uint8_t>(m.transparency);
  r.alpha_test = m.alpha_test;
  r.blending_mode = static_cast<uint8_t>(m.blending_mode);
  const bool next_is_layer =
      index + 1 < level.num_materials &&
      (level.materials[static_cast<std::size_t>(index + 1)].multitexture_flags & kMultiTextureSecondLayer) != 0;
  r.second_layer = (m.multitexture_flags & kMultiTextureSecondLayer) != 0 || next_is_layer ? 1 : 0;
  r.u_offset = m.u_offset;
  r.v_offset = m.v_offset;
  r.u_tiling = m.u_tiling;
  r.v_tiling = m.v_tiling;
  r.mapfunc_u = fields.field(m.mapfunc_u, kTextureScale, "mapfunc_u");
  r.mapfunc_v = fields.field(m.mapfunc_v, kTextureScale, "mapfunc_v");
  r.rgbgen_style = static_cast<uint8_t>(m.rgbgen.style);
  r.rgbgen_phase = fields.phase_or_register(m.rgbgen.style, m.rgbgen.phase, m.rgbgen.ctrlreg.view());
  r.rgbgen_rate = fields.i16(m.rgbgen.rate, 256, "rgbgen rate");
  r.rgbgen_start = packed(m.rgbgen.start_red, m.rgbgen.start_green, m.rgbgen.start_blue);
  r.rgbgen_end = packed(m.rgbgen.end_red, m.rgbgen.end_green, m.rgbgen.end_blue);
  r.alphagen_style = static_cast<uint8_t>(m.alphagen.style);
  r.alphagen_phase = fields.phase_or_register(m.alphagen.style, m.alphagen.phase, m.alphagen.ctrlreg.view());
  r.alphagen_rate = fields.i16(m.alphagen.rate, 256, "alphagen rate");
  r.alphagen_start = fields.i16(m.alphagen.start, 1, "alphagen start");
  r.alphagen_end = fields.i16(m.alphagen.end, 1, "alphagen end");
  if (tools::Status s = fields.status(); !s) return s.error();
  return r;
}

tools::Result<f3::PartMotion> part_motion(const Model& level, int part, int matrix,
                                          const std::vector<std::string>& registers) {
  const PartAnimation& a = level.part_anims[static_cast<std::size_t>(part)];
  Fields fields(registers, subobject_label(part) + " motion");
  f3::PartMotion r;
  uint32_t flags = 0;
  switch (a.rotate_type) {
    case 0: break;
    case 1: flags |= f3::kMotionMoves | f3::kMotionRotateRates; break;
    case 2:
      flags |= f3::kMotionMoves | f3::kMotionRotateFuncs | (a.reverserotate != 0 ? f3::kMotionReverseOrder : 0u);
      break;
    case 3: flags |= f3::kMotionMoves | f3::kMotionFaceCamera; break;
    case 4: flags |= f3::kMotionMoves | f3::kMotionFaceCameraUpright; break;
    default: flags |= f3::kMotionMoves; break;
  }
  switch (a.scale_type) {
    case 0: break;
    case 1: flags |= f3::kMotionMoves | f3::kMotionScaleOne; break;
    case 2: flags |= f3::kMotionMoves | f3::kMotionScaleThree; break;
    default: flags |= f3::kMotionMoves; break;
  }
  r.flags = flags;
  r.parent = static_cast<uint8_t>(level.subobjects[static_cast<std::size_t>(part)].parent);
  r.transform_as = static_cast<uint8_t>(a.transform_as);
  r.matrix = static_cast<uint32_t>(matrix);
  if (a.rotate_type == 1) r.rotate_rates = {a.yaw_rate, a.pitch_rate, a.roll_rate};
  if (a.rotate_type == 2) {
    r.rotate_funcs = {fields.field(a.yaw_func, kAngleScale, "yaw_func"),
                      fields.field(a.pitch_func, kAngleScale, "pitch_func"),
                      fields.field(a.roll_func, kAngleScale, "roll_func")};
  }
  if (a.scale_type == 1) r.scale_funcs[0] = fields.field(a.scale_func, kTextureScale, "scale_func");
  if (a.scale_type == 2) {
    r.scale_funcs = {fields.field(a.scalex_func, kTextureScale, "scalex_func"),
                     fields.field(a.scaley_func, kTextureScale, "scaley_func"),
                     fields.field(a.scalez_func, kTextureScale, "scalez_func")};
  }
  if (tools::Status s = fields.status(); !s) return s.error();
  return r;
}

tools::Result<std::vector<f3::UserPoint>> user_points(const Model& lod0) {
  std::vector<f3::UserPoint> out;
  for (const UserPoint& p : lod0.userpts) {
    f3::UserPoint r;
    const std::string what = "user point " + p.name.str();
    tools::Result<f3::Vec3i> pos = fixed16(p.x, p.y, p.z, what);
    if (!pos) return pos.error();
    tools::Result<f3::Vec3i> vec = fixed16(p.rows[1].x, p.rows[1].y, p.rows[1].z, what);
    if (!vec) return vec.error();
    r.position = *pos;
    r.vector = *vec;
    r.value = static_cast<uint32_t>(p.subobj);
    r.type = static_cast<uint8_t>(p.kind);
    const std::string_view name = p.name.view();
    if (p.kind == 'L' && !name.empty() && name[0] == 'S') {
      r.first_number = name_number(name, 2);
      r.second_number = name_number(name, 5);
    }
    r.name = name;
    out.push_back(r);
  }
  return out;
}

f3::Lightinfo lightinfo(const Model& lod0, const std::vector<std::string>& registers) {
  f3::Lightinfo info;
  info.ambient = light_generator(lod0.ambient, registers);
  info.direct = light_generator(lod0.direct, registers);
  for (const ModelLight& l : lod0.lights) {
    f3::LightRecord r;
    if (l.colorgen.style == 0) {
      r.style = kStyleSet;
      const auto c = [](float v) { return static_cast<int>(std::trunc(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
      r.start = packed(c(l.r), c(l.g), c(l.b));
    } else {
      const f3::LightGenerator g = light_generator(l.colorgen, registers);
      r.style = g.style;
      r.phase = g.phase;
      r.rate = g.rate;
      r.start = g.start;
      r.end = g.end;
    }
    r.position = file_axes(l.x, l.y, l.z);
    r.values = {l.atten_start, l.atten_end};
    r.extra = static_cast<uint8_t>(l.subobj);
    info.lights.push_back(r);
  }
  return info;
}

// The frame a projector material projects from: its last face (parts and
// faces in order), turned by the material's yaw and pitch.
f3::Projector projector_record(const Model& level, int material) {
  const Face* last = nullptr;
  const SubObject* owner = nullptr;
  for (const SubObject& part : level.subobjects)
    for (const Face& f : part.faces)
      if (f.material == material) {
        last = &f;
        owner = &part;
      }
  Vec3 t{1, 0, 0}, b{0, 1, 0}, n{0, 0, 1}, centre{};
  if (last != nullptr) {
    const auto corner = [&](int k) {
      const int32_t v = last->v[static_cast<std::size_t>(k)];
      const Vertex& p = v >= 0 && static_cast<std::size_t>(v) < owner->verts.size()
                            ? owner->verts[static_cast<std::size_t>(v)]
                            : Vertex{};
      return Vec3{p.x, p.y, p.z};
    };
    const Vec3 p0 = corner(0), p1 = corner(1), p2 = corner(2);
    centre = {(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3, (p0.z + p1.z + p2.z) / 3};
    const Vec3 nn{last->nx, last->ny, last->nz};
    const float nl = std::sqrt(nn.x * nn.x + nn.y * nn.y + nn.z * nn.z);
    if (nl > 0) {
      n = {nn.x / nl, nn.y / nl, nn.z / nl};
      Vec3 e{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
      const float d = e.x * n.x + e.y * n.y + e.z * n.z;
      e = {e.x - n.x * d, e.y - n.y * d, e.z - n.z * d};
      const float el = std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z);
      if (el > 0) {
        t = {e.x / el, e.y / el, e.z / el};
        b = {n.y * t.z - n.z * t.y, n.z * t.x - n.x * t.z, n.x * t.y - n.y * t.x};
      }
    }
  }
  const ModelMaterial& m = level.materials[static_cast<std::size_t>(material)];
  const double pi = 3.14159265358979323846;
  const auto turn = [](Vec3& a, Vec3& c, double angle) {  // a and c turned in their plane
    const float cs = static_cast<float>(std::cos(angle)), sn = static_cast<float>(std::sin(angle));
    const Vec3 a2{a.x * cs + c.x * sn, a.y * cs + c.y * sn, a.z * cs + c.z * sn};
    const Vec3 c2{c.x * cs - a.x * sn, c.y * cs - a.y * sn, c.z * cs - a.z * sn};
    a = a2;
    c = c2;
  };
  turn(t, b, m.projector_yaw * pi / 180.0);    // about the normal
  turn(b, n, m.projector_pitch * pi / 180.0);  // about the turned tangent
  f3::Projector p;
  const f3::Vec3f rows[4] = {file_axes(t), file_axes(b), file_axes(n), file_axes(centre)};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) p.matrix[static_cast<std::size_t>(4 * r + c)] = rows[r][static_cast<std::size_t>(c)];
  p.matrix[15] = 1;
  // The rows are orthonormal: the inverse is the transposed rotation and the
  // translation taken back through it.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      p.inverse[static_cast<std::size_t>(4 * r + c)] = p.matrix[static_cast<std::size_t>(4 * c + r)];
  for (int c = 0; c < 3; ++c) {
    float s = 0;
    for (int k = 0; k < 3; ++k)
      s += p.matrix[static_cast<std::size_t>(12 + k)] * p.inverse[static_cast<std::size_t>(4 * k + c)];
    p.inverse[static_cast<std::size_t>(12 + c)] = -s;
  }
  p.inverse[15] = 1;
  p.material = static_cast<uint32_t>(material);
  return p;
}

namespace {

// One occluder: its kind from the volume type, its numbers, sphere,
// vertices, box planes (file axes) and faces with their edge visibility.
tools::Result<f3::Occluder> occluder_record(const BoundingObject& b) {
  f3::Occluder o;
  switch (b.type) {
    case 21: o.kind = 1; break;
    case 22: o.kind = b.subobj2 != 0 ? 3 : 2; break;
    case 23: o.kind = 4; break;
    default: o.kind = 0; break;
  }
  o.first_number = static_cast<uint8_t>(b.subobj);
  o.second_number = static_cast<uint8_t>(b.subobj2);
  o.sphere = {b.cx, b.cy, b.cz, b.radius};
  for (const Vertex& v : b.verts) o.vertices.push_back(file_axes(v.x, v.y, v.z));
  for (const auto& p : volume_shape(b).planes) {
    const f3::Vec3f n = file_axes(p[0], p[1], p[2]);
    o.planes.push_back({n[0], n[1], n[2], p[3]});
  }
  for (const Face& f : b.faces) {
    f3::OccluderFace of;
    for (std::size_t k = 0; k < 3; ++k) {
      if (f.v[k] < 0 || f.v[k] > 127 || static_cast<std::size_t>(f.v[k]) >= b.verts.size()) {
        return export_error("occluder " + b.name.str() + ": corner " + std::to_string(f.v[k]) +
                            " cannot be stored (an occluder has at most 128 vertices)");
      }
      of.corners[k] = static_cast<uint8_t>(f.v[k]);
    }
    of.flags = static_cast<uint8_t>((f.edge[0] != 0 ? 1 : 0) | (f.edge[1] != 0 ? 2 : 0) | (f.edge[2] != 0 ? 4 : 0));
    o.faces.push_back(of);
  }
  return o;
}

}  // namespace

tools::Result<std::vector<f3::Occluder>> occluder_records(const Model& lod0, const std::vector<int>& indices) {
  std::vector<f3::Occluder> occluders;
  for (int index : indices) {
    tools::Result<f3::Occluder> o = occluder_record(lod0.bobj[static_cast<std::size_t>(index)]);
    if (!o) return o.error();
    occluders.push_back(std::move(*o));
  }
  return occluders;
}

}  // namespace orvo::export3di
