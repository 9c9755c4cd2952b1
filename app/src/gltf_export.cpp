#include "orvo/app/gltf_export.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "orvo/image/dds.h"
#include "orvo/viewer/texture_library.h"

namespace orvo::gltf {

namespace {

using nlohmann::json;

// glTF's numbers for component types, buffer targets and samplers.
constexpr int kUnsignedByte = 5121;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kLinear = 9729;
constexpr int kLinearMipmapLinear = 9987;
constexpr int kRepeat = 10497;

float finite_or_zero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_u32_be(std::string& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

template <typename T>
void put(std::string& out, T v) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  out.append(bytes, sizeof(T));
}

// ---- One vertex of any kind ---------------------------------------------------

struct SourceVertex {
  render::Vec3f position{};
  render::Vec3f normal{};
  std::array<float, 2> uv{};
  // Palette slots and their weights (skinned kinds).
  std::array<uint8_t, 4> slots{};
  std::array<float, 4> weights{};
  int slot_count = 0;
};

SourceVertex source_vertex(const render::Model& m, uint32_t i) {
  SourceVertex v;
  switch (m.kind) {
    case render::MeshKind::kPlain: {
      const render::VertexM& r = m.vertices_m[i];
      v.position = r.position;
      v.normal = r.normal;
      v.uv = r.uv1;
      break;
    }
    case render::MeshKind::kSkinned: {
      const render::VertexP& r = m.vertices_p[i];
      v.position = r.position;
      v.normal = r.normal;
      v.uv = r.uv1;
      v.slots = r.bones;
      v.weights = {r.weights[0], r.weights[1], r.weights[2], 1.0f - r.weights[0] - r.weights[1] - r.weights[2]};
      v.slot_count = 4;
      break;
    }
    case render::MeshKind::kOldSkinned: {
      // Position, one blend weight, normal, two texture coordinate sets:
      // palette entry 0 takes the weight, entry 1 the rest.
      const std::array<uint8_t, 44>& b = m.vertices_s[i].bytes;
      std::memcpy(v.position.data(), b.data(), 12);
      float w = 0;
      std::memcpy(&w, b.data() + 12, 4);
      std::memcpy(v.normal.data(), b.data() + 16, 12);
      std::memcpy(v.uv.data(), b.data() + 28, 8);
      v.slots = {0, 1, 0, 0};
      v.weights = {w, 1.0f - w, 0, 0};
      v.slot_count = 2;
      break;
    }
  }
  return v;
}

// Joints and weights for glTF: each joint once (weights of a repeated bone
// added), negative and non-finite weights as 0, the rest scaled to a sum of
// 1, heaviest first; unused places joint 0 with weight 0. A vertex without
// any weight hangs on its first bone alone.
void skin_weights(const SourceVertex& v, const render::Strip& strip, std::size_t joints,
                  std::array<uint16_t, 4>& out_joints, std::array<float, 4>& out_weights) {
  std::array<uint16_t, 4> j{};
  std::array<float, 4> w{};
  int n = 0;
  const auto joint_of = [&](uint8_t slot) -> uint16_t {
    // A slot beyond the palette, or a palette entry naming no part, falls
    // to the first part.
    if (slot >= 16) return 0;
    const std::size_t part = strip.palette[slot];
    return part < joints ? static_cast<uint16_t>(part) : 0;
  };
  for (int k = 0; k < v.slot_count; ++k) {
    const float weight = std::isfinite(v.weights[static_cast<std::size_t>(k)])
                             ? std::max(0.0f, v.weights[static_cast<std::size_t>(k)])
                             : 0.0f;
    const uint16_t joint = joint_of(v.slots[static_cast<std::size_t>(k)]);
    int at = 0;
    while (at < n && j[static_cast<std::size_t>(at)] != joint) ++at;
    if (at == n) {
      j[static_cast<std::size_t>(n)] = joint;
      w[static_cast<std::size_t>(n)] = 0;
      ++n;
    }
    w[static_cast<std::size_t>(at)] += weight;
  }
  float sum = 0;
  for (int k = 0; k < n; ++k) sum += w[static_cast<std::size_t>(k)];
  if (n == 0 || !(sum > 0.0f)) {
    out_joints = {n > 0 ? j[0] : uint16_t{0}, 0, 0, 0};
    out_weights = {1, 0, 0, 0};
    return;
  }
  std::array<int, 4> order{0, 1, 2, 3};
  std::stable_sort(order.begin(), order.begin() + n,
                   [&](int a, int b) { return w[static_cast<std::size_t>(a)] > w[static_cast<std::size_t>(b)]; });
  out_joints = {0, 0, 0, 0};
  out_weights = {0, 0, 0, 0};
  for (int k = 0; k < n; ++k) {
    const float share = w[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])] / sum;
    if (share <= 0.0f) break;
    out_joints[static_cast<std::size_t>(k)] = j[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])];
    out_weights[static_cast<std::size_t>(k)] = share;
  }
}

// ---- The binary chunk and its accessors ------------------------------------------

class Builder {
 public:
  json doc;
  std::string bin;

  // A buffer view over `bytes` (4-byte aligned), its index.
  int view(std::string_view bytes, int target) {
    while (bin.size() % 4 != 0) bin.push_back('\0');
    json v = {{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", bytes.size()}};
    if (target != 0) v["target"] = target;
    bin.append(bytes);
    doc["bufferViews"].push_back(v);
    return static_cast<int>(doc["bufferViews"].size()) - 1;
  }

  int accessor(std::string_view bytes, int target, int component, std::size_t count, const char* type,
               json extra = json::object()) {
    json a = {{"bufferView", view(bytes, target)}, {"componentType", component}, {"count", count}, {"type", type}};
    for (auto& [k, v] : extra.items()) a[k] = v;
    doc["accessors"].push_back(a);
    return static_cast<int>(doc["accessors"].size()) - 1;
  }

  int node(json n) {
    doc["nodes"].push_back(std::move(n));
    return static_cast<int>(doc["nodes"].size()) - 1;
  }
};

// One primitive under construction: its own vertices (a vertex of the
// model used by it, under the palette of the strip that used it) and its
// triangles.
struct Primitive {
  int material = -1;
  std::vector<render::Vec3f> positions;
  std::vector<render::Vec3f> normals;
  std::vector<std::array<float, 2>> uvs;
  std::vector<std::array<uint16_t, 4>> joints;
  std::vector<std::array<float, 4>> weights;
  std::vector<uint32_t> indices;
  std::unordered_map<uint64_t, uint32_t> local;
};

struct MeshSource {
  const render::Model& model;
  std::size_t joints = 0;  // skinned: the level's parts
  bool skinned = false;
  render::Vec3f origin{};  // glTF position of the node the vertices hang under
};

void add_strip(const MeshSource& src, const render::Strip& strip, uint32_t palette_id, Primitive& p,
               std::size_t& triangles) {
  const render::Model& m = src.model;
  for (const Triangle& t : strip_triangles(strip.indices, strip.primitive)) {
    std::array<uint32_t, 3> corner{};
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
      const uint64_t vertex = uint64_t{strip.base_vertex} + t[static_cast<std::size_t>(k)];
      if (vertex >= m.vertex_count) {
        inside = false;
        break;
      }
      const uint64_t key = vertex | (uint64_t{palette_id} << 32);
      auto [it, added] = p.local.try_emplace(key, static_cast<uint32_t>(p.positions.size()));
      if (added) {
        const SourceVertex v = source_vertex(m, static_cast<uint32_t>(vertex));
        render::Vec3f pos = position_from_file(v.position);
        for (int c = 0; c < 3; ++c) pos[static_cast<std::size_t>(c)] -= src.origin[static_cast<std::size_t>(c)];
        p.positions.push_back(pos);
        p.normals.push_back(normal_from_file(v.normal));
        p.uvs.push_back({finite_or_zero(v.uv[0]), finite_or_zero(v.uv[1])});
        if (src.skinned) {
          std::array<uint16_t, 4> j{};
          std::array<float, 4> w{};
          skin_weights(v, strip, src.joints, j, w);
          p.joints.push_back(j);
          p.weights.push_back(w);
        }
      }
      corner[static_cast<std::size_t>(k)] = it->second;
    }
    if (!inside) continue;
    const Triangle g = gltf_corners({corner[0], corner[1], corner[2]});
    p.indices.insert(p.indices.end(), g.begin(), g.end());
    ++triangles;
  }
}

// The primitive's accessors and its record.
json finish_primitive(Builder& b, const Primitive& p, std::size_t joints) {
  std::string bytes;
  render::Vec3f lo{}, hi{};
  for (std::size_t i = 0; i < p.positions.size(); ++i) {
    for (std::size_t c = 0; c < 3; ++c) {
      const float v = finite_or_zero(p.positions[i][c]);
      lo[c] = i == 0 ? v : std::min(lo[c], v);
      hi[c] = i == 0 ? v : std::max(hi[c], v);
      put(bytes, v);
    }
  }
  json attributes;
  attributes["POSITION"] = b.accessor(bytes, kArrayBuffer, kFloat, p.positions.size(), "VEC3",
                                      {{"min", {lo[0], lo[1], lo[2]}}, {"max", {hi[0], hi[1], hi[2]}}});
  bytes.clear();
  for (const render::Vec3f& n : p.normals)
    for (float v : n) put(bytes, v);
  attributes["NORMAL"] = b.accessor(bytes, kArrayBuffer, kFloat, p.normals.size(), "VEC3");
  bytes.clear();
  for (const auto& uv : p.uvs)
    for (float v : uv) put(bytes, v);
  attributes["TEXCOORD_0"] = b.accessor(bytes, kArrayBuffer, kFloat, p.uvs.size(), "VEC2");
  if (!p.joints.empty()) {
    bytes.clear();
    const bool small = joints <= 256;
    for (const auto& j : p.joints)
      for (uint16_t v : j) {
        if (small) {
          bytes.push_back(static_cast<char>(v));
        } else {
          put(bytes, v);
        }
      }
    attributes["JOINTS_0"] =
        b.accessor(bytes, kArrayBuffer, small ? kUnsignedByte : kUnsignedShort, p.joints.size(), "VEC4");
    bytes.clear();
    for (const auto& w : p.weights)
      for (float v : w) put(bytes, v);
    attributes["WEIGHTS_0"] = b.accessor(bytes, kArrayBuffer, kFloat, p.weights.size(), "VEC4");
  }
  bytes.clear();
  // 16-bit indices while they cannot reach 65535, the restart value.
  const bool short_indices = p.positions.size() <= 65535;
  for (uint32_t i : p.indices) {
    if (short_indices) {
      put(bytes, static_cast<uint16_t>(i));
    } else {
      put(bytes, i);
    }
  }
  const int indices =
      b.accessor(bytes, kElementArrayBuffer, short_indices ? kUnsignedShort : kUnsignedInt, p.indices.size(), "SCALAR");
  json prim = {{"attributes", attributes}, {"indices", indices}, {"mode", 4}};
  if (p.material >= 0) prim["material"] = p.material;
  return prim;
}

// A mesh of the strips, one primitive per material in the order the
// materials first appear; -1 when the strips draw no triangle.
int add_mesh(Builder& b, const MeshSource& src, const std::vector<const render::Strip*>& strips, const render::Lod& lod,
             int first_material, const std::string& name, LodStats& stats) {
  std::vector<Primitive> prims;
  std::map<int, std::size_t> prim_of_material;
  std::map<std::array<uint8_t, 17>, uint32_t> palettes;
  for (const render::Strip* s : strips) {
    const int material =
        s->material != nullptr ? first_material + static_cast<int>(s->material - lod.materials.data()) : -1;
    auto [it, added] = prim_of_material.try_emplace(material, prims.size());
    if (added) {
      prims.emplace_back();
      prims.back().material = material;
    }
    uint32_t palette_id = 0;
    if (src.skinned) {
      std::array<uint8_t, 17> key{};
      std::copy(s->palette.begin(), s->palette.end(), key.begin());
      key[16] = s->palette_size;
      palette_id = palettes.try_emplace(key, static_cast<uint32_t>(palettes.size())).first->second;
    }
    add_strip(src, *s, palette_id, prims[it->second], stats.triangles);
  }
  json list = json::array();
  for (const Primitive& p : prims) {
    if (p.indices.empty()) continue;
    list.push_back(finish_primitive(b, p, src.joints));
    stats.vertices += p.positions.size();
  }
  if (list.empty()) return -1;
  stats.primitives += list.size();
  ++stats.meshes;
  b.doc["meshes"].push_back({{"name", name}, {"primitives", list}});
  return static_cast<int>(b.doc["meshes"].size()) - 1;
}

std::vector<const render::Strip*> strips_of(const render::StripGroup& g) {
  std::vector<const render::Strip*> out;
  for (const render::Strip& s : g.class0) out.push_back(&s);
  for (const render::Strip& s : g.class1) out.push_back(&s);
  return out;
}

json translation(const render::Vec3f& v) {
  return json::array({finite_or_zero(v[0]), finite_or_zero(v[1]), finite_or_zero(v[2])});
}

render::Vec3f minus(const render::Vec3f& a, const render::Vec3f& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// The parent each part hangs under: its own parent when that is another
// part and following parents from it never comes back to it; -1 for the
// level's node.
std::vector<int> part_parents(const render::Lod& lod) {
  const int n = static_cast<int>(lod.parts.size());
  std::vector<int> parent(static_cast<std::size_t>(n), -1);
  for (int i = 0; i < n; ++i) {
    const int p = lod.parts[static_cast<std::size_t>(i)].parent;
    if (p >= 0 && p < n && p != i) parent[static_cast<std::size_t>(i)] = p;
  }
  // Break loops: walk up from each part; a walk longer than the part count
  // has met a loop, which the part leaves.
  for (int i = 0; i < n; ++i) {
    int at = parent[static_cast<std::size_t>(i)];
    for (int steps = 0; at >= 0; ++steps) {
      if (at == i || steps > n) {
        parent[static_cast<std::size_t>(i)] = -1;
        break;
      }
      at = parent[static_cast<std::size_t>(at)];
    }
  }
  return parent;
}

json material_json(const render::Material& m, int texture) {
  const file3di::Material& r = m.record;
  std::array<float, 4> colour{1, 1, 1, 1};
  if (r.color_type == 1) {
    colour = {static_cast<float>((m.active_colour >> 16) & 0xFF) / 255.0f,
              static_cast<float>((m.active_colour >> 8) & 0xFF) / 255.0f,
              static_cast<float>(m.active_colour & 0xFF) / 255.0f, 1.0f};
  }
  if (r.alpha_type == 1) colour[3] = 1.0f - static_cast<float>(r.transparency) / 255.0f;
  json pbr = {{"baseColorFactor", colour}, {"metallicFactor", 0.0}, {"roughnessFactor", 1.0}};
  if (texture >= 0) pbr["baseColorTexture"] = {{"index", texture}};
  json j = {{"name", r.name.str()}, {"pbrMetallicRoughness", pbr}};
  // Blended materials blend; alpha-tested ones cut at their reference.
  if (r.blending_mode >= 2 && r.blending_mode <= 5) {
    j["alphaMode"] = "BLEND";
  } else if (r.alpha_test != 0) {
    j["alphaMode"] = "MASK";
    j["alphaCutoff"] = static_cast<float>(r.alpha_test) / 255.0f;
  }
  if ((r.flags & file3di::kMaterialTwoSided) != 0) j["doubleSided"] = true;
  return j;
}

// PNG's CRC over a chunk's type and data.
void png_chunk(std::string& out, const char* type, std::string_view data) {
  put_u32_be(out, static_cast<uint32_t>(data.size()));
  std::string body(type, 4);
  body.append(data);
  out.append(body);
  put_u32_be(out, static_cast<uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

// ---- Axes, units, triangles -------------------------------------------------------

render::Vec3f position_from_file(const render::Vec3f& p) {
  return {-finite_or_zero(p[0]) * kMetresPerUnit, finite_or_zero(p[1]) * kMetresPerUnit,
          finite_or_zero(p[2]) * kMetresPerUnit};
}

render::Vec3f normal_from_file(const render::Vec3f& n) {
  const render::Vec3f g = {-n[0], n[1], n[2]};
  const double length = std::sqrt(double{g[0]} * g[0] + double{g[1]} * g[1] + double{g[2]} * g[2]);
  if (!std::isfinite(length) || length < 1e-12) return {0.0f, 1.0f, 0.0f};
  return {static_cast<float>(g[0] / length), static_cast<float>(g[1] / length), static_cast<float>(g[2] / length)};
}

std::vector<Triangle> strip_triangles(std::span<const uint16_t> indices, uint32_t primitive) {
  std::vector<Triangle> out;
  const auto keep = [&out](uint32_t a, uint32_t b, uint32_t c) {
    if (a != b && b != c && a != c) out.push_back({a, b, c});
  };
  if (primitive == 0) {
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) keep(indices[i], indices[i + 1], indices[i + 2]);
  } else {
    for (std::size_t i = 0; i + 2 < indices.size(); ++i) {
      if (i % 2 == 0) {
        keep(indices[i], indices[i + 1], indices[i + 2]);
      } else {
        keep(indices[i + 1], indices[i], indices[i + 2]);
      }
    }
  }
  return out;
}

std::size_t lod_triangle_count(const render::Lod& lod) {
  std::size_t n = 0;
  const auto count = [&n](const render::StripGroup& g) {
    for (const render::Strip& s : g.class0) n += strip_triangles(s.indices, s.primitive).size();
    for (const render::Strip& s : g.class1) n += strip_triangles(s.indices, s.primitive).size();
  };
  if (lod.skinned) {
    count(lod.skin_group);
  } else {
    for (const render::Part& p : lod.parts)
      if (!p.levels.empty()) count(p.levels[0]);
  }
  return n;
}

std::string encode_png(const Image& source) {
  Image image = source;
  if (image.pixels.empty() && image.has_palette()) (void)expand_palette(image, "picture");
  const auto w = static_cast<std::size_t>(std::max(image.width, 0));
  const auto h = static_cast<std::size_t>(std::max(image.height, 0));
  const bool opaque =
      std::all_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p >> 24) == 0xFF; });
  const std::size_t channels = opaque ? 3 : 4;
  std::string raw;
  raw.reserve(h * (1 + w * channels));
  for (std::size_t y = 0; y < h; ++y) {
    raw.push_back('\0');  // no filter
    for (std::size_t x = 0; x < w; ++x) {
      const std::size_t at = y * w + x;
      const uint32_t p = at < image.pixels.size() ? image.pixels[at] : 0xFF000000u;
      raw.push_back(static_cast<char>((p >> 16) & 0xFF));
      raw.push_back(static_cast<char>((p >> 8) & 0xFF));
      raw.push_back(static_cast<char>(p & 0xFF));
      if (!opaque) raw.push_back(static_cast<char>(p >> 24));
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 6);
  packed.resize(packed_size);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  put_u32_be(header, static_cast<uint32_t>(w));
  put_u32_be(header, static_cast<uint32_t>(h));
  header += '\x08';                    // 8 bits a channel
  header += opaque ? '\x02' : '\x06';  // RGB or RGBA
  header.append(3, '\0');              // deflate, adaptive filtering, no interlace
  png_chunk(png, "IHDR", header);
  png_chunk(png, "IDAT", packed);
  png_chunk(png, "IEND", {});
  return png;
}

// ---- The file ---------------------------------------------------------------------------

std::string build_glb(const render::Model& model, std::span<const Image* const> pictures, const std::string& generator,
                      Stats* stats_out) {
  Builder b;
  Stats stats;
  b.doc["asset"] = {{"version", "2.0"}, {"generator", generator}};
  for (const char* key : {"scenes", "nodes", "meshes", "materials", "accessors", "bufferViews"})
    b.doc[key] = json::array();

  // Pictures: one image and texture per picture that a material uses
  // (records naming the same file share the library's picture).
  std::map<const Image*, int> texture_of_picture;
  const auto texture_index = [&](const render::Texture* t) -> int {
    if (t == nullptr) return -1;
    const auto record = static_cast<std::size_t>(t - model.textures.data());
    if (record >= model.textures.size() || record >= pictures.size() || pictures[record] == nullptr) return -1;
    const Image* picture = pictures[record];
    auto [at, added] = texture_of_picture.try_emplace(picture, -1);
    if (added) {
      if (!b.doc.contains("samplers"))
        b.doc["samplers"] = json::array(
            {{{"magFilter", kLinear}, {"minFilter", kLinearMipmapLinear}, {"wrapS", kRepeat}, {"wrapT", kRepeat}}});
      const int view = b.view(encode_png(*picture), 0);
      std::string name = t->record.first_name.str();
      if (name.empty()) name = t->record.second_name.str();
      b.doc["images"].push_back({{"name", name}, {"bufferView", view}, {"mimeType", "image/png"}});
      b.doc["textures"].push_back({{"sampler", 0}, {"source", b.doc["images"].size() - 1}});
      at->second = static_cast<int>(b.doc["textures"].size()) - 1;
    }
    return at->second;
  };

  const std::string model_name = model.header.model_name.str();
  for (std::size_t l = 0; l < model.lod_count; ++l) {
    const render::Lod& lod = *model.lods[l];
    LodStats ls;
    ls.parts = lod.parts.size();
    ls.skinned = lod.skinned;
    const std::string level = "LOD " + std::to_string(l);

    const int first_material = static_cast<int>(b.doc["materials"].size());
    for (const render::Material& m : lod.materials)
      b.doc["materials"].push_back(material_json(m, texture_index(m.texture)));

    // Part nodes, children after their parents' records are known.
    const std::vector<int> parent = part_parents(lod);
    std::vector<render::Vec3f> pivot(lod.parts.size());
    for (std::size_t i = 0; i < lod.parts.size(); ++i) pivot[i] = position_from_file(lod.parts[i].pivot);
    const int lod_node = b.node({{"name", model_name.empty() ? level : model_name + " " + level}});
    std::vector<int> node_of_part(lod.parts.size());
    for (std::size_t i = 0; i < lod.parts.size(); ++i) {
      char number[24];
      std::snprintf(number, sizeof number, "%02zu", i + 1);
      const std::string name = level + " part " + number;
      const render::Vec3f offset =
          parent[i] >= 0 ? minus(pivot[i], pivot[static_cast<std::size_t>(parent[i])]) : pivot[i];
      json n = {{"name", name}, {"translation", translation(offset)}};
      if (!lod.skinned && !lod.parts[i].levels.empty()) {
        const MeshSource src{model, 0, false, pivot[i]};
        const int mesh = add_mesh(b, src, strips_of(lod.parts[i].levels[0]), lod, first_material, name, ls);
        if (mesh >= 0) n["mesh"] = mesh;
      }
      node_of_part[i] = b.node(n);
    }
    for (std::size_t i = 0; i < lod.parts.size(); ++i) {
      const int up = parent[i] >= 0 ? node_of_part[static_cast<std::size_t>(parent[i])] : lod_node;
      b.doc["nodes"][static_cast<std::size_t>(up)]["children"].push_back(node_of_part[i]);
    }
    json roots = json::array({lod_node});

    if (lod.skinned && !lod.parts.empty()) {
      const MeshSource src{model, lod.parts.size(), true, {}};
      const int mesh = add_mesh(b, src, strips_of(lod.skin_group), lod, first_material, level + " skin", ls);
      if (mesh >= 0) {
        // Each joint's bind pose is its pivot: the inverse moves it back.
        std::string ibm;
        for (std::size_t i = 0; i < lod.parts.size(); ++i) {
          const std::array<float, 16> m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -pivot[i][0], -pivot[i][1], -pivot[i][2],
                                           1};
          for (float v : m) put(ibm, finite_or_zero(v));
        }
        const int inverse = b.accessor(ibm, 0, kFloat, lod.parts.size(), "MAT4");
        b.doc["skins"].push_back({{"name", level + " skeleton"},
                                  {"inverseBindMatrices", inverse},
                                  {"skeleton", lod_node},
                                  {"joints", node_of_part}});
        const int skin = static_cast<int>(b.doc["skins"].size()) - 1;
        roots.push_back(b.node({{"name", level + " skin"}, {"mesh", mesh}, {"skin", skin}}));
        ++stats.skins;
      }
    }
    b.doc["scenes"].push_back(
        {{"name", level},
         {"nodes", roots},
         {"extras",
          {{"lod", l},
           {"switch_distance_m", static_cast<double>(model.header.lod_distance[l]) / 65536.0 * kMetresPerUnit}}}});
    stats.triangles += ls.triangles;
    stats.meshes += ls.meshes;
    stats.lods.push_back(ls);
  }
  if (!b.doc["scenes"].empty()) b.doc["scene"] = 0;

  // Empty lists are left out, as the format asks.
  for (const char* key : {"scenes", "nodes", "meshes", "materials", "accessors", "bufferViews"})
    if (b.doc[key].empty()) b.doc.erase(key);
  if (!b.bin.empty()) {
    while (b.bin.size() % 4 != 0) b.bin.push_back('\0');
    b.doc["buffers"] = json::array({{{"byteLength", b.bin.size()}}});
  } else {
    b.doc.erase("bufferViews");
  }
  stats.scenes = b.doc.contains("scenes") ? b.doc["scenes"].size() : 0;
  stats.nodes = b.doc.contains("nodes") ? b.doc["nodes"].size() : 0;
  stats.materials = b.doc.contains("materials") ? b.doc["materials"].size() : 0;
  stats.textures = b.doc.contains("textures") ? b.doc["textures"].size() : 0;
  stats.images = b.doc.contains("images") ? b.doc["images"].size() : 0;

  std::string text = b.doc.dump();
  while (text.size() % 4 != 0) text.push_back(' ');
  std::string glb;
  const std::size_t total = 12 + 8 + text.size() + (b.bin.empty() ? 0 : 8 + b.bin.size());
  glb.reserve(total);
  glb.append("glTF", 4);
  put_u32(glb, 2);
  put_u32(glb, static_cast<uint32_t>(total));
  put_u32(glb, static_cast<uint32_t>(text.size()));
  glb.append("JSON", 4);
  glb.append(text);
  if (!b.bin.empty()) {
    put_u32(glb, static_cast<uint32_t>(b.bin.size()));
    glb.append("BIN\0", 4);
    glb.append(b.bin);
  }
  if (stats_out != nullptr) *stats_out = std::move(stats);
  return glb;
}

// ---- Textures as the preview makes them ----------------------------------------------------

namespace {

// Keeps every picture the texture library makes, by handle.
class PictureDevice final : public TextureDevice {
 public:
  int32_t create_from_pixels(const std::string&, const Image& image, int, uint32_t) override {
    pictures.push_back(image);
    return static_cast<int32_t>(pictures.size());
  }
  int32_t create_from_dds(const std::string&, const DdsFile& dds, uint32_t) override {
    tools::Result<Image> image = dds_to_image(dds, 0);
    if (!image) return 0;
    pictures.push_back(std::move(*image));
    return static_cast<int32_t>(pictures.size());
  }
  std::vector<Image> pictures;
};

// The file (or pair of files) a texture record is made from, as the loader
// asks for it.
std::string texture_name(const render::Texture& t) {
  const std::string first = t.record.first_name.str();
  const std::string second = t.record.second_name.str();
  if ((t.record.flags & 0x8) != 0 || first.empty()) return second;
  if ((t.record.flags & 0x100) != 0) return first + "\" + \"" + second;
  return first;
}

}  // namespace

Export export_model(ModelLoader& loader, render::Model& model, const std::string& texture_folder,
                    const std::string& generator) {
  PictureDevice device;
  TextureLibrary library(device, texture_folder);
  LibraryTextureFactory factory(library);
  loader.create_textures_and_materials(factory);

  Export out;
  std::vector<const Image*> pictures(model.textures.size(), nullptr);
  // Pictures that could not be made, each name once (several records may
  // name one file), with the first reason and every material using them.
  struct Missing {
    std::string name, why;
    std::vector<std::string> users;
  };
  std::vector<Missing> missing;
  std::size_t failure = 0;
  for (std::size_t i = 0; i < model.textures.size(); ++i) {
    const render::Texture& t = model.textures[i];
    if (!t.placeholder && t.handle > 0 && static_cast<std::size_t>(t.handle) <= device.pictures.size()) {
      pictures[i] = &device.pictures[static_cast<std::size_t>(t.handle) - 1];
      continue;
    }
    const std::string why = failure < factory.failures().size() ? factory.failures()[failure] : "not made";
    ++failure;
    const std::string name = texture_name(t);
    auto at = std::find_if(missing.begin(), missing.end(), [&](const Missing& m) { return m.name == name; });
    if (at == missing.end()) at = missing.insert(missing.end(), Missing{name, why, {}});
    for (std::size_t l = 0; l < model.lod_count; ++l)
      for (const render::Material& m : model.lods[l]->materials)
        if (m.texture == &t && std::find(at->users.begin(), at->users.end(), m.record.name.str()) == at->users.end())
          at->users.push_back(m.record.name.str());
  }
  for (const Missing& m : missing) {
    std::string line = "texture \"" + m.name + "\"";
    if (!m.users.empty()) {
      line += m.users.size() == 1 ? " of material " : " of materials ";
      for (std::size_t u = 0; u < m.users.size(); ++u) line += (u > 0 ? ", \"" : "\"") + m.users[u] + "\"";
    }
    line += ": not read: " + m.why + "; ";
    line += m.users.size() > 1 ? "the materials go without it" : "the material goes without it";
    out.warnings.push_back(std::move(line));
  }
  out.glb = build_glb(model, pictures, generator, &out.stats);
  return out;
}

}  // namespace orvo::gltf
