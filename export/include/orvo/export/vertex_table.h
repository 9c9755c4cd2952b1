#pragma once
// The export's vertex welding: every face corner of a part becomes a full
// export vertex record (position, normal, colour, two texture coordinate
// sets, bones and weights, base normal, tangent, binormal), and bitwise
// identical records are welded into one table for the whole file.
//
// Axes: positions, normals, tangents and binormals are written in file axes,
// (-y, z, x) of the model's (x, y, z). Tangents are stored negated,
// (ty, -tz, -tx); binormals are not, (-by, bz, bx).
//
// Corner frames: a face with smoothing mask 0 gives each corner the face's
// own normal, tangent and binormal; otherwise each is the normalised sum of
// the frames of every face of the part that shares a smoothing bit with the
// face and uses the corner's vertex (the face itself included).
//
// The face tangent and binormal are the directions in which the face's
// texture coordinates u and v grow, made orthogonal to the face normal
// (Gram-Schmidt) and normalised; for a face whose texture coordinates span
// no area, any unit pair orthogonal to the normal and to each other, chosen
// from the normal alone, so the same face always gets the same frame.
//
// Everything here is plain data and pure functions: one export works on its
// own tables, several exports may run at once.

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "orvo/model/model.h"

namespace orvo {

// One corner of the export, in the field order of the file's vertex records
// (the first five fields are the plain render vertex).
struct ExportVertex {
  Vec3 position;         // file axes
  Vec3 normal;           // file axes, bent for radial-normal materials
  uint32_t colour = 0;   // 0xAARRGGBB
  float u1 = 0, v1 = 0;  // texture coordinates, layer 1
  float u2 = 0, v2 = 0;  // texture coordinates, layer 2
  uint32_t reserved = 0;
  std::array<int32_t, 4> bones{-1, -1, -1, -1};  // skinned models; -1 unused
  std::array<float, 4> weights{};
  Vec3 base_normal;  // the normal before bending, file axes
  Vec3 tangent;      // stored negated: (ty, -tz, -tx)
  Vec3 binormal;     // (-by, bz, bx)
  int32_t part = 0;  // the sub-object the corner belongs to
};

// Two records are one vertex only when every field is bitwise equal (no
// tolerance: -0.0 and 0.0 differ, as do two NaNs of different bits).
bool same_vertex(const ExportVertex& a, const ExportVertex& b);

// A face's frame (source axes).
struct Frame {
  Vec3 normal, tangent, binormal;
};

// The frames of every face's three stored corners, in face order.
std::vector<std::array<Frame, 3>> corner_frames(const SubObject& part);
// The same with only the normals (tangents and binormals left zero): all
// that the normal table needs.
std::vector<std::array<Frame, 3>> corner_normals(const SubObject& part);

// The part's distinct unit normals (used by the collision data): for each
// face in order its face normal and, for a smoothed face, its three corner
// normals; a normal joins only when no entry lies within a squared distance
// of 1e-8 of it.
std::vector<Vec3> part_normal_table(const SubObject& part, const std::vector<std::array<Frame, 3>>& frames);

// Normals by grid cell, so that the entries near a normal are found with
// one look-up: every entry is listed in each cell that a normal within the
// merging distance (1e-4) of it, with room to spare for rounding, may fall
// in, and a normal looks only at the entries of its own cell (a superset of
// those within the merging distance; entries further off may be listed
// too). The cells are one open-addressed array over one array of links.
class NormalGrid {
 public:
  // Room for about `entries` entries without growing.
  void reserve(std::size_t entries);
  // Lists `entry`, whose normal is `n` (finite).
  void add(uint32_t entry, const Vec3& n);
  // Calls f(entry) for the entries listed in the cell of `n` (finite),
  // newest first.
  template <class F>
  void for_each_near(const Vec3& n, F&& f) const {
    for (int32_t l = first_near(n); l >= 0; l = links_[static_cast<std::size_t>(l)].next)
      f(links_[static_cast<std::size_t>(l)].entry);
  }

 private:
  struct Slot {
    std::array<int32_t, 3> cell{};
    int32_t first = -1;  // -1: an empty slot
  };
  struct Link {
    uint32_t entry;
    int32_t next;
  };
  int32_t first_near(const Vec3& n) const;
  Slot& slot_of(const std::array<int32_t, 3>& cell);
  void rehash(std::size_t size);
  std::vector<Slot> slots_;  // a power of two, at most half full
  std::size_t used_ = 0;
  std::vector<Link> links_;
};

// Finds the entry of a normal table nearest to a normal: the smallest
// squared distance, the first entry among equals, as a first-to-last scan
// finds it. Normals within the table's tolerance of an entry (every face
// normal of the part is) are found among the entries of their grid cell;
// others by the scan.
class NormalIndex {
 public:
  explicit NormalIndex(const std::vector<Vec3>& table);
  // The same with the grid its table was built with (part_normal_table).
  NormalIndex(const std::vector<Vec3>& table, NormalGrid grid);
  // The index of the nearest entry; 0 for an empty table.
  int nearest(const Vec3& n) const;

 private:
  const std::vector<Vec3>& table_;
  NormalGrid grid_;
};

// The normal table of a part as above, and in `grid` its entries (for a
// NormalIndex of the table).
std::vector<Vec3> part_normal_table(const SubObject& part, const std::vector<std::array<Frame, 3>>& frames,
                                    NormalGrid& grid);

// The light a radial-normal material (kRenderMagicTreeLight) bends
// its normals around: centre and per-axis extents, model axes. Until the
// light editor sets them they are zero, which leaves every axis unscaled.
struct RadialLight {
  Vec3 centre;
  Vec3 extents;
};

// The radial normal of a corner at `position` (model axes) around `light`:
// the offset from the centre, each axis divided by its extent (an extent of
// 0 leaves its axis as it is), gives the relative distance L; the unit
// offset, in file axes, is the normal, lowered by 2a after scaling by 1 - a
// (a = (0.45 - L) / 0.45) when L < 0.45, raised by
// min((L - 0.5) / 0.5 x 1.5, 0.9) when L > 0.5, and normalised. The height
// is the file's y. A corner at the centre keeps `fallback`.
Vec3 bend_normal(const Vec3& position, const RadialLight& light, const Vec3& fallback);

// The weight of bone 1 of a fake-skinned vertex at model position (x, y, z)
// in a level whose bounding box is `min`..`max`: the height's share of the
// box, times 1.5 less 0.5, times 0.1 + 0.9 x (horizontal distance from the
// box centre / distance from the centre to the corner (max x, max y)),
// clamped to 0..1. Bone 0 gets 1 less it.
float fakeskin_weight(const Vec3& position, const Vec3& min, const Vec3& max);

// What a corner needs beyond its part: the level (materials, flags), the
// level's bounding box for fake skinning and the radial light of each
// material.
struct CornerContext {
  const Model* model = nullptr;
  bool skinned = false;
  Vec3 box_min, box_max;  // of the whole level, model axes
  RadialLight light;      // of every material, until the light editor sets them per material
};

// The record of corner k (0, 1, 2) of face `face` of part `part_index`:
// built from the face's stored corner 2 - k.
ExportVertex build_corner(const CornerContext& context, int part_index, int face,
                          const std::vector<std::array<Frame, 3>>& frames, int k);

// The box of every vertex of every part of a level (model axes).
void level_box(const Model& level, Vec3& min, Vec3& max);

// The plain vertex table of a file: records in the order first added, each
// distinct. Finding a record is a hash look-up; the result is the index the
// first-to-last search of the table would give.
class VertexTable {
 public:
  // The index of `v`, added at the end when no equal record is there.
  uint32_t add(const ExportVertex& v);
  // The index of `v`, or nothing.
  std::optional<uint32_t> find(const ExportVertex& v) const;
  const std::vector<ExportVertex>& records() const { return records_; }
  // Moves record i to position new_index[i] (a permutation of the table).
  void reorder(const std::vector<uint32_t>& new_index);
  std::size_t size() const { return records_.size(); }
  void clear();

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  // The slot holding `v` (hash `h`), or the empty slot where it would go.
  std::size_t slot_of(const ExportVertex& v, uint64_t h) const;
  void grow();
  std::vector<ExportVertex> records_;
  std::vector<uint64_t> hashes_;  // of each record
  std::vector<uint32_t> slots_;   // record indices, open addressing; a power of two, at most half full
};

// A corner that has no render vertex: its face's material is not drawn.
inline constexpr uint32_t kNoVertex = 0xFFFFFFFFu;

// What the vertex pass found for one part, kept for the later passes (the
// strips of both passes, the skinned table, the collision data) so that no
// corner is built or looked up twice: the corner frames, from which the
// collision data's normal table is made, and the render vertex of corner k
// (0, 1, 2) of each face, kNoVertex for a face that is not drawn.
struct PartCorners {
  std::vector<std::array<Frame, 3>> frames;
  std::vector<std::array<uint32_t, 3>> vertex;
};

// Adds the corners of part `part_index` of `context.model`: for each
// material in order (skipping kRenderDontDraw materials) and each face of the part with that material, corners 0, 1, 2.
void add_part_corners(VertexTable& table, const CornerContext& context, int part_index);
// The same, keeping the part's frames and the render vertex of each corner in `found`.
void add_part_corners(VertexTable& table, const CornerContext& context, int part_index, PartCorners& found);

// A lower bound of the size of the plain vertex table that the corners of
// `levels` (the written levels, in any order) make, found without building
// a record: the distinct pairs of part index and corner position over the
// corners the table takes (faces of drawn materials). Records that differ in
// either are different vertices, so the table never has fewer.
std::size_t fewest_vertices(const std::vector<const Model*>& levels);

// The render vertices of `corners` after the table was reordered by
// `new_index` (VertexTable::reorder).
void renumber(PartCorners& corners, const std::vector<uint32_t>& new_index);

}  // namespace orvo
