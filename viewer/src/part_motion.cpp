#include "orvo/viewer/part_motion.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace orvo::render {

// ---- Matrix building blocks --------------------------------------------------

Matrix4f identity_matrix() {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix4f translation_matrix(float x, float y, float z) {
  Matrix4f m = identity_matrix();
  m[12] = x;
  m[13] = y;
  m[14] = z;
  return m;
}

Matrix4f scale_about_pivot(float sx, float sy, float sz, const Vec3f& pivot) {
  Matrix4f m = translation_matrix(-sx * pivot[0], -sy * pivot[1], -sz * pivot[2]);
  m[0] = sx;
  m[5] = sy;
  m[10] = sz;
  return m;
}

Matrix4f rotation_x(float a) {
  Matrix4f m = identity_matrix();
  const float c = std::cos(a), s = std::sin(a);
  m[5] = c;
  m[6] = s;
  m[9] = -s;
  m[10] = c;
  return m;
}

Matrix4f rotation_y(float a) {
  Matrix4f m = identity_matrix();
  const float c = std::cos(a), s = std::sin(a);
  m[0] = c;
  m[2] = -s;
  m[8] = s;
  m[10] = c;
  return m;
}

Matrix4f rotation_z(float a) {
  Matrix4f m = identity_matrix();
  const float c = std::cos(a), s = std::sin(a);
  m[0] = c;
  m[1] = s;
  m[4] = -s;
  m[5] = c;
  return m;
}

Matrix4f affine_product(const Matrix4f& a, const Matrix4f& b) {
  Matrix4f r{};
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 3; ++col) {
      float v = a[row * 4 + 0] * b[0 * 4 + col] + a[row * 4 + 1] * b[1 * 4 + col] + a[row * 4 + 2] * b[2 * 4 + col];
      if (row == 3) v += b[12 + col];
      r[row * 4 + col] = v;
    }
  }
  r[15] = 1.0f;
  return r;
}

std::optional<Matrix4f> inverse_3x3(const Matrix4f& m) {
  // Cofactors in double: orientation matrices are near orthonormal, but a
  // hostile file can hold anything.
  auto e = [&](int r, int c) { return static_cast<double>(m[r * 4 + c]); };
  const double c00 = e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1);
  const double c01 = e(1, 2) * e(2, 0) - e(1, 0) * e(2, 2);
  const double c02 = e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0);
  const double det = e(0, 0) * c00 + e(0, 1) * c01 + e(0, 2) * c02;
  if (!std::isfinite(det) || det == 0.0) return std::nullopt;
  const double k = 1.0 / det;
  Matrix4f r{};
  r[0] = static_cast<float>(c00 * k);
  r[1] = static_cast<float>((e(0, 2) * e(2, 1) - e(0, 1) * e(2, 2)) * k);
  r[2] = static_cast<float>((e(0, 1) * e(1, 2) - e(0, 2) * e(1, 1)) * k);
  r[4] = static_cast<float>(c01 * k);
  r[5] = static_cast<float>((e(0, 0) * e(2, 2) - e(0, 2) * e(2, 0)) * k);
  r[6] = static_cast<float>((e(0, 2) * e(1, 0) - e(0, 0) * e(1, 2)) * k);
  r[8] = static_cast<float>(c02 * k);
  r[9] = static_cast<float>((e(0, 1) * e(2, 0) - e(0, 0) * e(2, 1)) * k);
  r[10] = static_cast<float>((e(0, 0) * e(1, 1) - e(0, 1) * e(1, 0)) * k);
  r[15] = 1.0f;
  return r;
}

Vec3f transform_direction(const Vec3f& v, const Matrix4f& m) {
  return {v[0] * m[0] + v[1] * m[4] + v[2] * m[8], v[0] * m[1] + v[1] * m[5] + v[2] * m[9],
          v[0] * m[2] + v[1] * m[6] + v[2] * m[10]};
}

Vec3f transform_point(const Vec3f& p, const Matrix4f& m) {
  const Vec3f d = transform_direction(p, m);
  return {d[0] + m[12], d[1] + m[13], d[2] + m[14]};
}

// ---- Part motion generator fields ----------------------------------------------

std::optional<float> motion_field_value(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs) {
  const int style = f.style;
  const int op = style >> 4;
  const int wave = style & 0x0F;
  const double s = f.start;
  const double e = f.end;
  double drive = 0.0;  // L for a wave, V for a register
  if (style == kStyleSet) {
    return static_cast<float>(256.0 * s);
  } else if (op >= 3 && op <= 6 && wave != 0) {
    drive = wave_lookup(style, phase_position(f.index_or_phase, f.rate, t));
  } else if (style >= kStyleSetCtrlReg && style <= kStyleMultCtrlReg) {
    drive = regs.get(f.index_or_phase);
  } else {
    return std::nullopt;  // inactive, or a style that only means something for texture mapping
  }
  return static_cast<float>(256.0 * s + drive * 256.0 * (e - s) / 65536.0);
}

std::optional<float> motion_angle(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs) {
  const std::optional<float> v = motion_field_value(f, t, regs);
  if (!v) return std::nullopt;
  return static_cast<float>(*v * (2.0 * std::numbers::pi / 4194304.0));
}

std::optional<float> motion_scale(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs) {
  const std::optional<float> v = motion_field_value(f, t, regs);
  if (!v) return std::nullopt;
  return *v / 65536.0f;
}

// ---- Part transforms ---------------------------------------------------------------

namespace {

Matrix4f without_translation(Matrix4f m) {
  m[12] = m[13] = m[14] = 0.0f;
  return m;
}

void add_translation(Matrix4f& m, const Vec3f& v) {
  m[12] += v[0];
  m[13] += v[1];
  m[14] += v[2];
}

// The camera's 3 × 3 part with translation q − w.
Matrix4f facing(const Matrix4f& camera, const Vec3f& q, const Vec3f& w) {
  Matrix4f m = without_translation(camera);
  m[3] = m[7] = m[11] = 0.0f;
  m[12] = q[0] - w[0];
  m[13] = q[1] - w[1];
  m[14] = q[2] - w[2];
  m[15] = 1.0f;
  return m;
}

struct Frame {
  std::span<const Part> parts;
  std::span<const Matrix4f> base;
  std::span<const Matrix4f> matrices;
  const Matrix4f& camera;
  double theta;  // fixed-rate angle for a rate of 1.0
  uint32_t gen_time;
  const ControlRegisterValues& regs;
};

Matrix4f move_part(const Frame& f, size_t i, const PartMotion& m, std::span<const Matrix4f> out) {
  const size_t n = f.parts.size();
  const size_t a = m.transform_as < n ? m.transform_as : i;
  const Vec3f& pivot = f.parts[a].pivot;
  const Matrix4f motion_base = without_translation(f.base[a]);
  // Where the pivot lands: through the parent's final transform, or as it is.
  const Vec3f anchor = m.parent < n ? transform_point(pivot, out[m.parent]) : pivot;

  std::optional<Matrix4f> orient, orient_inv;
  if (m.matrix >= 1 && m.matrix < f.matrices.size()) {
    orient_inv = inverse_3x3(f.matrices[m.matrix]);
    if (orient_inv) orient = f.matrices[m.matrix];
  }

  auto finish = [&](Matrix4f r) {
    r = affine_product(r, motion_base);
    add_translation(r, anchor);
    return r;
  };

  if (!(m.flags & file3di::kMotionMoves)) return finish(translation_matrix(-pivot[0], -pivot[1], -pivot[2]));

  float sx = 1.0f, sy = 1.0f, sz = 1.0f;
  if (m.flags & file3di::kMotionScaleOne) {
    if (const auto s = motion_scale(m.scale_funcs[0], f.gen_time, f.regs)) sx = sy = sz = *s;
  } else if (m.flags & file3di::kMotionScaleThree) {
    if (const auto s = motion_scale(m.scale_funcs[0], f.gen_time, f.regs)) sx = *s;
    if (const auto s = motion_scale(m.scale_funcs[1], f.gen_time, f.regs)) sy = *s;
    if (const auto s = motion_scale(m.scale_funcs[2], f.gen_time, f.regs)) sz = *s;
  }

  const bool rates = m.flags & file3di::kMotionRotateRates;
  const bool funcs = m.flags & file3di::kMotionRotateFuncs;
  if (rates || funcs) {
    Matrix4f r = scale_about_pivot(sx, sy, sz, pivot);
    if (orient) r = affine_product(r, *orient);
    if (rates) {
      const auto& [yaw, pitch, roll] = m.rotate_rates;
      if (roll != 0.0f) r = affine_product(r, rotation_z(static_cast<float>(f.theta * roll)));
      if (pitch != 0.0f) r = affine_product(r, rotation_x(static_cast<float>(f.theta * pitch)));
      if (yaw != 0.0f) r = affine_product(r, rotation_y(static_cast<float>(f.theta * yaw)));
    } else {
      const auto yaw = motion_angle(m.rotate_funcs[0], f.gen_time, f.regs);
      const auto pitch = motion_angle(m.rotate_funcs[1], f.gen_time, f.regs);
      const auto roll = motion_angle(m.rotate_funcs[2], f.gen_time, f.regs);
      if (m.flags & file3di::kMotionReverseOrder) {
        if (roll) r = affine_product(r, rotation_z(*roll));
        if (pitch) r = affine_product(r, rotation_x(*pitch));
        if (yaw) r = affine_product(r, rotation_y(*yaw));
      } else {
        if (yaw) r = affine_product(r, rotation_y(*yaw));
        if (pitch) r = affine_product(r, rotation_x(*pitch));
        if (roll) r = affine_product(r, rotation_z(*roll));
      }
    }
    if (orient_inv) r = affine_product(r, *orient_inv);
    return finish(r);
  }

  if (m.flags & (file3di::kMotionFaceCamera | file3di::kMotionFaceCameraUpright)) {
    // Billboards turn about their own pivot, wherever their base puts it.
    const Vec3f& own = f.parts[i].pivot;
    const Vec3f q = transform_point(own, f.base[i]);
    if (m.flags & file3di::kMotionFaceCamera) {
      const Vec3f w = transform_direction({sx * own[0], sy * own[1], sz * own[2]}, f.camera);
      Matrix4f diag = identity_matrix();
      diag[0] = sx;
      diag[5] = sy;
      diag[10] = sz;
      return affine_product(diag, facing(f.camera, q, w));
    }
    Matrix4f r = facing(f.camera, q, transform_direction(own, f.camera));
    const float r00 = r[0], r02 = r[2];
    r[4] = 0.0f, r[5] = 1.0f, r[6] = 0.0f;
    r[8] = -r02, r[9] = 0.0f, r[10] = r00;
    return r;
  }

  return finish(scale_about_pivot(sx, sy, sz, pivot));
}

bool overlaps(std::span<const Matrix4f> a, std::span<const Matrix4f> b) {
  const std::less<const Matrix4f*> less;
  return less(a.data(), b.data() + b.size()) && less(b.data(), a.data() + a.size());
}

}  // namespace

void part_transforms(const Lod& lod, std::span<const Matrix4f> base, const Matrix4f* outer, const Matrix4f& camera,
                     uint32_t time_ms, const ControlRegisterValues& regs, std::span<Matrix4f> out) {
  assert(base.size() >= lod.parts.size() && out.size() >= lod.parts.size());
  const size_t n = std::min({lod.parts.size(), base.size(), out.size()});

  // Reading the base transforms while writing `out` needs its own copy when
  // the caller hands in the same table.
  std::vector<Matrix4f> base_copy;
  if (overlaps(base, out)) {
    base_copy.assign(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(n));
    base = base_copy;
  }
  base = base.first(n);
  out = out.first(n);
  std::copy(base.begin(), base.end(), out.begin());

  const bool moving = lod.part_motion && !lod.motions.empty();
  if (moving) {
    const Frame f{lod.parts.first(n),
                  base,
                  lod.matrices,
                  camera,
                  static_cast<double>(time_ms) * 2.0 * std::numbers::pi / 1000.0,
                  generator_time(time_ms),
                  regs};
    const size_t with_records = std::min(n, lod.motions.size());
    for (size_t i = 0; i < with_records; ++i) {
      const PartMotion& m = lod.motions[i];
      Matrix4f r = move_part(f, i, m, out);
      const size_t a = m.transform_as < n ? m.transform_as : i;
      r[15] = base[a][15];
      out[i] = r;
    }
  }

  if (!outer) return;
  for (size_t i = 0; i < n; ++i) {
    if (base[i][15] == 0.0f) {
      out[i][15] = 0.0f;
      continue;
    }
    // The product's last column is (0, 0, 0, 1); a part hidden because the
    // part it moves as is hidden stays hidden.
    const bool hidden = out[i][15] == 0.0f;
    out[i] = affine_product(out[i], *outer);
    if (hidden) out[i][15] = 0.0f;
  }
}

}  // namespace orvo::render
