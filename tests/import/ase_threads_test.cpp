// A large file is read by several threads from cuts at the outer level; the
// result must be exactly that of one thread reading from start to end.

#include <gtest/gtest.h>

#include <random>

#include "ase_text.h"
#include "orvo/import/ase.h"

namespace orvo {
namespace {

bool same(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

void expect_same_scene(const ImportedScene& a, const ImportedScene& b) {
  ASSERT_EQ(a.objects.size(), b.objects.size());
  for (std::size_t i = 0; i < a.objects.size(); ++i) {
    const MaxObject& x = a.objects[i];
    const MaxObject& y = b.objects[i];
    SCOPED_TRACE("object " + std::to_string(i));
    EXPECT_EQ(x.name.view(), y.name.view());
    EXPECT_EQ(x.bone, y.bone);
    EXPECT_EQ(x.material_ref, y.material_ref);
    EXPECT_EQ(x.line, y.line);
    EXPECT_EQ(x.skinned, y.skinned);
    EXPECT_EQ(x.num_cvfaces, y.num_cvfaces);
    ASSERT_EQ(x.verts.size(), y.verts.size());
    for (std::size_t k = 0; k < x.verts.size(); ++k) EXPECT_TRUE(same(x.verts[k], y.verts[k]));
    ASSERT_EQ(x.faces.size(), y.faces.size());
    for (std::size_t k = 0; k < x.faces.size(); ++k) {
      EXPECT_EQ(x.faces[k].v, y.faces[k].v);
      EXPECT_EQ(x.faces[k].flat_material, y.faces[k].flat_material);
      EXPECT_EQ(x.faces[k].smoothing, y.faces[k].smoothing);
    }
    EXPECT_EQ(x.weights.size(), y.weights.size());
    EXPECT_EQ(x.cverts, y.cverts);
  }
  ASSERT_EQ(a.lights.size(), b.lights.size());
  for (std::size_t i = 0; i < a.lights.size(); ++i) {
    EXPECT_EQ(a.lights[i].name.view(), b.lights[i].name.view());
    EXPECT_EQ(a.lights[i].x, b.lights[i].x);
  }
  ASSERT_EQ(a.materials.size(), b.materials.size());
  for (std::size_t i = 0; i < a.materials.size(); ++i) {
    EXPECT_EQ(a.materials[i].name.view(), b.materials[i].name.view());
    EXPECT_EQ(a.materials[i].diffuse[0].view(), b.materials[i].diffuse[0].view());
  }
  EXPECT_EQ(a.skinned, b.skinned);
}

// A random scene built from pieces that exercise every way the reading can
// end: errors, impossible counts, a material list that stops the reading,
// parentless vertices, stray braces.
std::string random_scene(std::mt19937& rng) {
  std::string text = test::kHeader;
  const int pieces = 1 + static_cast<int>(rng() % 12);
  for (int p = 0; p < pieces; ++p) {
    const std::string num = std::to_string(1 + rng() % 9);
    switch (rng() % 12) {
      case 0:
      case 1:
      case 2: text += test::tri("0" + num + " Obj", rng() % 5, 0, 0); break;
      case 3: text += test::light("LP" + num, 1, 2, 3); break;
      case 4:
        text += "*MATERIAL_LIST {\n*MATERIAL " + std::to_string(rng() % 3) + " {\n*MATERIAL_NAME \"M" + num +
                "\"\n*SUBMATERIAL 1 {\n*MATERIAL_NAME \"S\"\n}\n}\n}\n";
        break;
      case 5:
        text += "*MATERIAL_LIST {\n*MATERIAL 0 {\n*SUBMATERIAL 70 {\n}\n}\n}\n";  // stops the reading
        break;
      case 6:  // a face corner outside the vertex list
        text += test::geom("0" + num + " Bad", {{0, 0, 0}}, {{{0, 0, 3}}});
        break;
      case 7:  // a count the file cannot hold
        text += "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX " + std::to_string(rng() % 400) + "\n}\n}\n";
        break;
      case 8:
        text += test::geom("0" + num + " Skin", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}},
                           "*MESH_WEIGHTS {\n*MESH_WEIGHTSVERTEX 1 -1 -1 -1 -1 1 0 0 0\n}\n");
        break;
      case 9: text += "}\n*SCENE {\n*SCENE_FILENAME \"x\"\n}\n"; break;
      case 10: text += "*HELPEROBJECT {\n*NODE_NAME \"_0" + num + " Center\"\n}\n"; break;
      default:
        text += "*GEOMOBJECT {\n*NODE_NAME \"0" + num + " Ref\"\n*MATERIAL_REF " + std::to_string(rng() % 3) +
                "\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n"
                "*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 "
                "AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 1\n}\n}\n}\n";
        break;
    }
  }
  return text;
}

TEST(AseThreads, ManyThreadsReadExactlyAsOne) {
  std::mt19937 rng(2024);
  for (int iter = 0; iter < 400; ++iter) {
    const std::string text = random_scene(rng);
    SCOPED_TRACE(text);
    ImportedScene one, many;
    RecordingNotifier log_one, log_many;
    const Status a = ase_parse(text, "s.ase", one, log_one, AseParseOptions{1, 1});
    const Status b =
        ase_parse(text, "s.ase", many, log_many, AseParseOptions{static_cast<std::size_t>(1 + iter % 7), 1});
    ASSERT_EQ(a.code(), b.code());
    if (!a) {
      EXPECT_EQ(a.error().message, b.error().message);
      continue;
    }
    EXPECT_EQ(log_one.lines, log_many.lines);
    ASSERT_EQ(log_one.messages.size(), log_many.messages.size());
    for (std::size_t i = 0; i < log_one.messages.size(); ++i) {
      EXPECT_EQ(log_one.messages[i].text, log_many.messages[i].text);
    }
    expect_same_scene(one, many);
  }
}

}  // namespace
}  // namespace orvo
