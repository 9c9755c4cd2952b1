#include "orvo/import/ase.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ase_text.h"

namespace orvo {
namespace {

using test::geom;
using test::kHeader;
using test::tri;

struct Parsed {
  Status status;
  ImportedScene scene;
  RecordingNotifier log;
};

std::unique_ptr<Parsed> parse(const std::string& text) {
  auto p = std::make_unique<Parsed>();
  p->status = ase_parse(text, "scene.ase", p->scene, p->log);
  return p;
}

TEST(AseReader, TurnsVerticesAndNodeRowsAQuarterTurn) {
  const std::string text =
      std::string(kHeader) + geom("01 Box", {{1.0, 2.0, 3.0}, {0, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}, "", "");
  auto p = parse(text);
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->scene.objects.size(), 1u);
  const MaxObject& o = p->scene.objects[0];
  EXPECT_FLOAT_EQ(o.verts[0].x, -2.0f);
  EXPECT_FLOAT_EQ(o.verts[0].y, 1.0f);
  EXPECT_FLOAT_EQ(o.verts[0].z, 3.0f);
  // Row 0 (1,0,0) becomes the second row (-0, 1, 0); row 1 (0,1,0) the
  // first, turned the other way (1, -0, -0).
  EXPECT_FLOAT_EQ(o.rows[1].y, 1.0f);
  EXPECT_FLOAT_EQ(o.rows[0].x, 1.0f);
  EXPECT_FLOAT_EQ(o.rows[2].z, 1.0f);
  EXPECT_EQ(p->scene.origin & kSceneOriginAse, kSceneOriginAse);
  EXPECT_FALSE(p->scene.skinned);
  ASSERT_FALSE(p->log.lines.empty());
  EXPECT_EQ(p->log.lines[0], "Parsing MAX file");
}

std::string one_face_scene(const std::string& face_line, const std::string& extra_mesh = "") {
  return std::string(kHeader) +
         "*GEOMOBJECT {\n*NODE_NAME \"01 A\"\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n"
         "*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n"
         "*MESH_FACE_LIST {\n" +
         face_line + "\n}\n" + extra_mesh + "}\n}\n";
}

TEST(AseReader, FaceLinesAreReadByPosition) {
  auto p = parse(one_face_scene("*MESH_FACE 0: A: 2 B: 1 C: 0 AB: 1 BC: 0 CA: 1 *MESH_SMOOTHING 1,3 *MESH_MTLID 5"));
  ASSERT_TRUE(p->status) << p->status.error().message;
  const SceneFace& f = p->scene.objects[0].faces[0];
  EXPECT_EQ(f.v, (std::array<int32_t, 4>{2, 1, 0, 2}));
  EXPECT_EQ(f.edge, (std::array<uint8_t, 4>{1, 0, 1, 1}));
  EXPECT_EQ(f.smoothing, (1u << 1) | (1u << 3));
  EXPECT_EQ(f.submat_id, 5);

  auto empty = parse(one_face_scene("*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING *MESH_MTLID 2"));
  ASSERT_TRUE(empty->status);
  EXPECT_EQ(empty->scene.objects[0].faces[0].smoothing, 0u);
  EXPECT_EQ(empty->scene.objects[0].faces[0].submat_id, 2);

  // Group numbers wrap at 32.
  auto wrap = parse(one_face_scene("*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 33 *MESH_MTLID 0"));
  EXPECT_EQ(wrap->scene.objects[0].faces[0].smoothing, 1u << 1);
}

TEST(AseReader, TextureAndColourListsAndPackedColours) {
  const std::string extra =
      "*MESH_NUMTVERTEX 2\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0.25 0.75 0\n*MESH_TVERT 1 1 1 0\n}\n"
      "*MESH_NUMTVFACES 1\n*MESH_TFACELIST {\n*MESH_TFACE 0 1 0 1\n}\n"
      "*MESH_NUMCVERTEX 1\n*MESH_CVERTLIST {\n*MESH_VERTCOL 0 1.0 0.5 0.002\n}\n"
      "*MESH_NUMCVFACES 1\n*MESH_CFACELIST {\n*MESH_CFACE 0 0 0 0\n}\n";
  auto p =
      parse(one_face_scene("*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0", extra));
  ASSERT_TRUE(p->status) << p->status.error().message;
  const MaxObject& o = p->scene.objects[0];
  EXPECT_FLOAT_EQ(o.tverts[0].x, 0.25f);
  EXPECT_FLOAT_EQ(o.tverts[0].y, 0.75f);
  EXPECT_EQ(o.faces[0].t, (std::array<int32_t, 4>{1, 0, 1, 1}));
  EXPECT_EQ(o.cverts[0], (255 << 16) + (127 << 8) + 0);
  EXPECT_EQ(o.num_cvfaces, 1);
  EXPECT_TRUE(o.has_colours());
}

TEST(AseReader, IndicesOutsideTheirListsAreErrorsAtTheirLine) {
  struct Case {
    const char* what;
    std::string text;
  };
  const std::string ok_face = "*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0";
  const Case cases[] = {
      {"face corner", one_face_scene("*MESH_FACE 0: A: 0 B: 3 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0")},
      {"negative corner",
       one_face_scene("*MESH_FACE 0: A: -1 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0")},
      {"face index", one_face_scene("*MESH_FACE 1: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0")},
      {"short face", one_face_scene("*MESH_FACE 0: A: 0 B: 1")},
      {"tface", one_face_scene(ok_face,
                               "*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n}\n"
                               "*MESH_TFACELIST {\n*MESH_TFACE 0 0 0 1\n}\n")},
      {"tvert", one_face_scene(ok_face, "*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n*MESH_TVERT 1 0 0 0\n}\n")},
      {"cface", one_face_scene(ok_face, "*MESH_CFACELIST {\n*MESH_CFACE 0 0 0 0\n}\n")},
      {"vertcol", one_face_scene(ok_face, "*MESH_NUMCVERTEX 1\n*MESH_CVERTLIST {\n*MESH_VERTCOL 4 1 1 1\n}\n")},
      {"weights", one_face_scene(ok_face, "*MESH_WEIGHTS {\n*MESH_WEIGHTSVERTEX 3 0 -1 -1 -1 1 0 0 0\n}\n")},
  };
  for (const Case& c : cases) {
    auto p = parse(c.text);
    ASSERT_FALSE(p->status) << c.what;
    EXPECT_LT(p->status.code(), 0) << c.what;
    const long line = -p->status.code();
    EXPECT_EQ(p->status.error().message.rfind("scene.ase:" + std::to_string(line) + ": ", 0), 0u)
        << c.what << ": " << p->status.error().message;
    // The reported line is the offending one.
    std::size_t pos = 0;
    for (long i = 1; i < line; ++i) pos = c.text.find('\n', pos) + 1;
    const std::string bad = c.text.substr(pos, c.text.find('\n', pos) - pos);
    EXPECT_NE(bad.find("*MESH_"), std::string::npos) << c.what << ": " << bad;
  }
}

TEST(AseReader, ImpossibleCountsAreRefusedBeforeAllocating) {
  for (const char* decl : {"*MESH_NUMVERTEX 2000000000", "*MESH_NUMVERTEX -1", "*MESH_NUMFACES 50",
                           "*MESH_NUMTVERTEX 99999", "*MESH_NUMCVERTEX 12"}) {
    const std::string text = std::string(kHeader) + "*GEOMOBJECT {\n*NODE_NAME \"01 A\"\n*MESH {\n" + decl + "\n}\n}\n";
    auto p = parse(text);
    ASSERT_FALSE(p->status) << decl;
    EXPECT_EQ(p->status.code(), -6) << decl;  // the line of the count
  }
  // Many objects each claiming most of the file are refused too.
  std::string text = kHeader;
  for (int i = 0; i < 20; ++i) text += "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 60\n}\n}\n";
  EXPECT_FALSE(parse(text)->status);
  // Vertices and faces that are declared must all be given: missing ones
  // would become vertices at the origin and faces on vertex 0.
  // (The face line outside the mesh is no entry of its list.)
  auto unfilled = parse(std::string(kHeader) + "*GEOMOBJECT {\n*NODE_NAME \"01 A\"\n*MESH {\n*MESH_NUMFACES 1\n}\n" +
                        "*MESH_FACE 0: A: 0 B: 0 C: 0 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0\n}\n");
  ASSERT_FALSE(unfilled->status);
  EXPECT_EQ(unfilled->status.code(), -9);  // the line that closes the object
  EXPECT_NE(unfilled->status.error().message.find("only 0 of its 1 faces"), std::string::npos);
  const std::string face = "*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0";
  std::string missing_vertex = one_face_scene(face);
  missing_vertex.replace(missing_vertex.find("*MESH_VERTEX 1 1 0 0\n"), 14, "*MESH_VERTEX 0");
  EXPECT_NE(parse(missing_vertex)->status.error().message.find("only 2 of its 3 vertices"), std::string::npos);
  std::string misspelt =
      one_face_scene("*MESH_FACE1: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0");
  EXPECT_FALSE(parse(misspelt)->status);
  // A count given twice for one object is an error.
  EXPECT_FALSE(parse(one_face_scene("*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0",
                                    "*MESH_NUMVERTEX 1\n"))
                   ->status);
}

TEST(AseReader, LargeCountsAreBoundByTheEntryLinesOfTheirKind) {
  // Lists that would take more memory than the rest of the object's text
  // are checked against the entry lines of their kind before anything is
  // allocated; the faces (60 bytes each) here are always such lists.
  const std::string verts =
      "*MESH_NUMVERTEX 3\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n";
  const auto face = [](int i, const char* keyword = "*MESH_FACE") {
    return std::string(keyword) + " " + std::to_string(i) + " A 0 B 1 C 2\n";
  };
  std::string ten_faces;
  for (int i = 0; i < 10; ++i) ten_faces += face(i);
  const auto object = [](const std::string& mesh) {
    return "*GEOMOBJECT {\n*NODE_NAME \"01 A\"\n*MESH {\n" + mesh + "}\n}\n";
  };
  const std::string colours = "*MESH_CVERTLIST {\n*MESH_VERT\"COL\" 0 1 1 1\n*MESH_VERTCOL\"\" 1 0 0 0\n}\n";
  struct Case {
    const char* what;
    std::string text;
    const char* refused;  // the count line that is refused; nullptr: the scene is read
  };
  const Case cases[] = {
      {"blank lines", object("*MESH_NUMFACES 200\n" + std::string(5000, '\n') + face(0)), "*MESH_NUMFACES 200"},
      {"lines of other lists",
       object("*MESH_NUMFACES 4\n" + verts + "*MESH_TVERT 3 0 0 0\n*MESH_FACENORMAL 0 0 0 1\n*MESH_TFACE 0 0 0 0\n" +
              face(0)),
       "*MESH_NUMFACES 4"},
      {"entry lines of another object",
       object("*MESH_NUMFACES 10\n") + object(verts + "*MESH_NUMFACES 10\n" + ten_faces), "*MESH_NUMFACES 10"},
      {"keywords that only begin like an entry's",
       object("*MESH_NUMFACES 3\n*MESH_FACE_LIST {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_FACE\"S\" 0\n}\n"),
       "*MESH_NUMFACES 3"},
      {"a count beyond any number type", object(verts + "*MESH_NUMFACES 4294967299\n" + face(0)),
       "*MESH_NUMFACES 4294967299"},
      {"compact face lines, counted", object(verts + "*MESH_NUMFACES 10\n*MESH_FACE_LIST {\n" + ten_faces + "}\n"),
       nullptr},
      // Keywords count in any case and with quotes, as the reader reads them;
      // once counted, the lines serve the object's later counts too.
      {"quoted and lower-case keywords",
       object(verts + "*MESH_NUMFACES 10\n*MESH_FACE_LIST {\n" + face(0, "\"*MESH_FACE\"") + face(1, "*mesh_face") +
              face(2, "\t*MESH_\"FACE\"") + ten_faces.substr(ten_faces.find("*MESH_FACE 3")) +
              "}\n*MESH_NUMCVERTEX 2\n" + colours),
       nullptr},
      {"more colour vertices than their lines",
       object(verts + "*MESH_NUMFACES 10\n" + ten_faces + "*MESH_NUMCVERTEX 3\n" + colours), "*MESH_NUMCVERTEX 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = std::string(kHeader) + c.text;
    auto p = parse(text);
    if (c.refused == nullptr) {
      EXPECT_TRUE(p->status) << p->status.error().message;
      continue;
    }
    ASSERT_FALSE(p->status);
    const long line = 1 + static_cast<long>(std::count(text.begin(), text.begin() + text.find(c.refused), '\n'));
    EXPECT_EQ(p->status.code(), -line);
    EXPECT_EQ(p->status.error().where.line, line);
    EXPECT_EQ(p->status.error().kind, ErrorKind::kParse);
    EXPECT_NE(p->status.error().message.find(std::string(c.refused) + " is more than"), std::string::npos)
        << p->status.error().message;
  }
}

TEST(AseReader, NoObjectsEmptyFilesAndWideTextAreCleanErrors) {
  auto none = parse(std::string(kHeader) + "*SCENE {\n*SCENE_FILENAME \"x\"\n}\n" + test::light("LP1", 0, 0, 0));
  EXPECT_EQ(none->status.code(), kAseNoObjects);
  EXPECT_EQ(parse("")->status.code(), kAseNoObjects);
  auto wide = parse(std::string("\xFF\xFE*\0003\0", 6));
  ASSERT_FALSE(wide->status);
  EXPECT_NE(wide->status.error().message.find("UTF-16"), std::string::npos);
  auto nul = parse(std::string(kHeader) + std::string("*GEOMOBJECT {\n\0\n}\n", 16));
  ASSERT_FALSE(nul->status);
  EXPECT_EQ(nul->status.code(), -4);

  ImportedScene scene;
  RecordingNotifier log;
  const Status missing = ase_load("/nonexistent/dir/x.ase", scene, log);
  EXPECT_EQ(missing.code(), kAseCannotOpen);
  EXPECT_NE(missing.error().message.find("/nonexistent/dir/x.ase"), std::string::npos);
  EXPECT_EQ(missing.error().where.path, "/nonexistent/dir/x.ase");
  EXPECT_EQ(missing.error().kind, ErrorKind::kCannotOpen);
}

TEST(AseReader, UnbalancedBracesAreNotFatal) {
  std::string text = std::string(kHeader) + "}\n}\n" + tri("01 A") + "{\n{\n" + tri("02 B");
  auto p = parse(text);
  ASSERT_TRUE(p->status) << p->status.error().message;
  // The second object starts inside an unclosed block and is not read.
  EXPECT_EQ(p->scene.objects.size(), 1u);
  EXPECT_EQ(p->scene.objects[0].name.view(), "01 A");
  // Extra closing braces are ignored; the last opening one leaves the object inside a block.
  EXPECT_EQ(parse("{ { } } } } {\n*GEOMOBJECT\n")->status.code(), kAseNoObjects);
}

TEST(AseReader, SkinWeightsMarkTheSceneAndWarnOnceForParentlessVertices) {
  const std::string ok_face = "*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID 0";
  auto p = parse(
      one_face_scene(ok_face,
                     "*MESH_WEIGHTS {\n*MESH_WEIGHTSVERTEX 0 -1 -1 -1 255 1 0 0 0\n"
                     "*MESH_WEIGHTSVERTEX 1 -1 -1 -1 -1 1 0 0 0\n*MESH_WEIGHTSVERTEX 2 3 200 -1 -1 0.5 0.5 0 0\n}\n"));
  ASSERT_TRUE(p->status) << p->status.error().message;
  EXPECT_TRUE(p->scene.skinned);
  ASSERT_EQ(p->log.messages.size(), 1u);
  EXPECT_EQ(p->log.messages[0].caption, "WOOT!!");
  EXPECT_EQ(p->log.messages[0].text, "Found parentless vert in physiqued ASE!!! Fix dat sheeeeet!!!");
  const SkinWeight& w = p->scene.objects[0].weights[2];
  EXPECT_EQ(w.bones, (std::array<int32_t, 4>{3, -56, -1, -1}));  // signed bytes
  EXPECT_FLOAT_EQ(w.weights[1], 0.5f);
}

std::string material_list(const std::string& body) {
  return "*MATERIAL_LIST {\n" + body + "}\n";
}

std::string object_with_ids(const std::string& name, int material_ref, std::initializer_list<int> ids) {
  std::string faces;
  int i = 0;
  for (int id : ids) {
    faces += "*MESH_FACE " + std::to_string(i++) + ": A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 1 *MESH_MTLID " +
             std::to_string(id) + "\n";
  }
  return "*GEOMOBJECT {\n*NODE_NAME \"" + name + "\"\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES " +
         std::to_string(ids.size()) +
         "\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n"
         "*MESH_FACE_LIST {\n" +
         faces + "}\n}\n*MATERIAL_REF " + std::to_string(material_ref) + "\n}\n";
}

TEST(AseReader, MaterialsAreFlattenedToTheUsedOnes) {
  const std::string mats = material_list(
      "*MATERIAL_COUNT 2\n"
      "*MATERIAL 0 {\n*MATERIAL_NAME \"Multi\"\n*NUMSUBMTLS 2\n"
      "*SUBMATERIAL 0 {\n*MATERIAL_NAME \"Unused\"\n}\n"
      "*SUBMATERIAL 1 {\n*MATERIAL_NAME \"Paint\"\n*MATERIAL_TWOSIDED\n"
      "*MAP_DIFFUSE {\n*MAP_CLASS \"Bitmap\"\n*MAP_SUBNO 1\n*BITMAP \"C:\\maps\\wall.tga\"\n*UVW_U_TILING 2.0\n}\n"
      "*MAP_OPACITY {\n*BITMAP \"D:/alpha/wall_a.tga\"\n}\n}\n}\n"
      "*MATERIAL 1 {\n*MATERIAL_NAME \"Plain\"\n}\n"
      "*MATERIAL 2 {\n*MATERIAL_NAME \"Never used\"\n}\n");
  // Object 1 uses sub-material 1 and (through an id without a named
  // sub-material) the top-level material 0; object 2 uses material 1.
  auto p = parse(std::string(kHeader) + mats + object_with_ids("01 A", 0, {1, 1}) + object_with_ids("02 B", 1, {7}));
  ASSERT_TRUE(p->status) << p->status.error().message;
  const auto& flat = p->scene.materials;
  ASSERT_EQ(flat.size(), 2u);
  EXPECT_EQ(flat[0].name.view(), "Paint");
  EXPECT_EQ(flat[0].diffuse[0].view(), "wall.tga");
  EXPECT_EQ(flat[0].opacity[0].view(), "wall_a.tga");
  EXPECT_FLOAT_EQ(flat[0].u_tiling[0], 2.0f);
  EXPECT_EQ(flat[0].flags, kSceneMaterialTwoSided);
  EXPECT_EQ(flat[1].name.view(), "Plain");
  EXPECT_EQ(p->scene.objects[0].faces[0].flat_material, 0);
  EXPECT_EQ(p->scene.objects[1].faces[0].flat_material, 1);
  const std::vector<std::string> expected_log = {"Parsing MAX file", "Material: \"Multi\"  1 submaterials",
                                                 "Material: \"Plain\""};
  EXPECT_EQ(p->log.lines, expected_log);

  // A face whose id names no sub-material in a block whose sub-materials were
  // taken still gets a flat material of its own (the top-level one).
  auto mixed = parse(std::string(kHeader) + mats + object_with_ids("01 A", 0, {1, 9}));
  ASSERT_TRUE(mixed->status);
  ASSERT_EQ(mixed->scene.materials.size(), 2u);
  EXPECT_EQ(mixed->scene.materials[1].name.view(), "Multi");
  EXPECT_EQ(mixed->scene.objects[0].faces[1].flat_material, 1);

  // A reference to a material that does not exist leaves the face without one.
  auto dangling = parse(std::string(kHeader) + mats + object_with_ids("01 A", 9, {0}));
  ASSERT_TRUE(dangling->status);
  EXPECT_EQ(dangling->scene.objects[0].faces[0].flat_material, -1);
}

TEST(AseReader, RgbMultiplyMapGivesTwoLayers) {
  const std::string mats = material_list(
      "*MATERIAL 0 {\n*MATERIAL_NAME \"Ground\"\n"
      "*MAP_DIFFUSE {\n*MAP_NAME \"Mix\"\n*MAP_CLASS \"RGB Multiply\"\n*MAP_SUBNO 1\n"
      "*MAP_GENERIC {\n*MAP_CLASS \"Bitmap\"\n*MAP_SUBNO 0\n*BITMAP \"c:\\t\\base.tga\"\n*UVW_U_TILING 1.0\n}\n"
      "*MAP_GENERIC {\n*MAP_CLASS \"Bitmap\"\n*MAP_SUBNO 1\n*BITMAP \"c:\\t\\detail.tga\"\n*UVW_U_TILING 8.0\n"
      "*UVW_V_OFFSET 0.5\n}\n}\n}\n");
  auto p = parse(std::string(kHeader) + mats + object_with_ids("01 A", 0, {0}));
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->scene.materials.size(), 1u);
  const SceneMaterial& m = p->scene.materials[0];
  EXPECT_EQ(m.flags & kSceneMaterialSecondLayer, kSceneMaterialSecondLayer);
  EXPECT_EQ(m.diffuse[0].view(), "base.tga");
  EXPECT_EQ(m.diffuse[1].view(), "detail.tga");
  EXPECT_FLOAT_EQ(m.u_tiling[0], 1.0f);
  EXPECT_FLOAT_EQ(m.u_tiling[1], 8.0f);
  EXPECT_FLOAT_EQ(m.v_offset[1], 0.5f);
}

TEST(AseReader, MaterialLimits) {
  // A sub-material number of 64 stops the read with a message; what was read stays.
  const std::string mats = material_list(
      "*MATERIAL 0 {\n*MATERIAL_NAME \"M\"\n*SUBMATERIAL 0 {\n*MATERIAL_NAME \"S0\"\n}\n*SUBMATERIAL 64 {\n}\n}\n");
  auto p = parse(std::string(kHeader) + object_with_ids("01 A", 0, {0}) + mats + tri("02 B"));
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->log.messages.size(), 1u);
  EXPECT_EQ(p->log.messages[0].text, "Too many submaterials!");
  EXPECT_EQ(p->log.messages[0].caption, "model3ds");
  ASSERT_EQ(p->scene.objects.size(), 2u);  // counted in the first pass
  EXPECT_EQ(p->scene.objects[0].faces.size(), 1u);
  EXPECT_TRUE(p->scene.objects[1].name.empty());  // never read
  ASSERT_EQ(p->scene.materials.size(), 1u);
  EXPECT_EQ(p->scene.materials[0].name.view(), "S0");

  // Top-level material numbers have room from 0 to 511.
  auto big = parse(std::string(kHeader) + material_list("*MATERIAL 512 {\n}\n") + tri("01 A"));
  ASSERT_FALSE(big->status);
  EXPECT_NE(big->status.error().message.find("512"), std::string::npos);
  EXPECT_TRUE(parse(std::string(kHeader) + material_list("*MATERIAL 511 {\n}\n") + tri("01 A"))->status);

  // Names are cut to the 31 characters their fields hold.
  auto longname = parse(std::string(kHeader) +
                        material_list("*MATERIAL 0 {\n*MATERIAL_NAME \"" + std::string(40, 'n') + "\"\n}\n") +
                        object_with_ids("01 A", 0, {0}));
  ASSERT_TRUE(longname->status);
  EXPECT_EQ(longname->scene.materials[0].name.size(), 31u);
}

TEST(AseReader, LightsAndHelpers) {
  const std::string text = std::string(kHeader) + test::light("LP1 Lamp", 1, 2, 3) +
                           "*HELPEROBJECT {\n*NODE_NAME \"_01 Center\"\n*HELPER_CLASS \"Dummy\"\n}\n" +
                           "*CAMERAOBJECT {\n*NODE_NAME \"Camera01\"\n*NODE_TM {\n*TM_POS 9 9 9\n}\n}\n";
  auto p = parse(text);
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->scene.lights.size(), 1u);
  const SceneLight& l = p->scene.lights[0];
  EXPECT_EQ(l.name.view(), "LP1 Lamp");
  EXPECT_FLOAT_EQ(l.x, -2.0f);
  EXPECT_FLOAT_EQ(l.y, 1.0f);
  EXPECT_FLOAT_EQ(l.z, 3.0f);
  EXPECT_FLOAT_EQ(l.g, 0.5f);
  EXPECT_FLOAT_EQ(l.intensity, 2.0f);
  EXPECT_FLOAT_EQ(l.atten_end, 100.0f);
  ASSERT_EQ(p->scene.objects.size(), 1u);
  EXPECT_EQ(p->scene.objects[0].name.view(), "_01 Center");
  EXPECT_EQ(p->scene.objects[0].bone, -1);
}

TEST(AseReader, KeywordsInAnyCaseAndUnknownBlocksSkipped) {
  std::string text = std::string(kHeader) + tri("01 A");
  // A mesh animation holds further meshes whose keywords must not be read.
  text.insert(text.rfind('}'), "*MESH_ANIMATION {\n*MESH {\n*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 5 5 5\n}\n}\n");
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z' && &c > text.data() + 40) c = static_cast<char>(c + 32);
  }
  auto p = parse(text);
  ASSERT_TRUE(p->status) << p->status.error().message;
  ASSERT_EQ(p->scene.objects.size(), 1u);
  EXPECT_EQ(p->scene.objects[0].verts.size(), 3u);
  EXPECT_FLOAT_EQ(p->scene.objects[0].verts[1].y, 1.0f);
}

}  // namespace
}  // namespace orvo
