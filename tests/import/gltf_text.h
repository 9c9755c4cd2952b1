// Builds small glTF 2.0 scenes (one JSON text, the buffer inline as a data
// URI) for the import tests.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace orvo::test {

struct GltfMesh {
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 3>> normals;  // empty: none
  std::vector<std::array<float, 2>> uvs;      // empty: none
  std::vector<std::array<uint16_t, 4>> joints;
  std::vector<std::array<float, 4>> weights;
  std::vector<uint32_t> indices;
  int material = -1;
};

struct GltfNode {
  std::string name;
  int mesh = -1;
  int skin = -1;
  int light = -1;
  std::array<float, 3> translation{0, 0, 0};
  std::array<float, 4> rotation{0, 0, 0, 1};  // x, y, z, w
  std::vector<int> children;
};

// Each triangle gets three vertices of its own with the face normal, as an
// exporter writes hard edges.
inline GltfMesh flat_mesh(const std::vector<std::array<float, 3>>& corners,
                          const std::vector<std::array<int, 3>>& triangles, int material = -1) {
  GltfMesh m;
  m.material = material;
  for (const auto& t : triangles) {
    const auto& a = corners[static_cast<std::size_t>(t[0])];
    const auto& b = corners[static_cast<std::size_t>(t[1])];
    const auto& c = corners[static_cast<std::size_t>(t[2])];
    const std::array<float, 3> u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    std::array<float, 3> n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& x : n) x /= len;
    for (int k = 0; k < 3; ++k) {
      m.indices.push_back(static_cast<uint32_t>(m.positions.size()));
      m.positions.push_back(corners[static_cast<std::size_t>(t[static_cast<std::size_t>(k)])]);
      m.normals.push_back(n);
    }
  }
  return m;
}

inline std::string base64(const std::string& bytes) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t n =
        (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint32_t(uint8_t(bytes[i + 2]));
    for (int s = 18; s >= 0; s -= 6) out += k[(n >> s) & 63];
  }
  if (i + 1 == bytes.size()) {
    const uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    out += k[(n >> 18) & 63];
    out += k[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const uint32_t n = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
    out += k[(n >> 18) & 63];
    out += k[(n >> 12) & 63];
    out += k[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

inline std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", v);
  return b;
}

// `extra_json` is spliced in as it is ("materials": [...], "skins": [...],
// "extensions": {...}, ... with a leading comma). `matrices` (column-major
// 4 x 4 float matrices) become one more accessor, whose index replaces "$M"
// in `extra_json`.
inline std::string gltf(const std::vector<GltfNode>& nodes, const std::vector<GltfMesh>& meshes,
                        std::string extra_json = "", const std::vector<float>& matrices = {}) {
  std::string buffer, accessors, views, mesh_json;
  int count = 0;
  const auto add = [&](const void* data, std::size_t bytes, std::size_t n, int component, const char* type,
                       const std::string& minmax = "") {
    while (buffer.size() % 4 != 0) buffer += '\0';
    const std::size_t offset = buffer.size();
    buffer.append(static_cast<const char*>(data), bytes);
    if (count > 0) {
      views += ",";
      accessors += ",";
    }
    views +=
        "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) + ",\"byteLength\":" + std::to_string(bytes) + "}";
    accessors += "{\"bufferView\":" + std::to_string(count) + ",\"componentType\":" + std::to_string(component) +
                 ",\"count\":" + std::to_string(n) + ",\"type\":\"" + type + "\"" + minmax + "}";
    return count++;
  };
  for (std::size_t i = 0; i < meshes.size(); ++i) {
    const GltfMesh& m = meshes[i];
    std::array<float, 3> lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    for (const auto& p : m.positions) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
      }
    }
    const std::string minmax = ",\"min\":[" + num(lo[0]) + "," + num(lo[1]) + "," + num(lo[2]) + "],\"max\":[" +
                               num(hi[0]) + "," + num(hi[1]) + "," + num(hi[2]) + "]";
    std::string attributes = "\"POSITION\":" + std::to_string(add(m.positions.data(), m.positions.size() * 12,
                                                                  m.positions.size(), 5126, "VEC3", minmax));
    if (!m.normals.empty())
      attributes +=
          ",\"NORMAL\":" + std::to_string(add(m.normals.data(), m.normals.size() * 12, m.normals.size(), 5126, "VEC3"));
    if (!m.uvs.empty())
      attributes +=
          ",\"TEXCOORD_0\":" + std::to_string(add(m.uvs.data(), m.uvs.size() * 8, m.uvs.size(), 5126, "VEC2"));
    if (!m.joints.empty())
      attributes +=
          ",\"JOINTS_0\":" + std::to_string(add(m.joints.data(), m.joints.size() * 8, m.joints.size(), 5123, "VEC4"));
    if (!m.weights.empty())
      attributes += ",\"WEIGHTS_0\":" +
                    std::to_string(add(m.weights.data(), m.weights.size() * 16, m.weights.size(), 5126, "VEC4"));
    const int indices = add(m.indices.data(), m.indices.size() * 4, m.indices.size(), 5125, "SCALAR");
    if (i > 0) mesh_json += ",";
    mesh_json += "{\"primitives\":[{\"attributes\":{" + attributes + "},\"indices\":" + std::to_string(indices) +
                 (m.material >= 0 ? ",\"material\":" + std::to_string(m.material) : std::string()) + "}]}";
  }
  if (!matrices.empty()) {
    const int m = add(matrices.data(), matrices.size() * 4, matrices.size() / 16, 5126, "MAT4");
    const std::size_t at = extra_json.find("$M");
    if (at != std::string::npos) extra_json.replace(at, 2, std::to_string(m));
  }
  std::string node_json, roots;
  std::vector<bool> child(nodes.size(), false);
  for (const GltfNode& n : nodes) {
    for (int c : n.children) child[static_cast<std::size_t>(c)] = true;
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const GltfNode& n = nodes[i];
    if (i > 0) node_json += ",";
    node_json += "{\"name\":\"" + n.name + "\",\"translation\":[" + num(n.translation[0]) + "," +
                 num(n.translation[1]) + "," + num(n.translation[2]) + "],\"rotation\":[" + num(n.rotation[0]) + "," +
                 num(n.rotation[1]) + "," + num(n.rotation[2]) + "," + num(n.rotation[3]) + "]";
    if (n.mesh >= 0) node_json += ",\"mesh\":" + std::to_string(n.mesh);
    if (n.skin >= 0) node_json += ",\"skin\":" + std::to_string(n.skin);
    if (n.light >= 0)
      node_json += ",\"extensions\":{\"KHR_lights_punctual\":{\"light\":" + std::to_string(n.light) + "}}";
    if (!n.children.empty()) {
      node_json += ",\"children\":[";
      for (std::size_t c = 0; c < n.children.size(); ++c)
        node_json += (c > 0 ? "," : "") + std::to_string(n.children[c]);
      node_json += "]";
    }
    node_json += "}";
    if (!child[i]) roots += (roots.empty() ? "" : ",") + std::to_string(i);
  }
  std::string json = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[" + roots + "]}]";
  json += ",\"nodes\":[" + node_json + "]";
  if (!meshes.empty()) {
    json += ",\"meshes\":[" + mesh_json + "],\"accessors\":[" + accessors + "],\"bufferViews\":[" + views + "]";
    json += ",\"buffers\":[{\"byteLength\":" + std::to_string(buffer.size()) +
            ",\"uri\":\"data:application/octet-stream;base64," + base64(buffer) + "\"}]";
  }
  json += extra_json + "}";
  return json;
}

}  // namespace orvo::test
