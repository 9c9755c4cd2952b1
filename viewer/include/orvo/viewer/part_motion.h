#pragma once
// Part motion: one final transform per part of a loaded LOD, every frame.
//
// Doors, rotors, guns and billboards move because each part's base transform
// (the object's placement, supplied by the caller) is combined with what the
// part's motion record says: fixed rotation rates, rotation and scale
// generators, or facing the camera, all about the part's pivot and relative
// to its parent's final transform.
//
// Matrix conventions: 4 × 4 floats, row-major, applied to row vectors
// (v' = v × M), translation in elements 12, 13, 14. A × B means A is applied
// first; products are affine (the last column of a product is 0, 0, 0, 1).
// Element 15 of a base transform is a visibility mark: 0 hides the part.

#include <cstdint>
#include <optional>
#include <span>

#include "orvo/model/generators.h"
#include "orvo/viewer/render_model.h"

namespace orvo::render {

// ---- Matrix building blocks --------------------------------------------------

Matrix4f identity_matrix();
// The identity with row 4 = (x, y, z, 1).
Matrix4f translation_matrix(float x, float y, float z);
// Scale about a pivot: the pivot goes to the origin, scaled.
// T(−sx·px, −sy·py, −sz·pz) with diagonal elements 0, 5, 10 = sx, sy, sz.
Matrix4f scale_about_pivot(float sx, float sy, float sz, const Vec3f& pivot);
// Rotations by `a` radians about the x, y (vertical) and z axes.
Matrix4f rotation_x(float a);
Matrix4f rotation_y(float a);
Matrix4f rotation_z(float a);
// A × B, A applied first: the 3 × 3 parts multiply, the translation is A's
// translation turned by B's 3 × 3 part plus B's translation, the last column
// is (0, 0, 0, 1).
Matrix4f affine_product(const Matrix4f& a, const Matrix4f& b);
// Inverse of the 3 × 3 part, translation 0, last column (0, 0, 0, 1). Empty
// when the 3 × 3 part is singular or not finite.
std::optional<Matrix4f> inverse_3x3(const Matrix4f& m);
// p × M with the translation.
Vec3f transform_point(const Vec3f& p, const Matrix4f& m);
// v × the 3 × 3 part of M (a direction: no translation).
Vec3f transform_direction(const Vec3f& v, const Matrix4f& m);

// ---- Part motion generator fields ----------------------------------------------

// Value of a part motion generator field in 16.16 float form, `t` the
// generator time (`generator_time(ms)`): "Set" gives 256·S, a wave style
// 256·S + L·256·(E − S)/65536 with L the wave value at the field's phase
// position, a register style the same with the register's 16.16 value in
// place of L (the field's second byte holds the run-time register index).
// Empty when the field is not applied: style 0, operation nibble 0, or any
// style that is neither "Set", a wave nor a register style (slides,
// rotations, separators).
std::optional<float> motion_field_value(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs);
// A rotation function in radians (value × 2π / 4194304; the field's unit is
// 1/16384 turn).
std::optional<float> motion_angle(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs);
// A scale function as a factor (value / 65536).
std::optional<float> motion_scale(const GeneratorField& f, uint32_t t, const ControlRegisterValues& regs);

// ---- Part transforms ---------------------------------------------------------------

// Final transform of every part of `lod`, in part order, into `out`.
//
// `base` holds one base transform per part (element 15 the visibility mark),
// `outer` the optional matrix B applied after everything, `camera` the
// camera's orientation (only its 3 × 3 part is read, by the face-camera
// modes), `time_ms` the clock in milliseconds (θ = t × 2π / 1000 for the
// fixed rates, `generator_time(time_ms)` for the generators), `regs` the
// control register values.
//
// Without motion records (`part_motion` clear or no records), `out` receives
// the base transforms, each × B when B is given. With B, a part whose base
// element 15 is 0 is not multiplied: it keeps its transform with element 15
// set to 0, so it stays hidden.
//
// Malformed records never read outside a table:
// - every base transform is copied into `out` before the first part is
//   computed, so a part whose parent is itself, or comes after it, reads
//   that parent's base transform;
// - a parent index outside the parts acts as no parent (the pivot is added
//   untransformed);
// - a transform_as index outside the parts acts as the part itself;
// - a matrix index of 0, one beyond the `RMatrix` table, or one naming a
//   matrix that cannot be inverted acts as no orientation matrix;
// - parts beyond the end of a short motion table keep their base transform.
//
// `base` and `out` shorter than the part count are a caller error: asserted,
// and only the parts that both hold are processed. `base` may overlap `out`.
void part_transforms(const Lod& lod, std::span<const Matrix4f> base, const Matrix4f* outer, const Matrix4f& camera,
                     uint32_t time_ms, const ControlRegisterValues& regs, std::span<Matrix4f> out);

}  // namespace orvo::render
