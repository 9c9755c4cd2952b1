// The imported scene: what the ASE and ASC readers make of a modelling
// package's export, before the conversion turns it into a Model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orvo/model/base.h"
#include "orvo/model/model.h"

namespace orvo {

struct SceneFace {
  int32_t submat_id = 0;       // the last token of the face line
  int32_t flat_material = -1;  // flat scene material index; -1 when the face has none
  uint32_t smoothing = 0;
  std::array<int32_t, 4> v{};     // a, b, c, a
  std::array<uint8_t, 4> edge{};  // AB, BC, CA, AB
  std::array<int32_t, 4> t{};     // a, b, c, a
  std::array<int32_t, 3> c{};     // colour indices a, b, c
};

struct SkinWeight {
  std::array<int32_t, 4> bones{};  // signed 8-bit bone numbers, widened
  std::array<float, 4> weights{};
};

// One "*GEOMOBJECT" or "*HELPEROBJECT" of the scene.
struct MaxObject {
  Name80 name;
  Name80 parent;
  int32_t bone = -1;
  int32_t material_ref = 0;
  std::vector<Vec3> verts;          // turned: (-y, x, z) of the file
  std::vector<SkinWeight> weights;  // empty, or one per vertex
  std::vector<Vec3> tverts;         // u, v, w as in the file
  std::vector<SceneFace> faces;
  std::vector<int32_t> cverts;  // packed 0x00RRGGBB
  int32_t num_cvfaces = 0;
  NodeRows rows{};  // node transform rows, turned
  bool skinned = false;
  long line = 0;  // line where the object starts (for messages)

  bool has_colours() const { return num_cvfaces > 0 && !cverts.empty(); }
};

// A scene material or sub-material, and the flat record made from it.
// The largest scene export read (1 GiB): far beyond any real scene (the
// biggest seen are a few hundred MB), small enough that a stray file or a
// device is refused before it fills the memory.
inline constexpr std::size_t kMaxSceneBytes = std::size_t{1} << 30;

inline constexpr int kSceneMaterialTwoSided = 1;
inline constexpr int kSceneMaterialSecondLayer = 2;
struct SceneMaterial {
  Name32 name;
  std::array<Name32, 2> diffuse;  // texture file names of the two layers
  std::array<Name32, 2> opacity;
  std::array<float, 2> u_offset{0, 0}, v_offset{0, 0};
  std::array<float, 2> u_tiling{1, 1}, v_tiling{1, 1};
  int32_t flags = 0;
  bool used = false;
};

struct SceneLight {
  Name80 name;
  float x = 0, y = 0, z = 0;  // turned: (-y, x, z) of "*TM_POS"
  float r = 0, g = 0, b = 0;
  float intensity = 0;
  float atten_start = 0, atten_end = 0;
};

inline constexpr int kSceneOriginAse = 1;

struct ImportedScene {
  std::string name;  // bare file name cut at its first "."
  std::vector<MaxObject> objects;
  std::vector<SceneLight> lights;
  std::vector<SceneMaterial> materials;  // the flat scene materials
  bool skinned = false;
  int32_t origin = 0;  // bit 0: the scene came from an ASE file

  void release() { *this = ImportedScene{}; }
};

}  // namespace orvo
