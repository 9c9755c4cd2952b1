#pragma once
// The generated four-level model of the export and loader benchmarks: six
// closed tori per level (about 30 000 faces in level 0), three materials of
// which one has a second texture layer, smoothing groups, detail levels on;
// and the same kind of model or a single part of a given face count.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>

#include "orvo/model/model.h"

namespace orvo::bench {

// A torus of `rings` x `sides` quads (2 x rings x sides faces), closed, two
// smoothing groups in bands, materials alternating by ring.
inline SubObject torus(int rings, int sides, float cx, int first_material) {
  SubObject part;
  const float pi = 3.14159265f;
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j) {
      const float a = 2 * pi * float(i) / float(rings), b = 2 * pi * float(j) / float(sides);
      const float r = 2.0f + 0.6f * std::cos(b);
      part.verts.push_back({cx + r * std::cos(a), r * std::sin(a), 0.6f * std::sin(b)});
      part.tverts.push_back({float(i) / float(rings), float(j) / float(sides)});
    }
  const auto at = [&](int i, int j) { return (i % rings) * sides + (j % sides); };
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j)
      for (const auto& t : {std::array{at(i, j), at(i + 1, j), at(i, j + 1)},
                            std::array{at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}}) {
        Face f;
        f.v = {t[0], t[1], t[2], t[0]};
        f.t = f.v;
        const Vertex &p0 = part.verts[size_t(t[0])], &p1 = part.verts[size_t(t[1])], &p2 = part.verts[size_t(t[2])];
        const float ux = p1.x - p0.x, uy = p1.y - p0.y, uz = p1.z - p0.z;
        const float vx = p2.x - p0.x, vy = p2.y - p0.y, vz = p2.z - p0.z;
        float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        f.nx = nx / len;
        f.ny = ny / len;
        f.nz = nz / len;
        f.smoothing = (j * 4 / sides) % 2 == 0 ? 1u : 2u;
        f.material = first_material + (i % 3 == 2 ? 2 : i % 2);
        part.faces.push_back(f);
      }
  return part;
}

inline std::unique_ptr<Model> level(int rings, int sides, int parts = 6) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->name = "bench";
  m->threshold = 50;
  m->num_materials = 4;
  for (int i = 0; i < 4; ++i) {
    ModelMaterial& mat = m->materials[size_t(i)];
    mat.name = "m" + std::to_string(i);
    mat.u_tiling = mat.v_tiling = 2;
    mat.multitexture_flags = 1;
  }
  m->materials[1].multitexture_flags = 1;  // its second layer follows
  m->materials[2].multitexture_flags = 2;
  m->materials[3].blending_mode = 2;
  m->pm_enable = 1;
  for (int p = 0; p < parts; ++p) m->subobjects.push_back(torus(rings, sides, 6.0f * float(p), p % 2 == 0 ? 0 : 1));
  int faces = 0;
  for (const SubObject& s : m->subobjects) faces += int(s.faces.size());
  m->pm_polythresh = faces / 10;
  return m;
}

struct Set {
  std::array<std::unique_ptr<Model>, 4> levels{level(50, 50), level(36, 34), level(25, 24), level(18, 16)};
  std::array<const Model*, 4> slots() const {
    return {levels[0].get(), levels[1].get(), levels[2].get(), levels[3].get()};
  }
};

// A level of `parts` tori of about `faces` faces in all (each torus twice
// as many rings as sides).
inline std::unique_ptr<Model> level_of(int faces, int parts = 6) {
  const int quads = std::max(faces / (2 * parts), 18);
  const int sides = std::max(3, int(std::lround(std::sqrt(double(quads) / 2))));
  return level(std::max(3, quads / sides), sides, parts);
}

// A four-level model of about `faces` faces in level 0, each further level
// an eighth of the one before (a model whose levels halve runs past the
// 32 768 render vertices of a plain model at 50 000 faces).
struct SizedSet {
  explicit SizedSet(int faces)
      : levels{level_of(faces), level_of(faces / 8), level_of(faces / 64), level_of(faces / 512)} {}
  std::array<std::unique_ptr<Model>, 4> levels;
  std::array<const Model*, 4> slots() const {
    return {levels[0].get(), levels[1].get(), levels[2].get(), levels[3].get()};
  }
};

}  // namespace orvo::bench
