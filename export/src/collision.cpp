#include "orvo/export/collision.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <type_traits>

namespace orvo {

namespace {

namespace f3 = file3di;

constexpr float kBoxStart = 10000.0f;

float dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 position_of(const Vertex& v) {
  return {v.x, v.y, v.z};
}

// The shortest text that reads back as `value`, whatever the locale.
std::string number_text(float value) {
  char text[48];
  const auto r = std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

std::string part_text(int index, const SubObject& part) {
  return subobject_label(index) + " \"" + part.name.str() + "\"";
}

tools::Error does_not_fit(const std::string& text) {
  return tools::Error{kCodeCollisionDoesNotFit, text, {}, ErrorKind::kDoesNotFit};
}

// Box kept as floats while it grows.
struct FloatBox {
  Vec3 min{kBoxStart, kBoxStart, kBoxStart};
  Vec3 max{-kBoxStart, -kBoxStart, -kBoxStart};
  void cover(Vec3 p) {
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
  }
};

// truncate(value x 65536), or nothing when it does not fit an i32 or is
// not a number.
std::optional<int32_t> to_16_16(float value) {
  const double scaled = static_cast<double>(value) * 65536.0;
  if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) return std::nullopt;
  return static_cast<int32_t>(scaled);
}

// The name of a value: the text, or what the function gives (made only
// when the value does not fit: a collision model has many faces).
template <class What>
std::string name_of(const What& what) {
  if constexpr (std::is_invocable_v<const What&>) {
    return what();
  } else {
    return std::string(what);
  }
}

// Converts values to 16.16, keeping the first failure; the caller checks
// `error` once after a run of conversions.
class Fixer {
 public:
  template <class What>
  int32_t operator()(float value, const What& what) {
    if (error_) return 0;
    if (const std::optional<int32_t> v = to_16_16(value)) return *v;
    error_ = fixed_16_16(value, name_of(what)).error();
    return 0;
  }
  template <class What>
  f3::Box6i box(Vec3 min, Vec3 max, const What& what) {
    const auto part = [&](const char* which) { return [&, which] { return name_of(what) + which; }; };
    return {(*this)(min.x, part(" min x")), (*this)(max.x, part(" max x")), (*this)(min.y, part(" min y")),
            (*this)(max.y, part(" max y")), (*this)(min.z, part(" min z")), (*this)(max.z, part(" max z"))};
  }
  // An integer worked out from stored values, refused when beyond an i32.
  int32_t wide(int64_t value, const std::string& what) {
    if (error_) return 0;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
      error_ = does_not_fit(what + " does not fit a 16.16 value");
      return 0;
    }
    return static_cast<int32_t>(value);
  }
  const std::optional<tools::Error>& error() const { return error_; }

 private:
  std::optional<tools::Error> error_;
};

// One 8.8 vertex coordinate; `clamped` is set when it had to be pinned to
// the field's range.
int16_t fixed_8_8(float value, bool& clamped) {
  const double scaled = static_cast<double>(value) * 256.0;
  if (scaled <= -32769.0) {
    clamped = true;
    return std::numeric_limits<int16_t>::min();
  }
  if (scaled >= 32768.0) {
    clamped = true;
    return std::numeric_limits<int16_t>::max();
  }
  return static_cast<int16_t>(scaled);
}

int16_t fixed_2_14(float value) {
  return static_cast<int16_t>(static_cast<double>(value) * 16384.0);
}

const ModelMaterial& material_of(const Model& level, const Face& f) {
  static const ModelMaterial kNoMaterial{};
  return f.material >= 0 && f.material < level.num_materials ? level.materials[static_cast<std::size_t>(f.material)]
                                                             : kNoMaterial;
}

bool finite(Vec3 v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

uint16_t owner_of(const Vertex& v, bool skinned) {
  if (!skinned || v.bones[0] < 0 || v.bones[0] > 0xFFFF) return 0;
  return static_cast<uint16_t>(v.bones[0]);
}

// Builds the collision model step by step; the first value that cannot be
// stored stops it.
class Builder {
 public:
  Builder(const Model& geometry, const Model& volumes, const std::vector<PartCorners>* corners)
      : geometry_(geometry), volumes_(volumes), corners_(corners) {}

  tools::Result<CollisionModel> build() {
    skinned_ = (geometry_.attributes & kModelSkinned) != 0;
    model_.parts.resize(static_cast<std::size_t>(geometry_.num_subobjects()));
    for (int i = 0; i < geometry_.num_subobjects(); ++i)
      if (auto s = add_part_geometry(i); !s) return s.error();
    for (int i = 0; i < geometry_.num_subobjects(); ++i) add_part_record(i);
    for (std::size_t i = 0; i < geometry_.attach.size(); ++i) {
      const AttachPoint& p = geometry_.attach[i];
      const std::string what = "attachment point \"" + p.name.str() + "\"";
      model_.points.push_back({fix_(p.x, what + " x"), fix_(p.y, what + " y"), fix_(p.z, what + " z")});
    }
    add_volumes();
    out_.warnings.insert(out_.warnings.end(), clamped_.begin(), clamped_.end());
    add_header();
    if (fix_.error()) return *fix_.error();
    return std::move(out_);
  }

 private:
  tools::Status add_part_geometry(int index) {
    const SubObject& part = geometry_.subobjects[static_cast<std::size_t>(index)];
    f3::CollisionPart& out = model_.parts[static_cast<std::size_t>(index)];
    const std::string name = part_text(index, part);
    if (part.verts.size() > 0x10000) return does_not_fit(name + " has more vertices than a collision face can index");

    int clamped = 0;
    std::string first;
    for (std::size_t k = 0; k < part.verts.size(); ++k) {
      const Vertex& v = part.verts[k];
      if (!finite(position_of(v)))
        return does_not_fit(name + ": collision vertex " + std::to_string(k) + " is not a number");
      std::array<bool, 3> pinned{};
      const f3::CollisionVertex cv{fixed_8_8(v.x, pinned[0]), fixed_8_8(v.y, pinned[1]), fixed_8_8(v.z, pinned[2]),
                                   owner_of(v, skinned_)};
      if ((pinned[0] || pinned[1] || pinned[2]) && clamped++ == 0) {
        const std::size_t a = pinned[0] ? 0 : pinned[1] ? 1 : 2;
        const float value = a == 0 ? v.x : a == 1 ? v.y : v.z;
        first = "vertex " + std::to_string(k) + " " + "xyz"[a] + " = " + number_text(value);
      }
      out.vertices.push_back(cv);
    }
    if (clamped > 0)
      clamped_.push_back(name + ": " + std::to_string(clamped) +
                         " collision vertices lie beyond +-128 units and are stored clamped (first: " + first + ")");

    const bool found = corners_ != nullptr && static_cast<std::size_t>(index) < corners_->size() &&
                       (*corners_)[static_cast<std::size_t>(index)].frames.size() == part.faces.size();
    std::vector<std::array<Frame, 3>> computed;
    if (!found) computed = corner_normals(part);
    NormalGrid grid;
    const std::vector<Vec3> table =
        part_normal_table(part, found ? (*corners_)[static_cast<std::size_t>(index)].frames : computed, grid);
    const NormalIndex normals(table, std::move(grid));
    if (table.size() > 0x10000) return does_not_fit(name + " has more normals than a collision face can index");
    for (std::size_t k = 0; k < table.size(); ++k) {
      const Vec3 n = table[k];
      if (!finite(n) || std::fabs(n.x) >= 2 || std::fabs(n.y) >= 2 || std::fabs(n.z) >= 2)
        return does_not_fit(name + ": normal " + std::to_string(k) + " is not a unit vector");
      out.normals.push_back({fixed_2_14(n.x), fixed_2_14(n.y), fixed_2_14(n.z)});
    }

    for (std::size_t fi = 0; fi < part.faces.size(); ++fi) {
      const Face& f = part.faces[fi];
      const auto what = [&] { return name + " face " + std::to_string(fi); };
      f3::CollisionFace cf;
      std::array<Vec3, 3> p;
      for (std::size_t c = 0; c < 3; ++c) {
        if (f.v[c] < 0 || static_cast<std::size_t>(f.v[c]) >= part.verts.size())
          return does_not_fit(what() + " names vertex " + std::to_string(f.v[c]) + ", which the part does not have");
        cf.corners[c] = static_cast<uint16_t>(f.v[c]);
        p[c] = position_of(part.verts[static_cast<std::size_t>(f.v[c])]);
      }
      const int normal = normals.nearest({f.nx, f.ny, f.nz});
      cf.normal = static_cast<uint16_t>(normal);
      const Vec3 n = table.empty() ? Vec3{} : table[static_cast<std::size_t>(normal)];
      cf.distance = fix_(-dot(n, p[0]), [&] { return what() + " plane distance"; });
      FloatBox box;
      for (const Vec3& q : p) box.cover(q);
      cf.box = fix_.box(box.min, box.max, [&] { return what() + " box"; });
      const ModelMaterial& m = material_of(geometry_, f);
      cf.flags = collision_face_flags(m);
      cf.surface = surface_type(m);
      out.faces.push_back(cf);
    }
    if (fix_.error()) return *fix_.error();
    return {};
  }

  void add_part_record(int index) {
    const SubObject& part = geometry_.subobjects[static_cast<std::size_t>(index)];
    const std::string name = part_text(index, part);
    f3::CollisionPart& r = model_.parts[static_cast<std::size_t>(index)];
    r.flags = static_cast<uint32_t>(part.flags & 1);
    r.parent = part.parent;
    if (static_cast<std::size_t>(index) < geometry_.centers.size()) {
      const CenterPoint& c = geometry_.centers[static_cast<std::size_t>(index)];
      r.pivot = {fix_(c.x, name + " pivot x"), fix_(c.y, name + " pivot y"), fix_(c.z, name + " pivot z")};
    }

    // The vertices the part's box and spheres cover: its own, or in a
    // skinned model those of every part bound to it.
    std::vector<Vec3> points;
    if (skinned_) {
      for (const SubObject& other : geometry_.subobjects)
        for (const Vertex& v : other.verts)
          if (v.bones[0] == index) points.push_back(position_of(v));
    } else {
      for (const Vertex& v : part.verts) points.push_back(position_of(v));
    }
    FloatBox box;
    for (const Vec3& q : points) box.cover(q);
    if (!skinned_)
      for (const BoundingObject& b : volumes_.bobj)
        if (b.subobj == index) {
          box.cover({b.min_x, b.min_y, b.min_z});
          box.cover({b.max_x, b.max_y, b.max_z});
        }
    const Vec3 centre{(box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f, (box.min.z + box.max.z) * 0.5f};
    float r2 = 0, h2 = 0;
    for (const Vec3& q : points) {
      const float dx = q.x - centre.x, dy = q.y - centre.y, dz = q.z - centre.z;
      r2 = std::max(r2, dx * dx + dy * dy + dz * dz);
      h2 = std::max(h2, dx * dx + dy * dy);
    }
    r.box = fix_.box(box.min, box.max, name + " box");
    for (std::size_t a = 0; a < 3; ++a)
      r.centre[a] = static_cast<int32_t>((int64_t{r.box[2 * a]} + r.box[2 * a + 1]) >> 1);
    r.radius = fix_(std::sqrt(r2), name + " radius");
    r.horizontal_radius = fix_(std::sqrt(h2), name + " horizontal radius");
    r.height = fix_.wide(int64_t{r.box[5]} - r.box[4], name + " height");
  }

  // Each volume goes with the part of its number, in volume order within
  // it; the game gives each part the next volumes of its count.
  void add_volumes() {
    for (std::size_t i = 0; i < volumes_.bobj.size(); ++i) {
      const BoundingObject& b = volumes_.bobj[i];
      if (bounding_type_is_occluder(b.type)) {
        out_.occluders.push_back(static_cast<int>(i));
        continue;
      }
      const std::string what = "volume \"" + b.name.str() + "\"";
      const VolumeShape s = volume_shape(b);
      f3::CollisionVolume v;
      v.type = stored_volume_type(b.type);
      v.flags = static_cast<uint32_t>(b.flags);
      v.centre = {fix_(s.centre.x, what + " centre x"), fix_(s.centre.y, what + " centre y"),
                  fix_(s.centre.z, what + " centre z")};
      v.radius = fix_(s.radius, what + " radius");
      v.horizontal_radius = fix_(s.horizontal_radius, what + " horizontal radius");
      v.height = fix_(s.height, what + " height");
      v.half_size = {fix_(s.half_size.x, what + " half size x"), fix_(s.half_size.y, what + " half size y"),
                     fix_(s.half_size.z, what + " half size z")};
      v.box = fix_.box(s.min, s.max, what + " box");
      for (const auto& p : s.planes)
        v.planes.push_back({fix_(p[0], what + " plane a"), fix_(p[1], what + " plane b"), fix_(p[2], what + " plane c"),
                            fix_(p[3], what + " plane d")});
      out_.debug_lines.push_back(bbpart_line(b.subobj, v.box));
      if (b.subobj >= 0 && static_cast<std::size_t>(b.subobj) < model_.parts.size()) {
        model_.parts[static_cast<std::size_t>(b.subobj)].volumes.push_back(std::move(v));
      } else {
        out_.warnings.push_back("volume " + b.name.str() + " names sub-object " + std::to_string(b.subobj + 1) +
                                ", which the collision LOD does not have: left out");
      }
    }
  }

  void add_header() {
    model_.skinned = skinned_ ? 1 : 0;
    const BoundingValues bv = model_bounding_values(geometry_);
    model_.radius = fix_(bv.radius, "collision model radius");
    model_.horizontal_radius = fix_(bv.horizontal_radius, "collision model horizontal radius");
    model_.height = fix_(bv.height, "collision model height");
    model_.box = fix_.box(bv.min, bv.max, "collision model box");
  }

  const Model& geometry_;
  const Model& volumes_;
  const std::vector<PartCorners>* corners_;  // the frames of the geometry's parts, when known
  bool skinned_ = false;
  Fixer fix_;
  CollisionModel out_;
  f3::CModel& model_ = out_.model;
  std::vector<std::string> clamped_;  // warnings of clamped vertices, after those of left-out volumes
};

}  // namespace

BoundingValues model_bounding_values(const Model& level) {
  BoundingValues bv;
  FloatBox box;
  float r2 = 0, h2 = 0;
  for (const SubObject& part : level.subobjects)
    for (const Face& f : part.faces) {
      if (material_of(level, f).render_attributes & kRenderDontDraw) continue;
      for (std::size_t c = 0; c < 3; ++c) {
        if (f.v[c] < 0 || static_cast<std::size_t>(f.v[c]) >= part.verts.size()) continue;
        const Vec3 p = position_of(part.verts[static_cast<std::size_t>(f.v[c])]);
        box.cover(p);
        r2 = std::max(r2, p.x * p.x + p.y * p.y + p.z * p.z);
        h2 = std::max(h2, p.x * p.x + p.y * p.y);
      }
    }
  bv.min = box.min;
  bv.max = box.max;
  bv.radius = std::sqrt(r2);
  bv.horizontal_radius = std::sqrt(h2);
  bv.height = bv.max.z - bv.min.z;
  return bv;
}

int collision_lod(const LevelSlots& levels) {
  for (int i = 0; i < 4; ++i)
    if (levels[static_cast<std::size_t>(i)] && levels[static_cast<std::size_t>(i)]->polycollision != 0) return i;
  return 0;
}

tools::Result<int32_t> fixed_16_16(float value, std::string_view what) {
  if (const std::optional<int32_t> v = to_16_16(value)) return *v;
  return does_not_fit(std::string(what) + " = " + number_text(value) +
                      " does not fit a 16.16 value (-32768 to 32768 units)");
}

VolumeShape volume_shape(const BoundingObject& b) {
  VolumeShape s;
  s.centre = {b.cx, b.cy, b.cz};
  s.radius = b.radius;
  float h2 = 0;
  for (const Vertex& v : b.verts) {
    const float dx = v.x - b.cx, dy = v.y - b.cy;
    h2 = std::max(h2, dx * dx + dy * dy);
  }
  s.horizontal_radius = std::sqrt(h2);
  s.min = {b.min_x, b.min_y, b.min_z};
  s.max = {b.max_x, b.max_y, b.max_z};
  s.height = b.max_z - b.min_z;
  s.half_size = {b.size_x * 0.5f, b.size_y * 0.5f, b.size_z * 0.5f};
  s.planes = {{-1, 0, 0, b.min_x}, {1, 0, 0, -b.max_x}, {0, -1, 0, b.min_y},
              {0, 1, 0, -b.max_y}, {0, 0, -1, b.min_z}, {0, 0, 1, -b.max_z}};
  return s;
}

uint32_t stored_volume_type(int32_t type) {
  if (type == 11 || type == 12 || type == 13 || type == 15) return 0;
  return static_cast<uint32_t>(type);
}

uint32_t collision_face_flags(const ModelMaterial& m) {
  const uint32_t render = static_cast<uint32_t>(m.render_attributes);
  const uint32_t physical = static_cast<uint32_t>(m.physical_attributes);
  uint32_t flags = 0;
  if (render & kRenderTwoSided) flags |= f3::kFaceTwoSided;
  if (render & kRenderDontDraw) flags |= f3::kFaceNotDrawn;
  flags |= physical & f3::kFacePhysicalBits;
  if (physical & kPhysicalNoScarring) flags |= f3::kFaceNoScarring;
  if (physical & kPhysicalBackfaceMoveIgnore) flags |= f3::kFaceBackfaceMoveIgnore;
  return flags;
}

uint8_t surface_type(const ModelMaterial& m) {
  // Tested in this order; the last match wins.
  static constexpr std::array<std::pair<uint32_t, uint8_t>, 10> kSurfaces{{{kSurfaceMetal, 14},
                                                                           {kSurfaceWood, 13},
                                                                           {kSurfaceStone, 12},
                                                                           {kSurfaceFoliage, 17},
                                                                           {kSurfaceHardMetal, 18},
                                                                           {kSurfaceCloth, 16},
                                                                           {kSurfaceGlass, 15},
                                                                           {kSurfaceWater, 7},
                                                                           {kSurfaceFlesh, 19},
                                                                           {kSurfaceDirt, 1}}};
  uint8_t type = 0;
  for (const auto& [bit, value] : kSurfaces)
    if (static_cast<uint32_t>(m.physical_attributes) & bit) type = value;
  return type;
}

int nearest_normal(const std::vector<Vec3>& table, Vec3 n) {
  float best = 1000.0f;
  int index = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const float dx = table[i].x - n.x, dy = table[i].y - n.y, dz = table[i].z - n.z;
    const float d2 = dx * dx + dy * dy + dz * dz;
    if (d2 < best) {
      best = d2;
      index = static_cast<int>(i);
    }
  }
  return index;
}

std::string bbpart_line(int32_t part, const f3::Box6i& box) {
  char text[128];
  std::snprintf(text, sizeof text, "BBPart %02ld     bbmin (%3ld,%3ld,%3ld)   bbmax (%3ld,%3ld,%3ld)\n",
                static_cast<long>(part), static_cast<long>(box[0] >> 16), static_cast<long>(box[2] >> 16),
                static_cast<long>(box[4] >> 16), static_cast<long>(box[1] >> 16), static_cast<long>(box[3] >> 16),
                static_cast<long>(box[5] >> 16));
  return text;
}

tools::Result<CollisionModel> build_collision_model(const LevelSlots& levels) {
  return build_collision_model(levels, nullptr);
}

tools::Result<CollisionModel> build_collision_model(const LevelSlots& levels, const std::vector<PartCorners>* corners) {
  if (!levels[0]) return tools::Error{kCodeCollisionDoesNotFit, "level 0 is empty", {}, ErrorKind::kBadArgument};
  const Model* geometry = levels[static_cast<std::size_t>(collision_lod(levels))];
  return Builder(*geometry, *levels[0], corners).build();
}

}  // namespace orvo
