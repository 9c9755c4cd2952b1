// The records the export fills from the model: material flags and fields,
// generator fields, part motion, user points, lights, tangents, occluders
// and action planes.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "orvo/export/exporter.h"

namespace {

using namespace orvo;
namespace f3 = orvo::file3di;

// One part: two triangles of material 0 in the z = 0 plane.
std::unique_ptr<Model> base() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = 1;
  m->materials[0].u_tiling = m->materials[0].v_tiling = 1;
  SubObject part;
  part.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  part.tverts = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  Face a;
  a.v = {0, 1, 2, 0};
  a.t = a.v;
  a.nz = 1;
  a.edge = {1, 0, 1, 1};
  Face b = a;
  b.v = {1, 3, 2, 1};
  b.t = b.v;
  part.faces = {a, b};
  m->subobjects.push_back(part);
  return m;
}

f3::File3di build(const Model& m) {
  ExportRequest r;
  r.output_path = "r.3di";
  r.slots = {&m, nullptr, nullptr, nullptr};
  tools::Result<f3::File3di> f = build_3di(r);
  EXPECT_TRUE(f.ok()) << (f.ok() ? "" : f.error().message);
  return f.ok() ? *f : f3::File3di{};
}

TEST(ExportRecords, MaterialFlagsFromTheMaterial) {
  struct Case {
    int32_t render_attributes;
    int anim_frames, shader, actionplane, no_receive;
    uint32_t flags;
  };
  for (const Case& c :
       {Case{0x1, 0, 0, 0, 0, 0x1}, Case{0x400, 0, 0, 0, 0, 0x2}, Case{0x1400, 0, 0, 0, 0, 0x4},
        Case{0x800, 0, 0, 0, 0, 0x8}, Case{0, 2, 0, 0, 0, 0x10}, Case{0x10000, 0, 0, 0, 0, 0x100},
        Case{0, 0, 3, 0, 0, 0x200}, Case{0, 0, 0, 1, 0, 0x10000}, Case{0, 0, 0, 0, 1, 0x20000},
        Case{0x100000, 0, 0, 0, 0, 0x40000}, Case{0x400000, 0, 0, 0, 0, 0x100000}, Case{0x100, 0, 0, 0, 0, 0x10},
        // "Don't Draw" and "Magic Tree Light" have no material flag; the rest at once
        Case{0x20 | 0x800000, 0, 0, 0, 0, 0},
        Case{0x1 | 0x20 | 0x100 | 0x400 | 0x800 | 0x1000 | 0x10000 | 0x100000 | 0x400000 | 0x800000, 0, 0, 0, 0,
             0x1 | 0x4 | 0x8 | 0x10 | 0x100 | 0x40000 | 0x100000}}) {
    auto m = base();
    ModelMaterial& mat = m->materials[0];
    mat.render_attributes = c.render_attributes;
    mat.anim_frames = c.anim_frames;
    mat.shader_type = c.shader;
    mat.actionplane_type = c.actionplane;
    mat.projector_no_receive = c.no_receive;
    const f3::File3di f = build(*m);
    ASSERT_EQ(f.lods.size(), 1u);
    EXPECT_EQ(f.lods[0].materials[0].flags, c.flags) << std::hex << c.render_attributes;
  }
  // The generators: a mapping generator (U or V), the colour and the alpha
  // generator.
  for (int g = 0; g < 4; ++g) {
    auto m = base();
    ModelMaterial& mat = m->materials[0];
    (g == 0   ? mat.mapfunc_u.style
     : g == 1 ? mat.mapfunc_v.style
     : g == 2 ? mat.rgbgen.style
              : mat.alphagen.style) = 0x18;
    EXPECT_EQ(build(*m).lods.at(0).materials.at(0).flags, (std::array<uint32_t, 4>{0x20, 0x20, 0x40, 0x80}[g])) << g;
  }
}

TEST(ExportRecords, MaterialFieldsAndGenerators) {
  auto m = base();
  m->num_materials = 2;
  ModelMaterial& mat = m->materials[0];
  mat.name = "a_material_name_longer";
  mat.color_green = {10, 20, 30};
  mat.reflect_type = 0x312;  // bits 8-9: 3, 4-5: 1, 0-1: 2
  mat.reflect_r = 1;
  mat.reflect_g = 2;
  mat.reflect_b = 3;
  mat.anim_time = 2;
  mat.mapfunc_u.style = 0x71;
  mat.mapfunc_u.ctrlreg = "DOOR";
  mat.mapfunc_u.rate = 1.5f;
  mat.mapfunc_u.start = -0.25f;
  mat.mapfunc_u.end = 2.0f;
  mat.alphagen.style = 3;
  mat.alphagen.phase = 1.25f;  // a quarter turn on
  mat.alphagen.end = 255;
  m->materials[1].multitexture_flags = 2;  // material 0's second layer
  const f3::File3di f = build(*m);
  ASSERT_EQ(f.ctrl_regs.size(), 1u);
  const f3::Material& r = f.lods[0].materials[0];
  EXPECT_EQ(r.name.view(), "a_material_name");
  EXPECT_EQ(r.colours[9], 10);
  EXPECT_EQ(r.reflect_colour, 0x010203u);
  EXPECT_EQ(r.reflect_type, (3 * 16 + 1) * 4 + 2);
  EXPECT_EQ(r.anim_time, 200);
  EXPECT_EQ(r.second_layer, 1);
  EXPECT_EQ(r.mapfunc_u.index_or_phase, 0);  // the register's index
  EXPECT_EQ(r.mapfunc_u.rate, 384);
  EXPECT_EQ(r.mapfunc_u.start, -64);
  EXPECT_EQ(r.mapfunc_u.end, 512);
  EXPECT_EQ(r.alphagen_phase, 64);
  EXPECT_EQ(r.alphagen_end, 255);
  EXPECT_EQ(r.colour_textures[0], 255);

  mat.mapfunc_u.rate = 200;  // 51200 does not fit 16 bits
  ExportRequest req;
  req.output_path = "r.3di";
  req.slots = {m.get(), nullptr, nullptr, nullptr};
  tools::Result<f3::File3di> refused = build_3di(req);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().message.find("mapfunc_u value 200"), std::string::npos) << refused.error().message;
}

TEST(ExportRecords, PartMotionFlagsAndAngles) {
  struct Case {
    int rotate, scale, reverse;
    uint32_t flags;
  };
  for (const Case& c : {Case{1, 0, 0, 0x3}, Case{2, 0, 1, 0xD}, Case{3, 0, 0, 0x101}, Case{4, 0, 0, 0x201},
                        Case{0, 1, 0, 0x11}, Case{0, 2, 0, 0x21}, Case{7, 0, 0, 0x1}, Case{2, 0, 0, 0x5},
                        Case{1, 2, 0, 0x23}, Case{0, 5, 0, 0x1}, Case{0, 0, 1, 0}}) {
    auto m = base();
    m->part_anim_enable = 1;
    PartAnimation& a = m->part_anims[0];
    a.rotate_type = c.rotate;
    a.scale_type = c.scale;
    a.reverserotate = c.reverse;
    a.yaw_func.end = 90;  // degrees: 4096 units of 16384 per turn
    a.scale_func.end = 2;
    const f3::File3di f = build(*m);
    ASSERT_EQ(f.lods[0].motions.size(), 1u);
    const f3::PartMotion& r = f.lods[0].motions[0];
    EXPECT_EQ(r.flags, c.flags) << c.rotate << " " << c.scale;
    if (c.rotate == 2) {
      EXPECT_EQ(r.rotate_funcs[0].end, 4096);
    }
    if (c.scale == 1) {
      EXPECT_EQ(r.scale_funcs[0].end, 512);
    }
  }
}

TEST(ExportRecords, UserPointsLightsTangentsOccluders) {
  auto m = base();
  UserPoint lamp;
  lamp.name = "S 12 7x";
  lamp.kind = 'L';
  lamp.x = 1.5f;
  lamp.subobj = 3;
  lamp.rows[1] = {0, 1, 0};
  m->userpts.push_back(lamp);
  ModelLight light;
  light.r = 1;
  light.g = 0.5f;
  light.x = 2;
  light.atten_end = 7;
  m->lights.push_back(light);
  m->materials[0].shader_type = 1;
  BoundingObject occluder;
  occluder.type = 22;
  occluder.subobj = 0;
  occluder.subobj2 = 1;
  occluder.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  Face f;
  f.v = {2, 0, 1, 2};
  f.edge = {1, 1, 0, 1};
  occluder.faces = {f};
  occluder.max_x = occluder.max_y = 1;
  m->bobj.push_back(occluder);
  const f3::File3di file = build(*m);
  ASSERT_EQ(file.user_points.size(), 1u);
  EXPECT_EQ(file.user_points[0].position[0], 3 * 32768);
  EXPECT_EQ(file.user_points[0].vector[1], 65536);
  EXPECT_EQ(file.user_points[0].value, 3u);
  EXPECT_EQ(file.user_points[0].first_number, 12);  // characters 3-4
  EXPECT_EQ(file.user_points[0].second_number, 7);  // characters 6-7, the digit alone
  ASSERT_TRUE(file.lightinfo.has_value());
  ASSERT_EQ(file.lightinfo->lights.size(), 1u);
  const f3::LightRecord& l = file.lightinfo->lights[0];
  EXPECT_EQ(l.style, 0x18);
  EXPECT_EQ(l.start, 0xFF7F00u);
  EXPECT_EQ(l.position, (f3::Vec3f{0, 0, 2}));
  EXPECT_EQ(l.values[1], 7.0f);
  ASSERT_TRUE(file.vstream.has_value());
  EXPECT_EQ(file.vstream->size(), file.plain_vertices.size());
  ASSERT_TRUE(file.occluders.has_value());
  ASSERT_EQ(file.occluders->size(), 1u);
  const f3::Occluder& o = (*file.occluders)[0];
  EXPECT_EQ(o.kind, 3);  // "OP" with a second number
  EXPECT_EQ(o.second_number, 1);
  EXPECT_EQ(o.vertices[1], (f3::Vec3f{-0.0f, 0, 1}));
  EXPECT_EQ(o.faces[0].corners, (std::array<uint8_t, 3>{2, 0, 1}));
  EXPECT_EQ(o.faces[0].flags, 3);
  EXPECT_TRUE(file.collision.parts[0].volumes.empty());  // occluders stay out of the collision model
}

TEST(ExportRecords, ActionPlanesTakeTheFirstTriangleAndTheMaterialsStrip) {
  auto m = base();
  m->materials[0].actionplane_type = 2;
  const f3::File3di f = build(*m);
  ASSERT_EQ(f.lods[0].action_planes.size(), 1u);
  const f3::ActionPlane& a = f.lods[0].action_planes[0];
  EXPECT_EQ(a.type, 2u);
  EXPECT_EQ(a.point, (f3::Vec3f{-1, 0, 0}));  // corner 0 is stored corner 2, (0, 1, 0)
  EXPECT_NEAR(a.normal[1], 1.0f, 1e-6);       // the face looks up (+z), the file's +y
  EXPECT_EQ(a.strip.material, 0u);
  EXPECT_FALSE(a.strip.indices.empty());
}

}  // namespace
