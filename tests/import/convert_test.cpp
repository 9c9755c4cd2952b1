#include "orvo/import/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ase_text.h"
#include "orvo/import/ase.h"

namespace orvo {
namespace {

using test::geom;
using test::kHeader;
using test::tri;

struct Converted {
  std::unique_ptr<Model> model = std::make_unique<Model>();
  ImportedScene scene;
  StretchBoxTable boxes;
  RecordingNotifier log;
  ConversionReport report;

  bool logged(std::string_view line) const {
    return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
  }
};

std::unique_ptr<Converted> convert(const std::string& body, float scale = 1.0f) {
  auto c = std::make_unique<Converted>();
  const Status s = ase_parse(std::string(kHeader) + body, "t.ase", c->scene, c->log);
  EXPECT_TRUE(s) << s.error().message;
  model_reset(*c->model);
  auto r = convert_scene(*c->model, c->scene, scale, c->boxes, c->log);
  EXPECT_TRUE(r);
  if (r) c->report = *r;
  return c;
}

TEST(Conversion, NumberedObjectsFormSubObjects) {
  auto c = convert(tri("01 Hull") + tri("01 Tower", 5) + tri("02 Gun"));
  const Model& m = *c->model;
  ASSERT_EQ(m.num_subobjects(), 2);
  EXPECT_EQ(m.subobjects[0].verts.size(), 6u);
  EXPECT_EQ(m.subobjects[0].faces.size(), 2u);
  EXPECT_EQ(m.subobjects[0].name.view(), "01 Tower");  // the last object's name
  // The second mesh's indices are offset by the vertices before it.
  EXPECT_EQ(m.subobjects[0].faces[1].v, (std::array<int32_t, 4>{3, 4, 5, 3}));
  EXPECT_EQ(m.subobjects[0].faces[1].max_object, 1);
  EXPECT_EQ(m.subobjects[1].verts[0].subobj, 1);
  EXPECT_EQ(m.attributes & 1, 1);
  const std::vector<std::string> expected = {"Parsing MAX file",
                                             "Converting to internal format...",
                                             "Num Center Points: 0",
                                             "Num Attach Points: 0",
                                             "Num Stretch Boxes: 0",
                                             "SubObject 01:    2 MAX objects",
                                             "SubObject 02:    1 MAX objects",
                                             "",
                                             "Done"};
  EXPECT_EQ(c->log.lines, expected);
  EXPECT_FALSE(c->report.errors);
}

TEST(Conversion, MissingNumbersAndBadNamesAreLoggedErrors) {
  auto gap = convert(tri("01 Hull") + tri("03 Gun"));
  EXPECT_EQ(gap->model->num_subobjects(), 3);
  EXPECT_TRUE(gap->logged("SubObject 02:    ERROR!  No MAX object exists!"));
  EXPECT_TRUE(gap->report.errors);

  auto zero = convert(tri("00 Bad") + tri("01 Good"));
  EXPECT_EQ(zero->model->num_subobjects(), 1);
  EXPECT_TRUE(zero->logged("ERROR!  Bad subobject number: \"00 Bad\""));
  EXPECT_TRUE(zero->report.errors);

  const std::string long_name = "01 " + std::string(28, 'x');  // 31 characters
  auto too_long = convert(tri(long_name));
  EXPECT_TRUE(too_long->logged("ERROR!  Exceeded maximum name length for MAX object!"));
  EXPECT_TRUE(too_long->logged("----> \"" + long_name + "\""));
  EXPECT_EQ(too_long->model->num_subobjects(), 1);  // still converted
  EXPECT_FALSE(convert(tri("01 " + std::string(27, 'x')))->report.errors);

  auto nothing = convert(tri("Box01"));
  EXPECT_EQ(nothing->model->num_subobjects(), 0);
  EXPECT_TRUE(nothing->report.errors);
}

TEST(Conversion, ScaleTextureCoordinatesAndColours) {
  const std::string extra =
      "\t\t*MESH_NUMTVERTEX 3\n\t\t*MESH_TVERTLIST {\n\t\t\t*MESH_TVERT 0 0.25 0.25 0\n\t\t\t*MESH_TVERT 1 1 0 0\n"
      "\t\t\t*MESH_TVERT 2 0 1 0\n\t\t}\n\t\t*MESH_TFACELIST {\n\t\t\t*MESH_TFACE 0 0 1 2\n\t\t}\n"
      "\t\t*MESH_NUMCVERTEX 2\n\t\t*MESH_CVERTLIST {\n\t\t\t*MESH_VERTCOL 0 1 0 0\n\t\t\t*MESH_VERTCOL 1 0 0 1\n\t\t}\n"
      "\t\t*MESH_NUMCVFACES 1\n\t\t*MESH_CFACELIST {\n\t\t\t*MESH_CFACE 0 0 1 1\n\t\t}\n";
  auto c = convert(tri("01 Plain") + geom("01 Painted", {{2, 4, 6}, {0, 0, 0}, {1, 0, 0}}, {{{0, 1, 2}}}, extra), 0.5f);
  const SubObject& so = c->model->subobjects[0];
  // (2, 4, 6) turned to (-4, 2, 6), times 0.5.
  EXPECT_FLOAT_EQ(so.verts[3].x, -2.0f);
  EXPECT_FLOAT_EQ(so.verts[3].y, 1.0f);
  EXPECT_FLOAT_EQ(so.verts[3].z, 3.0f);
  ASSERT_EQ(so.tverts.size(), 3u);
  EXPECT_FLOAT_EQ(so.tverts[0].u, 0.25f);
  EXPECT_FLOAT_EQ(so.tverts[0].v, 0.75f);  // 1 - v
  EXPECT_EQ(so.faces[1].t[1], 1);
  ASSERT_EQ(so.facecolors.size(), 2u);
  EXPECT_EQ(so.facecolors[0].c, (std::array<int32_t, 3>{kNoFaceColour, 0, 0}));
  EXPECT_EQ(so.facecolors[1].c, (std::array<int32_t, 3>{0xFF0000, 0xFF, 0xFF}));
  // Face plane: unit normal through the corners.
  const Face& f = so.faces[0];
  EXPECT_NEAR(f.nx * f.nx + f.ny * f.ny + f.nz * f.nz, 1.0, 1e-6);
}

TEST(Conversion, CentreAttachmentPointsAndParents) {
  // _02 Center sits next to ~01 Mount: sub-object 1's parent is sub-object 0.
  auto c = convert(tri("01 Hull") + tri("02 Turret", 0, 0, 10) + tri("_02 Center", 0, 0, 10) + tri("_01 Center") +
                       tri("~01 Mount", 0, 0, 10.5) + tri("~02 Far", 500, 0, 0),
                   0.5f);
  const Model& m = *c->model;
  ASSERT_EQ(m.centers.size(), 2u);
  EXPECT_EQ(m.centers[0].name.view(), "_01 Center");
  // Average of (0,0,0), (1,0,0), (0,1,0) = (1/3, 1/3, 0), turned and scaled.
  EXPECT_FLOAT_EQ(m.centers[0].x, -1.0f / 3 * 0.5f);
  EXPECT_FLOAT_EQ(m.centers[0].y, 1.0f / 3 * 0.5f);
  EXPECT_FLOAT_EQ(m.centers[1].z, 5.0f);
  ASSERT_EQ(m.attach.size(), 2u);
  EXPECT_EQ(m.attach[0].name.view(), "~01 Mount");
  EXPECT_EQ(m.subobjects[0].parent, 0);
  EXPECT_EQ(m.subobjects[1].parent, 0);
  EXPECT_TRUE(c->logged("Num Center Points: 2"));
  EXPECT_TRUE(c->logged("Num Attach Points: 2"));

  // The nearest attachment point wins; ~02 sits on _03.
  auto chain = convert(tri("01 A") + tri("02 B") + tri("03 C") + tri("_01 c") + tri("_02 c", 0, 0, 20) +
                       tri("_03 c", 0, 0, 40) + tri("~01 m", 0, 0, 20) + tri("~02 m", 0, 0, 40));
  EXPECT_EQ(chain->model->subobjects[1].parent, 0);
  EXPECT_EQ(chain->model->subobjects[2].parent, 1);

  // Without attachment points every parent stays 0.
  auto none = convert(tri("01 A") + tri("02 B") + tri("_01 c") + tri("_02 c"));
  EXPECT_EQ(none->model->subobjects[1].parent, 0);
}

TEST(Conversion, MarkerSortOrders) {
  // Attachment points compare without regard to case, centre points by bytes.
  auto c = convert(tri("01 A") + tri("~b") + tri("~A") + tri("~c") + tri("_b") + tri("_B") + tri("_a"));
  const Model& m = *c->model;
  ASSERT_EQ(m.attach.size(), 3u);
  EXPECT_EQ(m.attach[0].name.view(), "~A");
  EXPECT_EQ(m.attach[1].name.view(), "~b");
  EXPECT_EQ(m.attach[2].name.view(), "~c");
  ASSERT_EQ(m.centers.size(), 3u);
  EXPECT_EQ(m.centers[0].name.view(), "_B");
  EXPECT_EQ(m.centers[1].name.view(), "_a");
  EXPECT_EQ(m.centers[2].name.view(), "_b");
}

TEST(Conversion, CentreRowsAreNormalised) {
  std::string obj = tri("_01 Center");
  obj.replace(obj.find("*TM_ROW0 1.0 0.0 0.0"), 20, "*TM_ROW0 3.0 0.0 4.0");
  auto c = convert(tri("01 A") + obj);
  const CenterPoint& p = c->model->centers[0];
  // Row 0 (3, 0, 4) is stored second as (0, 3, 4), then normalised.
  EXPECT_FLOAT_EQ(p.rows[1].y, 0.6f);
  EXPECT_FLOAT_EQ(p.rows[1].z, 0.8f);
}

TEST(Conversion, BoundingObjects) {
  auto c = convert(tri("01 A") + tri("02 B") + tri("CB01") + tri("BBLW02") + tri("CBx1") + tri("Bip01 Spine") +
                   tri("OP01-02") + tri("OB02 Wall") + tri("cq01") + tri("LP01") + tri("OPx01-x"));
  const Model& m = *c->model;
  ASSERT_EQ(m.bobj.size(), 6u);
  EXPECT_EQ(m.bobj[0].name.view(), "CB01");
  EXPECT_EQ(m.bobj[0].type, 1);
  EXPECT_EQ(m.bobj[0].subobj, 0);
  EXPECT_EQ(m.bobj[1].type, 8);
  EXPECT_EQ(m.bobj[1].flags, 62 - 16 - 8);
  EXPECT_EQ(m.bobj[1].subobj, 1);
  EXPECT_EQ(m.bobj[2].type, 22);
  EXPECT_EQ(m.bobj[2].subobj, 0);
  EXPECT_EQ(m.bobj[2].subobj2, 1);
  EXPECT_EQ(m.bobj[3].type, 20);
  EXPECT_EQ(m.bobj[4].type, 0);  // "CQ": no such prefix
  EXPECT_EQ(m.bobj[5].type, 14);
  EXPECT_TRUE(c->logged("ERROR! Bad collision box: CBx1"));
  EXPECT_TRUE(c->report.errors);
  // Centre, radius and extents of the scaled vertices.
  const BoundingObject& b = m.bobj[0];
  EXPECT_FLOAT_EQ(b.min_x, -1.0f);
  EXPECT_FLOAT_EQ(b.max_y, 1.0f);
  EXPECT_FLOAT_EQ(b.size_x, 1.0f);
  EXPECT_GT(b.radius, 0.0f);
  EXPECT_EQ(b.verts.size(), 3u);
  EXPECT_EQ(b.faces.size(), 1u);
  // Occluders (OP, OB) do not count for their sub-object.
  EXPECT_EQ(m.subobjects[0].num_bobj, 3);  // CB01, cq01, LP01
  EXPECT_EQ(m.subobjects[1].num_bobj, 1);  // BBLW02
}

TEST(Conversion, UserPointsAndLights) {
  auto c = convert(tri("01 A") + tri("02 B") + tri("03 C") + tri("UPA03 Muzzle") + tri("upb01") + tri("UPC00 Bad") +
                       tri("UX01 Other") + test::light("LP2 Lamp", 1, 2, 3) + test::light("Omni01", 0, 0, 0) +
                       test::light("lp12", 0, 0, 0) + test::light("LP Lamp", 0, 0, 0),
                   2.0f);
  const Model& m = *c->model;
  ASSERT_EQ(m.userpts.size(), 2u);
  // Sorted by sub-object, highest first.
  EXPECT_EQ(m.userpts[0].name.view(), "Muzzle");
  EXPECT_EQ(m.userpts[0].kind, 'A');
  EXPECT_EQ(m.userpts[0].subobj, 2);
  EXPECT_EQ(m.userpts[1].name.view(), "Noname");
  EXPECT_EQ(m.userpts[1].kind, 'B');
  EXPECT_TRUE(c->logged("ERROR!  Bad user point: \"UPC00 Bad\""));

  ASSERT_EQ(m.lights.size(), 2u);
  EXPECT_EQ(m.lights[0].name.view(), "LP2 Lamp");  // byte order: "LP2" < "lp12"
  EXPECT_EQ(m.lights[0].subobj, 1);
  EXPECT_FLOAT_EQ(m.lights[0].x, -4.0f);
  EXPECT_FLOAT_EQ(m.lights[0].y, 2.0f);
  EXPECT_FLOAT_EQ(m.lights[0].z, 6.0f);
  EXPECT_FLOAT_EQ(m.lights[0].atten_end, 200.0f);
  EXPECT_FLOAT_EQ(m.lights[0].r, 1.0f);
  EXPECT_EQ(m.lights[1].subobj, 11);
  EXPECT_TRUE(c->logged("ERROR!  Bad light: \"LP Lamp\""));
}

TEST(Conversion, StretchBoxesCatchVerticesInsideAndOnTheirFaces) {
  // Box #01#02 spans file x 0..1, y 0..1, z 0..1: turned, x -1..0, y 0..1.
  const std::string box = geom("#01#02", {{0, 0, 0}, {1, 1, 1}}, {});
  // Vertex (0, 0, 1) lies on a face of the box; (0, 0, 2) outside.
  const std::string mesh = geom("01 Body", {{0, 0, 1}, {0, 0, 2}, {0.5, 0.5, 0.5}}, {{{0, 1, 2}}});
  auto c = convert(mesh + tri("02 Arm", 9, 9, 9) + box);
  const Model& m = *c->model;
  ASSERT_EQ(c->boxes.boxes.size(), 1u);
  EXPECT_EQ(c->boxes.boxes[0].two_index, 1);
  const SubObject& body = m.subobjects[0];
  EXPECT_EQ(body.verts[0].stretch, 1);
  EXPECT_EQ(body.verts[0].subobj, 0);
  EXPECT_EQ(body.verts[0].subobj2, 1);
  EXPECT_EQ(body.verts[1].stretch, 0);
  EXPECT_EQ(body.verts[2].stretch, 1);
  EXPECT_EQ(body.flags & 1, 1);
  EXPECT_EQ(m.subobjects[1].flags & 1, 0);
  EXPECT_EQ(m.attributes & 2, 2);
  EXPECT_TRUE(c->logged("Num Stretch Boxes: 1"));

  // A later box overrides an earlier one; a single number binds both indices to it.
  auto two = convert(mesh + tri("02 Arm", 9, 9, 9) + box + geom("#02", {{-1, -1, -1}, {2, 2, 2}}, {}));
  EXPECT_EQ(two->model->subobjects[0].verts[0].subobj, 1);
  EXPECT_EQ(two->model->subobjects[0].verts[0].subobj2, 1);
  EXPECT_EQ(two->boxes.boxes[1].two_index, 0);
}

TEST(Conversion, TooManyStretchBoxesAreRefused) {
  std::string body = tri("01 A");
  for (int i = 0; i < StretchBoxTable::kCapacity + 1; ++i) body += geom("#01", {{0, 0, 0}}, {});
  auto c = convert(body);
  EXPECT_EQ(c->boxes.boxes.size(), static_cast<std::size_t>(StretchBoxTable::kCapacity));
  EXPECT_TRUE(c->report.errors);
}

TEST(Conversion, MaterialsAreAssignedAndArtistDataKept) {
  const std::string mats =
      "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MATERIAL_NAME \"Hull\"\n*MAP_DIFFUSE {\n*BITMAP \"x\\HULL.TGA\"\n}\n}\n"
      "*MATERIAL 1 {\n*MATERIAL_NAME \"Glass\"\n*MAP_DIFFUSE {\n*BITMAP \"GLASS.TGA\"\n}\n"
      "*MAP_OPACITY {\n*BITMAP \"GLASS_A.TGA\"\n}\n}\n}\n";
  auto with_ref = [](std::string obj, int ref) {
    obj.insert(obj.rfind('}'), "*MATERIAL_REF " + std::to_string(ref) + "\n");
    return obj;
  };
  const std::string body = mats + with_ref(tri("01 A"), 1) + with_ref(tri("01 B"), 0) + with_ref(tri("02 C"), 1) +
                           with_ref(tri("03 Dangling"), 7);
  auto c = convert(body);
  const Model& m = *c->model;
  ASSERT_EQ(m.num_materials, 3);
  // Materials are made in the order faces meet them.
  EXPECT_EQ(m.materials[0].description.view(), "Glass");
  EXPECT_EQ(m.materials[0].alpha_type, 2);
  EXPECT_EQ(m.materials[0].alpha_texture.view(), "GLASS_A.TGA");
  EXPECT_EQ(m.materials[1].description.view(), "Hull");
  EXPECT_EQ(m.materials[1].name.view(), "HULL.TGA");
  EXPECT_TRUE(m.materials[2].description.empty());
  EXPECT_EQ(m.subobjects[0].faces[0].material, 0);
  EXPECT_EQ(m.subobjects[0].faces[1].material, 1);
  EXPECT_EQ(m.subobjects[1].faces[0].material, 0);
  EXPECT_EQ(m.subobjects[2].faces[0].material, 2);
  ASSERT_EQ(m.srcmat.size(), 3u);  // the two scene materials and the unnamed one
  EXPECT_EQ(m.subobjects[2].faces[0].srcmat, 2);

  // Converting again into a Model that holds edited materials keeps the edits.
  auto again = std::make_unique<Model>();
  model_reset(*again);
  again->num_materials = 1;
  again->materials[0].description = "hull";
  again->materials[0].blending_mode = 5;
  again->materials[0].multitexture_flags = 1;
  StretchBoxTable boxes;
  RecordingNotifier log;
  ASSERT_TRUE(convert_scene(*again, c->scene, 1.0f, boxes, log));
  EXPECT_EQ(again->materials[0].blending_mode, 5);
  EXPECT_EQ(again->materials[0].name.view(), "HULL.TGA");
  EXPECT_EQ(again->subobjects[0].faces[1].material, 0);
  EXPECT_EQ(again->subobjects[0].faces[0].material, 1);
  EXPECT_EQ(again->num_materials, 3);
}

TEST(Conversion, SubObjectsBeyondThePartAnimationsAreWarned) {
  std::string body;
  for (int n = 1; n <= 66; ++n) {
    char name[8];
    std::snprintf(name, sizeof name, "%02d x", n);
    body += tri(name);
  }
  auto c = convert(body);
  EXPECT_EQ(c->model->num_subobjects(), 66);
  EXPECT_FALSE(c->report.errors);
  EXPECT_TRUE(c->logged("WARNING!  SubObject 65 has no part animation record (at most 64 are animated)"));
}

}  // namespace
}  // namespace orvo
