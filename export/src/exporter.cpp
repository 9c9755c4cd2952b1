#include "orvo/export/exporter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

#include "orvo/export/collision.h"
#include "orvo/export/fixed_point.h"
#include "orvo/export/model_tables.h"
#include "orvo/export/part_strips.h"
#include "orvo/export/skinned.h"
#include "orvo/export/vertex_table.h"
#include "tools/base/file_io.h"

namespace orvo {

namespace {

namespace f3 = file3di;

constexpr int32_t kSkinnedAttribute = 4;
constexpr int32_t kSkipMaterial = 0x20;
constexpr int kRegisterStyle = 0x70;

tools::Error export_error(std::string message) {
  return tools::Error{1, std::move(message), {}, tools::ErrorKind::kDoesNotFit};
}

bool holds_parts(const Model* m) {
  return m != nullptr && m->present();
}
bool skinned(const Model& m) {
  return (m.attributes & kSkinnedAttribute) != 0;
}

f3::Vec3f file_axes(float x, float y, float z) {
  return {-y, z, x};
}
f3::Vec3f file_axes(const Vec3& v) {
  return file_axes(v.x, v.y, v.z);
}
f3::Vec3f as_array(const Vec3& v) {
  return {v.x, v.y, v.z};
}

uint32_t packed(int r, int g, int b) {
  const auto byte = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return byte(r) << 16 | byte(g) << 8 | byte(b);
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
    if (style > kRegisterStyle) return static_cast<uint8_t>(control_register_index(registers_, reg));
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

tools::Result<f3::Material> material_record(const Model& level, int index, const MaterialTextures& textures,
                                            const std::vector<std::string>& registers) {
  const ModelMaterial& m = level.materials[static_cast<std::size_t>(index)];
  Fields fields(registers, "material " + std::to_string(index) + " (" + m.name.str() + ")");
  f3::Material r;
  r.name = m.name.view();
  const int32_t ra = m.render_attributes;
  uint32_t flags = 0;
  if (ra & 0x1) flags |= 0x1;
  if ((ra & 0x400) && !(ra & 0x1000)) flags |= 0x2;
  if ((ra & 0x400) && (ra & 0x1000)) flags |= 0x4;
  if (ra & 0x800) flags |= 0x8;
  if ((ra & 0x100) || m.anim_frames != 0) flags |= 0x10;
  if (m.mapfunc_u.style != 0 || m.mapfunc_v.style != 0) flags |= 0x20;
  if (m.rgbgen.style != 0) flags |= 0x40;
  if (m.alphagen.style != 0) flags |= 0x80;
  if (ra & 0x10000) flags |= 0x100;
  if (m.shader_type != 0) flags |= 0x200;
  if (m.actionplane_type == 1) flags |= 0x10000;
  if (m.projector_no_receive != 0) flags |= 0x20000;
  if (ra & 0x100000) flags |= 0x40000;
  if (ra & 0x400000) flags |= 0x100000;
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
  const bool next_is_layer = index + 1 < level.num_materials &&
                             (level.materials[static_cast<std::size_t>(index + 1)].multitexture_flags & 2) != 0;
  r.second_layer = (m.multitexture_flags & 2) != 0 || next_is_layer ? 1 : 0;
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
    case 1: flags |= 0x3; break;
    case 2: flags |= 0x5 | (a.reverserotate != 0 ? 0x8 : 0); break;
    case 3: flags |= 0x101; break;
    case 4: flags |= 0x201; break;
    default: flags |= 0x1; break;
  }
  switch (a.scale_type) {
    case 0: break;
    case 1: flags |= 0x11; break;
    case 2: flags |= 0x21; break;
    default: flags |= 0x1; break;
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

// A decimal number of one or two digits at name[i], name[i + 1]; characters
// that are no digit do not count.
uint8_t name_number(std::string_view name, std::size_t i) {
  int value = 0;
  for (std::size_t k = i; k < i + 2 && k < name.size(); ++k)
    if (name[k] >= '0' && name[k] <= '9') value = value * 10 + (name[k] - '0');
  return static_cast<uint8_t>(value);
}

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

f3::Lightinfo lightinfo(const Model& lod0, const std::vector<std::string>& registers) {
  f3::Lightinfo info;
  info.ambient = light_generator(lod0.ambient, registers);
  info.direct = light_generator(lod0.direct, registers);
  for (const ModelLight& l : lod0.lights) {
    f3::LightRecord r;
    if (l.colorgen.style == 0) {
      r.style = 0x18;
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

}  // namespace

tools::Result<f3::File3di> build_3di(const ExportRequest& request, ExportStats* stats_out) {
  ExportStats stats;
  Clock clock;
  tools::UserNotifier* notifier = request.notifier;
  const std::string title = "Exporting '" + request.output_path + "'";
  const auto status = [&](const char* stage) {
    if (notifier != nullptr) notifier->status(stage == nullptr ? title : title + "\r\n" + stage);
  };
  status(nullptr);

  const std::array<const Model*, 4>& slots = request.slots;
  if (!holds_parts(slots[0])) return export_error("LOD 0 has no parts: there is nothing to export");
  int lod_count = 1;
  while (lod_count < 4 && holds_parts(slots[static_cast<std::size_t>(lod_count)])) ++lod_count;
  const std::array<const Model*, 4> present{slots[0], lod_count > 1 ? slots[1] : nullptr,
                                            lod_count > 2 ? slots[2] : nullptr, lod_count > 3 ? slots[3] : nullptr};
  for (int i = 0; i < lod_count; ++i) {
    if (present[static_cast<std::size_t>(i)]->num_subobjects() > static_cast<int>(f3::kMaxPartsPerLod)) {
      return export_error("LOD " + std::to_string(i) + " has " +
                          std::to_string(present[static_cast<std::size_t>(i)]->num_subobjects()) +
                          " parts; a LOD holds at most 64");
    }
  }

  const std::vector<std::string> registers = collect_control_registers(present, lod_count);
  tools::Result<OrientationTable> orientations = collect_orientations(present, lod_count);
  if (!orientations) return orientations.error();

  int skinned_slots = 0;
  for (const Model* m : slots) skinned_slots += holds_parts(m) && skinned(*m) ? 1 : 0;
  if (skinned_slots != 0 && skinned_slots != lod_count) {
    return export_error("some LODs are skinned and some are not (" + std::to_string(skinned_slots) + " of " +
                        std::to_string(lod_count) + " skinned): a model is one or the other");
  }
  const bool is_skinned = skinned_slots != 0;

  f3::File3di file;
  f3::FileHeader& h = file.header;
  h.kind = is_skinned ? 'P' : 'M';
  h.model_name = f3::model_name_of(request.output_path);
  for (std::size_t k = 0; k < 4; ++k) {
    const Model* m = slots[k];
    const float threshold = m != nullptr ? m->threshold : 0.0f;
    const float before = k > 0 && slots[k - 1] != nullptr ? slots[k - 1]->threshold : 0.0f;
    const bool named = m != nullptr && !m->name.view().empty();
    tools::Result<int32_t> d = k == 0 || named ? fixed16(threshold, "LOD " + std::to_string(k) + " threshold")
                                               : fixed16(before, "LOD " + std::to_string(k - 1) + " threshold");
    if (!d) return d.error();
    h.lod_distance[k] = k == 0 || named ? *d : *d / 2;
    h.render_function[k] = f3::render_function_code(m != nullptr ? m->render_function.view() : "");
  }
  const BoundingValues bounds = model_bounding_values(*slots[0]);
  for (auto [value, field] :
       {std::pair{bounds.radius, &h.bounding_radius}, std::pair{bounds.horizontal_radius, &h.horizontal_radius},
        std::pair{bounds.height, &h.height}}) {
    tools::Result<int32_t> v = fixed16(value, "LOD 0 bounding values");
    if (!v) return v.error();
    *field = *v;
  }

  // Vertices: every corner of every part, levels 3 down to 0 for each part.
  status("Processing vertices...");
  std::array<CornerContext, 4> contexts;
  for (int i = 0; i < lod_count; ++i) {
    CornerContext& c = contexts[static_cast<std::size_t>(i)];
    c.model = present[static_cast<std::size_t>(i)];
    c.skinned = is_skinned;
    level_box(*c.model, c.box_min, c.box_max);
  }
  VertexTable table;
  int most_parts = 0;
  for (int i = 0; i < lod_count; ++i)
    most_parts = std::max(most_parts, present[static_cast<std::size_t>(i)]->num_subobjects());
  for (int part = 0; part < most_parts; ++part)
    for (int lod = lod_count - 1; lod >= 0; --lod)
      if (part < present[static_cast<std::size_t>(lod)]->num_subobjects())
        add_part_corners(table, contexts[static_cast<std::size_t>(lod)], part);

  std::vector<ExportVertex> skinned_table;
  std::array<std::vector<StripRecord>, 4> skinned_strips;
  if (is_skinned) {
    for (int lod = 0; lod < lod_count; ++lod) {
      tools::Result<std::vector<StripRecord>> s =
          build_skinned_strips(contexts[static_cast<std::size_t>(lod)], table, skinned_table);
      if (!s)
        return tools::Error{
            s.error().code, "LOD " + std::to_string(lod) + ", " + s.error().message, {}, s.error().kind};
      skinned_strips[static_cast<std::size_t>(lod)] = std::move(*s);
    }
  }
  stats.stage_seconds[0] = clock.lap();

  // Section flags.
  const Model& lod0 = *slots[0];
  uint32_t flags = 0;
  if (lod0.ambient.style != 0 || lod0.direct.style != 0 || !lod0.lights.empty()) flags |= 1;
  for (int lod = 0; lod < lod_count; ++lod) {
    const Model& m = *present[static_cast<std::size_t>(lod)];
    for (int i = 0; i < m.num_materials; ++i)
      if (m.materials[static_cast<std::size_t>(i)].shader_type != 0) flags |= 2;
  }
  for (const BoundingObject& b : lod0.bobj)
    if (bounding_type_is_occluder(b.type)) flags |= 4;

  tools::Result<std::vector<f3::UserPoint>> points = user_points(lod0);
  if (!points) return points.error();
  file.user_points = std::move(*points);

  // Textures: every level that holds parts registers, written or not.
  std::vector<std::string>& read = stats.pictures_read;
  const PictureSizeReader sizes = [&](const std::string& name) {
    read.push_back(name);
    return request.picture_sizes ? request.picture_sizes(name) : std::nullopt;
  };
  tools::Result<TextureTable> textures = register_textures(slots, sizes);
  if (!textures) return textures.error();
  for (const TextureEntry& e : textures->entries) {
    f3::TextureRecord r;
    r.first_name = e.first_name;
    r.second_name = e.second_name;
    r.flags = static_cast<uint16_t>(e.flags);
    r.width = e.width;
    r.height = e.height;
    file.textures.push_back(r);
  }
  stats.textures = textures->entries;

  // Collision.
  status("Calculating collision data...");
  tools::Result<CollisionModel> collision = build_collision_model(slots);
  if (!collision) return collision.error();
  {
    const CollisionModel& c = *collision;
    f3::CModel& out = file.collision;
    out.skinned = c.header.skinned;
    out.radius = c.header.radius;
    out.horizontal_radius = c.header.horizontal_radius;
    out.height = c.header.height;
    out.box = c.header.box;
    std::size_t v = 0, n = 0, f = 0;
    for (const CollisionPart& p : c.parts) {
      f3::CollisionPart r;
      r.flags = p.flags;
      r.parent = p.parent;
      r.pivot = p.pivot;
      r.box = p.box;
      r.centre = p.centre;
      r.radius = p.radius;
      r.horizontal_radius = p.horizontal_radius;
      r.height = p.height;
      for (uint32_t i = 0; i < p.vertex_count; ++i, ++v) {
        const CollisionVertex& x = c.vertices[v];
        r.vertices.push_back({x.x, x.y, x.z, x.owner});
      }
      for (uint32_t i = 0; i < p.normal_count; ++i, ++n) {
        const CollisionNormal& x = c.normals[n];
        r.normals.push_back({x.x, x.y, x.z});
      }
      for (uint32_t i = 0; i < p.face_count; ++i, ++f) {
        const CollisionFace& x = c.faces[f];
        r.faces.push_back({x.corners, x.normal, x.d, x.box, x.flags, x.surface});
      }
      out.parts.push_back(std::move(r));
    }
    // Volumes go with the part of their number, in volume order within it;
    // the game gives each part the next volumes of its count.
    std::size_t volume = 0, plane = 0;
    for (const BoundingObject& b : lod0.bobj) {
      if (bounding_type_is_occluder(b.type)) continue;
      if (volume >= c.volumes.size()) break;
      const CollisionVolume& x = c.volumes[volume++];
      f3::CollisionVolume r;
      r.type = x.type;
      r.flags = x.flags;
      r.centre = x.centre;
      r.radius = x.radius;
      r.horizontal_radius = x.horizontal_radius;
      r.height = x.height;
      r.half_size = x.half_size;
      r.box = x.box;
      for (uint32_t i = 0; i < x.plane_count && plane < c.planes.size(); ++i, ++plane) {
        const VolumePlane& p = c.planes[plane];
        r.planes.push_back({p.a, p.b, p.c, p.d});
      }
      if (b.subobj >= 0 && static_cast<std::size_t>(b.subobj) < out.parts.size()) {
        out.parts[static_cast<std::size_t>(b.subobj)].volumes.push_back(std::move(r));
      } else {
        stats.warnings.push_back("volume " + b.name.str() + " names part " + std::to_string(b.subobj + 1) +
                                 ", which the collision LOD does not have: left out");
      }
    }
    for (const CollisionPoint& p : c.points) out.points.push_back({p.x, p.y, p.z});
    for (const std::string& w : c.warnings) stats.warnings.push_back(w);
  }
  stats.stage_seconds[1] = clock.lap();

  // Sorting (plain models): the vertices the lowest level's strips meet
  // first, each level adding its own block.
  const auto level_of = [&](int lod) { return present[static_cast<std::size_t>(lod)]; };
  const auto fraction_of = [&](const Model& m) {
    long faces = 0;
    for (const SubObject& p : m.subobjects) faces += static_cast<long>(p.faces.size());
    return faces > 0 ? static_cast<float>(m.pm_polythresh) / static_cast<float>(faces) : 0.0f;
  };
  // The strips of every part of a level, the parts on `request.jobs`
  // threads (each part's strips depend only on the part and the table).
  const auto level_strips = [&](int lod, int levels, bool show_messages) -> tools::Result<std::vector<PartStrips>> {
    const Model& m = *level_of(lod);
    const float fraction = fraction_of(m);
    std::vector<tools::Result<PartStrips>> results(static_cast<std::size_t>(m.num_subobjects()), PartStrips{});
    const int jobs = std::clamp(request.jobs, 1, 64);
    // An allocation failure on a thread reaches the caller after the join,
    // as it would from a single thread.
    std::mutex failure_mutex;
    std::exception_ptr failure;
    const auto work = [&](int first) {
      try {
        for (int p = first; p < m.num_subobjects(); p += jobs)
          results[static_cast<std::size_t>(p)] =
              build_part_strips(contexts[static_cast<std::size_t>(lod)], table, p, levels, fraction, nullptr);
      } catch (...) {
        std::lock_guard lock(failure_mutex);
        if (!failure) failure = std::current_exception();
      }
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs && j < m.num_subobjects(); ++j) threads.emplace_back(work, j);
    work(0);
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
    std::vector<PartStrips> out;
    for (tools::Result<PartStrips>& r : results) {
      if (!r)
        return tools::Error{
            r.error().code, "LOD " + std::to_string(lod) + ", " + r.error().message, {}, r.error().kind};
      // The messages of the strips that are written, in part order.
      if (notifier != nullptr && show_messages)
        for (const std::string& text : r->messages) notifier->message(text, "Orvo Export");
      out.push_back(std::move(*r));
    }
    return out;
  };

  if (!is_skinned) {
    status("Sorting vertices...");
    if (table.size() > kMaxSortedVertices) {
      return export_error("the model has " + std::to_string(table.size()) + " vertices; a plain model holds at most " +
                          std::to_string(kMaxSortedVertices));
    }
    std::vector<std::vector<PartStrips>> sort_strips;
    std::vector<const StripRecord*> pool;
    for (int lod = lod_count - 1; lod >= 0; --lod) {
      tools::Result<std::vector<PartStrips>> s = level_strips(lod, 1, false);
      if (!s) return s.error();
      sort_strips.push_back(std::move(*s));
      for (const PartStrips& p : sort_strips.back())
        for (const StripGroup& g : p.levels)
          for (const StripRecord& r : g.strips) pool.push_back(&r);
    }
    table.reorder(first_use_order(table.size(), pool));
    for (const ExportVertex& v : table.records()) {
      f3::PlainVertex r;
      r.position = as_array(v.position);
      r.normal = as_array(v.normal);
      r.colour = v.colour;
      r.uv1 = {v.u1, v.v1};
      r.uv2 = {v.u2, v.v2};
      file.plain_vertices.push_back(r);
    }
  } else {
    for (const ExportVertex& v : skinned_table) {
      f3::SkinnedVertex r;
      r.position = as_array(v.position);
      r.weights = {v.weights[0], v.weights[1], v.weights[2]};
      for (std::size_t b = 0; b < 4; ++b) r.bones[b] = static_cast<uint8_t>(std::max(v.bones[b], 0));
      r.normal = as_array(v.normal);
      r.colour = v.colour;
      r.uv1 = {v.u1, v.v1};
      r.uv2 = {v.u2, v.v2};
      file.skinned_vertices.push_back(r);
    }
  }
  const std::vector<ExportVertex>& written = is_skinned ? skinned_table : table.records();
  stats.stage_seconds[2] = clock.lap();

  // Render models.
  status("Creating Strips...");
  for (int lod = 0; lod < lod_count; ++lod) {
    const Model& m = *level_of(lod);
    f3::RModel r;
    ExportLodStats ls;
    ls.parts = m.num_subobjects();
    r.skinned = is_skinned;
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

    std::vector<PartStrips> strips;
    if (!is_skinned) {
      tools::Result<std::vector<PartStrips>> s = level_strips(lod, m.pm_enable != 0 ? kDetailLevels : 1, true);
      if (!s) return s.error();
      strips = std::move(*s);
    }
    for (int p = 0; p < m.num_subobjects(); ++p) {
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
          radius = std::max(
              radius, std::sqrt((v.x - c.x) * (v.x - c.x) + (v.y - c.y) * (v.y - c.y) + (v.z - c.z) * (v.z - c.z)));
        lp.centre = file_axes(c);
        tools::Result<int32_t> rad =
            fixed16(radius, "LOD " + std::to_string(lod) + ", " + subobject_label(p) + " radius");
        if (!rad) return rad.error();
        lp.radius = *rad;
      }
      if (!is_skinned) {
        for (const StripGroup& g : strips[static_cast<std::size_t>(p)].levels) {
          f3::StripGroup fg;
          for (const StripRecord& s : g.strips) {
            (s.blend_class == 0 ? fg.class0 : fg.class1).push_back(file_strip(s));
            ++ls.strips;
            ls.lists += s.primitive == Primitive::kList ? 1 : 0;
            ls.indices += static_cast<long>(s.indices.size());
          }
          lp.levels.push_back(std::move(fg));
        }
        if (!strips[static_cast<std::size_t>(p)].levels.empty())
          for (const StripRecord& s : strips[static_cast<std::size_t>(p)].levels[0].strips)
            ls.triangles += static_cast<long>(record_triangles(s).size() / 3);
      }
      r.parts.push_back(std::move(lp));
    }
    if (is_skinned) {
      for (const StripRecord& s : skinned_strips[static_cast<std::size_t>(lod)]) {
        (s.blend_class == 0 ? r.skin_group.class0 : r.skin_group.class1).push_back(file_strip(s));
        ++ls.strips;
        ++ls.lists;
        ls.indices += static_cast<long>(s.indices.size());
        ls.triangles += static_cast<long>(s.indices.size() / 3);
      }
    }
    if (ls.strips > static_cast<int>(f3::kMaxStripsPerLod)) {
      return export_error("LOD " + std::to_string(lod) + " has " + std::to_string(ls.strips) +
                          " strips; a LOD holds at most " + std::to_string(f3::kMaxStripsPerLod));
    }
    for (int i = 0; i < m.num_materials; ++i) {
      tools::Result<f3::Material> mat = material_record(
          m, i, textures->materials[static_cast<std::size_t>(lod)][static_cast<std::size_t>(i)], registers);
      if (!mat) return tools::Error{1, "LOD " + std::to_string(lod) + ", " + mat.error().message, {}, mat.error().kind};
      r.materials.push_back(*mat);
    }
    if (r.part_motion) {
      for (int p = 0; p < m.num_subobjects(); ++p) {
        tools::Result<f3::PartMotion> motion = part_motion(
            m, p, orientations->part_index[static_cast<std::size_t>(lod)][static_cast<std::size_t>(p)], registers);
        if (!motion)
          return tools::Error{1, "LOD " + std::to_string(lod) + ", " + motion.error().message, {}, motion.error().kind};
        r.motions.push_back(*motion);
      }
    }
    for (int i = 0; i < m.num_materials; ++i) {
      const ModelMaterial& mat = m.materials[static_cast<std::size_t>(i)];
      if ((mat.render_attributes & kSkipMaterial) != 0 && mat.actionplane_type == 0 && mat.projector_type == 0)
        continue;
      if (mat.actionplane_type != 0 && material_used(m, i)) {
        f3::ActionPlane ap;
        ap.type = static_cast<uint32_t>(mat.actionplane_type);
        std::array<Vec3, 3> c{};
        first_triangle(m, i, c);
        ap.point = as_array(c[0]);
        const Vec3 e1{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z},
            e2{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z};
        Vec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (len > 0) n = {n.x / len, n.y / len, n.z / len};
        ap.normal = as_array(n);
        // The material's strip: its first at detail level 0.
        for (const PartStrips& ps : strips) {
          if (ps.levels.empty()) continue;
          for (const StripRecord& s : ps.levels[0].strips)
            if (s.material == i && ap.strip.indices.empty()) ap.strip = file_strip(s);
        }
        if (is_skinned)
          for (const StripRecord& s : skinned_strips[static_cast<std::size_t>(lod)])
            if (s.material == i && ap.strip.indices.empty()) {
              ap.strip = file_strip(s);
              ap.strip.palette = {};
              ap.strip.palette_size = 0;
            }
        ap.strip.material = static_cast<uint32_t>(i);
        r.action_planes.push_back(std::move(ap));
      }
      if (mat.projector_type != 0 && material_used(m, i)) r.projectors.push_back(projector_record(m, i));
    }
    stats.lods.push_back(ls);
    file.lods.push_back(std::move(r));
  }

  stats.stage_seconds[3] = clock.lap();

  for (const std::string& name : registers) file.ctrl_regs.emplace_back(name);
  for (const Orientation& o : orientations->entries) file.matrices.push_back(o.matrix);
  if (flags & 1) file.lightinfo = lightinfo(lod0, registers);
  if (flags & 2) {
    std::vector<f3::Tangent> tangents;
    tangents.reserve(written.size());
    for (const ExportVertex& v : written) tangents.push_back({as_array(v.tangent), as_array(v.binormal)});
    file.vstream = std::move(tangents);
  }
  if (flags & 4) {
    std::vector<f3::Occluder> occluders;
    for (int index : collision->occluders) {
      const BoundingObject& b = lod0.bobj[static_cast<std::size_t>(index)];
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
      occluders.push_back(std::move(o));
    }
    file.occluders = std::move(occluders);
  }

  stats.kind = h.kind;
  stats.lod_count = lod_count;
  stats.vertex_count = written.size();
  if (notifier != nullptr) {
    for (const std::string& line : collision->debug_lines) notifier->debug(line);
    for (const std::string& w : stats.warnings) notifier->log(w);
  }
  if (stats_out != nullptr) *stats_out = std::move(stats);
  return file;
}

tools::Result<ExportStats> export_3di(const ExportRequest& request) {
  ExportStats stats;
  tools::Result<f3::File3di> file = build_3di(request, &stats);
  if (!file) return file.error();
  Clock clock;
  tools::Result<std::string> bytes = f3::encode_3di(*file);
  if (!bytes) return bytes.error();
  if (tools::Status w = tools::write_file_atomic(request.output_path, *bytes); !w) return w.error();
  stats.stage_seconds[4] = clock.lap();
  return stats;
}

}  // namespace orvo
