#include "orvo/import/assimp_scene.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "ase_text.h"
#include "gltf_text.h"
#include "orvo/import/convert.h"
#include "orvo/import/model_files.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;
using test::GltfMesh;
using test::GltfNode;

// ---------------------------------------------------------------------------
// Smoothing groups from normals.

// The unit cube on 8 corners, two triangles a side, each side with its own
// normal at its corners.
void cube(std::vector<std::array<int32_t, 3>>& corners, std::vector<std::array<Vec3, 3>>& normals) {
  const std::array<std::array<int32_t, 4>, 6> sides = {{
      {0, 1, 3, 2},
      {4, 6, 7, 5},
      {0, 4, 5, 1},
      {2, 3, 7, 6},
      {0, 2, 6, 4},
      {1, 5, 7, 3},
  }};
  const std::array<Vec3, 6> n = {{{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}}};
  for (std::size_t s = 0; s < 6; ++s) {
    corners.push_back({sides[s][0], sides[s][1], sides[s][2]});
    corners.push_back({sides[s][0], sides[s][2], sides[s][3]});
    normals.push_back({n[s], n[s], n[s]});
    normals.push_back({n[s], n[s], n[s]});
  }
}

TEST(SmoothingGroups, HardEdgesSeparateGroupsAndSmoothSurfacesShareOne) {
  std::vector<std::array<int32_t, 3>> corners;
  std::vector<std::array<Vec3, 3>> normals;
  cube(corners, normals);
  const std::vector<uint32_t> m = smoothing_groups(corners, normals);
  ASSERT_EQ(m.size(), 12u);
  for (std::size_t s = 0; s < 6; ++s) {
    EXPECT_NE(m[2 * s], 0u) << s;
    EXPECT_EQ(m[2 * s], m[2 * s + 1]) << "the two triangles of side " << s;
  }
  // Sides that meet at a corner never share a bit (opposite sides may).
  for (std::size_t a = 0; a < 6; ++a) {
    for (std::size_t b = a + 1; b < 6; ++b) {
      if (b == a + 1 && a % 2 == 0) continue;  // opposite
      EXPECT_EQ(m[2 * a] & m[2 * b], 0u) << a << " " << b;
    }
  }

  // The same corners with one normal per vertex (a smoothed cube): one group.
  std::vector<std::array<Vec3, 3>> smooth;
  for (const auto& c : corners) {
    std::array<Vec3, 3> t;
    for (std::size_t k = 0; k < 3; ++k) {
      const int v = c[k];
      t[k] = {(v & 1) ? 1.f : -1.f, (v & 2) ? 1.f : -1.f, (v & 4) ? 1.f : -1.f};
    }
    smooth.push_back(t);
  }
  const std::vector<uint32_t> one = smoothing_groups(corners, smooth);
  for (uint32_t mask : one) EXPECT_EQ(mask, one[0]);
  EXPECT_NE(one[0], 0u);
}

TEST(SmoothingGroups, LoneFacesTolerancesAndBadNormals) {
  // Two triangles on a shared edge: normals a degree apart are one normal,
  // ten degrees apart a hard edge, and a face alone takes no group.
  const std::vector<std::array<int32_t, 3>> corners = {{0, 1, 2}, {2, 1, 3}};
  const float s1 = std::sin(1.0f * 3.14159265f / 180), c1 = std::cos(1.0f * 3.14159265f / 180);
  const float s10 = std::sin(10.0f * 3.14159265f / 180), c10 = std::cos(10.0f * 3.14159265f / 180);
  const Vec3 up{0, 0, 1}, near{s1, 0, c1}, far{s10, 0, c10};
  EXPECT_EQ(smoothing_groups(corners, {{up, up, up}, {near, near, near}}), (std::vector<uint32_t>{1, 1}));
  EXPECT_EQ(smoothing_groups(corners, {{up, up, up}, {far, far, far}}), (std::vector<uint32_t>{0, 0}));
  // Normals need not be of unit length.
  const Vec3 longer{0, 0, 7};
  EXPECT_EQ(smoothing_groups(corners, {{up, up, up}, {longer, longer, longer}}), (std::vector<uint32_t>{1, 1}));
  // A zero or NaN normal joins nothing.
  const Vec3 zero{0, 0, 0}, nan{std::nanf(""), 0, 1};
  EXPECT_EQ(smoothing_groups(corners, {{up, up, up}, {zero, nan, zero}}), (std::vector<uint32_t>{0, 0}));
  EXPECT_TRUE(smoothing_groups({}, {}).empty());
}

TEST(SmoothingGroups, ManyGroupsAroundOneVertexTakeDifferentBits) {
  // A fan of 20 sectors of two triangles each around vertex 0, every sector
  // with its own normal: all sectors meet at the centre.
  std::vector<std::array<int32_t, 3>> corners;
  std::vector<std::array<Vec3, 3>> normals;
  for (int s = 0; s < 20; ++s) {
    const float a = static_cast<float>(s) * 0.3f;
    const Vec3 n{std::cos(a), std::sin(a), 0.2f};
    corners.push_back({0, 1 + 3 * s, 2 + 3 * s});
    corners.push_back({0, 2 + 3 * s, 3 + 3 * s});
    normals.push_back({n, n, n});
    normals.push_back({n, n, n});
  }
  const std::vector<uint32_t> m = smoothing_groups(corners, normals);
  uint32_t all = 0;
  for (int s = 0; s < 20; ++s) {
    EXPECT_EQ(m[2 * s], m[2 * s + 1]);
    EXPECT_EQ(all & m[2 * s], 0u) << s;
    all |= m[2 * s];
  }
}

// ---------------------------------------------------------------------------
// Axes and units.

std::array<double, 3> apply(const Basis3& b, double x, double y, double z) {
  return {b[0][0] * x + b[0][1] * y + b[0][2] * z, b[1][0] * x + b[1][1] * y + b[1][2] * z,
          b[2][0] * x + b[2][1] * y + b[2][2] * z};
}

TEST(SceneAxes, EveryFrameEndsAsTheSceneExportsStoreIt) {
  // A Z-up file with the front at -Y (the scene exports' own frame) in
  // metres: exactly the ASE reader's turn, (x, y, z) -> (-y, x, z).
  SceneAxes max_like;
  max_like.up_axis = 2;
  max_like.front_axis = 1;
  max_like.front_sign = -1;
  EXPECT_EQ(apply(scene_basis(max_like), 1, 2, 3), (std::array<double, 3>{-2, 1, 3}));

  // glTF: Y up, front +Z. Up stays up, and the front that faces +Z faces -Y
  // before the turn, so (x, y, z) -> scene (x, -z, y) -> stored (z, x, y).
  EXPECT_EQ(apply(scene_basis(SceneAxes{}), 1, 2, 3), (std::array<double, 3>{3, 1, 2}));

  // FBX in centimetres, Z up with a mirrored front: the unit scales and the
  // signs follow the file.
  SceneAxes cm = max_like;
  cm.front_sign = 1;
  cm.metres_per_unit = 0.01;
  const auto p = apply(scene_basis(cm), 100, 200, 300);
  EXPECT_DOUBLE_EQ(p[0], 2);
  EXPECT_DOUBLE_EQ(p[1], 1);
  EXPECT_DOUBLE_EQ(p[2], 3);
}

// ---------------------------------------------------------------------------
// One scene written both ways.

class AssimpScenes : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvo-assimp-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    context_.notifier = &log_;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  static std::unique_ptr<Model> fresh() {
    auto m = std::make_unique<Model>();
    model_reset(*m);
    return m;
  }

  fs::path dir_;
  RecordingNotifier log_;
  ModelContext context_;
};

// The box (-1, -0.5, -2) .. (1, 0.5, 2), outward faces, in glTF axes.
const std::vector<std::array<float, 3>> kBox = {{-1, -0.5f, -2}, {1, -0.5f, -2}, {-1, 0.5f, -2}, {1, 0.5f, -2},
                                                {-1, -0.5f, 2},  {1, -0.5f, 2},  {-1, 0.5f, 2},  {1, 0.5f, 2}};
const std::vector<std::array<int, 3>> kBoxFaces = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                                   {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};

std::string gltf_scene() {
  // "01 Hull" at (0, 0.5, 0) with "02 Turret" at (0, 1, 0) below it, the
  // centre "_01 Center" at (0, 1, 0.5) turned a quarter about the up axis,
  // the light "LP1 Lamp" at (0, 2, 0).
  std::vector<GltfMesh> meshes;
  meshes.push_back(test::flat_mesh(kBox, kBoxFaces, 0));
  GltfMesh turret = test::flat_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 0);
  turret.uvs = {{0.25f, 0.25f}, {0.75f, 0.25f}, {0.25f, 1.0f}};  // glTF: v down from the top
  meshes.push_back(turret);
  meshes.push_back(test::flat_mesh({{0, 0, 0}, {0.1f, 0, 0}, {0, 0, 0.1f}}, {{0, 1, 2}}));
  std::vector<GltfNode> nodes(4);
  nodes[0] = {"01 Hull", 0, -1, -1, {0, 0.5f, 0}, {0, 0, 0, 1}, {1}};
  nodes[1] = {"02 Turret", 1, -1, -1, {0, 1, 0}, {0, 0, 0, 1}, {}};
  nodes[2] = {"_01 Center", 2, -1, -1, {0, 1, 0.5f}, {0, 0.70710678f, 0, 0.70710678f}, {}};
  nodes[3] = {"LP1 Lamp", -1, -1, 0, {0, 2, 0}, {0, 0, 0, 1}, {}};
  const std::string extra =
      ",\"materials\":[{\"name\":\"Hull\",\"doubleSided\":true,\"pbrMetallicRoughness\":{\"baseColorTexture\":"
      "{\"index\":0}}}],\"textures\":[{\"source\":0}],\"images\":[{\"uri\":\"maps/HULL.TGA\"}]"
      ",\"extensionsUsed\":[\"KHR_lights_punctual\"],\"extensions\":{\"KHR_lights_punctual\":{\"lights\":"
      "[{\"type\":\"point\",\"color\":[1,0.5,0.25],\"intensity\":2}]}}";
  return test::gltf(nodes, meshes, extra);
}

// The same scene as a scene export writes it: Z up, the glTF point (x, y, z)
// at (x, -z, y).
std::string ase_scene() {
  std::vector<test::V3> box;
  for (const auto& p : kBox) box.push_back({p[0], -p[2], p[1] + 0.5});
  const std::string material_ref = "*MATERIAL_REF 0\n";
  const std::string uv =
      "*MESH_NUMTVERTEX 3\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0.25 0.75 0\n*MESH_TVERT 1 0.75 0.75 0\n"
      "*MESH_TVERT 2 0.25 0.0 0\n}\n*MESH_NUMTVFACES 1\n*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n}\n";
  const std::string centre_tm = "*NODE_TM {\n*TM_ROW0 0 1 0\n*TM_ROW1 -1 0 0\n*TM_ROW2 0 0 1\n*TM_ROW3 0 -0.5 1\n}\n";
  return std::string(test::kHeader) +
         "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MATERIAL_NAME \"Hull\"\n*MATERIAL_TWOSIDED\n*MAP_DIFFUSE {\n"
         "*BITMAP \"C:\\maps\\HULL.TGA\"\n}\n}\n}\n" +
         test::geom("01 Hull", box, kBoxFaces, "", material_ref) +
         test::geom("02 Turret", {{0, 0, 1.5}, {1, 0, 1.5}, {0, 0, 2.5}}, {{{0, 1, 2}}}, uv, material_ref) +
         test::geom("_01 Center", {{0, -0.5, 1}, {0, -0.4, 1}, {0.1, -0.5, 1}}, {{{0, 1, 2}}}, "", centre_tm) +
         test::light("LP1 Lamp", 0, 0, 2);
}

// A face as its corner positions, starting at the smallest: equal for equal
// triangles wound the same way.
using Corner = std::array<float, 5>;  // x, y, z, u, v
std::vector<std::array<Corner, 3>> faces_of(const SubObject& so) {
  std::vector<std::array<Corner, 3>> out;
  const auto r = [](float v) { return std::round(v * 1e4f) / 1e4f; };
  for (const Face& f : so.faces) {
    std::array<Corner, 3> c;
    for (std::size_t k = 0; k < 3; ++k) {
      const Vertex& v = so.verts[static_cast<std::size_t>(f.v[k])];
      const auto ti = static_cast<std::size_t>(f.t[k]);
      const TextureVertex t = ti < so.tverts.size() ? so.tverts[ti] : TextureVertex{};
      c[k] = {r(v.x), r(v.y), r(v.z), r(t.u), r(t.v)};
    }
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(AssimpScenes, OneSceneWrittenBothWaysGivesTheSameModel) {
  put("tank.gltf", gltf_scene());
  put("tank.ase", ase_scene());
  auto from_gltf = fresh();
  auto from_ase = fresh();
  ASSERT_TRUE(model_import_scene(path("tank.gltf"), *from_gltf, context_)) << log_.lines.back();
  EXPECT_NE(std::find(log_.lines.begin(), log_.lines.end(), "scene read by assimp 5.2 (glTF 2.0)"), log_.lines.end());
  EXPECT_FALSE(context_.conversion_errors);
  ASSERT_TRUE(model_import_scene(path("tank.ase"), *from_ase, context_));

  ASSERT_EQ(from_gltf->num_subobjects(), 2);
  ASSERT_EQ(from_ase->num_subobjects(), 2);
  for (std::size_t i = 0; i < 2; ++i) {
    const SubObject& g = from_gltf->subobjects[i];
    const SubObject& a = from_ase->subobjects[i];
    EXPECT_EQ(g.name.view(), a.name.view());
    EXPECT_EQ(g.verts.size(), a.verts.size()) << "welded by position";
    if (i == 1) {
      EXPECT_EQ(faces_of(g), faces_of(a)) << "positions, winding and texture coordinates";
    } else {
      // The box has no texture coordinates in the ASE text: positions only.
      auto pg = faces_of(g), pa = faces_of(a);
      for (auto* list : {&pg, &pa}) {
        for (auto& f : *list) {
          for (auto& c : f) c[3] = c[4] = 0;
        }
      }
      EXPECT_EQ(pg, pa);
    }
  }
  // The box's sides are smoothed each on its own.
  const SubObject& hull = from_gltf->subobjects[0];
  ASSERT_EQ(hull.faces.size(), 12u);
  for (std::size_t s = 0; s < 6; ++s) EXPECT_EQ(hull.faces[2 * s].smoothing, hull.faces[2 * s + 1].smoothing);
  EXPECT_NE(hull.faces[0].smoothing, hull.faces[4].smoothing) << "neighbouring sides";

  ASSERT_EQ(from_gltf->centers.size(), 1u);
  const CenterPoint& cg = from_gltf->centers[0];
  const CenterPoint& ca = from_ase->centers[0];
  EXPECT_NEAR(cg.x, ca.x, 1e-5);
  EXPECT_NEAR(cg.y, ca.y, 1e-5);
  EXPECT_NEAR(cg.z, ca.z, 1e-5);
  for (std::size_t r = 0; r < 4; ++r) {
    EXPECT_NEAR(cg.rows[r].x, ca.rows[r].x, 1e-5) << r;
    EXPECT_NEAR(cg.rows[r].y, ca.rows[r].y, 1e-5) << r;
    EXPECT_NEAR(cg.rows[r].z, ca.rows[r].z, 1e-5) << r;
  }

  ASSERT_EQ(from_gltf->lights.size(), 1u);
  EXPECT_EQ(from_gltf->lights[0].name.view(), "LP1 Lamp");
  EXPECT_NEAR(from_gltf->lights[0].x, from_ase->lights[0].x, 1e-5);
  EXPECT_NEAR(from_gltf->lights[0].y, from_ase->lights[0].y, 1e-5);
  EXPECT_NEAR(from_gltf->lights[0].z, from_ase->lights[0].z, 1e-5);
  EXPECT_FLOAT_EQ(from_gltf->lights[0].g, 0.5f);
  EXPECT_FLOAT_EQ(from_gltf->lights[0].intensity, 2.0f);

  ASSERT_EQ(from_gltf->num_materials, 1);
  EXPECT_EQ(from_gltf->materials[0].name.view(), "HULL.TGA");
  EXPECT_EQ(from_gltf->materials[0].description.view(), "Hull");
  EXPECT_EQ(from_gltf->materials[0].render_attributes, from_ase->materials[0].render_attributes);
  EXPECT_EQ(from_gltf->materials[0].render_attributes & 1, 1) << "two-sided";
  EXPECT_EQ(from_gltf->attributes & 1, 1);
}

TEST_F(AssimpScenes, ObjAndFbxUnitsAndAxes) {
  // OBJ: Y up, as glTF. The corner (1, 2, 3) is stored at (3, 1, 2).
  put("tri.obj", "o 01_Tri\nv 1 2 3\nv 2 2 3\nv 1 3 3\nf 1 2 3\n");
  ImportedScene scene;
  ASSERT_TRUE(assimp_load(path("tri.obj"), scene, log_));
  EXPECT_EQ(log_.lines.back(), "scene read by assimp 5.2 (Wavefront OBJ)");
  const auto mesh =
      std::find_if(scene.objects.begin(), scene.objects.end(), [](const MaxObject& o) { return !o.verts.empty(); });
  ASSERT_NE(mesh, scene.objects.end());
  EXPECT_EQ(mesh->verts[0], (Vec3{3, 1, 2}));
}

// ---------------------------------------------------------------------------
// Skinned meshes.

TEST_F(AssimpScenes, SkinnedMeshesGiveBonesAndWeights) {
  // Two bones (Bip01, child Bip01 Spine) and the mesh "01 Skin" bound to them.
  GltfMesh skin = test::flat_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  skin.joints = {{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
  skin.weights = {{0.75f, 0.25f, 0, 0}, {1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}};
  std::vector<GltfNode> nodes(3);
  nodes[0] = {"Bip01", -1, -1, -1, {0, 0, 0}, {0, 0, 0, 1}, {1}};
  nodes[1] = {"Bip01 Spine", -1, -1, -1, {0, 1, 0}, {0, 0, 0, 1}, {}};
  nodes[2] = {"01 Skin", 0, 0, -1, {0, 0, 0}, {0, 0, 0, 1}, {}};
  // The inverse bind matrices (column-major) follow the mesh's data in the
  // buffer: identity for Bip01, one unit down for Bip01 Spine.
  std::string text = test::gltf(nodes, {skin}, ",\"skins\":[{\"joints\":[0,1]}]");
  put("soldier.gltf", text);
  ImportedScene refused;
  const Status no_binds = assimp_load(path("soldier.gltf"), refused, log_);
  EXPECT_EQ(no_binds.code(), kAssimpBadScene) << "assimp would read past its data";
  EXPECT_NE(no_binds.error().message.find("inverse bind matrices"), std::string::npos);

  const std::vector<float> matrices = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,
                                       1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1};
  const std::string extra = ",\"skins\":[{\"joints\":[0,1],\"inverseBindMatrices\":$M}]";
  text = test::gltf(nodes, {skin}, extra, matrices);
  put("soldier.gltf", text);

  ImportedScene scene;
  ASSERT_TRUE(assimp_load(path("soldier.gltf"), scene, log_)) << log_.lines.back();
  EXPECT_TRUE(scene.skinned);
  std::map<std::string, int> bones;
  const MaxObject* mesh = nullptr;
  for (const MaxObject& o : scene.objects) {
    if (o.bone >= 0) bones[o.name.str()] = o.bone;
    if (o.name.view() == "01 Skin") mesh = &o;
  }
  EXPECT_EQ(bones, (std::map<std::string, int>{{"Bip01", 0}, {"Bip01 Spine", 1}}));
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->weights.size(), mesh->verts.size());
  // The first corner (0, 0, 0): Bip01 0.75, Bip01 Spine 0.25, strongest first.
  const auto at_origin = std::find(mesh->verts.begin(), mesh->verts.end(), Vec3{0, 0, 0}) - mesh->verts.begin();
  const SkinWeight& w = mesh->weights[static_cast<std::size_t>(at_origin)];
  EXPECT_EQ(w.bones[0], 0);
  EXPECT_EQ(w.bones[1], 1);
  EXPECT_EQ(w.bones[2], -1);
  EXPECT_FLOAT_EQ(w.weights[0], 0.75f);
  EXPECT_FLOAT_EQ(w.weights[1], 0.25f);

  // The skinned conversion takes it: bones 0 and 1 are sub-objects 1 and 2,
  // the mesh "01" follows the highest bone as sub-object 3.
  auto model = fresh();
  ASSERT_TRUE(model_import_scene(path("soldier.gltf"), *model, context_));
  ASSERT_EQ(model->num_subobjects(), 3);
  EXPECT_EQ(model->subobjects[1].parent, 0);
  ASSERT_EQ(model->subobjects[2].verts.size(), 3u);
  EXPECT_TRUE(model->subobjects[0].verts.empty());
  const auto bound = std::find_if(model->subobjects[2].verts.begin(), model->subobjects[2].verts.end(),
                                  [](const Vertex& v) { return v.weights[0] == 0.5f; });
  ASSERT_NE(bound, model->subobjects[2].verts.end());
  EXPECT_EQ(bound->bones[1], 1 - bound->bones[0]);
}

// ---------------------------------------------------------------------------
// Bad input.

TEST_F(AssimpScenes, BadFilesAreRefusedWithTheReason) {
  ImportedScene scene;
  // Missing, a folder, a FIFO: refused before assimp reads anything.
  Status s = assimp_load(path("none.glb"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpCannotOpen);
  EXPECT_NE(s.error().message.find("none.glb"), std::string::npos);
  fs::create_directories(path("dir.fbx"));
  EXPECT_EQ(assimp_load(path("dir.fbx"), scene, log_).code(), kAssimpCannotOpen);
  ASSERT_EQ(::mkfifo(path("pipe.gltf").c_str(), 0600), 0);
  EXPECT_EQ(assimp_load(path("pipe.gltf"), scene, log_).code(), kAssimpCannotOpen);

  // Assimp's own words, with the file's name.
  put("junk.dae", "<COLLADA><library_geometries><geometry");
  s = assimp_load(path("junk.dae"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene);
  EXPECT_EQ(s.error().message.rfind(path("junk.dae") + ": assimp: ", 0), 0u) << s.error().message;
  EXPECT_TRUE(scene.objects.empty());

  // Debian's assimp checks its own state with assertions that end the
  // program when they fail: a damaged binary FBX trips one in the tokenizer.
  // It is a clean error instead.
  {
    const std::string_view broken(
        "Kaydara FBX Binary  \xff\xff\xff\xff\xff\xff\xff"
        "6\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\xf5\xff\xff\xff\x00,\x00\x00\x00\x00\xfc\xff\xff\x00P",
        53);
    s = assimp_parse(broken, "fbx", "broken.fbx", scene, log_);
    EXPECT_EQ(s.code(), kAssimpBadScene);
    EXPECT_NE(s.error().message.find("assimp's own check"), std::string::npos) << s.error().message;
  }

  // Assimp's FBX reader frees an embedded texture twice when two objects
  // are connected this way, which kills its process: the scene is read in a
  // child process first, so this one only reports it.
  // (A texture of a kilobyte, so that the C library notices the second free
  // whatever else the process has freed before.)
  put("texture.fbx", "FBXHeaderExtension:{FBXVersion:7500}Objects:{V:2957776707121,\"\",\"\"{Content:\"\t" +
                         std::string(1000, 'p') +
                         "\"}T:2957776714321,\"\",\"\"{}}Connections:{C:\"\",2957776707121,2957776714321}");
  s = assimp_load(path("texture.fbx"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene);
  EXPECT_NE(s.error().message.find("the reader crashes on the file"), std::string::npos) << s.error().message;
  EXPECT_TRUE(scene.objects.empty());

  // Read from memory, an OBJ scene whose material library is missing is not
  // read a second time as its own material library (assimp's MTL reader
  // then wrote through a material it had not made).
  s = assimp_parse("mtllib missing.mtl\nmap_d alpha.png\n", "obj", "memory.obj", scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene) << s.error().message;

  // Only the readers of the file's own kind see it: OpenGEX text named
  // ".glb" is no glTF scene, though assimp's OpenGEX reader would take it.
  put("triangle.glb",
      "GeometryNode { Name { string { \"01 Tri\" } } ObjectRef { ref { $g } } }\n"
      "GeometryObject $g { Mesh (primitive = \"triangles\") {\n"
      "  VertexArray (attrib = \"position\") { float[3] { {0, 0, 0}, {1, 0, 0}, {0, 1, 0} } }\n"
      "  IndexArray { unsigned_int32[3] { {0, 1, 2} } } } }\n");
  s = assimp_load(path("triangle.glb"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene);
  EXPECT_NE(s.error().message.find("no glTF scene"), std::string::npos) << s.error().message;

  // An array longer than the file could hold is refused before assimp
  // reserves it.
  put("long.dae",
      "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><library_geometries><geometry><mesh><source>"
      "<float_array id=\"a\" count=\"4000000000\">0 0 0</float_array></source></mesh></geometry>"
      "</library_geometries></COLLADA>");
  s = assimp_load(path("long.dae"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene);
  EXPECT_NE(s.error().message.find("count 4000000000"), std::string::npos) << s.error().message;

  // An index list with anything but numbers would make assimp append
  // zeros until the memory is gone: refused first, the sample cube as it
  // is still read.
  {
    std::string cube = tools::test::slurp(ORVO_SOURCE_DIR "/fuzz/seeds/assimp/cube_empty_tags.dae");
    cube.erase(0, 1);  // the fuzz seed's format byte
    put("cube.dae", cube);
    EXPECT_TRUE(assimp_load(path("cube.dae"), scene, log_)) << "the sample cube";
    const std::size_t list = cube.find("4 7 6 8");
    ASSERT_NE(list, std::string::npos);
    cube[list + 5] = ';';
    put("cube.dae", cube);
    s = assimp_load(path("cube.dae"), scene, log_);
    EXPECT_EQ(s.code(), kAssimpBadScene);
    EXPECT_NE(s.error().message.find("(<p>) holds the byte 0x3B"), std::string::npos) << s.error().message;
    // A count that is no number (assimp reads 0 and then the first value of
    // the empty array) or 0 for an array holding values.
    cube[list + 5] = ' ';
    for (const char* count : {"w2", "0", ""}) {
      std::string bad = cube;
      bad.replace(bad.find("count=\"72\""), 10, *count != 0 ? std::string("count=\"") + count + "\"" : "x=\"1\"");
      put("cube.dae", bad);
      s = assimp_load(path("cube.dae"), scene, log_);
      EXPECT_EQ(s.code(), kAssimpBadScene) << count;
    }
  }

  // An embedded picture whose media type has no '/' would crash assimp
  // (it reads what follows the '/' as the extension): refused first, the
  // same file with "image/png" still read.
  {
    std::vector<GltfNode> nodes(1);
    nodes[0] = {"01 Plate", 0, -1, -1, {0, 0, 0}, {0, 0, 0, 1}, {}};
    const auto with_image = [&](const std::string& type) {
      return test::gltf(nodes, {test::flat_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 0)},
                        ",\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0}}}],"
                        "\"textures\":[{\"source\":0}],\"images\":[{\"bufferView\":0,\"mimeType\":\"" +
                            type + "\"}]");
    };
    EXPECT_TRUE(assimp_parse(with_image("image/png"), "gltf", "plate.gltf", scene, log_));
    s = assimp_parse(with_image("image-png"), "gltf", "plate.gltf", scene, log_);
    EXPECT_EQ(s.code(), kAssimpBadScene);
    EXPECT_NE(s.error().message.find("image 0 has the media type \"image-png\""), std::string::npos)
        << s.error().message;
  }

  // A binary file whose JSON chunk declares more than the file holds would
  // have assimp reserve it all.
  {
    static constexpr char kGlb[] = "glTF\x02\0\0\0\x20\0\0\0\0\0\0\x70JSON{\"asset\":{}}";
    const std::string glb(kGlb, sizeof kGlb - 1);
    s = assimp_parse(glb, "glb", "huge.glb", scene, log_);
    EXPECT_EQ(s.code(), kAssimpBadScene);
    EXPECT_NE(s.error().message.find("the JSON chunk declares 1879048192 bytes"), std::string::npos)
        << s.error().message;
  }

  // Inverse bind matrices that run past their buffer view would have
  // assimp read past its data: refused first, the sample skin as it is
  // still read.
  {
    std::string skin = tools::test::slurp(ORVO_SOURCE_DIR "/fuzz/seeds/assimp/simple_skin.gltf");
    skin.erase(0, 1);  // the fuzz seed's format byte
    EXPECT_TRUE(assimp_parse(skin, "gltf", "skin.gltf", scene, log_)) << "the sample skin";
    const std::size_t at = skin.find("\"bufferView\" : 3,\n    \"byteOffset\" : 0");
    ASSERT_NE(at, std::string::npos);
    skin[skin.find('0', at + 18)] = '5';
    s = assimp_parse(skin, "gltf", "skin.gltf", scene, log_);
    EXPECT_EQ(s.code(), kAssimpBadScene);
    EXPECT_NE(s.error().message.find("accessor 4 needs 133 bytes of buffer view 3, which holds 128"), std::string::npos)
        << s.error().message;
    // assimp takes strings with bytes that are not UTF-8; so does the check.
    skin.insert(1, "\"extras\" : \"\xFF\", ");
    s = assimp_parse(skin, "gltf", "skin.gltf", scene, log_);
    EXPECT_NE(s.error().message.find("accessor 4 needs"), std::string::npos) << s.error().message;
    // A count too large to multiply out.
    const std::size_t count = skin.find("\"count\" : 2,", skin.find("\"bufferView\" : 3"));
    ASSERT_NE(count, std::string::npos);
    skin.replace(count, 12, "\"count\" : 9007199254740992,");
    s = assimp_parse(skin, "gltf", "skin.gltf", scene, log_);
    EXPECT_NE(s.error().message.find("accessor 4 needs more than 128 bytes"), std::string::npos) << s.error().message;
  }

  // A buffer that names a device is never read.
  put("dev.gltf",
      "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":1000000000,\"uri\":\"/dev/zero\"}],"
      "\"bufferViews\":[{\"buffer\":0,\"byteLength\":12}],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,"
      "\"count\":1,\"type\":\"VEC3\"}],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}],"
      "\"nodes\":[{\"name\":\"01 A\",\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}]}");
  s = assimp_load(path("dev.gltf"), scene, log_);
  EXPECT_FALSE(s);
  EXPECT_NE(s.error().message.find("/dev/zero"), std::string::npos) << s.error().message;

  // A scene without nodes has nothing to convert.
  put("empty.gltf", "{\"asset\":{\"version\":\"2.0\"},\"scenes\":[{\"nodes\":[]}],\"scene\":0}");
  s = assimp_load(path("empty.gltf"), scene, log_);
  EXPECT_EQ(s.code(), kAssimpBadScene) << s.error().message;

  // From memory nothing beside the scene is read.
  put("outside.bin", std::string(12, '\0'));
  const std::string names_a_file =
      "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":12,\"uri\":\"" + path("outside.bin") +
      "\"}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":12}],\"accessors\":[{\"bufferView\":0,\"componentType\":"
      "5126,\"count\":1,\"type\":\"VEC3\"}],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}],"
      "\"nodes\":[{\"name\":\"01 A\",\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}]}";
  EXPECT_FALSE(assimp_parse(names_a_file, "gltf", "memory.gltf", scene, log_));
}

// ---------------------------------------------------------------------------
// The scene file of a 3DA file.

TEST_F(AssimpScenes, ModelFilesFindTheirSceneInAnySupportedKind) {
  put("tank.gltf", gltf_scene());
  auto model = fresh();
  ASSERT_TRUE(model_import_scene(path("tank.gltf"), *model, context_));
  ASSERT_TRUE(model_write_3da(*model, path("tank.3da"), context_, "artist", tools::LocalTime{2026, 1, 1, 0, 0, 0}));

  // Neither tank.ase (the first choice) nor tank.asc: the glTF file.
  auto back = fresh();
  ASSERT_TRUE(model_read_3da(path("tank.3da"), *back, context_)) << log_.lines.back();
  EXPECT_EQ(model_scene_path(path("tank.3da"), *back), path("tank.gltf"));
  EXPECT_EQ(back->num_subobjects(), 2);

  // .ase and .asc come before the others, .glb before .gltf, in any case.
  put("TANK.GLB", "not read");
  EXPECT_EQ(model_scene_path(path("tank.3da"), *back), path("TANK.GLB"));
  put("tank.ASE", ase_scene());
  EXPECT_EQ(model_scene_path(path("tank.3da"), *back), path("tank.ASE"));
  ASSERT_TRUE(model_read_3da(path("tank.3da"), *back, context_));
  EXPECT_EQ(log_.lines.front(), "scene read by assimp 5.2 (glTF 2.0)");
  EXPECT_NE(std::find(log_.lines.begin(), log_.lines.end(), "Parsing MAX file"), log_.lines.end());

  // Importing: the new extensions in any case go to assimp; the old rule
  // stays for the rest.
  EXPECT_EQ(scene_reader_for("a/b.GlTf"), SceneReader::kAssimp);
  EXPECT_EQ(scene_reader_for("a/b.OBJ"), SceneReader::kAssimp);
  EXPECT_EQ(scene_reader_for("a.ase.asc"), SceneReader::kAse);
  EXPECT_EQ(scene_reader_for("a/b.asc"), SceneReader::kAsc);
  EXPECT_EQ(scene_reader_for("a.dae/b.txt"), SceneReader::kAsc);
}

}  // namespace
}  // namespace orvo
