#include "orvo/import/model_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "ase_text.h"
#include "orvo/model/base.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

class ModelFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvo-model-files-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    context_.notifier = &log_;
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  static std::string get(const std::string& p) { return tools::test::slurp(p); }
  static std::unique_ptr<Model> fresh() {
    auto m = std::make_unique<Model>();
    model_reset(*m);
    return m;
  }

  // A scene with one coloured face on material "Hull", a plain one on
  // "Glass", and the light "LP1 Lamp".
  static std::string scene() {
    const std::string mats =
        "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MATERIAL_NAME \"Hull\"\n*MAP_DIFFUSE {\n*BITMAP \"HULL.TGA\"\n}\n}\n"
        "*MATERIAL 1 {\n*MATERIAL_NAME \"Glass\"\n}\n}\n";
    const std::string colours =
        "*MESH_NUMCVERTEX 1\n*MESH_CVERTLIST {\n*MESH_VERTCOL 0 1 0 0\n}\n*MESH_NUMCVFACES 1\n"
        "*MESH_CFACELIST {\n*MESH_CFACE 0 0 0 0\n}\n";
    std::string hull =
        test::geom("01 Hull", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}, colours, "*MATERIAL_REF 0\n");
    std::string glass =
        test::geom("02 Glass", {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}}, {{{0, 1, 2}}}, "", "*MATERIAL_REF 1\n");
    return std::string(test::kHeader) + mats + hull + glass + test::light("LP1 Lamp", 4, 0, 0);
  }

  fs::path dir_;
  RecordingNotifier log_;
  ModelContext context_;
};

tools::LocalTime some_time() {
  return tools::LocalTime{2026, 1, 1, 0, 0, 0};
}

TEST_F(ModelFiles, ImportWriteAndReadBackWithGeometry) {
  put("tank.ase", scene());
  auto m = fresh();
  ASSERT_TRUE(model_import_scene(path("tank.ase"), *m, context_));
  EXPECT_EQ(m->name.view(), "tank");
  EXPECT_EQ(m->version_3di, 2);
  ASSERT_EQ(m->num_subobjects(), 2);
  ASSERT_EQ(m->num_materials, 2);
  EXPECT_EQ(m->materials[0].color_type, 2);
  // The artist edits what the scene cannot carry.
  m->materials[1].blending_mode = 4;
  m->materials[1].rgbgen.style = 0x18;
  m->part_anims[1].rotate_type = 3;
  m->lights[0].colorgen.style = 0x71;
  m->lights[0].colorgen.ctrlreg = "FLICKER";
  context_.scale = 2.0f;
  ASSERT_TRUE(model_write_3da(*m, path("tank.3da"), context_, "artist", some_time()));

  auto back = fresh();
  ModelContext other;
  other.notifier = &log_;
  ASSERT_TRUE(model_read_3da(path("tank.3da"), *back, other)) << log_.lines.back();
  EXPECT_FLOAT_EQ(other.scale, 2.0f);  // the file's scale factor
  EXPECT_EQ(back->name.view(), "tank");
  ASSERT_EQ(back->num_subobjects(), 2);
  EXPECT_FLOAT_EQ(back->subobjects[1].verts[0].z, 4.0f);  // converted at the file's scale
  EXPECT_EQ(back->num_materials, 2);
  EXPECT_EQ(back->materials[1].blending_mode, 4);
  EXPECT_EQ(back->materials[1].rgbgen.style, 0x18);
  EXPECT_EQ(back->subobjects[1].faces[0].material, 1);
  EXPECT_EQ(back->part_anims[1].rotate_type, 3);
  ASSERT_EQ(back->lights.size(), 1u);
  EXPECT_EQ(back->lights[0].colorgen.style, 0x71);
  EXPECT_EQ(back->lights[0].colorgen.ctrlreg.view(), "FLICKER");
  // Written files carry diffuse_set: the vertex colour bit is the artist's.
  EXPECT_EQ(back->materials[0].render_attributes & kRenderNoGameDiffuse, 0);

  // Saving again gives the same text (up to the date line).
  ASSERT_TRUE(model_write_3da(*back, path("again.3da"), other, "artist", some_time()));
  EXPECT_EQ(get(path("again.3da")), get(path("tank.3da")));
}

TEST_F(ModelFiles, OldFilesMarkColouredMaterialsAndMatchLightsByExactName) {
  put("old.ase", scene());
  put("old.3da",
      "begin general_information\n  attributes: 1\n  num_materials 1\n  scale_factor 1.0\nend\n"
      "begin material 0\n  name x\n  description \"HULL\"\nend\n"
      "begin light 3\n  name \"LP1 Lamp\"\n  colorgen_style 24\nend\n"
      "begin light 4\n  name \"lp1 lamp\"\n  colorgen_style 99\nend\n");
  auto m = fresh();
  ASSERT_TRUE(model_read_3da(path("old.3da"), *m, context_));
  EXPECT_EQ(m->materials[0].description.view(), "Hull");
  EXPECT_EQ(m->materials[0].render_attributes & kRenderNoGameDiffuse, kRenderNoGameDiffuse);
  EXPECT_EQ(m->materials[1].render_attributes & kRenderNoGameDiffuse, 0);
  EXPECT_EQ(m->lights[0].colorgen.style, 24);
}

TEST_F(ModelFiles, FailuresLeaveTheModelAsStated) {
  auto m = fresh();
  m->name = "kept";
  m->subobjects.resize(2);
  EXPECT_EQ(model_read_3da(path("missing.3da"), *m, context_).code(), kMetafileCannotOpen);
  EXPECT_EQ(m->name.view(), "kept");
  EXPECT_EQ(m->num_subobjects(), 2);

  put("bad.3da", "begin general_information\n  num_materials 2\nend\nbegin nonsense\n");
  EXPECT_EQ(model_read_3da(path("bad.3da"), *m, context_).code(), -4);
  EXPECT_EQ(m->num_materials, 2);
  EXPECT_EQ(m->num_subobjects(), 0);

  // Artist data without its scene file is a failure the user is told about.
  put("lonely.3da", "begin general_information\n  attributes: 1\nend\n");
  const Status lonely = model_read_3da(path("lonely.3da"), *m, context_);
  EXPECT_EQ(lonely.code(), kModelSceneFailed);
  EXPECT_NE(lonely.error().message.find(path("lonely.ase")), std::string::npos);

  // The scene file is found whatever the case of its name.
  put("LOUD.ASE", scene());
  put("loud.3da", "begin general_information\n  attributes: 1\nend\n");
  EXPECT_TRUE(model_read_3da(path("loud.3da"), *m, context_));
  EXPECT_EQ(m->num_subobjects(), 2);
}

TEST_F(ModelFiles, LevelSets) {
  EXPECT_EQ(lod_path("/a/tankm.3da", 'h'), "/a/tankh.3da");
  EXPECT_EQ(lod_message('h', Error{-12, ""}), "Error parsing 'h' file, line 12");
  EXPECT_EQ(lod_message('t', Error{1, ""}), "Unable to open 't' file");
  EXPECT_EQ(lod_message('m', Error{2, ""}), "Unexpeded EOF in 'm' file");
  EXPECT_EQ(lod_message('h', Error{4, ""}), "Error loading 'h' 3da file, h");
  EXPECT_EQ(lod_message('l', Error{4, ""}), "Error loading 'l' 3da file");

  for (char c : std::string("hml")) {
    put(std::string("tank") + c + ".ase", scene());
    put(std::string("tank") + c + ".3da", "begin general_information\n  attributes: 1\nend\n");
  }
  std::array<std::unique_ptr<Model>, 4> owned{fresh(), fresh(), fresh(), fresh()};
  std::array<Model*, 4> models{owned[0].get(), owned[1].get(), owned[2].get(), owned[3].get()};
  const auto results = model_read_lod_set(path("tankm.3da"), models, context_);
  EXPECT_TRUE(results[0]);
  EXPECT_TRUE(results[1]);
  EXPECT_TRUE(results[2]);
  EXPECT_EQ(results[3].code(), kMetafileCannotOpen);
  ASSERT_EQ(log_.messages.size(), 1u);
  EXPECT_EQ(log_.messages[0].text, "Unable to open 't' file");
  EXPECT_EQ(owned[0]->name.view(), "tankh");
  EXPECT_EQ(owned[2]->num_subobjects(), 2);
  EXPECT_EQ(owned[0]->polycollision, 1);  // no level had it set

  // Saving all levels writes those that hold sub-objects, each to its letter.
  owned[1]->subobjects.clear();
  const auto saved = model_write_lod_set(
      path("copyh.3da"), {owned[0].get(), owned[1].get(), owned[2].get(), owned[3].get()}, context_, "me", some_time());
  for (const Status& s : saved) EXPECT_TRUE(s);
  EXPECT_TRUE(fs::exists(path("copyh.3da")));
  EXPECT_FALSE(fs::exists(path("copym.3da")));
  EXPECT_TRUE(fs::exists(path("copyl.3da")));
  EXPECT_FALSE(fs::exists(path("copyt.3da")));
}

TEST_F(ModelFiles, WritingNeverDestroysTheOldFile) {
  auto m = fresh();
  put("keep.3da", "old contents");
  // A file size limit makes the write fail half-way, as a full disk would.
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status s = model_write_3da(*m, path("keep.3da"), context_, "me", some_time());
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(s.code(), 1);
  EXPECT_NE(s.error().message.find(path("keep.3da")), std::string::npos);
  EXPECT_EQ(get(path("keep.3da")), "old contents");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
  // A folder that does not exist is reported with the path.
  EXPECT_EQ(model_write_3da(*m, path("no/such/dir/x.3da"), context_, "me", some_time()).code(), 1);
}

TEST_F(ModelFiles, RebuildFromSceneKeepsOnlyTheName) {
  put("crate.ase", scene());
  auto m = fresh();
  m->name = "crate";
  m->attributes = 1;
  m->num_materials = 5;
  EXPECT_TRUE(model_rebuild_from_scene(*m, dir_.string(), context_));
  EXPECT_EQ(m->name.view(), "crate");
  EXPECT_EQ(m->num_materials, 2);
  EXPECT_EQ(m->num_subobjects(), 2);
  // A missing scene leaves the Model unchanged.
  m->name = "nothing";
  EXPECT_FALSE(model_rebuild_from_scene(*m, dir_.string(), context_));
  EXPECT_EQ(m->num_subobjects(), 2);
}

}  // namespace
}  // namespace orvo
