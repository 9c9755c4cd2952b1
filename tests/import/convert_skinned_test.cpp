#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ase_text.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"

namespace orvo {
namespace {

using test::geom;
using test::kHeader;
using test::tri;
using test::V3;

struct Converted {
  std::unique_ptr<Model> model = std::make_unique<Model>();
  ImportedScene scene;
  StretchBoxTable boxes;
  RecordingNotifier log;
  Result<ConversionReport> result = Error{-1, "not converted"};

  const ConversionReport& report() const { return *result; }
  bool logged(std::string_view line) const {
    return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
  }
  bool logged_error_naming(std::string_view text) const {
    return std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
      return l.rfind("ERROR!", 0) == 0 && l.find(text) != std::string::npos;
    });
  }
};

std::unique_ptr<Converted> convert(const std::string& body, float scale = 1.0f) {
  auto c = std::make_unique<Converted>();
  const Status s = ase_parse(std::string(kHeader) + body, "t.ase", c->scene, c->log);
  EXPECT_TRUE(s) << s.error().message;
  EXPECT_TRUE(c->scene.skinned);
  model_reset(*c->model);
  c->result = convert_scene(*c->model, c->scene, scale, c->boxes, c->log);
  return c;
}

// A bone helper (or, with number -1, a plain helper) with its node at file
// position `at`.
std::string node(const std::string& name, int number, const std::string& parent = "", V3 at = {0, 0, 0}) {
  std::string s = "*HELPEROBJECT {\n\t*NODE_NAME \"" + name + "\"\n";
  if (!parent.empty()) s += "\t*NODE_PARENT \"" + parent + "\"\n";
  if (number >= 0) s += "\t*NODE_BONENUMBER " + std::to_string(number) + "\n";
  return s + "\t*NODE_TM {\n\t\t*TM_ROW3 " + std::to_string(at.x) + " " + std::to_string(at.y) + " " +
         std::to_string(at.z) + "\n\t}\n}\n";
}

// A "*MESH_WEIGHTS" block; each row is "b0 b1 b2 b3 w0 w1 w2 w3" of one vertex.
std::string weights(const std::vector<std::string>& rows) {
  std::string s = "*MESH_WEIGHTS {\n";
  for (std::size_t i = 0; i < rows.size(); ++i) s += "*MESH_WEIGHTSVERTEX " + std::to_string(i) + " " + rows[i] + "\n";
  return s + "}\n";
}

// A unit triangle at (dx, dy, dz) whose three vertices all hang on `bone`.
std::string skin_tri(const std::string& name, int bone, double dx = 0, double dy = 0, double dz = 0,
                     const std::string& extra = "") {
  const std::string row = std::to_string(bone) + " -1 -1 -1 1 0 0 0";
  return geom(name, {{dx, dy, dz}, {dx + 1, dy, dz}, {dx, dy + 1, dz}}, {{{0, 1, 2}}}, weights({row, row, row}), extra);
}

std::string bones(int count) {
  std::string s;
  for (int b = 0; b < count; ++b) s += node("Bip01 B" + std::to_string(b), b);
  return s;
}

void expect_position(float x, float y, float z, float ex, float ey, float ez) {
  EXPECT_NEAR(x, ex, 1e-4);
  EXPECT_NEAR(y, ey, 1e-4);
  EXPECT_NEAR(z, ez, 1e-4);
}

TEST(SkinnedConversion, BonesComeFirstAndNumberedMeshesFollow) {
  // Twenty bones; bone 5 is a mesh whose own geometry is dropped.
  std::string body;
  for (int b = 0; b < 20; ++b) {
    const std::string name = "Bip01 B" + std::to_string(b);
    body += b == 5 ? tri(name, 0, 0, 0, "*NODE_BONENUMBER 5\n") : node(name, b);
  }
  body += skin_tri("01 Skin", 3);
  auto c = convert(body);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 21);
  EXPECT_EQ(c->report().listed_subobjects, 21);
  EXPECT_FALSE(c->report().errors);
  for (int b = 0; b < 20; ++b) {
    const SubObject& so = m.subobjects[static_cast<std::size_t>(b)];
    EXPECT_EQ(so.name.view(), "Bip01 B" + std::to_string(b));
    EXPECT_TRUE(so.verts.empty() && so.faces.empty() && so.tverts.empty()) << b;
  }
  const SubObject& skin = m.subobjects[20];
  EXPECT_EQ(skin.name.view(), "01 Skin");
  ASSERT_EQ(skin.verts.size(), 3u);
  EXPECT_EQ(skin.verts[0].subobj, 20);
  EXPECT_EQ(m.attributes & 1, 1);
  // The log of a skinned conversion lists only the sub-objects.
  ASSERT_EQ(c->log.lines.size(), 25u);
  EXPECT_EQ(c->log.lines[1], "Converting to internal format...");
  EXPECT_EQ(c->log.lines[22], "SubObject 21:    1 MAX objects");
  EXPECT_EQ(c->log.lines.back(), "Done");
}

TEST(SkinnedConversion, SkinSlots) {
  // Bones 0 to 7: the meshes "01 ..." form sub-object 9 (index 8).
  const std::string skin = geom("01 Skin", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{{0, 1, 2}}, {{1, 3, 2}}},
                                weights({"4 7 -1 -1 0.75 0.25 0 0", "-1 5 -1 -1 0.3 0.7 0 0", "2 30 -1 -1 0.5 0.5 0 0",
                                         "1 2 3 6 0.4 0.3 0.2 0.1"}));
  const std::string arm = geom("01 Arm", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}},
                               weights({"-5 3 -1 -1 0.5 0.5 0 0", "3 -1 -1 -1 1 0 0 0", "3 -1 -1 -1 1 0 0 0"}));
  auto c = convert(bones(8) + skin + arm + tri("01 Helmet"));
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 9);
  const std::vector<Vertex>& v = m.subobjects[8].verts;
  ASSERT_EQ(v.size(), 10u);
  using Bones = std::array<int32_t, 4>;
  using Weights = std::array<float, 4>;
  // An empty slot takes the first slot's bone with weight 0.
  EXPECT_EQ(v[0].bones, (Bones{4, 7, 4, 4}));
  EXPECT_EQ(v[0].weights, (Weights{0.75f, 0.25f, 0, 0}));
  // An empty first slot stays empty with weight 0.
  EXPECT_EQ(v[1].bones, (Bones{-1, 5, -1, -1}));
  EXPECT_EQ(v[1].weights, (Weights{0, 0.7f, 0, 0}));
  EXPECT_EQ(v[3].bones, (Bones{1, 2, 3, 6}));
  EXPECT_EQ(v[3].weights, (Weights{0.4f, 0.3f, 0.2f, 0.1f}));

  // Bones that name no sub-object are errors and count as empty slots.
  EXPECT_EQ(v[2].bones, (Bones{2, 2, 2, 2}));
  EXPECT_EQ(v[2].weights, (Weights{0.5f, 0, 0, 0}));
  EXPECT_EQ(v[4].bones, (Bones{-1, 3, -1, -1}));
  EXPECT_EQ(v[4].weights, (Weights{0, 0.5f, 0, 0}));
  EXPECT_TRUE(c->logged("ERROR!  Skin weights of \"01 Skin\" name bone 30, which is no subobject!"));
  EXPECT_TRUE(c->logged("ERROR!  Skin weights of \"01 Arm\" name bone -5, which is no subobject!"));
  EXPECT_TRUE(c->report().errors);

  // A mesh without skin weights follows its own sub-object wholly.
  for (std::size_t i = 7; i < 10; ++i) {
    EXPECT_EQ(v[i].bones, (Bones{8, 8, 8, 8}));
    EXPECT_EQ(v[i].weights, (Weights{1, 0, 0, 0}));
  }
}

TEST(SkinnedConversion, CentreObjectMovesTheModelToTheOrigin) {
  // "_01 Center" has its node at (10, 20, 0) once turned: file (20, -10, 0).
  const std::string body = skin_tri("01 Skin", 0, 0, 0, 5) + node("Bip01 Pelvis", 0, "", {1, 2, 40}) +
                           node("_01 Center", -1, "", {20, -10, 0}) + skin_tri("UPA01 Gun", 0, 0, 0, 5) +
                           skin_tri("CB01 Box", 0, 0, 0, 5) + test::light("LP1 Torch", 20, -10, 7);
  auto c = convert(body);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  const std::vector<Vertex>& v = m.subobjects[1].verts;
  ASSERT_EQ(v.size(), 3u);
  // Turned vertices (0, 0, 5), (0, 1, 5), (-1, 0, 5), moved by (-10, -20, 0).
  expect_position(v[0].x, v[0].y, v[0].z, -10, -20, 5);
  expect_position(v[1].x, v[1].y, v[1].z, -10, -19, 5);
  expect_position(v[2].x, v[2].y, v[2].z, -11, -20, 5);
  // The first centre point is the origin; the pelvis wrote it after the skin.
  ASSERT_EQ(m.centers.size(), 2u);
  EXPECT_EQ(m.centers[0].name.view(), "Bip01 Pelvis");
  expect_position(m.centers[0].x, m.centers[0].y, m.centers[0].z, 0, 0, 0);
  EXPECT_FLOAT_EQ(m.centers[0].rows[0].x, 1.0f);
  EXPECT_FLOAT_EQ(m.centers[0].rows[2].z, 1.0f);
  // Attachment points and user points move with the model.
  expect_position(m.attach[0].x, m.attach[0].y, m.attach[0].z, -12, -19, 40);
  ASSERT_EQ(m.userpts.size(), 1u);
  expect_position(m.userpts[0].x, m.userpts[0].y, m.userpts[0].z, -1.0f / 3 - 10, 1.0f / 3 - 20, 5);
  // Collision volumes and lights move with the model too.
  ASSERT_EQ(m.bobj.size(), 1u);
  EXPECT_NEAR(m.bobj[0].min_x, -11.0f, 1e-5);
  EXPECT_NEAR(m.bobj[0].max_y, -19.0f, 1e-5);
  const Face& bf = m.bobj[0].faces[0];
  const Vertex& bv = m.bobj[0].verts[0];
  EXPECT_NEAR(bf.nx * bv.x + bf.ny * bv.y + bf.nz * bv.z + bf.d, 0.0f, 1e-4);
  ASSERT_EQ(m.lights.size(), 1u);
  expect_position(m.lights[0].x, m.lights[0].y, m.lights[0].z, 0, 0, 7);
  // Face planes are those of the moved vertices.
  const Face& f = m.subobjects[1].faces[0];
  EXPECT_NEAR(f.nx * v[0].x + f.ny * v[0].y + f.nz * v[0].z + f.d, 0.0f, 1e-4);
  EXPECT_NEAR(std::fabs(f.nz), 1.0f, 1e-6);
}

TEST(SkinnedConversion, WithoutCentreObjectTheModelStandsOnItsLowestVertex) {
  const std::string w =
      weights({"0 -1 -1 -1 1 0 0 0", "0 -1 -1 -1 1 0 0 0", "0 -1 -1 -1 1 0 0 0", "0 -1 -1 -1 1 0 0 0"});
  // Turned: (0, 0, -3), (0, 2, 1), (-4, 0, 1), (-4, 2, 1); average x -2, y 1.
  const std::string skin = geom("01 Skin", {{0, 0, -3}, {2, 0, 1}, {0, 4, 1}, {2, 4, 1}}, {{{0, 1, 2}}}, w);
  auto lifted = convert(node("Bip01 Pelvis", 0) + skin);
  ASSERT_TRUE(lifted->result);
  const Model& m = *lifted->model;
  const std::vector<Vertex>& v = m.subobjects[1].verts;
  expect_position(v[0].x, v[0].y, v[0].z, 2, -1, 0);
  expect_position(v[3].x, v[3].y, v[3].z, -2, 1, 4);
  EXPECT_TRUE(m.centers[0].name.empty());  // the fallback centre is a cleared record
  expect_position(m.centers[0].x, m.centers[0].y, m.centers[0].z, 0, 0, 0);
  // Radii are measured around the new origin.
  EXPECT_NEAR(m.bounding_radius, std::sqrt(21.0f), 1e-5);
  EXPECT_NEAR(m.horizontal_radius, std::sqrt(5.0f), 1e-5);
  EXPECT_EQ(m.height, 0.0f);

  // The lowest z counts from 256: a model entirely above it is lowered to it.
  auto high = convert(node("Bip01 Pelvis", 0) + skin_tri("01 Skin", 0, 0, 0, 300), 2.0f);
  ASSERT_TRUE(high->result);
  EXPECT_NEAR(high->model->subobjects[1].verts[0].z, 600.0f - 256.0f, 1e-3);
}

TEST(SkinnedConversion, NodeRecordsPerBoneAndNumberedMesh) {
  const std::string body = node("Bip01 Pelvis", 0, "", {0, 0, 40}) + node("Bip01 Spine", 1, "", {0, 2, 48}) +
                           node("Bip01 Head", 2, "", {0, 0, 60}) + skin_tri("02 Skin", 1) +
                           node("_01 Center", -1, "", {0, 0, 0});
  auto c = convert(body, 0.5f);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 5);  // three bones, then mesh 02 at 2 + 2 + 1
  ASSERT_EQ(m.centers.size(), 5u);
  EXPECT_EQ(m.centers[0].name.view(), "Bip01 Pelvis");
  // "02 Skin" comes later than bone 1 and takes its record (index N - 1).
  EXPECT_EQ(m.centers[1].name.view(), "02 Skin");
  EXPECT_EQ(m.attach[1].name.view(), "02 Skin");
  EXPECT_EQ(m.centers[2].name.view(), "Bip01 Head");
  expect_position(m.attach[2].x, m.attach[2].y, m.attach[2].z, 0, 0, 30);
  EXPECT_FLOAT_EQ(m.attach[2].rows[1].y, 1.0f);  // unrotated
  EXPECT_TRUE(m.centers[4].name.empty());        // the mesh's own index has no record
}

TEST(SkinnedConversion, ParentsByNodeParentName) {
  const std::string long_name = "Bip01 L Forearm Twist Helper 01";  // 31 characters: cut in the sub-object
  const std::string longer = long_name + "X";
  const std::string body = node("Bip01 Pelvis", 0) + node("Bip01 Spine", 1, "bip01 PELVIS") +
                           node("Bip01 Head", 2, "Bip01 Spine") + node("Bip01 Tail", 3, "Nowhere") +
                           node("Bip01 Orphan", 5) + node(longer, 6, "Bip01 Spine") + node("Bip01 Hand", 7, longer) +
                           node(long_name, 8) + node("Bip01 Spine", 9, "Bip01 Head") +
                           node("Bip01 Finger", 10, "Bip01 Spine") + node("", 11) +
                           skin_tri("01 Skin", 0, 0, 0, 0, "*NODE_PARENT \"Bip01 Head\"\n");
  auto c = convert(body);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 13);
  auto parent = [&](int i) { return m.subobjects[static_cast<std::size_t>(i)].parent; };
  EXPECT_EQ(parent(0), 0);
  EXPECT_EQ(parent(1), 0);  // without regard to case
  EXPECT_EQ(parent(2), 1);
  EXPECT_EQ(parent(3), 0);  // no such name
  // Bone 4 is missing (an error); the bone without a parent name is not
  // matched to the bone without a name.
  EXPECT_TRUE(c->logged("SubObject 05:    ERROR!  No MAX object exists!"));
  EXPECT_EQ(parent(5), 0);
  EXPECT_EQ(parent(7), 6);   // names compared in full, not as the sub-objects keep them (31 characters)
  EXPECT_EQ(parent(10), 1);  // the first sub-object of that name
  EXPECT_EQ(parent(12), 2);  // meshes too
}

TEST(SkinnedConversion, BoundingObjectsUserPointsAndOtherMarkers) {
  std::string up = tri("UPB03 Top");
  up.replace(up.find("*TM_ROW0 1.0 0.0 0.0"), 20, "*TM_ROW0 3.0 0.0 4.0");
  const std::string body = bones(2) + skin_tri("01 Skin", 0) + tri("Bip01 Pelvis") + tri("BN_Spine") + tri("BN02 Arm") +
                           tri("CB03") + tri("CB01 Box") + tri("OB02") + tri("CBx1") + tri("UPA01 Low") + up +
                           tri("UPC02 Mid") + tri("UX01") + tri("_02 Thing") + tri("~01 Mount") + tri("#01") +
                           tri("!Ignored");
  auto c = convert(body);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 3);
  // Biped nodes are never bounding objects; the rest are sorted by sub-object.
  ASSERT_EQ(m.bobj.size(), 3u);
  EXPECT_EQ(m.bobj[0].name.view(), "CB01 Box");
  EXPECT_EQ(m.bobj[1].name.view(), "OB02");
  EXPECT_EQ(m.bobj[2].name.view(), "CB03");
  EXPECT_EQ(m.total_bobj_items, 18);
  EXPECT_EQ(m.subobjects[0].num_bobj, 1);
  EXPECT_EQ(m.subobjects[1].num_bobj, 0);  // an occluder
  EXPECT_EQ(m.subobjects[2].num_bobj, 1);
  EXPECT_TRUE(c->logged("ERROR! Bad collision box: CBx1"));
  EXPECT_FALSE(c->logged("ERROR! Bad collision box: BN_Spine"));
  EXPECT_FALSE(c->logged("ERROR! Bad collision box: Bip01 Pelvis"));

  // User points highest sub-object first, with unit rows.
  ASSERT_EQ(m.userpts.size(), 3u);
  EXPECT_EQ(m.userpts[0].name.view(), "Top");
  EXPECT_EQ(m.userpts[0].kind, 'B');
  EXPECT_EQ(m.userpts[1].subobj, 1);
  EXPECT_EQ(m.userpts[2].subobj, 0);
  EXPECT_FLOAT_EQ(m.userpts[0].rows[1].y, 0.6f);
  EXPECT_FLOAT_EQ(m.userpts[0].rows[1].z, 0.8f);

  // "_", "~" and "#" objects mean nothing here; the stretch table is emptied.
  EXPECT_EQ(m.centers.size(), 3u);
  EXPECT_EQ(m.attach.size(), 3u);
  EXPECT_TRUE(c->boxes.boxes.empty());
  EXPECT_EQ(m.attributes & 2, 0);
}

TEST(SkinnedConversion, LightsTakeTheSlotOfTheirNumber) {
  // A centre object at the origin keeps the positions where the scene has them.
  const std::string body = bones(1) + skin_tri("01 Skin", 0) + node("_01 Center", -1, "", {0, 0, 0}) +
                           test::light("LP2 Lamp", 1, 2, 3) + test::light("LP9 Far", 0, 0, 0) +
                           test::light("LP Bad", 0, 0, 0);
  auto c = convert(body, 2.0f);
  ASSERT_TRUE(c->result);
  const Model& m = *c->model;
  ASSERT_EQ(m.lights.size(), 2u);
  EXPECT_TRUE(m.lights[0].name.empty());  // the slot in between stays cleared
  EXPECT_EQ(m.lights[0].intensity, 0.0f);
  EXPECT_EQ(m.lights[1].name.view(), "LP2 Lamp");
  EXPECT_EQ(m.lights[1].subobj, 1);
  expect_position(m.lights[1].x, m.lights[1].y, m.lights[1].z, -4, 2, 6);
  EXPECT_FLOAT_EQ(m.lights[1].atten_end, 200.0f);
  EXPECT_FLOAT_EQ(m.lights[1].intensity, 2.0f);
  EXPECT_FALSE(c->report().errors);  // lights without a usable number are ignored

  auto none = convert(bones(1) + skin_tri("01 Skin", 0) + test::light("Omni01", 0, 0, 0));
  EXPECT_TRUE(none->model->lights.empty());
}

TEST(SkinnedConversion, ScenesBeyondTheSubObjectListsAreRefusedUntouched) {
  const auto refused = [](const std::string& body) {
    auto c = std::make_unique<Converted>();
    EXPECT_TRUE(ase_parse(std::string(kHeader) + body, "t.ase", c->scene, c->log));
    model_reset(*c->model);
    c->model->subobjects.resize(1);
    c->model->subobjects[0].name = "kept";
    c->boxes.boxes.resize(1);
    c->result = convert_scene(*c->model, c->scene, 1.0f, c->boxes, c->log);
    EXPECT_FALSE(c->result);
    EXPECT_EQ(c->result.code(), kConvertRefused);
    EXPECT_EQ(c->model->num_subobjects(), 1);
    EXPECT_EQ(c->model->subobjects[0].name.view(), "kept");
    EXPECT_EQ(c->boxes.boxes.size(), 1u);
    EXPECT_FALSE(c->logged("Done"));
    return c;
  };
  auto huge = refused(node("Bip01 Root", 2147483647) + skin_tri("01 Skin", 0));
  EXPECT_TRUE(huge->logged_error_naming("Bip01 Root"));
  EXPECT_NE(huge->result.error().message.find("Bip01 Root"), std::string::npos);
  refused(node("Bip01 Root", 999) + skin_tri("Skin", 0));
  // Bone 900 puts mesh 99 at 99 + 900 + 1 = 1000.
  auto mesh = refused(node("Bip01 Root", 900) + skin_tri("99 Skin", 0));
  EXPECT_TRUE(mesh->logged_error_naming("99 Skin"));

  // The last sub-object, 999, is still taken.
  auto last_bone = convert(node("Bip01 Root", 998) + skin_tri("Skin", 0));
  ASSERT_TRUE(last_bone->result);
  EXPECT_EQ(last_bone->model->num_subobjects(), 999);
  auto last_mesh = convert(node("Bip01 Root", 899) + skin_tri("99 Skin", 0));
  ASSERT_TRUE(last_mesh->result);
  ASSERT_EQ(last_mesh->model->num_subobjects(), 999);
  EXPECT_EQ(last_mesh->model->subobjects[998].name.view(), "99 Skin");
  EXPECT_TRUE(last_mesh->logged("SubObject 999:    1 MAX objects"));
}

TEST(SkinnedConversion, BadNumbersAndEmptyScenesAreLoggedErrors) {
  // "00" would share the last bone's sub-object and have no node record.
  auto zero = convert(bones(2) + skin_tri("00 Skin", 0) + skin_tri("01 Skin", 1));
  ASSERT_TRUE(zero->result);
  EXPECT_TRUE(zero->logged("ERROR!  Bad subobject number: \"00 Skin\""));
  EXPECT_TRUE(zero->report().errors);
  ASSERT_EQ(zero->model->num_subobjects(), 3);
  EXPECT_EQ(zero->model->subobjects[1].name.view(), "Bip01 B1");
  EXPECT_EQ(zero->model->subobjects[2].name.view(), "01 Skin");

  // Weights on an object that is neither a bone nor numbered: no sub-objects.
  auto empty = convert(skin_tri("Skin", 0) + tri("UPA01 Gun"));
  ASSERT_TRUE(empty->result);
  EXPECT_EQ(empty->model->num_subobjects(), 0);
  EXPECT_TRUE(empty->model->centers.empty());
  EXPECT_TRUE(empty->report().errors);
  EXPECT_EQ(empty->log.lines.back(), "Done");
}

// The rigid and the skinned conversion keep their sub-object lists and log
// them the same way; only the rigid one warns of sub-objects beyond the part
// animation records.
std::unique_ptr<Converted> convert_either(const std::string& body) {
  auto c = std::make_unique<Converted>();
  const Status s = ase_parse(std::string(kHeader) + body, "t.ase", c->scene, c->log);
  EXPECT_TRUE(s) << s.error().message;
  model_reset(*c->model);
  c->result = convert_scene(*c->model, c->scene, 1.0f, c->boxes, c->log);
  return c;
}

TEST(SubObjectLog, BothConversionsListTheirSubObjects) {
  std::string seventy_bones = bones(70) + skin_tri("01 Skin", 0);
  std::vector<std::string> seventy_lines = {"Parsing MAX file", "Converting to internal format..."};
  for (int n = 1; n <= 71; ++n) {
    char line[40];
    std::snprintf(line, sizeof line, "SubObject %02d:    1 MAX objects", n);
    seventy_lines.push_back(line);
  }
  seventy_lines.insert(seventy_lines.end(), {"", "Done"});
  const struct {
    const char* what;
    std::string body;
    std::vector<std::string> lines;
    bool errors;
  } cases[] = {
      {"rigid, a gap",
       tri("01 A") + tri("03 B"),
       {"Parsing MAX file", "Converting to internal format...", "Num Center Points: 0", "Num Attach Points: 0",
        "Num Stretch Boxes: 0", "SubObject 01:    1 MAX objects", "SubObject 02:    ERROR!  No MAX object exists!",
        "SubObject 03:    1 MAX objects", "", "Done"},
       true},
      {"skinned, a gap",
       node("Bip01 B0", 0) + skin_tri("02 Skin", 0),
       {"Parsing MAX file", "Converting to internal format...", "SubObject 01:    1 MAX objects",
        "SubObject 02:    ERROR!  No MAX object exists!", "SubObject 03:    1 MAX objects", "", "Done"},
       true},
      {"skinned, beyond the part animations without warnings", seventy_bones, seventy_lines, false},
  };
  for (const auto& t : cases) {
    auto c = convert_either(t.body);
    ASSERT_TRUE(c->result) << t.what;
    EXPECT_EQ(c->log.lines, t.lines) << t.what;
    EXPECT_EQ(c->report().errors, t.errors) << t.what;
  }
}

TEST(SubObjectLog, FullListsTakeNoMoreObjects) {
  std::string rigid, skinned = node("Bip01 B0", 0);
  for (int i = 0; i < 1000; ++i) {
    rigid += tri("01 x", i);
    skinned += skin_tri("01 x", 0, i);
  }
  const struct {
    const char* what;
    std::string body;
    int number;  // of the sub-object "01 x" lands in
  } cases[] = {{"rigid", rigid, 1}, {"skinned", skinned, 2}};
  for (const auto& t : cases) {
    auto c = convert_either(t.body);
    ASSERT_TRUE(c->result) << t.what;
    const std::string full = "ERROR!  Exceeded maximum MAX objects for subobject " + std::to_string(t.number) + "!";
    EXPECT_EQ(std::count(c->log.lines.begin(), c->log.lines.end(), full), 1) << t.what;
    char listed[40];
    std::snprintf(listed, sizeof listed, "SubObject %02d:    999 MAX objects", t.number);
    EXPECT_TRUE(c->logged(listed)) << t.what;
    EXPECT_TRUE(c->report().errors) << t.what;
    ASSERT_EQ(c->model->num_subobjects(), t.number) << t.what;
    EXPECT_EQ(c->model->subobjects[static_cast<std::size_t>(t.number - 1)].faces.size(), 999u) << t.what;
  }
}

TEST(SkinnedConversion, SoldierSample) {
  ImportedScene scene;
  RecordingNotifier log;
  ASSERT_TRUE(ase_load(std::string(ORVO_SOURCE_DIR) + "/samples/soldier.ase", scene, log));
  ASSERT_TRUE(scene.skinned);
  auto model = std::make_unique<Model>();
  model_reset(*model);
  model->height = 5.0f;
  StretchBoxTable boxes;
  auto r = convert_scene(*model, scene, kDefaultScaleFactor, boxes, log);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->errors);
  const Model& m = *model;
  ASSERT_EQ(m.num_subobjects(), 7);  // six bones, then "01 Body"
  EXPECT_EQ(m.subobjects[6].name.view(), "01 Body");
  EXPECT_EQ(m.subobjects[3].parent, 2);  // head on neck
  EXPECT_EQ(m.height, 0.0f);
  for (const Vertex& v : m.subobjects[6].verts) {
    EXPECT_TRUE(std::all_of(v.bones.begin(), v.bones.end(), [](int b) { return b >= 0 && b <= 5; }));
    EXPECT_NEAR(v.weights[0] + v.weights[1] + v.weights[2] + v.weights[3], 1.0f, 1e-4);
  }
  EXPECT_EQ(m.userpts.size(), 1u);
  EXPECT_EQ(m.lights.size(), 1u);
  EXPECT_EQ(m.materials[0].name.view(), "soldier.tga");
}

}  // namespace
}  // namespace orvo
