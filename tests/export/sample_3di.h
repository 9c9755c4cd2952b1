#pragma once
// A small binary model that uses every section, for the codec's and the
// loader's tests.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "orvo/file3di/codec_3di.h"

namespace orvo::file3di {

inline Strip strip(uint32_t base, std::vector<uint16_t> indices) {
  Strip s;
  s.primitive = 1;
  s.base_vertex = base;
  for (uint16_t i : indices) s.vertex_span = std::max<uint32_t>(s.vertex_span, i);
  s.indices = std::move(indices);
  return s;
}

// A small plain model that uses every section.
inline File3di sample_file() {
  File3di f;
  f.header.model_name = "tank";
  f.header.lod_distance = {1 << 16, 2 << 16, 3 << 16, 4 << 16};
  f.header.render_function = {render_function_code("Gour"), 0, 0, 0};
  f.header.bounding_radius = 5 << 16;

  UserPoint up;
  up.position = {1, 2, 3};
  up.type = 'L';
  up.name = "S01_02";
  f.user_points = {up};

  TextureRecord t0;
  t0.second_name = "GREEN.PCX";
  t0.flags = 0x7;
  t0.width = 64;
  t0.height = 32;
  TextureRecord t1;
  t1.first_name = "averyverylongcolourname.tga";
  t1.flags = 0x107;
  f.textures = {t0, t1};

  CollisionPart cp0;
  cp0.vertices = {{256, 0, 0, 0}, {0, 256, 0, 0}, {0, 0, 256, 0}};
  cp0.normals = {{0, 0, 16384}};
  CollisionFace face;
  face.corners = {0, 1, 2};
  face.surface = 14;
  cp0.faces = {face};
  CollisionVolume vol;
  vol.type = 4;
  vol.planes = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  cp0.volumes = {vol};
  CollisionPart cp1;
  cp1.parent = 0;
  cp1.vertices = {{1, 1, 1, 0}};
  f.collision.parts = {cp0, cp1};
  f.collision.points = {{7, 8, 9}};

  f.plain_vertices.resize(4);
  f.plain_vertices[1].position = {1.5f, -2.0f, 0.25f};
  f.plain_vertices[1].colour = 0xFF102030;

  RModel lod0;
  lod0.points = {{1, 2, 3}};
  LodPart p0;
  p0.levels.resize(2);
  p0.levels[0].class0 = {strip(0, {0, 1, 2, 3})};
  p0.levels[1].class1 = {strip(1, {0, 1, 2})};
  LodPart p1;
  p1.levels.resize(1);
  lod0.parts = {p0, p1};
  Material m;
  m.name = "hull";
  m.flags = 0x40;
  m.mapfunc_u = {0x71, 0, 256, -256, 512};
  lod0.materials = {m};
  lod0.part_motion = true;
  PartMotion spin;
  spin.flags = kMotionMoves | kMotionRotateFuncs | kMotionScaleOne;
  spin.rotate_funcs[1] = {0x71, 0, 128, 0, 4096};
  spin.scale_funcs[0] = {1, 2, 3, 4, 5};
  lod0.motions = {spin, PartMotion{}};
  ActionPlane ap;
  ap.type = 1;
  ap.strip = strip(2, {0, 1});
  lod0.action_planes = {ap};
  lod0.projectors = {Projector{}};
  RModel lod1;
  LodPart q0;
  q0.levels.resize(1);
  q0.levels[0].class0 = {strip(0, {0, 1, 2})};
  lod1.parts = {q0};
  lod1.materials = {m};
  f.lods = {lod0, lod1};

  f.ctrl_regs = {CtrlReg("HELO_ROTOR")};
  RMatrix identity{};
  for (size_t i = 0; i < 4; ++i) identity[i * 5] = 1.0f;
  f.matrices = {identity};
  Lightinfo li;
  li.ambient.style = 3;
  li.lights.resize(1);
  li.lights[0].style = 0x18;
  f.lightinfo = li;
  f.vstream = std::vector<Tangent>(4);
  Occluder occ;
  occ.kind = 2;
  occ.vertices.resize(10);
  occ.planes = {{0, 0, 1, -2}};
  occ.faces = {{{5, 2, 9}, 0x3}};
  f.occluders = std::vector<Occluder>{occ};
  return f;
}

}  // namespace orvo::file3di
