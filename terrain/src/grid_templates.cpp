#include "loamer/grid_templates.h"

#include <array>
#include <cassert>
#include <utility>

namespace loamer {

namespace {

constexpr int kSide = kLeafBlockSize + 1;  // grid points per row of a leaf block

// Collects triangles given by grid points and numbers the points in the
// order they first appear.
class TemplateBuilder {
 public:
  explicit TemplateBuilder(int index) {
    out_.index = index;
    number_.fill(-1);
    out_.vertices.reserve(kTemplateVertexCount);
    out_.triangles.reserve(kTemplateTriangleCount * 3);
  }

  struct Point {
    int x;
    int z;
  };

  void triangle(Point a, Point b, Point e) {
    add(a);
    add(b);
    add(e);
  }

  GridTemplate take() { return std::move(out_); }

 private:
  void add(Point p) {
    assert(p.x >= 0 && p.x <= kLeafBlockSize && p.z >= 0 && p.z <= kLeafBlockSize);
    int& n = number_[static_cast<std::size_t>(p.z * kSide + p.x)];
    if (n < 0) {
      n = static_cast<int>(out_.vertices.size());
      out_.vertices.push_back(VertexOffset{static_cast<uint16_t>(p.x), static_cast<uint16_t>(p.z)});
    }
    out_.triangles.push_back(static_cast<uint16_t>(n));
  }

  GridTemplate out_;
  std::array<int, kSide * kSide> number_{};
};

using Point = TemplateBuilder::Point;

// Unit cells between the rings and the far edges, row by row. The cell's
// diagonal alternates with (i XOR j) so that the cells form diamonds.
void inner_cells(TemplateBuilder& b, bool x_odd, bool z_odd) {
  const int i0 = x_odd ? 0 : 3;
  const int i1 = x_odd ? kLeafBlockSize - 3 : kLeafBlockSize;
  const int j0 = z_odd ? 0 : 3;
  const int j1 = z_odd ? kLeafBlockSize - 3 : kLeafBlockSize;
  for (int j = j0; j < j1; ++j) {
    for (int i = i0; i < i1; ++i) {
      const Point tl{i, j}, tr{i + 1, j}, bl{i, j + 1}, br{i + 1, j + 1};
      if (((i ^ j) & 1) != 0) {
        b.triangle(tr, bl, br);
        b.triangle(tr, tl, bl);
      } else {
        b.triangle(tl, br, tr);
        b.triangle(tl, bl, br);
      }
    }
  }
}

// One transition ring: pieces of `step` x `step` along the ringed sides,
// each a fan around its middle point that joins the coarse spacing on its
// outer side to half that spacing on its inner side. `offset` is how far the
// ring lies from the block's edge.
void ring(TemplateBuilder& b, bool x_odd, bool z_odd, int step, int offset) {
  const int h = step / 2;
  const int x0 = x_odd ? 0 : offset;
  const int x1 = x_odd ? kLeafBlockSize - offset : kLeafBlockSize;
  const int z0 = z_odd ? 0 : offset;
  const int z1 = z_odd ? kLeafBlockSize - offset : kLeafBlockSize;
  for (int pz = z0; pz < z1; pz += step) {
    for (int px = x0; px < x1; px += step) {
      const Point tl{px, pz}, tr{px + step, pz}, bl{px, pz + step}, br{px + step, pz + step};
      const Point m{px + h, pz + h};
      const Point top_mid{px + h, pz}, left_mid{px, pz + h}, right_mid{px + step, pz + h},
          bottom_mid{px + h, pz + step};
      const bool first_x = px == x0;
      const bool last_x = px == x1 - step;
      const bool first_z = pz == z0;
      const bool last_z = pz == z1 - step;
      // Along the ringed z side (top or bottom edge): one coarse triangle on
      // the outer edge, and two half-width ones towards the neighbouring
      // pieces, left out at the corner where the ringed x side's pieces take
      // over.
      if (!z_odd && first_z) {
        b.triangle(tl, m, tr);
        if (!first_x || x_odd) b.triangle(tl, left_mid, m);
        if (!last_x || !x_odd) b.triangle(tr, m, right_mid);
      }
      if (z_odd && last_z) {
        b.triangle(m, bl, br);
        if (!first_x || x_odd) b.triangle(left_mid, bl, m);
        if (!last_x || !x_odd) b.triangle(m, br, right_mid);
      }
      // Along the ringed x side (left or right edge), likewise.
      if (!x_odd && first_x) {
        b.triangle(tl, bl, m);
        if (!first_z || z_odd) b.triangle(tl, m, top_mid);
        if (!last_z || !z_odd) b.triangle(bl, bottom_mid, m);
      }
      if (x_odd && last_x) {
        b.triangle(m, br, tr);
        if (!first_z || z_odd) b.triangle(m, tr, top_mid);
        if (!last_z || !z_odd) b.triangle(m, bottom_mid, br);
      }
    }
  }
}

}  // namespace

int grid_template_index(int origin_x, int origin_z) {
  return ((origin_x / kLeafBlockSize) & 1) | (((origin_z / kLeafBlockSize) & 1) << 1);
}

GridTemplate make_grid_template(int index) {
  index &= 3;
  const bool x_odd = (index & 1) != 0;
  const bool z_odd = (index & 2) != 0;
  TemplateBuilder b(index);
  inner_cells(b, x_odd, z_odd);
  ring(b, x_odd, z_odd, 4, 0);
  ring(b, x_odd, z_odd, 2, 2);
  GridTemplate t = b.take();
  assert(t.triangle_count() == kTemplateTriangleCount && t.vertices.size() == kTemplateVertexCount);
  return t;
}

std::array<GridTemplate, 4> make_grid_templates() {
  return {make_grid_template(0), make_grid_template(1), make_grid_template(2), make_grid_template(3)};
}

}  // namespace loamer
