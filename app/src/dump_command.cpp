#include "orvo/app/dump_command.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "orvo/app/gltf_export.h"
#include "orvo/file3di/codec_3di.h"
#include "orvo/model/generators.h"

namespace orvo {

namespace {

using nlohmann::json;
namespace f = file3di;

std::string hex(uint32_t v, int digits = 8) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, static_cast<unsigned>(v));
  return text;
}

double real(int32_t fixed) {
  return static_cast<double>(fixed) / 65536.0;
}

json vec(const std::array<float, 3>& v) {
  return json::array({v[0], v[1], v[2]});
}

// The characters of a render function code, top byte first, up to a NUL.
std::string code_text(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((code >> shift) & 0xFF);
    if (c == '\0') break;
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

const char* skinning_name(render::Skinning s) {
  switch (s) {
    case render::Skinning::kVertexShader: return "vertex shader";
    case render::Skinning::kTnl: return "T&L";
    case render::Skinning::kSoftware: return "software";
    case render::Skinning::kNone: break;
  }
  return "none";
}

const char* path_name(render::Path p) {
  return p == render::Path::kPlain ? "plain" : p == render::Path::kTangent ? "tangent" : "none";
}

json generator(const f::GeneratorField& g) {
  return {{"style", g.style}, {"index", g.index_or_phase}, {"rate", g.rate}, {"start", g.start}, {"end", g.end}};
}

json light_generator(const f::LightGenerator& g) {
  return {{"style", g.style}, {"index", g.phase}, {"rate", g.rate}, {"start", hex(g.start, 6)}, {"end", hex(g.end, 6)}};
}

json strip_json(const render::Strip& s, const render::Lod& lod, int number, int strip_class) {
  json j = {{"strip", number},
            {"class", strip_class},
            {"material", s.material != nullptr ? json(s.material - lod.materials.data()) : json(nullptr)},
            {"primitive", s.primitive == 0 ? "list" : "strip"},
            {"indices", s.index_count},
            {"base", s.base_vertex},
            {"span", s.vertex_span},
            {"addr", s.addr}};
  if (lod.skinned) {
    j["palette_size"] = s.palette_size;
  } else {
    j["path"] = path_name(s.path);
  }
  return j;
}

json group_json(const render::StripGroup& g, const render::Lod& lod) {
  json strips = json::array();
  int number = 0;
  for (const render::Strip& s : g.class0) strips.push_back(strip_json(s, lod, number++, 0));
  for (const render::Strip& s : g.class1) strips.push_back(strip_json(s, lod, number++, 1));
  return {{"class0", g.class0.size()}, {"class1", g.class1.size()}, {"strips", strips}};
}

json material_json(const render::Material& m) {
  const f::Material& r = m.record;
  return {{"name", r.name.str()},
          {"flags", hex(r.flags)},
          {"shader_type", r.shader_type},
          {"color_type", r.color_type},
          {"alpha_type", r.alpha_type},
          {"second_layer", r.second_layer},
          {"anim_time", r.anim_time},
          {"active_colour", hex(m.active_colour)},
          {"texture", m.texture != nullptr ? json(m.texture->index) : json(nullptr)},
          {"passes", m.passes},
          {"mapfunc_u", generator(r.mapfunc_u)},
          {"mapfunc_v", generator(r.mapfunc_v)},
          {"rgbgen",
           {{"style", r.rgbgen_style},
            {"index", r.rgbgen_phase},
            {"rate", r.rgbgen_rate},
            {"start", hex(r.rgbgen_start, 6)},
            {"end", hex(r.rgbgen_end, 6)}}},
          {"alphagen",
           {{"style", r.alphagen_style},
            {"index", r.alphagen_phase},
            {"rate", r.alphagen_rate},
            {"start", r.alphagen_start},
            {"end", r.alphagen_end}}}};
}

// Sizes and counts of one LOD; its bytes are the `RModel` header and blob
// as the file holds them.
json lod_counts(const render::Lod& lod) {
  uint64_t groups = 0, indices = 0, strip_bytes = 0;
  if (lod.skinned) {
    groups = 1;
  } else {
    for (const render::Part& p : lod.parts) groups += p.levels.size();
  }
  const uint64_t header = lod.skinned ? f::kSkinnedStripHeaderBytes : f::kPlainStripHeaderBytes;
  for (const render::Strip& s : lod.strips) {
    indices += s.index_count;
    strip_bytes += header + 2ull * s.index_count;
  }
  uint64_t plane_bytes = 0;
  for (const render::ActionPlane& a : lod.action_planes)
    plane_bytes += f::kActionPlaneBytes + 2ull * a.strip.index_count;
  const uint64_t parts = lod.parts.size();
  const uint64_t strip_area = f::kLodPartBytes * parts +
                              (lod.skinned ? f::kSkinBlockBytes + f::kStripGroupBytes : f::kStripGroupBytes * groups) +
                              strip_bytes;
  const uint64_t blob = f::kMaterialBytes * lod.materials.size() + f::kLodPointBytes * lod.points.size() +
                        f::kPartMotionBytes * lod.motions.size() + strip_area + plane_bytes +
                        f::kProjectorBytes * lod.projectors.size();
  return {{"bytes", f::kSectionHeaderBytes + blob},
          {"points", lod.points.size()},
          {"parts", parts},
          {"strip_groups", groups},
          {"strips", lod.strips.size()},
          {"indices", indices},
          {"materials", lod.materials.size()},
          {"part_motion", lod.motions.size()},
          {"action_planes", lod.action_planes.size()},
          {"projectors", lod.projectors.size()}};
}

json sections_json(const render::Model& m) {
  json s;
  s["user_points"] = {{"count", m.user_points.size()}, {"bytes", f::kUserPointBytes * m.user_points.size()}};
  s["textures"] = {{"count", m.textures.size()}, {"bytes", 4 + f::kTextureRecordBytes * m.textures.size()}};
  const render::CModel& c = *m.collision;
  const uint64_t cblob = 8ull * c.vertices.size() + 8ull * c.normals.size() + 44ull * c.faces.size() +
                         128ull * c.parts.size() + 12ull * c.points.size() + 16ull * c.planes.size() +
                         96ull * c.volumes.size();
  s["collision"] = {{"bytes", f::kSectionHeaderBytes + cblob},
                    {"vertices", c.vertices.size()},
                    {"normals", c.normals.size()},
                    {"faces", c.faces.size()},
                    {"parts", c.parts.size()},
                    {"points", c.points.size()},
                    {"planes", c.planes.size()},
                    {"volumes", c.volumes.size()}};
  const uint64_t record = m.kind == render::MeshKind::kPlain        ? f::kPlainVertexBytes
                          : m.kind == render::MeshKind::kOldSkinned ? f::kOldSkinnedVertexBytes
                                                                    : f::kSkinnedVertexBytes;
  const uint64_t runtime = m.vertex_bytes().size();
  s["vertices"] = {{"count", m.vertex_count},
                   {"bytes", record * m.vertex_count},
                   {"record_bytes", record},
                   {"runtime_bytes", runtime},
                   {"runtime_record_bytes", m.vertex_count != 0 ? runtime / m.vertex_count : 0}};
  json lods = json::array();
  for (std::size_t l = 0; l < m.lod_count; ++l) lods.push_back(lod_counts(*m.lods[l]));
  s["lods"] = lods;
  s["ctrl_regs"] = {{"count", m.ctrl_regs.size()}, {"bytes", f::kCtrlRegBytes * m.ctrl_regs.size()}};
  s["matrices"] = {{"count", m.matrices.size()}, {"bytes", f::kRMatrixBytes * m.matrices.size()}};
  if (m.lightinfo == nullptr) {
    s["lights"] = {{"count", 0}, {"bytes", 0}};
  } else if (m.lightinfo->version < f::kLightinfoVersion) {
    // An old section is skipped by its size, which the model does not keep.
    s["lights"] = {{"count", 0}, {"bytes", nullptr}};
  } else {
    s["lights"] = {{"count", m.lightinfo->lights.size()},
                   {"bytes", 8 + f::kLightHeaderBytes + f::kLightRecordBytes * m.lightinfo->lights.size()}};
  }
  s["tangents"] = {{"count", m.vstream.size()},
                   {"bytes", m.vstream.empty() ? 0 : f::kVStreamHeaderBytes + f::kTangentBytes * m.vstream.size()}};
  uint64_t occ = 0;
  for (const render::Occluder& o : m.occluders)
    occ += f::kOccluderBytes + f::kOccluderVertexBytes * o.vertices.size() + f::kOccluderPlaneBytes * o.planes.size() +
           f::kOccluderFaceBytes * o.faces.size();
  s["occluders"] = {{"count", m.occluders.size()}, {"bytes", occ}};

  // The whole file, when every section's size is known.
  json total = f::kFileHeaderBytes;
  for (const auto& [key, value] : s.items()) {
    for (const json& v : key == "lods" ? value : json::array({value})) {
      if (v.at("bytes").is_null()) {
        total = nullptr;
        break;
      }
      if (!total.is_null()) total = total.get<uint64_t>() + v.at("bytes").get<uint64_t>();
    }
  }
  s["total_bytes"] = total;
  return s;
}

json lod_json(const render::Lod& lod, std::size_t index) {
  json parts = json::array();
  for (std::size_t p = 0; p < lod.parts.size(); ++p) {
    const render::Part& part = lod.parts[p];
    json levels = json::array();
    for (const render::StripGroup& g : part.levels) levels.push_back(group_json(g, lod));
    parts.push_back({{"part", p},
                     {"parent", part.parent},
                     {"radius", real(part.radius)},
                     {"needs_plain", part.needs_plain},
                     {"needs_tangent", part.needs_tangent},
                     {"levels", levels}});
  }
  json j = {{"lod", index},
            {"skinned", lod.skinned},
            {"part_motion", lod.part_motion},
            {"skinning", skinning_name(lod.skinning)},
            {"triangles", gltf::lod_triangle_count(lod)},
            {"parts", parts}};
  if (lod.skinned) j["skin_group"] = group_json(lod.skin_group, lod);
  json planes = json::array();
  for (const render::ActionPlane& a : lod.action_planes) {
    planes.push_back({{"type", a.type},
                      {"point", vec(a.point)},
                      {"normal", vec(a.normal)},
                      {"strip", strip_json(a.strip, lod, 0, 0)}});
  }
  j["action_planes"] = planes;
  json materials = json::array();
  for (const render::Material& m : lod.materials) materials.push_back(material_json(m));
  j["materials"] = materials;
  return j;
}

json textures_json(const render::Model& m, const RecordingTextureFactory& factory) {
  json list = json::array();
  const auto& made = factory.textures();
  for (const render::Texture& t : m.textures) {
    json j = {{"index", t.index},
              {"first_name", t.record.first_name.str()},
              {"second_name", t.record.second_name.str()},
              {"flags", hex(t.record.flags, 4)},
              {"recorded", json::array({t.record.width, t.record.height})},
              {"created", t.created_name},
              {"placeholder", t.placeholder}};
    // The factory's handles count what it made, from 1.
    if (t.handle > 0 && static_cast<std::size_t>(t.handle) <= made.size()) {
      const RecordingTextureFactory::Made& r = made[static_cast<std::size_t>(t.handle) - 1];
      j["asked"] = json::array({r.width, r.height});
      j["file"] = r.file_width != 0 ? json::array({r.file_width, r.file_height}) : json(nullptr);
    } else {
      j["asked"] = nullptr;
      j["file"] = nullptr;
    }
    list.push_back(j);
  }
  return list;
}

}  // namespace

json dump_json(const render::Model& m, const ModelLoader& loader, const RecordingTextureFactory& textures) {
  json j;
  j["file"] = m.file_name;
  j["capabilities"] = hex(loader.capabilities.mask(), 1);

  const f::FileHeader& h = m.header;
  json distances = json::array(), functions = json::array();
  for (int32_t d : h.lod_distance) distances.push_back(real(d));
  for (uint32_t code : h.render_function) functions.push_back({{"code", hex(code)}, {"text", code_text(code)}});
  j["header"] = {{"kind", std::string(1, h.kind)},
                 {"revision", h.revision},
                 {"model_name", h.model_name.str()},
                 {"lod_count", m.lod_count},
                 {"lod_distances", distances},
                 {"render_functions", functions},
                 {"bounding_radius", real(h.bounding_radius)},
                 {"horizontal_radius", real(h.horizontal_radius)},
                 {"height", real(h.height)}};
  j["sections"] = sections_json(m);

  json lods = json::array();
  for (std::size_t l = 0; l < m.lod_count; ++l) lods.push_back(lod_json(*m.lods[l], l));
  j["lods"] = lods;

  json regs = json::array();
  for (const render::CtrlReg& r : m.ctrl_regs) {
    regs.push_back(
        {{"name", r.name.str()},
         {"register", r.register_index},
         {"runtime_name", r.register_index < kCtrlRegNames.size() ? json(std::string(kCtrlRegNames[r.register_index]))
                                                                  : json(nullptr)}});
  }
  j["ctrl_regs"] = regs;

  if (m.lightinfo != nullptr) {
    json lights = json::array();
    for (const f::LightRecord& r : m.lightinfo->lights) {
      lights.push_back({{"style", r.style},
                        {"index", r.phase},
                        {"rate", r.rate},
                        {"start", hex(r.start, 6)},
                        {"end", hex(r.end, 6)},
                        {"position", vec(r.position)},
                        {"values", json::array({r.values[0], r.values[1]})},
                        {"extra", r.extra}});
    }
    j["lights"] = {{"version", m.lightinfo->version},
                   {"ambient", light_generator(m.lightinfo->ambient)},
                   {"direct", light_generator(m.lightinfo->direct)},
                   {"lights", lights}};
  } else {
    j["lights"] = nullptr;
  }

  json occluders = json::array();
  for (const render::Occluder& o : m.occluders) {
    occluders.push_back({{"kind", o.kind},
                         {"first_number", o.first_number},
                         {"second_number", o.second_number},
                         {"centre", vec(o.centre)},
                         {"radius", o.radius},
                         {"radius_xy", o.radius_xy},
                         {"radius_yz", o.radius_yz},
                         {"radius_xz", o.radius_xz},
                         {"vertices", o.vertices.size()},
                         {"planes", o.planes.size()},
                         {"faces", o.faces.size()}});
  }
  j["occluders"] = occluders;
  j["textures"] = textures_json(m, textures);

  // Checksums are kept in list order.
  std::size_t at = 0;
  for (const auto& p : loader.models()) {
    if (p.get() == &m) break;
    ++at;
  }
  char sum[16];
  if (at < loader.checksums().size()) {
    std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(loader.checksums()[at]));
    j["checksum"] = sum;
  } else {
    j["checksum"] = nullptr;
  }

  json lod_paths = json::array();
  for (std::size_t l = 0; l < m.lod_count; ++l) {
    const render::Lod& lod = *m.lods[l];
    json parts = json::array();
    for (const render::Part& p : lod.parts)
      parts.push_back({{"needs_plain", p.needs_plain}, {"needs_tangent", p.needs_tangent}});
    lod_paths.push_back({{"skinning", skinning_name(lod.skinning)}, {"parts", parts}});
  }
  j["render"] = {{"variants", json::array({m.variants[0], m.variants[1]})},
                 {"tangent_path", m.tangent_path},
                 {"second_layer", m.second_layer},
                 {"lods", lod_paths}};
  j["material_passes"] = m.material_passes;
  j["vertex_byte_sum"] = m.vertex_byte_sum;
  return j;
}

// ---- Text ------------------------------------------------------------------

namespace {

class Text {
 public:
  __attribute__((format(printf, 2, 3))) void line(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    out_ += buffer;
    out_ += '\n';
  }
  void blank() { out_ += '\n'; }
  std::string str() && { return std::move(out_); }

 private:
  std::string out_;
};

std::string str(const json& v) {
  if (v.is_null()) return "-";
  if (v.is_string()) return v.get<std::string>();
  return v.dump();
}

const char* yes(const json& v) {
  return v.get<bool>() ? "yes" : "no";
}

unsigned long long num(const json& v) {
  return v.is_null() ? 0 : v.get<unsigned long long>();
}

void strip_line(Text& t, const json& s, const char* indent) {
  std::string extra =
      s.contains("palette_size") ? "  palette " + str(s.at("palette_size")) : "  path " + str(s.at("path"));
  t.line("%sstrip %-3llu %-5s n=%6llu  base=%6llu span=%6llu addr=%8llu  class %llu  material %s%s", indent,
         num(s.at("strip")), str(s.at("primitive")).c_str(), num(s.at("indices")), num(s.at("base")), num(s.at("span")),
         num(s.at("addr")), num(s.at("class")), str(s.at("material")).c_str(), extra.c_str());
}

void group_lines(Text& t, const json& g, const char* head, const char* indent) {
  t.line("%s  strips %llu + %llu", head, num(g.at("class0")), num(g.at("class1")));
  for (const json& s : g.at("strips")) strip_line(t, s, indent);
}

std::string generator_text(const json& g) {
  return str(g.at("style")) + "/" + str(g.at("index")) + "/" + str(g.at("rate")) + "/" + str(g.at("start")) + "/" +
         str(g.at("end"));
}

void section_line(Text& t, const char* name, const json& s, const std::string& more = {}) {
  t.line("  %-14s %8s %10s%s%s", name, s.contains("count") ? str(s.at("count")).c_str() : "",
         str(s.at("bytes")).c_str(), more.empty() ? "" : "  ", more.c_str());
}

}  // namespace

std::string dump_text(const json& d) {
  Text t;
  const json& h = d.at("header");
  t.line("file         %s", str(d.at("file")).c_str());
  t.line("header       kind %s  revision %s  model \"%s\"  lods %s", str(h.at("kind")).c_str(),
         str(h.at("revision")).c_str(), str(h.at("model_name")).c_str(), str(h.at("lod_count")).c_str());
  std::string distances, functions;
  for (const json& v : h.at("lod_distances")) distances += "  " + std::to_string(v.get<double>());
  for (const json& v : h.at("render_functions")) functions += "  \"" + str(v.at("text")) + "\" " + str(v.at("code"));
  t.line("distances  %s", distances.c_str());
  t.line("functions  %s", functions.c_str());
  t.line("bounds       radius %.4f  horizontal %.4f  height %.4f", h.at("bounding_radius").get<double>(),
         h.at("horizontal_radius").get<double>(), h.at("height").get<double>());
  t.line("checksum     %s", str(d.at("checksum")).c_str());

  const json& s = d.at("sections");
  t.blank();
  t.line("sections          count      bytes");
  section_line(t, "user points", s.at("user_points"));
  section_line(t, "textures", s.at("textures"));
  const json& c = s.at("collision");
  section_line(t, "collision", c,
               "A vertices " + str(c.at("vertices")) + "  B normals " + str(c.at("normals")) + "  C faces " +
                   str(c.at("faces")) + "  D parts " + str(c.at("parts")) + "  E points " + str(c.at("points")) +
                   "  F planes " + str(c.at("planes")) + "  G volumes " + str(c.at("volumes")));
  const json& v = s.at("vertices");
  section_line(t, "vertices", v,
               "runtime " + str(v.at("runtime_bytes")) + " bytes (" + str(v.at("runtime_record_bytes")) + " each)");
  int l = 0;
  for (const json& lod : s.at("lods")) {
    section_line(t, ("lod " + std::to_string(l++)).c_str(), lod,
                 "points " + str(lod.at("points")) + "  parts " + str(lod.at("parts")) + "  groups " +
                     str(lod.at("strip_groups")) + "  strips " + str(lod.at("strips")) + "  indices " +
                     str(lod.at("indices")) + "  materials " + str(lod.at("materials")) + "  motion " +
                     str(lod.at("part_motion")) + "  action planes " + str(lod.at("action_planes")) + "  projectors " +
                     str(lod.at("projectors")));
  }
  section_line(t, "ctrl regs", s.at("ctrl_regs"));
  section_line(t, "matrices", s.at("matrices"));
  section_line(t, "lights", s.at("lights"));
  section_line(t, "tangents", s.at("tangents"));
  section_line(t, "occluders", s.at("occluders"));
  t.line("  %-14s %8s %10s", "total", "", str(s.at("total_bytes")).c_str());

  const json& r = d.at("render");
  t.blank();
  t.line("render       capabilities %s  variants %s %s  tangent path %s  second layer %s  passes %s  vertex sum %s",
         str(d.at("capabilities")).c_str(), str(r.at("variants")[0]).c_str(), str(r.at("variants")[1]).c_str(),
         yes(r.at("tangent_path")), yes(r.at("second_layer")), str(d.at("material_passes")).c_str(),
         str(d.at("vertex_byte_sum")).c_str());

  for (const json& lod : d.at("lods")) {
    t.blank();
    t.line("lod %s        skinned %s  part motion %s  skinning %s  triangles %s", str(lod.at("lod")).c_str(),
           yes(lod.at("skinned")), yes(lod.at("part_motion")), str(lod.at("skinning")).c_str(),
           str(lod.at("triangles")).c_str());
    for (const json& p : lod.at("parts")) {
      t.line("  part %-3s    parent %s  radius %.4f  plain %s  tangent %s  levels %zu", str(p.at("part")).c_str(),
             str(p.at("parent")).c_str(), p.at("radius").get<double>(), yes(p.at("needs_plain")),
             yes(p.at("needs_tangent")), p.at("levels").size());
      int level = 0;
      for (const json& g : p.at("levels")) group_lines(t, g, ("   level " + std::to_string(level++)).c_str(), "    ");
    }
    if (lod.contains("skin_group")) group_lines(t, lod.at("skin_group"), "  skin group", "    ");
    int n = 0;
    for (const json& a : lod.at("action_planes")) {
      t.line("  action plane %d  type %s  point %s  normal %s", n++, str(a.at("type")).c_str(),
             str(a.at("point")).c_str(), str(a.at("normal")).c_str());
      strip_line(t, a.at("strip"), "    ");
    }
    n = 0;
    for (const json& m : lod.at("materials")) {
      t.line(
          "  material %-3d \"%s\"  flags %s  shader %s  color %s  alpha %s  layer2 %s  anim %s  colour %s  texture %s",
          n++, str(m.at("name")).c_str(), str(m.at("flags")).c_str(), str(m.at("shader_type")).c_str(),
          str(m.at("color_type")).c_str(), str(m.at("alpha_type")).c_str(), str(m.at("second_layer")).c_str(),
          str(m.at("anim_time")).c_str(), str(m.at("active_colour")).c_str(), str(m.at("texture")).c_str());
      t.line("               map_u %s  map_v %s  rgbgen %s  alphagen %s", generator_text(m.at("mapfunc_u")).c_str(),
             generator_text(m.at("mapfunc_v")).c_str(), generator_text(m.at("rgbgen")).c_str(),
             generator_text(m.at("alphagen")).c_str());
    }
  }

  if (!d.at("ctrl_regs").empty()) t.blank();
  int n = 0;
  for (const json& reg : d.at("ctrl_regs")) {
    t.line("ctrl reg %-3d  %-24s -> %3s %s", n++, str(reg.at("name")).c_str(), str(reg.at("register")).c_str(),
           str(reg.at("runtime_name")).c_str());
  }
  if (const json& li = d.at("lights"); !li.is_null()) {
    t.blank();
    t.line("lights       version %s  ambient %s  direct %s", str(li.at("version")).c_str(),
           generator_text(li.at("ambient")).c_str(), generator_text(li.at("direct")).c_str());
    n = 0;
    for (const json& x : li.at("lights")) {
      t.line("  light %-3d  %s  position %s  values %s  extra %s", n++, generator_text(x).c_str(),
             str(x.at("position")).c_str(), str(x.at("values")).c_str(), str(x.at("extra")).c_str());
    }
  }
  if (!d.at("occluders").empty()) t.blank();
  n = 0;
  for (const json& o : d.at("occluders")) {
    t.line(
        "occluder %-3d  kind %s  numbers %s %s  centre %s  radius %.4f (xy %.4f yz %.4f xz %.4f)  vertices %s  "
        "planes %s  faces %s",
        n++, str(o.at("kind")).c_str(), str(o.at("first_number")).c_str(), str(o.at("second_number")).c_str(),
        str(o.at("centre")).c_str(), o.at("radius").get<double>(), o.at("radius_xy").get<double>(),
        o.at("radius_yz").get<double>(), o.at("radius_xz").get<double>(), str(o.at("vertices")).c_str(),
        str(o.at("planes")).c_str(), str(o.at("faces")).c_str());
  }
  if (!d.at("textures").empty()) t.blank();
  for (const json& x : d.at("textures")) {
    t.line("texture %-3s  %-34s flags %s  recorded %s  asked %s  file %s%s", str(x.at("index")).c_str(),
           ("\"" + str(x.at("created")) + "\"").c_str(), str(x.at("flags")).c_str(), str(x.at("recorded")).c_str(),
           str(x.at("asked")).c_str(), str(x.at("file")).c_str(),
           x.at("placeholder").get<bool>() ? "  placeholder" : "");
  }
  return std::move(t).str();
}

}  // namespace orvo
