// The export driver end to end: header values read back from the bytes, the
// geometry the strips describe, detail levels, level counts and kinds,
// skinned files, the same bytes on any number of threads, and a failed export
// leaving the old file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "orvo/export/collision.h"
#include "orvo/export/exporter.h"
#include "tools/test/scratch_dir.h"

namespace {

using namespace orvo;
namespace f3 = orvo::file3di;

// A part: an n x n grid of quads on z = height, smoothing group 1.
SubObject grid_part(int n, float height, int material = 0) {
  SubObject part;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x) {
      part.verts.push_back({float(x), float(y), height + 0.1f * float((x * 3 + y) % 4)});
      part.tverts.push_back({float(x) / float(n), float(y) / float(n)});
    }
  const auto at = [n](int x, int y) { return y * (n + 1) + x; };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      for (const auto& t : {std::array{at(x, y), at(x + 1, y), at(x, y + 1)},
                            std::array{at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)}}) {
        Face f;
        f.v = {t[0], t[1], t[2], t[0]};
        f.t = f.v;
        f.nz = 1;
        f.smoothing = 1;
        f.material = material;
        part.faces.push_back(f);
      }
  return part;
}

std::unique_ptr<Model> model(int parts, int n, const char* name = "lod") {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->name = name;
  m->threshold = 10;
  m->num_materials = 2;
  for (int i = 0; i < 2; ++i) {
    m->materials[static_cast<std::size_t>(i)].name = "mat";
    m->materials[static_cast<std::size_t>(i)].u_tiling = m->materials[static_cast<std::size_t>(i)].v_tiling = 1;
  }
  m->materials[1].blending_mode = 2;
  for (int p = 0; p < parts; ++p) m->subobjects.push_back(grid_part(n, float(p), p % 2));
  return m;
}

tools::Result<f3::File3di> build(std::array<const Model*, 4> slots, const std::string& out = "/x/tank.v2.3di",
                                 int jobs = 1) {
  ExportRequest r;
  r.output_path = out;
  r.slots = slots;
  r.jobs = jobs;
  return build_3di(r);
}

std::string bytes_of(const f3::File3di& f) {
  tools::Result<std::string> b = f3::encode_3di(f);
  EXPECT_TRUE(b.ok()) << (b.ok() ? "" : b.error().message);
  return b.ok() ? *b : std::string();
}

template <class T>
T at(const std::string& b, std::size_t offset) {
  T v;
  std::memcpy(&v, b.data() + offset, sizeof v);
  return v;
}

// The triangles of a strip group, as positions, each rotated to start at its
// smallest corner.
using Tri = std::array<std::array<float, 3>, 3>;
std::multiset<Tri> triangles_of(const f3::File3di& f, const std::vector<f3::Strip>& strips) {
  std::multiset<Tri> out;
  for (const f3::Strip& s : strips) {
    std::vector<std::array<uint32_t, 3>> tris;
    const auto& i = s.indices;
    if (s.primitive == 0) {
      for (std::size_t k = 0; k + 2 < i.size(); k += 3) tris.push_back({i[k], i[k + 1], i[k + 2]});
    } else {
      for (std::size_t k = 0; k + 2 < i.size(); ++k) {
        std::array<uint32_t, 3> t = k % 2 == 0 ? std::array<uint32_t, 3>{i[k], i[k + 1], i[k + 2]}
                                               : std::array<uint32_t, 3>{i[k], i[k + 2], i[k + 1]};
        if (t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) tris.push_back(t);
      }
    }
    for (const auto& t : tris) {
      Tri tri;
      for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_LE(t[c], s.vertex_span);
        const auto& p = f.plain_vertices.at(t[c] + s.base_vertex).position;
        tri[c] = {p[0], p[1], p[2]};
      }
      std::rotate(tri.begin(), std::min_element(tri.begin(), tri.end()), tri.end());
      out.insert(tri);
    }
  }
  return out;
}

std::vector<f3::Strip> level_strips(const f3::LodPart& part, std::size_t level) {
  std::vector<f3::Strip> s = part.levels.at(level).class0;
  s.insert(s.end(), part.levels.at(level).class1.begin(), part.levels.at(level).class1.end());
  return s;
}

TEST(Exporter, HeaderValuesInTheBytes) {
  auto lod0 = model(2, 3), lod1 = model(1, 2, "");  // LOD 1 unnamed: half of LOD 0's distance
  lod0->render_function = "wall";
  auto f = build({lod0.get(), lod1.get(), nullptr, nullptr}, "C:\\models\\tank.v2.3di");
  ASSERT_TRUE(f.ok()) << f.error().message;
  const std::string b = bytes_of(*f);
  EXPECT_EQ(b.substr(0, 3), "GPM");
  EXPECT_EQ(at<uint8_t>(b, 3), 2);
  EXPECT_EQ(at<uint32_t>(b, 4), 259u);
  EXPECT_STREQ(b.data() + 8, "tank");
  EXPECT_EQ(at<uint32_t>(b, 28), 2u);             // LOD count
  EXPECT_EQ(at<int32_t>(b, 32), 10 * 65536);      // LOD 0 threshold
  EXPECT_EQ(at<int32_t>(b, 36), 10 * 65536 / 2);  // unnamed LOD 1
  EXPECT_EQ(at<int32_t>(b, 40), 10 * 65536 / 2);  // an empty slot has no name either: half of LOD 1's
  EXPECT_EQ(at<int32_t>(b, 44), 0);               // and the next half of the empty slot's 0
  EXPECT_EQ(at<uint32_t>(b, 64), uint32_t('w') << 24 | uint32_t('a') << 16 | uint32_t('l') << 8 | 'l');
  EXPECT_EQ(at<uint32_t>(b, 136), f->plain_vertices.size());
  EXPECT_EQ(at<uint32_t>(b, 176), 0u);  // user points
  EXPECT_EQ(at<uint32_t>(b, 188), 0u);  // control registers
  EXPECT_EQ(at<uint32_t>(b, 196), 1u);  // the identity orientation alone
  EXPECT_EQ(at<uint32_t>(b, 24), 0u);   // no lights, shaders or occluders
  // The height of LOD 0: parts at z 0 and 1, bumps of up to 0.3.
  EXPECT_EQ(at<int32_t>(b, 104), int32_t(1.3f * 65536));
}

TEST(Exporter, StripsDescribeExactlyTheSourceFaces) {
  auto lod0 = model(3, 4);
  lod0->materials[1].render_attributes = 0x20;  // the second sub-object's faces are not exported
  auto f = build({lod0.get(), nullptr, nullptr, nullptr});
  ASSERT_TRUE(f.ok()) << f.error().message;
  ASSERT_EQ(f->lods.size(), 1u);
  for (int p = 0; p < 3; ++p) {
    std::multiset<Tri> expected;
    if (p != 1) {
      const SubObject& part = lod0->subobjects[static_cast<std::size_t>(p)];
      for (const Face& face : part.faces) {
        Tri t;
        for (int k = 0; k < 3; ++k) {  // corner k is stored corner 2 - k, in file axes
          const Vertex& v = part.verts[static_cast<std::size_t>(face.v[static_cast<std::size_t>(2 - k)])];
          t[static_cast<std::size_t>(k)] = {-v.y, v.z, v.x};
        }
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        expected.insert(t);
      }
    }
    const f3::LodPart& part = f->lods[0].parts[static_cast<std::size_t>(p)];
    ASSERT_EQ(part.levels.size(), 1u);
    EXPECT_EQ(triangles_of(*f, level_strips(part, 0)), expected) << subobject_label(p);
  }
  // Faces of a material that is not exported bring no vertices.
  EXPECT_EQ(f->plain_vertices.size(), 2u * 25u);
}

TEST(Exporter, DetailLevelsAndSortedVertices) {
  auto lod0 = model(1, 8), lod1 = model(1, 2);
  lod0->pm_enable = 1;
  lod0->pm_polythresh = 30;
  auto f = build({lod0.get(), lod1.get(), nullptr, nullptr});
  ASSERT_TRUE(f.ok()) << f.error().message;
  const f3::LodPart& part = f->lods[0].parts[0];
  ASSERT_EQ(part.levels.size(), 16u);
  EXPECT_EQ(triangles_of(*f, level_strips(part, 0)).size(), 128u);
  EXPECT_LT(triangles_of(*f, level_strips(part, 15)).size(), 128u);
  // LOD 1's vertices come first in the table.
  uint32_t lod1_highest = 0;
  for (const f3::Strip& s : level_strips(f->lods[1].parts[0], 0))
    lod1_highest = std::max(lod1_highest, s.base_vertex + s.vertex_span);
  EXPECT_EQ(lod1_highest, 8u);  // its 3 x 3 grid points are vertices 0 to 8
}

TEST(Exporter, LevelCountsKindsAndRefusals) {
  auto lod0 = model(1, 2), lod2 = model(1, 2), lod3 = model(1, 2);
  auto empty = std::make_unique<Model>();
  model_reset(*empty);
  // LOD 1 empty: one LOD written, however many follow.
  auto one = build({lod0.get(), empty.get(), lod2.get(), lod3.get()});
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(one->lods.size(), 1u);
  // LOD 2 empty, LOD 3 filled: two LODs written, LOD 3's textures still
  // registered, all four header entries filled.
  lod3->materials[0].color_type = 2;
  lod3->materials[0].green_texture = "far.tga";
  lod3->threshold = 99;
  ExportRequest r;
  r.output_path = "gap.3di";
  r.slots = {lod0.get(), model(1, 2).release(), empty.get(), lod3.get()};
  r.picture_sizes = [](const std::string&) { return std::optional<PictureSize>(PictureSize{4, 4}); };
  std::unique_ptr<const Model> lod1(r.slots[1]);
  auto gap = build_3di(r);
  ASSERT_TRUE(gap.ok()) << gap.error().message;
  EXPECT_EQ(gap->lods.size(), 2u);
  ASSERT_EQ(gap->textures.size(), 1u);
  EXPECT_EQ(gap->textures[0].first_name, "far.tga");
  EXPECT_EQ(gap->header.lod_distance[3], 99 * 65536);
  // No parts in LOD 0; skinned and plain mixed.
  EXPECT_FALSE(build({empty.get(), lod2.get(), nullptr, nullptr}).ok());
  lod2->attributes |= 4;
  auto mixed = build({lod0.get(), lod2.get(), nullptr, nullptr});
  ASSERT_FALSE(mixed.ok());
  EXPECT_NE(mixed.error().message.find("skinned"), std::string::npos);
  // More parts than a LOD holds.
  auto many = model(65, 1);
  auto refused = build({many.get(), nullptr, nullptr, nullptr});
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().message.find("65 parts"), std::string::npos);
}

// The export of `slots` with its status lines.
struct Watched {
  tools::Result<f3::File3di> file;
  std::vector<std::string> statuses;
};
Watched watched(std::array<const Model*, 4> slots) {
  tools::RecordingNotifier n;
  ExportRequest r;
  r.output_path = "big.3di";
  r.slots = slots;
  r.notifier = &n;
  tools::Result<f3::File3di> f = build_3di(r);
  return {std::move(f), n.statuses};
}

TEST(Exporter, AModelThatCannotFitIsRefusedBeforeItsVerticesAreBuilt) {
  const std::string limit = "; a plain model holds at most 32768";
  // Two parts on the same 131 x 131 points: 34 322 vertices at the least,
  // told before the vertex stage starts.
  auto wide = model(2, 130);
  wide->subobjects[1] = wide->subobjects[0];
  const Watched early = watched({wide.get(), nullptr, nullptr, nullptr});
  ASSERT_FALSE(early.file.ok());
  EXPECT_EQ(early.file.error().message, "the model has at least 34322 vertices" + limit);
  EXPECT_EQ(early.statuses, std::vector<std::string>{"Exporting 'big.3di'"});

  // Few points but every corner its own texture coordinates: only the
  // vertex table knows, and says so in the same words when the vertices
  // are sorted.
  auto seams = model(1, 75);
  SubObject& part = seams->subobjects[0];
  part.tverts.clear();
  for (Face& f : part.faces)
    for (std::size_t k = 0; k < 3; ++k) {
      f.t[k] = int32_t(part.tverts.size());
      part.tverts.push_back({float(part.tverts.size()) / 40000.0f, 0.5f});
    }
  const Watched late = watched({seams.get(), nullptr, nullptr, nullptr});
  ASSERT_FALSE(late.file.ok());
  EXPECT_EQ(late.file.error().message, "the model has 33750 vertices" + limit);
  ASSERT_EQ(late.statuses.size(), 4u);
  EXPECT_EQ(late.statuses[1], "Exporting 'big.3di'\r\nProcessing vertices...");
  EXPECT_EQ(late.statuses[3], "Exporting 'big.3di'\r\nSorting vertices...");

  // A model that cannot fit and whose collision data cannot be made is
  // refused for the collision data, which comes first.
  wide->subobjects[1].faces[5].v[1] = 99999;
  const Watched both = watched({wide.get(), nullptr, nullptr, nullptr});
  ASSERT_FALSE(both.file.ok());
  EXPECT_NE(both.file.error().message.find("face 5 names vertex 99999"), std::string::npos)
      << both.file.error().message;
}

TEST(Exporter, TheSamePointsInSeveralLevelsDoNotRefuseAModel) {
  // Four levels of one part on the same 91 x 91 points: 33 124 points
  // counted level by level, 8281 vertices in the table.
  auto lod = model(1, 90);
  const Watched w = watched({lod.get(), lod.get(), lod.get(), lod.get()});
  ASSERT_TRUE(w.file.ok()) << w.file.error().message;
  EXPECT_EQ(w.file->plain_vertices.size(), 8281u);
}

TEST(Exporter, CollisionDataFromTheVertexPassesFramesIsTheCollisionLevels) {
  // The collision level is level 1 (smoothed differently from level 0),
  // and then level 3, which is not written: the file's collision model is
  // the one made from that level alone.
  auto lod0 = model(2, 3), lod1 = model(2, 4), lod3 = model(1, 5);
  for (Face& f : lod1->subobjects[1].faces) f.smoothing = 2;
  lod1->subobjects[1].verts[6].z = 0.7f;
  lod1->subobjects[0].faces[3].nx = 0.6f, lod1->subobjects[0].faces[3].nz = 0.8f;
  lod1->polycollision = 1;
  std::array<const Model*, 4> slots{lod0.get(), lod1.get(), nullptr, nullptr};
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {
      lod1->polycollision = 0;
      lod3->polycollision = 1;
      lod3->subobjects[0].faces[2].smoothing = 0;
      slots = {lod0.get(), nullptr, nullptr, lod3.get()};
    }
    const tools::Result<f3::File3di> f = build(slots);
    const tools::Result<CollisionModel> alone = build_collision_model(slots);
    ASSERT_TRUE(f.ok() && alone.ok());
    EXPECT_EQ(f->collision, alone->model) << round;
  }
}

TEST(Exporter, SkinnedModelsWritePalettedLists) {
  auto lod0 = model(2, 2);
  lod0->attributes |= 4;
  for (SubObject& part : lod0->subobjects)
    for (std::size_t i = 0; i < part.verts.size(); ++i) {
      part.verts[i].bones = {int32_t(20 + i % 3), i % 2 ? -1 : 3, -1, -1};
      part.verts[i].weights = {0.75f, i % 2 ? 0.0f : 0.25f, 0, 0};
    }
  lod0->subobjects[1].verts[0].bones = {-1, -1, -1, -1};
  auto f = build({lod0.get(), nullptr, nullptr, nullptr});
  ASSERT_TRUE(f.ok()) << f.error().message;
  EXPECT_EQ(f->header.kind, 'P');
  EXPECT_TRUE(f->plain_vertices.empty());
  ASSERT_FALSE(f->skinned_vertices.empty());
  for (const f3::SkinnedVertex& v : f->skinned_vertices)
    for (uint8_t b : v.bones) EXPECT_LE(b, 15);
  const f3::StripGroup& g = f->lods[0].skin_group;
  ASSERT_FALSE(g.class0.empty());
  EXPECT_EQ(g.class0[0].primitive, 0u);
  EXPECT_EQ(g.class0[0].palette_size, 4);  // bones 20, 21, 22, 3 as first met
  const std::string b = bytes_of(*f);
  ASSERT_TRUE(f3::decode_3di({reinterpret_cast<const uint8_t*>(b.data()), b.size()}, "skinned").ok());
}

TEST(Exporter, ProjectorsProjectFromTheirLastFaceTurnedByYawAndPitch) {
  auto lod0 = model(1, 1);
  lod0->materials[0].projector_type = 1;
  lod0->materials[0].projector_yaw = 90;
  auto f = build({lod0.get(), nullptr, nullptr, nullptr});
  ASSERT_TRUE(f.ok()) << f.error().message;
  ASSERT_EQ(f->lods[0].projectors.size(), 1u);
  const f3::Projector& p = f->lods[0].projectors[0];
  EXPECT_EQ(p.material, 0u);
  // The last face's first edge runs along +y (its tangent); turned 90
  // degrees about the face normal (+z) it runs along -x: (0, 0, -1) in file
  // axes.
  EXPECT_NEAR(p.matrix[0], 0, 1e-6);
  EXPECT_NEAR(p.matrix[1], 0, 1e-6);
  EXPECT_NEAR(p.matrix[2], -1, 1e-6);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += p.matrix[std::size_t(4 * i + k)] * p.inverse[std::size_t(4 * k + j)];
      EXPECT_NEAR(sum, i == j ? 1.0f : 0.0f, 1e-5) << i << j;
    }
}

TEST(Exporter, SameBytesOnAnyNumberOfThreadsAndTwice) {
  auto lod0 = model(6, 5);
  lod0->pm_enable = 1;
  lod0->pm_polythresh = 50;
  const std::string one = bytes_of(*build({lod0.get(), nullptr, nullptr, nullptr}, "m.3di", 1));
  EXPECT_EQ(bytes_of(*build({lod0.get(), nullptr, nullptr, nullptr}, "m.3di", 3)), one);
  EXPECT_EQ(bytes_of(*build({lod0.get(), nullptr, nullptr, nullptr}, "m.3di", 1)), one);
}

TEST(Exporter, AFailedExportLeavesTheOldFile) {
  tools::test::ScratchDir dir("export");
  const std::string out = dir.put("old.3di", "old bytes");
  auto empty = std::make_unique<Model>();
  model_reset(*empty);
  ExportRequest r;
  r.output_path = out;
  r.slots = {empty.get(), nullptr, nullptr, nullptr};
  EXPECT_FALSE(export_3di(r).ok());
  EXPECT_EQ(tools::test::slurp(out), "old bytes");
  auto lod0 = model(1, 2);
  r.slots[0] = lod0.get();
  r.output_path = dir.file("missing/new.3di");
  tools::Result<ExportStats> s = export_3di(r);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.error().message.find("missing/new.3di"), std::string::npos) << s.error().message;
  EXPECT_EQ(dir.entries(), 1u);
}

}  // namespace
