#include "orvo/import/asc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "orvo/import/convert.h"

namespace orvo {
namespace {

struct Parsed {
  Status status;
  ImportedScene scene;
  RecordingNotifier log;
};

std::unique_ptr<Parsed> parse(const std::string& text, const std::string& name = "t.asc") {
  auto p = std::make_unique<Parsed>();
  p->status = asc_parse(text, name, p->scene, p->log);
  return p;
}

// A plain (unmapped) triangle mesh: vertices (i, 0, 0) ... and faces on them.
std::string plain_mesh(const std::string& name, int verts, const std::string& faces_text, int faces) {
  std::string s = "Named object: \"" + name + "\"\nTri-mesh, Vertices: " + std::to_string(verts) +
                  "     Faces: " + std::to_string(faces) + "\nVertex list:\n";
  for (int i = 0; i < verts; ++i) {
    s += "Vertex " + std::to_string(i) + ":  X: " + std::to_string(i) + ".0  Y: 0.0  Z: 0.0\n";
  }
  return s + "Face list:\n" + faces_text;
}

void expect_vec(const Vec3& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST(AscReader, ReadsBothVertexFormsTurnedAQuarterTurn) {
  // Unmapped: labels and values are separate tokens (values at 3, 5, 7).
  auto plain = parse(
      "Named object: \"01 A\"\nTri-mesh, Vertices: 1     Faces: 0\nVertex list:\n"
      "Vertex 0:  X: 1.0  Y: 2.0  Z: 3.0\n");
  ASSERT_TRUE(plain->status) << plain->status.error().message;
  ASSERT_EQ(plain->scene.objects.size(), 1u);
  expect_vec(plain->scene.objects[0].verts[0], -2, 1, 3);
  ASSERT_EQ(plain->scene.objects[0].tverts.size(), 1u);
  expect_vec(plain->scene.objects[0].tverts[0], 0, 0, 0);

  // Mapped: each value against its label in one token, with U and V.
  auto mapped = parse(
      "Named object: \"01 A\"\nTri-mesh, Vertices: 2     Faces: 0\nMapped\nVertex list:\n"
      "Vertex 0:  X:1.0     Y:2.0     Z:3.0     U:0.25     V:0.75\n"
      "Vertex 1:  X:-4.5     Y:5.5     Z:-6.0     U:1.0     V:0.0\n");
  ASSERT_TRUE(mapped->status) << mapped->status.error().message;
  const MaxObject& o = mapped->scene.objects[0];
  expect_vec(o.verts[0], -2, 1, 3);
  expect_vec(o.verts[1], -5.5f, -4.5f, -6);
  expect_vec(o.tverts[0], 0.25f, 0.75f, 0);
  expect_vec(o.tverts[1], 1, 0, 0);

  // Without a "Vertex list:" heading the first vertex line still counts as
  // vertex 0 (the rest are not shifted).
  auto headless = parse(
      "Named object: \"01 A\"\nTri-mesh, Vertices: 2     Faces: 0\n"
      "Vertex 0:  X: 1.0  Y: 0.0  Z: 0.0\nVertex 1:  X: 2.0  Y: 0.0  Z: 0.0\n");
  ASSERT_TRUE(headless->status) << headless->status.error().message;
  expect_vec(headless->scene.objects[0].verts[0], 0, 1, 0);
  expect_vec(headless->scene.objects[0].verts[1], 0, 2, 0);
}

TEST(AscReader, MeshesInNameOrderOthersSkipped) {
  const std::string text = "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\n" + plain_mesh("b", 1, "", 0) +
                           "Named object: \"Camera01\"\nCamera (50.000000mm):\n  Position:  X:0.0 Y:-100.0 Z:0.0\n" +
                           // Page headers between the name and the "Tri-mesh" line are skipped.
                           "Named object: \"A\"\nPage 2\nTri-mesh, Vertices: 2     Faces: 0\nVertex list:\n"
                           "Vertex 0:  X: 7.0  Y: 0.0  Z: 0.0\nVertex 1:  X: 8.0  Y: 0.0  Z: 0.0\n" +
                           // Equal names (without regard to case) keep their file order.
                           plain_mesh("a", 3, "", 0);
  auto p = parse(text);
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->scene.objects.size(), 3u);
  EXPECT_EQ(p->scene.objects[0].name.view(), "A");
  EXPECT_EQ(p->scene.objects[1].name.view(), "a");
  EXPECT_EQ(p->scene.objects[2].name.view(), "b");
  EXPECT_EQ(p->scene.objects[0].verts.size(), 2u);
  EXPECT_EQ(p->scene.objects[1].verts.size(), 3u);
  EXPECT_EQ(p->scene.objects[2].verts.size(), 1u);
  expect_vec(p->scene.objects[0].verts[1], 0, 8, 0);  // each object read from its own lines
  EXPECT_EQ(p->scene.objects[2].line, 2);
  EXPECT_EQ(p->scene.objects[0].line, 10);
  EXPECT_EQ(p->scene.name, "t");
  EXPECT_EQ(p->scene.origin, 0);
  EXPECT_TRUE(p->scene.lights.empty());
  EXPECT_TRUE(p->scene.materials.empty());
  EXPECT_FALSE(p->scene.skinned);
}

TEST(AscReader, FacesCornersEdgesAndSmoothing) {
  auto p = parse(plain_mesh("01 A", 5,
                            "Face 0:    A:2 B:1 C:0 AB:1 BC:0 CA:1\nMaterial:\"CRATE\"\nSmoothing:  1, 4\n"
                            "Face 1:    A:4 B:3 C:2 AB:0 BC:1 CA:1\nSmoothing:  33\nSmoothing:\n"
                            "Face 2:    A:0 B:3 C:4 AB:1 BC:1 CA:0\nSmoothing:  3\n",
                            3));
  ASSERT_TRUE(p->status) << p->status.error().message;
  const MaxObject& o = p->scene.objects[0];
  ASSERT_EQ(o.faces.size(), 3u);
  const SceneFace& f = o.faces[0];
  EXPECT_EQ(f.v, (std::array<int32_t, 4>{2, 1, 0, 2}));
  EXPECT_EQ(f.t, f.v);  // texture vertices follow the vertices
  EXPECT_EQ(f.edge, (std::array<uint8_t, 4>{1, 0, 1, 1}));
  EXPECT_EQ(f.smoothing, (1u << 1) | (1u << 4));
  EXPECT_EQ(f.flat_material, -1);
  EXPECT_EQ(f.submat_id, 0);
  // A later "Smoothing:" line clears the mask before setting its groups.
  EXPECT_EQ(o.faces[1].smoothing, 0u);
  EXPECT_EQ(o.faces[1].v, (std::array<int32_t, 4>{4, 3, 2, 4}));
  EXPECT_EQ(o.faces[2].smoothing, 1u << 3);

  auto wrap = parse(plain_mesh("01 A", 3, "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nSmoothing:  33 49\n", 1));
  ASSERT_TRUE(wrap->status);
  EXPECT_EQ(wrap->scene.objects[0].faces[0].smoothing, (1u << 1) | (1u << 17));  // groups wrap at 32
}

TEST(AscReader, FaceListEndsAtAnOutOfOrderIndex) {
  auto p = parse(plain_mesh("01 A", 4,
                            "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nSmoothing:  1\n"
                            "Face 1:    A:1 B:2 C:3 AB:1 BC:1 CA:1\nSmoothing:  2\n"
                            "Face 3:    A:3 B:2 C:1 AB:1 BC:1 CA:1\nSmoothing:  5\n"
                            "Face 2:    A:3 B:2 C:0 AB:1 BC:1 CA:1\nSmoothing:  6\n",
                            4));
  ASSERT_TRUE(p->status) << p->status.error().message;
  const MaxObject& o = p->scene.objects[0];
  ASSERT_EQ(o.faces.size(), 4u);
  EXPECT_EQ(o.faces[1].v, (std::array<int32_t, 4>{1, 2, 3, 1}));
  // The smoothing lines after the jump belong to no face that was read.
  EXPECT_EQ(o.faces[1].smoothing, 1u << 2);
  for (std::size_t i = 2; i < 4; ++i) {
    EXPECT_EQ(o.faces[i].v, (std::array<int32_t, 4>{0, 0, 0, 0})) << i;
    EXPECT_EQ(o.faces[i].smoothing, 0u) << i;
  }
}

TEST(AscReader, FaceNumbersPastTheCountEndTheListToo) {
  // Faces 0, 1, 3 of 3: face 3 is not stored, so it is no index error; the
  // list ends there and face 2 stays cleared.
  auto jump = parse(plain_mesh("01 A", 4,
                               "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nFace 1:    A:1 B:2 C:3 AB:1 BC:1 CA:1\n"
                               "Face 3:    A:3 B:2 C:1 AB:1 BC:1 CA:1\n",
                               3));
  ASSERT_TRUE(jump->status) << jump->status.error().message;
  ASSERT_EQ(jump->scene.objects[0].faces.size(), 3u);
  EXPECT_EQ(jump->scene.objects[0].faces[1].v, (std::array<int32_t, 4>{1, 2, 3, 1}));
  EXPECT_EQ(jump->scene.objects[0].faces[2].v, (std::array<int32_t, 4>{0, 0, 0, 0}));

  // A face line after a complete list is not stored either.
  auto after = parse(plain_mesh("01 A", 3,
                                "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nFace 1:    A:2 B:1 C:0 AB:1 BC:1 CA:1\n"
                                "Face 2:    A:0 B:9 C:2 AB:1 BC:1 CA:1\n",
                                2));
  ASSERT_TRUE(after->status) << after->status.error().message;
  ASSERT_EQ(after->scene.objects[0].faces.size(), 2u);
  EXPECT_EQ(after->scene.objects[0].faces[1].v, (std::array<int32_t, 4>{2, 1, 0, 2}));

  // A list that ends at once leaves every declared face cleared.
  auto first = parse(plain_mesh("01 A", 3, "Face 7:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nFace 1:    A:0 B:1 C:2\n", 2));
  ASSERT_TRUE(first->status) << first->status.error().message;
  ASSERT_EQ(first->scene.objects[0].faces.size(), 2u);
  EXPECT_EQ(first->scene.objects[0].faces[0].v, (std::array<int32_t, 4>{0, 0, 0, 0}));
}

TEST(AscReader, DeclaredButNotGivenIsAnErrorAtTheObjectsEnd) {
  struct Case {
    const char* what;
    std::string text;
    long line;  // the last line of the object
    const char* words;
  };
  const std::string face0 = "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nMaterial:\"M\"\nSmoothing:  1\n";
  const Case cases[] = {
      {"the file ends inside the face list", plain_mesh("01 A", 3, face0, 2), 10, "only 1 of its 2 faces are given"},
      {"faces that never come",
       "Named object: \"01 A\"\nTri-mesh, Vertices: 1     Faces: 4999995\nVertex list:\n"
       "Vertex 0:  X: 0.0  Y: 0.0  Z: 0.0\n" +
           std::string(200, '\n') + "Smoothing: 1\nx\n",
       206, "only 0 of its 4999995 faces are given"},
      {"a vertex list cut short by the face list",
       "Named object: \"01 A\"\nTri-mesh, Vertices: 3     Faces: 1\nVertex list:\n"
       "Vertex 0:  X: 1.0  Y: 0.0  Z: 0.0\nVertex 1:  X: 2.0  Y: 0.0  Z: 0.0\n"
       "Face list:\nFace 0:    A:2 B:1 C:0 AB:1 BC:1 CA:1\nSmoothing:  1\nVertex 2:  X: 9.0  Y: 9.0  Z: 9.0\n",
       9, "only 2 of its 3 vertices are given"},
      // Lines of the next object do not count for this one.
      {"vertices given by the next object",
       "Named object: \"01 A\"\nTri-mesh, Vertices: 3     Faces: 0\nVertex list:\n" + plain_mesh("02 B", 3, "", 0), 3,
       "only 0 of its 3 vertices are given"},
      {"a count too large for any list",
       "Named object: \"01 A\"\nTri-mesh, Vertices: 4294967299     Faces: 2000000000\nVertex list:\n", 3,
       "only 0 of its 4294967299 vertices"},
      // Faces cleared after a cut still need lines of their own.
      {"a cut face list declaring more faces than face lines",
       plain_mesh("01 A", 3, "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nFace 5:\n", 1000000), 9,
       "declares 1000000 faces but has only 2 face lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = parse(c.text);
    ASSERT_FALSE(p->status);
    EXPECT_EQ(p->status.code(), -c.line);
    EXPECT_EQ(p->status.error().where.line, c.line);
    const std::string& m = p->status.error().message;
    EXPECT_EQ(m.rfind("t.asc:" + std::to_string(c.line) + ": ", 0), 0u) << m;
    EXPECT_NE(m.find(c.words), std::string::npos) << m;
    EXPECT_TRUE(p->scene.objects.empty());
  }
}

// The code of a parse error is -line, and the message names the file and line.
void expect_error_at(const std::string& text, long line, const std::string& words) {
  SCOPED_TRACE(text);
  auto p = parse(text);
  ASSERT_FALSE(p->status);
  EXPECT_EQ(p->status.code(), -line);
  const std::string& m = p->status.error().message;
  EXPECT_EQ(m.rfind("t.asc:" + std::to_string(line) + ": ", 0), 0u) << m;
  EXPECT_NE(m.find(words), std::string::npos) << m;
  EXPECT_TRUE(p->scene.objects.empty());  // nothing half-read is left
}

TEST(AscReader, HostileInputIsAnErrorAtItsLine) {
  const std::string two_faces =
      "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\nSmoothing:  1\nFace 1:    A:0 B:1 C:2 AB:1 BC:1 CA:1\n";
  // Lines: 1 name, 2 Tri-mesh, 3 Vertex list, 4-6 vertices, 7 Face list, 8... faces.
  expect_error_at(plain_mesh("01 A", 3, "Face 0:    A:0 B:3 C:2 AB:1 BC:1 CA:1\n", 1), 8,
                  "corner B:3 is outside the list of 3 vertices");
  expect_error_at(plain_mesh("01 A", 3, "Face 0:    A: 0 B: 1 C: 2\n", 1), 8, "gives no vertex number");
  // A face beyond the declared count is not stored (see above); a vertex
  // beyond it is an error.
  expect_error_at(plain_mesh("01 A", 3, two_faces + "Vertex 3:  X: 1.0  Y: 2.0  Z: 3.0\n", 2), 11,
                  "vertex index 3 is outside the list of 3");
  expect_error_at(plain_mesh("01 A", 3, "Vertex 3:  X: 1.0  Y: 2.0  Z: 3.0\n", 0), 8,
                  "vertex index 3 is outside the list of 3");

  // Counts.
  expect_error_at("\n\nNamed object: \"01 A\"\nTri-mesh, Vertices: -3     Faces: 0\nVertex list:\n", 4,
                  "negative vertex count -3");
  expect_error_at("Named object: \"01 A\"\nTri-mesh, Vertices: 0     Faces: 1\nFace list:\nFace 0:\n", 2,
                  "declares 1 faces but no vertices");
  expect_error_at("Named object: \"01 A\"\nTri-mesh, Faces: 1\nFace list:\n", 2, "no vertex count");
}

TEST(AscReader, ResultCodes) {
  auto empty = parse("");
  EXPECT_EQ(empty->status.code(), kAscNoMesh);
  EXPECT_NE(empty->status.error().message.find("t.asc"), std::string::npos);

  auto camera_only = parse("Named object: \"Camera01\"\nCamera (50.000000mm):\nTri-mesh, Vertices: 1 Faces: 0\n");
  EXPECT_EQ(camera_only->status.code(), kAscNoMesh);

  auto utf16 = parse(std::string("\xFF\xFEN\0a\0", 6));
  EXPECT_EQ(utf16->status.code(), -1);

  ImportedScene scene;
  scene.objects.resize(2);
  NullNotifier quiet;
  const Status missing = asc_load("/nonexistent/dir/crate.asc", scene, quiet);
  EXPECT_EQ(missing.code(), kAscCannotOpen);
  EXPECT_NE(missing.error().message.find("/nonexistent/dir/crate.asc"), std::string::npos);
  EXPECT_EQ(missing.error().where.path, "/nonexistent/dir/crate.asc");
  EXPECT_EQ(missing.error().kind, ErrorKind::kCannotOpen);
  EXPECT_TRUE(scene.objects.empty());

  // The scene is named after the file name, without its folder, cut at its
  // first ".".
  auto named = parse(plain_mesh("01 A", 1, "", 0), "../art.v2/crate.lod1.asc");
  ASSERT_TRUE(named->status);
  EXPECT_EQ(named->scene.name, "crate");
}

TEST(AscSample, CrateLoadsAndConvertsIntoTwoSubObjects) {
  const std::string path = std::string(ORVO_SOURCE_DIR) + "/samples/crate.asc";
  ImportedScene scene;
  RecordingNotifier log;
  const Status s = asc_load(path, scene, log);
  ASSERT_TRUE(s) << s.error().message;
  EXPECT_EQ(scene.name, "crate");
  ASSERT_EQ(scene.objects.size(), 2u);  // the camera is not a mesh
  const MaxObject& crate = scene.objects[0];
  const MaxObject& lid = scene.objects[1];
  EXPECT_EQ(crate.name.view(), "01 Crate");
  EXPECT_EQ(lid.name.view(), "02 Lid");
  ASSERT_EQ(crate.verts.size(), 8u);
  ASSERT_EQ(crate.faces.size(), 12u);
  expect_vec(crate.verts[1], 10, 10, 0);  // X:10 Y:-10 Z:0
  expect_vec(crate.tverts[3], 1, 1, 0);
  expect_vec(lid.verts[3], -10, 10, 21);
  // The faces after the page header are read too.
  EXPECT_EQ(crate.faces[11].v, (std::array<int32_t, 4>{4, 6, 2, 4}));
  EXPECT_EQ(crate.faces[11].smoothing, 1u << 6);

  auto model = std::make_unique<Model>();
  model_reset(*model);
  StretchBoxTable boxes;
  auto r = convert_scene(*model, scene, kDefaultScaleFactor, boxes, log);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->errors);
  ASSERT_EQ(model->num_subobjects(), 2);
  EXPECT_FLOAT_EQ(model->subobjects[0].verts[1].x, 10 * kDefaultScaleFactor);
  EXPECT_FLOAT_EQ(model->subobjects[0].tverts[3].v, 0.0f);  // 1 - v
  EXPECT_EQ(model->attributes & 1, 0);                      // not an ASE scene
  // Faces without scene materials share one unnamed source material.
  ASSERT_EQ(model->srcmat.size(), 1u);
  EXPECT_EQ(model->num_materials, 1);
  for (const SubObject& so : model->subobjects) {
    for (const Face& f : so.faces) {
      EXPECT_EQ(f.srcmat, 0);
      EXPECT_EQ(f.material, 0);
    }
  }
}

}  // namespace
}  // namespace orvo
