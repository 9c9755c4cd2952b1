// The geometry rules of the assimp reader that do not need assimp: the
// file's axes turned into the scene's frame, and smoothing groups from
// corner normals.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

#include "orvo/import/assimp_scene.h"

namespace orvo {

Basis3 scene_basis(const SceneAxes& axes) {
  // The scene's own frame is (right, front, up) = (x, -y, z) with Z up and
  // the front facing -Y; the stored frame turns that a quarter turn,
  // (x, y, z) -> (-y, x, z). Together: stored = (front, right, up).
  Basis3 m{};
  const auto axis = [](int a) { return static_cast<std::size_t>(std::clamp(a, 0, 2)); };
  m[0][axis(axes.front_axis)] = (axes.front_sign < 0 ? -1.0 : 1.0) * axes.metres_per_unit;
  m[1][axis(axes.right_axis)] = (axes.right_sign < 0 ? -1.0 : 1.0) * axes.metres_per_unit;
  m[2][axis(axes.up_axis)] = (axes.up_sign < 0 ? -1.0 : 1.0) * axes.metres_per_unit;
  return m;
}

namespace {

// Corner normals closer than this (the cosine of about 2.5 degrees) are the
// same normal: files write normals with a few digits, and one vertex split
// for its texture coordinates keeps the same normal on both copies.
constexpr float kSameNormalCos = 0.999f;

bool usable(const Vec3& n) {
  const float len2 = n.x * n.x + n.y * n.y + n.z * n.z;
  return std::isfinite(len2) && len2 > 1e-12f;
}

bool same_normal(const Vec3& a, const Vec3& b) {
  const float la = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  const float lb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z);
  return (a.x * b.x + a.y * b.y + a.z * b.z) >= kSameNormalCos * la * lb;
}

struct DisjointSets {
  std::vector<std::size_t> parent;
  explicit DisjointSets(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), std::size_t{0}); }
  std::size_t find(std::size_t i) {
    while (parent[i] != i) {
      parent[i] = parent[parent[i]];
      i = parent[i];
    }
    return i;
  }
  void join(std::size_t a, std::size_t b) {
    a = find(a);
    b = find(b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
  }
};

}  // namespace

std::vector<uint32_t> smoothing_groups(const std::vector<std::array<int32_t, 3>>& corners,
                                       const std::vector<std::array<Vec3, 3>>& normals) {
  const std::size_t nf = std::min(corners.size(), normals.size());
  std::vector<uint32_t> masks(corners.size(), 0);
  if (nf == 0) return masks;

  // The corners at each vertex, as (face, corner) pairs, grouped by vertex.
  struct Corner {
    int32_t vertex;
    uint32_t face;
    uint8_t k;
  };
  std::vector<Corner> at;
  at.reserve(nf * 3);
  for (std::size_t f = 0; f < nf; ++f) {
    for (uint8_t k = 0; k < 3; ++k) at.push_back({corners[f][k], static_cast<uint32_t>(f), k});
  }
  std::sort(at.begin(), at.end(), [](const Corner& a, const Corner& b) {
    return a.vertex != b.vertex ? a.vertex < b.vertex : a.face < b.face;
  });

  // Join the faces that meet at a vertex with the same normal. The normals
  // at one vertex fall into a few kinds; each kind keeps its first face.
  DisjointSets sets(nf);
  std::vector<std::pair<Vec3, uint32_t>> kinds;
  for (std::size_t i = 0; i < at.size();) {
    std::size_t j = i;
    kinds.clear();
    for (; j < at.size() && at[j].vertex == at[i].vertex; ++j) {
      const Vec3& n = normals[at[j].face][at[j].k];
      if (!usable(n)) continue;
      bool joined = false;
      for (const auto& [kind, face] : kinds) {
        if (same_normal(kind, n)) {
          sets.join(face, at[j].face);
          joined = true;
          break;
        }
      }
      if (!joined) kinds.emplace_back(n, at[j].face);
    }
    i = j;
  }

  // Groups of one face take no bit.
  std::vector<std::size_t> group(nf), size(nf, 0);
  for (std::size_t f = 0; f < nf; ++f) ++size[group[f] = sets.find(f)];

  // Groups that meet at a vertex are neighbours and must not share a bit.
  std::vector<std::vector<std::size_t>> neighbours(nf);
  std::vector<std::size_t> here;
  for (std::size_t i = 0; i < at.size();) {
    std::size_t j = i;
    here.clear();
    for (; j < at.size() && at[j].vertex == at[i].vertex; ++j) {
      const std::size_t g = group[at[j].face];
      if (size[g] >= 2 && std::find(here.begin(), here.end(), g) == here.end()) here.push_back(g);
    }
    for (std::size_t a : here) {
      for (std::size_t b : here) {
        if (a != b) neighbours[a].push_back(b);
      }
    }
    i = j;
  }
  std::vector<int> bit(nf, -1);
  std::size_t number = 0;
  for (std::size_t g = 0; g < nf; ++g) {
    if (group[g] != g || size[g] < 2) continue;
    uint32_t taken = 0;
    for (std::size_t other : neighbours[g]) {
      if (bit[other] >= 0) taken |= 1u << static_cast<unsigned>(bit[other]);
    }
    int chosen = static_cast<int>(number % 32);
    for (int b = 0; b < 32; ++b) {
      if ((taken & (1u << static_cast<unsigned>(b))) == 0) {
        chosen = b;
        break;
      }
    }
    bit[g] = chosen;
    ++number;
  }
  for (std::size_t f = 0; f < nf; ++f) {
    const int b = bit[group[f]];
    if (b >= 0) masks[f] = 1u << static_cast<unsigned>(b);
  }
  return masks;
}

}  // namespace orvo
