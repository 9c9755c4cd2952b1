#include "orvo/export/model_tables.h"

#include <cmath>

#include "orvo/model/generators.h"

namespace orvo {

namespace {

void add_name(std::vector<std::string>& table, std::string_view name) {
  for (const std::string& n : table)
    if (n == name) return;
  table.emplace_back(name);
}

template <class G>
void add_if_driven(std::vector<std::string>& table, const G& g, bool exactly_part_style = false) {
  if (exactly_part_style ? g.style == kStyleSetCtrlReg : style_uses_ctrlreg(g.style)) add_name(table, g.ctrlreg.view());
}

NodeRows identity_rows() {
  NodeRows identity{};
  identity[0] = {1, 0, 0};
  identity[1] = {0, 1, 0};
  identity[2] = {0, 0, 1};
  return identity;
}

NodeRows part_rows(const Model& level, std::size_t part) {
  return part < level.centers.size() ? level.centers[part].rows : identity_rows();
}

float dot(const Row3& a, const Row3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool same_orientation(const NodeRows& a, const NodeRows& b) {
  return dot(a[0], b[0]) >= 0.999f && dot(a[1], b[1]) >= 0.999f && dot(a[2], b[2]) >= 0.999f;
}

std::array<float, 16> orientation_matrix(const NodeRows& r) {
  // The file-axes rotation, then its inverse (the 3 x 3 block; the last row
  // and column stay those of the identity).
  const float m[3][3] = {{r[1].y, -r[1].z, -r[1].x}, {-r[2].y, r[2].z, r[2].x}, {-r[0].y, r[0].z, r[0].x}};
  float inv[3][3];
  const float det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                    m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                    m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (std::fabs(det) > 1e-12f) {
    const float k = 1.0f / det;
    inv[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k;
    inv[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    inv[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    inv[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k;
    inv[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    inv[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    inv[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k;
    inv[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    inv[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
  } else {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) inv[i][j] = m[j][i];
  }
  std::array<float, 16> out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[static_cast<std::size_t>(4 * i + j)] = inv[i][j];
  out[15] = 1;
  return out;
}

}  // namespace

std::vector<std::string> collect_control_registers(const std::array<const Model*, 4>& levels, int lod_count) {
  std::vector<std::string> table;
  for (int lod = 3; lod >= 0; --lod) {
    const Model* level = levels[static_cast<std::size_t>(lod)];
    if (lod >= lod_count || level == nullptr) continue;
    for (int i = 0; i < level->num_materials; ++i) {
      const ModelMaterial& m = level->materials[static_cast<std::size_t>(i)];
      add_if_driven(table, m.mapfunc_u);
      add_if_driven(table, m.mapfunc_v);
      add_if_driven(table, m.rgbgen);
      add_if_driven(table, m.alphagen);
    }
    if (level->part_anim_enable != 0) {
      const std::size_t parts = std::min<std::size_t>(level->subobjects.size(), level->part_anims.size());
      for (std::size_t p = 0; p < parts; ++p) {
        const PartAnimation& a = level->part_anims[p];
        if (a.rotate_type == 2) {
          add_if_driven(table, a.yaw_func, true);
          add_if_driven(table, a.pitch_func, true);
          add_if_driven(table, a.roll_func, true);
        }
        if (a.scale_type == 1) add_if_driven(table, a.scale_func, true);
        if (a.scale_type == 2) {
          add_if_driven(table, a.scalex_func, true);
          add_if_driven(table, a.scaley_func, true);
          add_if_driven(table, a.scalez_func, true);
        }
      }
    }
    for (const ModelLight& light : level->lights) add_if_driven(table, light.colorgen);
  }
  return table;
}

int control_register_index(const std::vector<std::string>& table, std::string_view name) {
  for (std::size_t i = 0; i < table.size(); ++i)
    if (table[i] == name) return static_cast<int>(i);
  return 0;
}

tools::Result<OrientationTable> collect_orientations(const std::array<const Model*, 4>& levels, int lod_count) {
  OrientationTable t;
  Orientation identity;
  identity.rows = identity_rows();
  identity.matrix = orientation_matrix(identity.rows);
  t.entries.push_back(identity);
  for (int lod = 3; lod >= 0; --lod) {
    const Model* level = levels[static_cast<std::size_t>(lod)];
    if (lod >= lod_count || level == nullptr) continue;
    std::vector<int>& indices = t.part_index[static_cast<std::size_t>(lod)];
    for (std::size_t p = 0; p < level->subobjects.size(); ++p) {
      const NodeRows rows = part_rows(*level, p);
      int found = -1;
      for (std::size_t e = 0; e < t.entries.size() && found < 0; ++e)
        if (same_orientation(t.entries[e].rows, rows)) found = static_cast<int>(e);
      if (found < 0) {
        if (t.entries.size() >= kMaxOrientations) {
          return tools::Error{1,
                              "level " + std::to_string(lod) + ", " + subobject_label(static_cast<int>(p)) +
                                  ": more than " + std::to_string(kMaxOrientations) +
                                  " different part orientations; the file's table holds 64",
                              {},
                              tools::ErrorKind::kBadData};
        }
        found = static_cast<int>(t.entries.size());
        t.entries.push_back({orientation_matrix(rows), rows});
      }
      indices.push_back(found);
    }
  }
  return t;
}

}  // namespace orvo
