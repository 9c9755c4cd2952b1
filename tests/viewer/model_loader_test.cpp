// The model loader: every section of a file resolved into pool blocks, the
// header checks and their log lines, the older skinned layout, textures and
// the checksum, refusals that leave nothing allocated, and exported models
// loading back as exported.
#include "orvo/viewer/model_loader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <set>

#include "../export/sample_3di.h"
#include "orvo/export/exporter.h"
#include "orvo/viewer/recording_factory.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

namespace f3 = orvo::file3di;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pool_.initialise(4 << 20, kPoolMasterId, "_fastmem.txt", dir_.path())); }

  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.file(name);
    tools::test::write_bytes(path, bytes);
    return path;
  }
  std::string write(const std::string& name, const f3::File3di& f) {
    auto bytes = f3::encode_3di(f);
    EXPECT_TRUE(bytes.ok()) << (bytes.ok() ? "" : bytes.error().message);
    return write(name, bytes.ok() ? *bytes : std::string());
  }
  std::string log_text() { return tools::test::slurp(log_.path()); }
  int64_t used_bytes() const { return pool_.stats().bytes_used; }

  tools::test::ScratchDir dir_;
  MemoryPool pool_;
  FileAccess files_;
  ExportLog log_{dir_.file("3di_log.txt")};
  ModelLoader loader_{files_, pool_, &log_};
};

f3::File3di with_occluder_vertices(f3::File3di f) {
  auto& v = (*f.occluders)[0].vertices;
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = {float(i % 2) * 4, float(i % 5), 2};
  return f;
}

TEST_F(LoaderTest, EverySectionLandsInItsTaggedBlockResolved) {
  f3::File3di f = with_occluder_vertices(f3::sample_file());
  f.lods[0].materials[0].flags |= 0x10;
  f.lods[0].materials[0].anim_time = 150;
  f.lods[0].materials[0].color_type = 2;
  f.lods[0].materials[0].colour_textures = {1, 1, 1};
  f.lods[0].materials[0].colours = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3};
  f.collision.parts[0].volumes[0].box = {-5, 5, 0, 0, 0, 9};
  const std::string path = write("tank.3di", f);

  bool created = false;
  render::Model* m = loader_.load_model(path, &created);
  ASSERT_NE(m, nullptr) << log_text();
  EXPECT_TRUE(created);
  EXPECT_EQ(m->file_name, dir_.file("tank.3DI"));    // found in any case
  EXPECT_EQ(loader_.load_model(path, &created), m);  // the listed model
  EXPECT_FALSE(created);

  // Tags and alignment of the blocks.
  std::multiset<std::string> tags;
  for (const ChunkInfo& c : pool_.chunks()) {
    if (!c.used) continue;
    tags.insert(std::string(c.tag));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c.payload) % 16, 0u);
  }
  EXPECT_EQ(tags, (std::multiset<std::string>{"GPM CModel", "GPM RVerts", "GPM RModel", "GPM RModel", "GPM CtrlReg",
                                              "GPM RMatrix", "GPM Lightinfo", "GPM VStream", "GPM OccData"}));

  // Collision: arrays handed out part by part, box widened by the volume.
  const render::CModel& c = *m->collision;
  ASSERT_EQ(c.parts.size(), 2u);
  EXPECT_EQ(c.parts[0].vertices.size(), 3u);
  EXPECT_EQ(c.parts[1].vertices.data(), c.vertices.data() + 3);
  EXPECT_EQ(c.parts[0].volumes[0].planes.size(), 2u);
  EXPECT_EQ(c.parts[0].box, (f3::Box6i{-5, 5, 0, 0, 0, 9}));

  // Strips: material pointers, running offsets across LODs and action planes.
  const render::Lod& l0 = *m->lods[0];
  const render::Lod& l1 = *m->lods[1];
  EXPECT_EQ(m->lods[2], nullptr);
  ASSERT_EQ(l0.parts[0].levels.size(), 2u);
  EXPECT_EQ(l0.parts[0].levels[0].class0[0].addr, 0u);
  EXPECT_EQ(l0.parts[0].levels[1].class1[0].addr, 4u);
  EXPECT_EQ(l0.action_planes[0].strip.addr, 7u);
  EXPECT_EQ(l1.parts[0].levels[0].class0[0].addr, 9u);
  EXPECT_EQ(m->running_index_count, 12u);
  EXPECT_EQ(m->largest_index_count, 4u);
  EXPECT_EQ(l0.parts[0].levels[0].class0[0].material, &l0.materials[0]);
  EXPECT_EQ(l0.projectors[0].material, &l0.materials[0]);
  EXPECT_EQ(l0.matrices.size(), 1u);

  // Materials: 150 x 62 / 100 = 93, colour of the set, texture by index.
  EXPECT_EQ(l0.materials[0].record.anim_time, 93);
  EXPECT_EQ(l0.materials[0].active_colour, 0xFF010203u);
  EXPECT_EQ(l0.materials[0].texture, &m->textures[1]);
  EXPECT_EQ(l1.materials[0].texture, nullptr);

  // Registers: HELO_ROTOR is run-time register 45; a wave keeps its phase.
  EXPECT_EQ(m->ctrl_regs[0].register_index, 45u);
  EXPECT_EQ(l0.materials[0].record.mapfunc_u.index_or_phase, 45);
  EXPECT_EQ(l0.motions[0].rotate_funcs[1].index_or_phase, 45);
  EXPECT_EQ(l0.motions[0].scale_funcs[0].index_or_phase, 2);

  // Occluder centre and radii from its vertices (x 0 or 4, y 0..4, z 2).
  const render::Occluder& o = m->occluders[0];
  EXPECT_FLOAT_EQ(o.centre[0], 2.0f);
  EXPECT_FLOAT_EQ(o.centre[1], 2.0f);
  EXPECT_FLOAT_EQ(o.radius_yz, 2.0f);
  EXPECT_FLOAT_EQ(o.radius_xz, 2.0f);
  EXPECT_NEAR(o.radius, std::sqrt(8.0f), 1e-5);

  // Freeing returns every block.
  loader_.free_model(m);
  EXPECT_EQ(loader_.model_count(), 0u);
  EXPECT_EQ(used_bytes(), 0);
  EXPECT_NE(log_text().find("Loading '" + dir_.file("tank.3DI") + "'\n"), std::string::npos);
}

TEST_F(LoaderTest, HeaderChecksRefuseWithTheirLogLines) {
  const std::string good = *f3::encode_3di(f3::sample_file());
  auto patched = [&](std::size_t at, std::vector<uint8_t> bytes) {
    std::string b = good;
    std::memcpy(b.data() + at, bytes.data(), bytes.size());
    return b;
  };
  struct Case {
    std::string bytes;
    const char* line;  // null: loads
  } cases[] = {
      {patched(4, {3, 1, 0, 0}), nullptr},  // revision 259
      {patched(4, {0, 0, 0, 0}), nullptr},
      {patched(4, {4, 1, 0, 0}), "Error:  revision number newer than exe - update game GET\n"},
      {patched(3, {1}), "Error:  incorrect version number\n"},
      {patched(2, {'X'}), "Error:  unknown mesh type\n"},
      {patched(0, {'Q'}), "Error:  unknown mesh type\n"},
      {good.substr(0, 100), "Error:  "},
  };
  for (const Case& c : cases) {
    const std::string path = write("case.3DI", c.bytes);
    render::Model* m = loader_.load_model(path);
    const std::string want = c.line != nullptr ? c.line : "";
    EXPECT_EQ(m != nullptr, want.empty()) << want;
    if (!want.empty()) {
      const std::string log = log_text();
      const std::size_t last = log.rfind('\n', log.size() - 2);
      EXPECT_TRUE(log.compare(last + 1, want.size(), want) == 0) << log;
    }
    loader_.free_model(m);
  }
  EXPECT_EQ(loader_.load_model(dir_.file("missing")), nullptr);
  EXPECT_TRUE(log_text().ends_with("Loading '" + dir_.file("missing.3DI") + "'\nError:  file does not exist\n"));
  EXPECT_EQ(used_bytes(), 0);
}

TEST_F(LoaderTest, TableIndicesAndPoolFailuresRefuseTheModelAndFreeIt) {
  f3::File3di bad_texture = f3::sample_file();
  bad_texture.lods[1].materials[0].alpha_type = 2;
  bad_texture.lods[1].materials[0].alpha_texture = 7;
  EXPECT_EQ(loader_.load_model(write("t.3di", bad_texture)), nullptr);
  EXPECT_NE(log_text().find("LOD 1 material 0: texture 7 is not in the texture table of 2"), std::string::npos);
  EXPECT_EQ(used_bytes(), 0);

  // A pool too small for the LODs: refused after the dump, nothing kept.
  MemoryPool small;
  ASSERT_TRUE(small.initialise(3000, kPoolMasterId, "_fastmem.txt", dir_.path()));
  ModelLoader loader(files_, small, &log_);
  EXPECT_EQ(loader.load_model(write("p.3di", f3::sample_file())), nullptr);
  EXPECT_NE(log_text().find("the memory pool cannot take"), std::string::npos);
  EXPECT_FALSE(tools::test::slurp(dir_.file("_fastmem.txt")).empty());
  EXPECT_EQ(small.stats().bytes_used, 0);
  EXPECT_EQ(loader.model_count(), 0u);
}

TEST_F(LoaderTest, OlderSkinnedLayoutDropsTheColourWordAndBlendsTwoBones) {
  f3::File3di f;
  f.header.kind = 'S';
  f.old_skinned_vertices.resize(3);
  for (std::size_t v = 0; v < 3; ++v)
    for (std::size_t b = 0; b < f3::kOldSkinnedVertexBytes; ++b)
      f.old_skinned_vertices[v][b] = static_cast<uint8_t>(v * 50 + b);
  f3::RModel lod;
  lod.skinned = true;
  lod.parts.resize(1);
  lod.materials.resize(1);
  f3::Strip s = f3::strip(0, {0, 1});
  s.primitive = 0;
  s.palette = {9, 8, 7, 6, 5, 4};
  s.palette_size = 6;
  lod.skin_group.class0 = {s};
  f.lods = {lod};
  render::Model* m = loader_.load_model(write("old.3di", f));
  ASSERT_NE(m, nullptr) << log_text();
  EXPECT_TRUE(m->skinned);
  ASSERT_EQ(m->vertices_s.size(), 3u);
  const auto& v1 = m->vertices_s[1].bytes;
  EXPECT_EQ(v1[0x1B], 50 + 0x1B);
  EXPECT_EQ(v1[0x1C], 50 + 0x20);  // 0x1C-0x1F dropped
  EXPECT_EQ(v1[43], 50 + 47);
  const render::Strip& rs = m->lods[0]->skin_group.class0[0];
  EXPECT_EQ(rs.palette[1], 5);
  EXPECT_EQ(rs.palette_size, 2);
  EXPECT_EQ(rs.vertex_span, 2u);
  EXPECT_EQ(loader_.checksums().size(), 0u);
}

// Counts what the factory was asked for, failing the names it is told to.
class FakeFactory : public TextureFactory {
 public:
  std::set<std::string> missing;
  std::vector<Request> asked;
  std::vector<std::string> pixels_named;
  int32_t create_texture(const Request& r) override {
    asked.push_back(r);
    return missing.count(r.colour_name) ? 0 : static_cast<int32_t>(asked.size());
  }
  int32_t create_texture_from_pixels(const std::string& name, int w, int h, std::span<const uint32_t> px) override {
    EXPECT_EQ(px.size(), static_cast<std::size_t>(w * h));
    pixels_named.push_back(name);
    return 1000;
  }
  int32_t create_material(const render::Material&, bool) override { return 1; }
  int32_t create_render_target(const render::Projector&) override { return 1; }
};

TEST_F(LoaderTest, TexturesByUsageFlagsCapPlaceholderAndTheChecksum) {
  f3::File3di f;
  f.plain_vertices.resize(1);
  f.plain_vertices[0].position[0] = std::bit_cast<float>(uint32_t{0x10});  // the vertex bytes add up to 16
  f3::TextureRecord big, pair, alpha, gone;
  big.first_name = "BIG.TGA";
  big.width = big.height = 512;
  pair.first_name = "C.PCX";
  pair.second_name = "A.PCX";
  pair.flags = 0x107;
  alpha.first_name = "IGNORED.PCX";
  alpha.second_name = "ALPHA.PCX";
  alpha.flags = 0x18;
  gone.second_name = "GONE.PCX";
  gone.width = 8;
  gone.height = 4;
  f.textures = {big, pair, alpha, gone};
  f3::RModel lod;
  lod.parts.resize(1);
  lod.materials.resize(2);
  lod.materials[1].second_layer = 1;
  f.lods = {lod};
  ASSERT_NE(loader_.load_model(write("sum.3di", f)), nullptr) << log_text();
  EXPECT_TRUE(loader_.texture_size_cap());

  FakeFactory factory;
  factory.missing = {"GONE.PCX"};
  loader_.create_textures_and_materials(factory);
  ASSERT_EQ(factory.asked.size(), 4u);
  EXPECT_EQ(factory.asked[0].width, 256);
  EXPECT_EQ(factory.asked[0].height, 256);
  EXPECT_EQ(factory.asked[1].alpha_name, "A.PCX");
  EXPECT_EQ(factory.asked[2].colour_name, "ALPHA.PCX");
  EXPECT_EQ(factory.pixels_named, std::vector<std::string>{"S3W8H4"});
  const render::Model& m = *loader_.models().front();
  EXPECT_TRUE(m.textures[3].placeholder);
  EXPECT_EQ(m.material_passes, 3u);
  EXPECT_EQ(loader_.checksums(), std::vector<uint32_t>{19});
  const std::string log = log_text();
  EXPECT_NE(log.find("\nCreating Textures and Materials\n'BIG.TGA'\n'C.PCX' + 'A.PCX'\n'ALPHA.PCX'\n'GONE.PCX'\n"
                     "Error: Could not load texture GONE.PCX   (3)\n"),
            std::string::npos);
  EXPECT_TRUE(log.ends_with("CHECKSUM DATA FOLLOWS...\n" + std::string(tools::LogFile::kDashes) + "'" +
                            dir_.file("sum.3DI") + "' : 00000013\n"));

  EXPECT_EQ(placeholder_pixels(8, 5)[0], 0xFF303030u);
  EXPECT_EQ(placeholder_pixels(8, 5)[4], 0xFF505050u);
  EXPECT_EQ(placeholder_pixels(8, 5)[4 * 8 + 4], 0xFF303030u);
}

TEST(ModelName, ExtensionIsNormalised) {
  EXPECT_EQ(normalise_model_name("temprend.3di"), "temprend.3DI");
  EXPECT_EQ(normalise_model_name("a/tank.3DIX"), "a/tank.3DI");
  EXPECT_EQ(normalise_model_name("tank"), "tank.3DI");
  EXPECT_EQ(normalise_model_name("tank.v2"), "tank.v2.3DI");
}

TEST(RenderPaths, CapabilitiesChooseVariantsAndSkinning) {
  struct Case {
    char kind;
    bool shaded;
    uint32_t caps;
    std::array<uint8_t, 2> variants;
    bool tangent;
  } cases[] = {
      {'M', false, 0, {1, 1}, false}, {'M', true, 1, {2, 1}, true},   {'M', false, 1, {2, 0}, false},
      {'M', false, 3, {2, 2}, false}, {'P', false, 0, {1, 1}, false}, {'P', false, 8, {2, 1}, false},
      {'P', false, 2, {2, 2}, true},  {'P', true, 1, {1, 1}, true},
  };
  tools::test::ScratchDir dir;
  for (const Case& c : cases) {
    f3::File3di f;
    f.header.kind = c.kind;
    f3::RModel lod;
    lod.parts.resize(1);
    lod.materials.resize(1);
    lod.materials[0].shader_type = c.shaded ? 3 : 0;
    if (c.kind == 'P') {
      f.skinned_vertices.resize(2);
      lod.skinned = true;
      lod.skin_group.class0 = {f3::strip(0, {0, 1})};
      lod.skin_group.class0[0].primitive = 0;
    } else {
      f.plain_vertices.resize(2);
      lod.parts[0].levels.resize(1);
      lod.parts[0].levels[0].class0 = {f3::strip(0, {0, 1})};
    }
    f.lods = {lod};
    tools::test::write_bytes(dir.file("m.3di"), *f3::encode_3di(f));
    MemoryPool pool;
    ASSERT_TRUE(pool.initialise(1 << 20, kPoolMasterId, "_fastmem.txt", dir.path()));
    FileAccess files;
    ModelLoader loader(files, pool, nullptr);
    loader.capabilities = RenderCapabilities::from_mask(c.caps);
    const render::Model* m = loader.load_model(dir.file("m.3di"));
    ASSERT_NE(m, nullptr) << loader.last_error();
    SCOPED_TRACE(std::string(1, c.kind) + " caps " + std::to_string(c.caps));
    EXPECT_EQ(m->variants, c.variants);
    EXPECT_EQ(m->tangent_path, c.tangent);
    const render::Part& p = m->lods[0]->parts[0];
    if (c.kind == 'M') {
      EXPECT_EQ(p.needs_plain, (c.caps & 2) == 0 || (c.shaded && (c.caps & 1) == 0));
    } else {
      const auto want = c.tangent || (c.caps & 2) ? render::Skinning::kVertexShader
                        : (c.caps & 8)            ? render::Skinning::kSoftware
                        : (c.caps & 1)            ? render::Skinning::kTnl
                                                  : render::Skinning::kSoftware;
      EXPECT_EQ(m->lods[0]->skinning, want);
    }
  }
}

}  // namespace
}  // namespace orvo
