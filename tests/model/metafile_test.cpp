#include "orvo/model/metafile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <random>

#include "orvo/model/base.h"

namespace orvo {
namespace {

std::unique_ptr<Model> fresh() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  return m;
}

struct Read {
  std::unique_ptr<Model> model = fresh();
  MetafileInfo info;
  Status status;
};

std::unique_ptr<Read> read(std::string_view text) {
  auto r = std::make_unique<Read>();
  r->status = metafile_parse(text, "m.3da", *r->model, r->info);
  return r;
}

tools::LocalTime when(int year, int month, int day, int hour, int minute) {
  return tools::LocalTime{year, month, day, hour, minute, 0};
}

TEST(MetafileWriter, WritesTheExactText) {
  auto m = fresh();
  m->attributes = 1;
  m->threshold = 0.5f;
  m->num_materials = 1;
  m->polycollision = 1;
  ModelMaterial& mat = m->materials[0];
  mat.name = "HULL.TGA";
  mat.description = "Hull";
  mat.multitexture_flags = 1;
  mat.color_type = 2;
  mat.blending_mode = 1;
  mat.green_texture = "HULL.TGA";
  mat.color_alpha = {1, 0, 0};
  mat.u_tiling = 1.0f;
  mat.v_tiling = 2.5f;
  mat.mapfunc_u = Generator::defaults();
  mat.mapfunc_v = Generator::defaults();
  mat.mapfunc_v.ctrlreg = "DOOR_01";
  mat.rgbgen = ColorGenerator::defaults();
  mat.alphagen = Generator::defaults(255.0f);
  mat.alphagen.start = 12.75f;
  mat.reflect_r = mat.reflect_g = mat.reflect_b = 255;
  m->subobjects.resize(1);
  m->part_anims[0].yaw_func = Generator::defaults();
  m->part_anims[0].yaw_func.phase = 0.1239f;
  m->ambient = ColorGenerator::defaults();
  m->ambient.style = 0x18;
  m->lights.resize(1);
  m->lights[0].name = "LP1 Lamp";
  m->lights[0].colorgen = ColorGenerator::defaults();

  const std::string text = metafile_write(*m, 0.3084f, when(2026, 3, 7, 9, 5), "artist");
  const std::string expected =
      "/ 3DI metafile, saved on 3/7/2026, 9: 5\n\n\n"
      "begin general_information\n"
      "  3da_version 3\n  3di_version 2\n  username    artist\n  attributes: 1\n  render_function gnrc\n"
      "  threshold 0.500000\n  num_materials 1\n  scale_factor 0.308400\n  diffuse_set  TRUE\n"
      "  pm_enable     0\n  pm_polythresh 0\n  part_anim_enable 0\n  fakeskin_z 0\n  polycollision 1\n"
      "end general_information\n\n"
      "begin material 0\n"
      "  name \"HULL.TGA\"\n  description \"Hull\"\n  multitexture_flags 1\n  color_type 2\n  blending_mode 1\n"
      "  green_texture \"HULL.TGA\"\n  alpha_texture \"\"\n  color_alpha 1 0 0\n"
      "  u_offset 0.000000\n  v_offset 0.000000\n  u_tiling 1.000000\n  v_tiling 2.500000\n  use_alpha_pcx 0\n"
      "  mapfunc_u_style  0\n  mapfunc_u_rate   1.000000\n  mapfunc_u_start  0.000000\n  mapfunc_u_end    1.000000\n"
      "  mapfunc_u_phase  0.000000\n  mapfunc_u_ctrlreg \n"
      "  mapfunc_v_style  0\n  mapfunc_v_rate   1.000000\n  mapfunc_v_start  0.000000\n  mapfunc_v_end    1.000000\n"
      "  mapfunc_v_phase  0.000000\n  mapfunc_v_ctrlreg DOOR_01\n"
      "  rgbgen_style  0\n  rgbgen_rate   1.000000\n  rgbgen_phase  0.000000\n"
      "  rgbgen_sr     0\n  rgbgen_sg     0\n  rgbgen_sb     0\n  rgbgen_er     255\n  rgbgen_eg     255\n"
      "  rgbgen_eb     255\n  rgbgen_ctrlreg \n"
      "  alphagen_style  0\n  alphagen_rate   1.000000\n  alphagen_start  12\n  alphagen_end    255\n"
      "  alphagen_phase  0.000000\n  alphagen_ctrlreg \n"
      "  reflect_r    255\n  reflect_g    255\n  reflect_b    255\n  reflect_type 0\n  reflect_alpha 0\n"
      "  actionplane_type     0\n  projector_type       0\n  projector_no_receive 0\n"
      "  projector_yaw       0\n  projector_pitch     0\n  shader_type         0\n"
      "end material\n\n"
      "begin part_animation 0\n"
      "  rotate_type  0\n  scale_type   0\n  transform_as 0\n"
      "  yaw_rate     0.000000\n  pitch_rate   0.000000\n  roll_rate    0.000000\n"
      "  yaw_func     0 0.000 1.000 1.000 0.124 \n  pitch_func   0 0.000 0.000 0.000 0.000 \n"
      "  roll_func    0 0.000 0.000 0.000 0.000 \n  reverserotate    0\n"
      "  scale_func   0 0.000 0.000 0.000 0.000 \n  scalex_func   0 0.000 0.000 0.000 0.000 \n"
      "  scaley_func   0 0.000 0.000 0.000 0.000 \n  scalez_func   0 0.000 0.000 0.000 0.000 \n"
      "end part_animation\n\n"
      "begin ambientlight 1\n"
      "  colorgen_style  24\n  colorgen_rate   1.000000\n  colorgen_phase  0.000000\n"
      "  colorgen_start  0 0 0\n  colorgen_end    255 255 255\n"
      "end ambientlight\n\n"
      "begin light 0\n"
      "  name             \"LP1 Lamp\"\n  colorgen_style   0\n  colorgen_rate    1.000000\n"
      "  colorgen_phase   0.000000\n  colorgen_start   0 0 0\n  colorgen_end     255 255 255\n"
      "  colorgen_ctrlreg \n"
      "end light\n\n";
  EXPECT_EQ(text, expected);

  // A comma-decimal locale must not change a byte.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
    EXPECT_EQ(metafile_write(*m, 0.3084f, when(2026, 3, 7, 9, 5), "artist"), expected);
    std::setlocale(LC_ALL, "C");
  }
}

TEST(MetafileReader, DefaultsCompatibilityAndPostProcessing) {
  // Version 0 (no 3da_version line): names without extension get ".pcx".
  auto r = read(
      "/ comment\n\n"
      "begin general_information\n  num_materials 3\n  scale_factor 1.5\n end\n"
      "begin material 0\n  name wall\n  alpha_texture wall_a\n  alpha_type 2\n  use_alpha_pcx 1\nend material\n"
      "begin material 1\n  name NoName\n  green_texture grass\n  alpha_type 1\n  bump_alpha 5\nend\n"
      "begin material 2\n  name \"x.tga\"\n  bump_alpha 5\n  shader_type 4\n  alpha_texture \"gone\"\n"
      "  some_future_key 1\nend\n");
  ASSERT_TRUE(r->status) << r->status.error().message;
  const Model& m = *r->model;
  EXPECT_EQ(r->info.version, 0);
  EXPECT_TRUE(r->info.has_scale);
  EXPECT_FLOAT_EQ(r->info.scale_factor, 1.5f);
  EXPECT_FALSE(r->info.diffuse_set);
  EXPECT_EQ(m.materials[0].name.view(), "wall.pcx");
  EXPECT_EQ(m.materials[0].alpha_texture.view(), "wall_a.pcx");
  EXPECT_EQ(m.materials[0].blending_mode, 2);  // alpha texture
  EXPECT_EQ(m.materials[0].multitexture_flags, 1);
  EXPECT_EQ(m.materials[1].name.view(), "NoName");
  EXPECT_EQ(m.materials[1].green_texture.view(), "grass.pcx");
  EXPECT_EQ(m.materials[1].shader_type, 1);
  EXPECT_EQ(m.materials[1].blending_mode, 2);  // solid alpha
  EXPECT_EQ(m.materials[1].use_alpha_pcx, 0);  // no line, alpha type 1
  EXPECT_EQ(m.materials[2].shader_type, 4);    // the later line wins
  EXPECT_EQ(m.materials[2].blending_mode, 1);
  EXPECT_TRUE(m.materials[2].alpha_texture.empty());  // old file without alpha texture use
  // Defaults set at "begin material".
  EXPECT_FLOAT_EQ(m.materials[1].u_tiling, 1.0f);
  EXPECT_FLOAT_EQ(m.materials[1].mapfunc_u.end, 1.0f);
  EXPECT_FLOAT_EQ(m.materials[1].alphagen.end, 255.0f);
  EXPECT_EQ(m.materials[1].rgbgen.end_blue, 255);
  EXPECT_EQ(m.materials[1].reflect_g, 255);

  // Version 3: names stay as written; a missing use_alpha_pcx follows alpha_type 2.
  auto v3 = read(
      "begin general_information\n  3da_version 3\n  num_materials 1\nend\n"
      "begin material 0\n  name wall\n  alpha_texture a\n  alpha_type 2\nend\n");
  ASSERT_TRUE(v3->status);
  EXPECT_EQ(v3->model->materials[0].name.view(), "wall");
  EXPECT_EQ(v3->model->materials[0].alpha_texture.view(), "a");
  EXPECT_EQ(v3->model->materials[0].use_alpha_pcx, 1);
}

TEST(MetafileReader, ErrorsAndTheirLines) {
  EXPECT_EQ(read("begin material 0\n  name x\n")->status.code(), kMetafileEndInBlock);
  EXPECT_EQ(read("\n/ c\nbegin unknown_block\n")->status.code(), -3);
  EXPECT_EQ(read("name x\n")->status.code(), -1);
  // A key general_information does not define fails; other blocks skip it.
  auto bad = read("begin general_information\n  3da_version 3\n  color_type 2\nend\n");
  EXPECT_EQ(bad->status.code(), -3);
  EXPECT_EQ(bad->info.version, 3);  // what came before stays
  // Numbers with no room in the Model.
  EXPECT_EQ(read("begin material 1000\nend\n")->status.code(), -1);
  EXPECT_EQ(read("begin part_animation 64\nend\n")->status.code(), -1);
  EXPECT_EQ(read("begin light -1\nend\n")->status.code(), -1);
  EXPECT_EQ(read("begin general_information\n  num_materials 1001\nend\n")->status.code(), -2);
  // Lines are counted per read: a line longer than the reader takes counts
  // twice (its tail is read as a line of its own).
  const std::string long_line = "  description " + std::string(800, 'x') + "\n";
  EXPECT_EQ(read("begin material 0\n" + long_line + "end\noops\n")->status.code(), -5);
  EXPECT_EQ(read("/" + std::string(800, 'x') + "\n")->status.code(), -2);
  // An empty file is an empty Model.
  EXPECT_TRUE(read("")->status);
}

TEST(MetafileReader, BlocksAndGenerators) {
  auto r = read(
      "begin general_information\n  3da_version 3\n  attributes: 3\n  render_function tree\n  diffuse_set TRUE\n"
      "  pm_enable 1\n  pm_polythresh 40\nend\n"
      "begin part_animation 2\n  rotate_type 2\n  yaw_func 24 0.25 0.75 2.0 0.5 HELO_ROTOR\n"
      "  attach 7\n  reverserotate 1\nend\n"
      "begin ambientlight 0\n  colorgen_style 24\n  colorgen_start 1 2 3\n  colorgen_ctrlreg IGNORED\nend\n"
      "begin light 5\n  name \"LP1 Lamp\"\n  colorgen_style 113\n  colorgen_end 9 8 7\n  colorgen_ctrlreg "
      "FLICKER\nend\n");
  ASSERT_TRUE(r->status) << r->status.error().message;
  const Model& m = *r->model;
  EXPECT_EQ(m.attributes, 3);
  EXPECT_EQ(m.render_function.view(), "tree");
  EXPECT_TRUE(r->info.diffuse_set);
  EXPECT_EQ(m.pm_polythresh, 40);
  const PartAnimation& p = m.part_anims[2];
  EXPECT_EQ(p.rotate_type, 2);
  EXPECT_EQ(p.yaw_func.style, 24);
  EXPECT_FLOAT_EQ(p.yaw_func.start, 0.25f);
  EXPECT_FLOAT_EQ(p.yaw_func.end, 0.75f);
  EXPECT_FLOAT_EQ(p.yaw_func.rate, 2.0f);
  EXPECT_FLOAT_EQ(p.yaw_func.phase, 0.5f);
  EXPECT_EQ(p.yaw_func.ctrlreg.view(), "HELO_ROTOR");
  EXPECT_EQ(p.reverserotate, 1);
  EXPECT_EQ(m.part_anims[3].transform_as, 3);  // untouched records keep the reset
  EXPECT_EQ(m.ambient.start_blue, 3);
  EXPECT_TRUE(m.ambient.ctrlreg.empty());
  ASSERT_EQ(r->info.highest_light, 5);
  EXPECT_EQ(r->info.lights[5].name.view(), "LP1 Lamp");
  EXPECT_EQ(r->info.lights[5].colorgen.end_green, 8);
  EXPECT_EQ(r->info.lights[5].colorgen.ctrlreg.view(), "FLICKER");
}

TEST(MetafileReader, ScaleFactorMustBeAFinitePositiveNumber) {
  const struct {
    const char* value;
    bool ok;
    float scale;
  } cases[] = {
      {"nan", false, 0},       {"NaN", false, 0},      {"inf", false, 0},  {"-inf", false, 0},
      {"infinity", false, 0},  {"1e999", false, 0},    {"1e39", false, 0}, {"1e-50", false, 0},
      {"0", false, 0},         {"0.000000", false, 0}, {"-1", false, 0},   {"-0.5", false, 0},
      {"abc", false, 0},       {"", false, 0},         {"1", true, 1.0f},  {"0.3084", true, 0.3084f},
      {"2.5e2", true, 250.0f}, {"1e-3", true, 0.001f}, {"+4", true, 4.0f}, {"3.5x", true, 3.5f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string value = c.value;
    auto r = read("begin general_information\n  3da_version 3\n  scale_factor " + value + "\nend\n");
    if (c.ok) {
      ASSERT_TRUE(r->status) << r->status.error().message;
      EXPECT_TRUE(r->info.has_scale);
      EXPECT_FLOAT_EQ(r->info.scale_factor, c.scale);
      continue;
    }
    ASSERT_FALSE(r->status);
    const tools::Error& e = r->status.error();
    EXPECT_EQ(e.code, -3);
    EXPECT_EQ(e.kind, tools::ErrorKind::kParse);
    EXPECT_EQ(e.where.line, 3);
    EXPECT_EQ(e.message, "m.3da:3: scale_factor \"" + value + "\" is not a finite positive number");
    EXPECT_FALSE(r->info.has_scale);
    EXPECT_EQ(r->info.version, 3);  // what came before stays
  }
}

TEST(MetafileReader, ErrorsCarryTheFileAndLine) {
  const struct {
    const char* text;
    int code;
    long line;
    tools::ErrorKind kind;
    const char* message;
  } cases[] = {
      {"begin material 0\n  name x\n", kMetafileEndInBlock, 2, tools::ErrorKind::kEndOfFile,
       "m.3da:2: the file ends inside a block"},
      {"\n/ c\nbegin unknown_block\n", -3, 3, tools::ErrorKind::kParse, "m.3da:3: unknown block \"unknown_block\""},
      {"name x\n", -1, 1, tools::ErrorKind::kParse, "m.3da:1: \"name\" outside a block (expected \"begin\")"},
      {"begin general_information\n  color_type 2\n", -2, 2, tools::ErrorKind::kParse,
       "m.3da:2: \"color_type\" is no key of general_information"},
      {"begin general_information\n  NUM_MATERIALS 1001\n", -2, 2, tools::ErrorKind::kParse,
       "m.3da:2: num_materials 1001 is outside 0 to 1000"},
      {"begin material 1000\n", -1, 1, tools::ErrorKind::kParse, "m.3da:1: material number 1000 is outside 0 to 999"},
      {"begin part_animation -1\n", -1, 1, tools::ErrorKind::kParse,
       "m.3da:1: part animation number -1 is outside 0 to 63"},
      {"begin light 64\n", -1, 1, tools::ErrorKind::kParse, "m.3da:1: light number 64 is outside 0 to 63"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = read(c.text);
    ASSERT_FALSE(r->status);
    const tools::Error& e = r->status.error();
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.kind, c.kind);
    EXPECT_EQ(e.where.path, "m.3da");
    EXPECT_EQ(e.where.line, c.line);
    EXPECT_EQ(e.message, c.message);
  }
}

// A model as a read leaves it when its blocks hold only the defaults: one
// material, one part, both light generators and one light.
std::unique_ptr<Model> plain_model() {
  auto m = fresh();
  m->num_materials = 1;
  ModelMaterial& mat = m->materials[0];
  mat.green_texture = "p.tga";  // a colour texture without extension is read as a .pcx
  mat.multitexture_flags = 1;
  mat.blending_mode = 1;
  mat.u_tiling = mat.v_tiling = 1.0f;
  mat.mapfunc_u = mat.mapfunc_v = Generator::defaults();
  mat.rgbgen = ColorGenerator::defaults();
  mat.alphagen = Generator::defaults(255.0f);
  mat.reflect_r = mat.reflect_g = mat.reflect_b = 255;
  m->subobjects.resize(1);
  m->ambient = m->direct = ColorGenerator::defaults();
  m->ambient.style = 1;
  m->direct.style = 2;
  m->lights.resize(1);
  m->lights[0].name = "L1";
  m->lights[0].colorgen = ColorGenerator::defaults();
  return m;
}

// Reads `text` and writes it again, with the sub-object and the lights that
// the scene would give.
std::string rewritten(const std::string& text) {
  auto r = read(text);
  if (!r->status) return r->status.error().message;
  r->model->subobjects.resize(1);
  for (int i = 0; i <= r->info.highest_light; ++i) {
    ModelLight l;
    l.name = r->info.lights[static_cast<std::size_t>(i)].name;
    l.colorgen = r->info.lights[static_cast<std::size_t>(i)].colorgen;
    r->model->lights.push_back(l);
  }
  return metafile_write(*r->model, 1.0f, when(2026, 1, 2, 3, 4), "me");
}

Generator generator(int style, const char* ctrlreg) {
  Generator g;
  g.style = style;
  g.rate = 0.5f;
  g.phase = 0.75f;
  g.start = 0.125f;
  g.end = 0.25f;
  g.ctrlreg = ctrlreg;
  return g;
}

ColorGenerator color_generator(int style, const char* ctrlreg) {
  ColorGenerator g;
  g.style = style;
  g.rate = 1.5f;
  g.phase = 0.25f;
  g.start_red = 1, g.start_green = 2, g.start_blue = 3;
  g.end_red = 4, g.end_green = 5, g.end_blue = 6;
  g.ctrlreg = ctrlreg;
  return g;
}

// One field set away from its default: the lines it must be written as.
struct FieldCase {
  const char* lines;
  void (*set)(Model&);
};
const FieldCase kFieldCases[] = {
    {"  attributes: 5\n", [](Model& m) { m.attributes = 5; }},
    {"  render_function tree\n", [](Model& m) { m.render_function = "tree"; }},
    {"  threshold 0.750000\n", [](Model& m) { m.threshold = 0.75f; }},
    {"  pm_enable     1\n  pm_polythresh 40\n  part_anim_enable 2\n  fakeskin_z 7\n  polycollision 3\n",
     [](Model& m) {
       m.pm_enable = 1, m.pm_polythresh = 40, m.part_anim_enable = 2, m.fakeskin_z = 7, m.polycollision = 3;
     }},
    {"  name \"n.tga\"\n  description \"a b\"\n",
     [](Model& m) { m.materials[0].name = "n.tga", m.materials[0].description = "a b"; }},
    {"  render_attributes 65536\n", [](Model& m) { m.materials[0].render_attributes = 65536; }},
    {"  multitexture_flags 2\n", [](Model& m) { m.materials[0].multitexture_flags = 2; }},
    {"  physical_attributes 8\n", [](Model& m) { m.materials[0].physical_attributes = 8; }},
    {"  color_type 2\n  alpha_type 1\n  blending_mode 4\n",
     [](Model& m) { m.materials[0].color_type = 2, m.materials[0].alpha_type = 1, m.materials[0].blending_mode = 4; }},
    {"  green_texture \"g.tga\"\n  alpha_texture \"a.tga\"\n",
     [](Model& m) { m.materials[0].green_texture = "g.tga", m.materials[0].alpha_texture = "a.tga"; }},
    {"  color_green 1 2 3\n",
     [](Model& m) {
       m.materials[0].color_green = {1, 2, 3};
     }},
    {"  color_alpha 4 5 6\n",
     [](Model& m) {
       m.materials[0].color_alpha = {4, 5, 6};
     }},
    {"  luminosity 11\n  transparency 12\n  specular_intensity 13\n  specular_sharpness 14\n",
     [](Model& m) {
       ModelMaterial& x = m.materials[0];
       x.luminosity = 11, x.transparency = 12, x.specular_intensity = 13, x.specular_sharpness = 14;
     }},
    {"  anim_frames 15\n  anim_time 16\n  anim_sequence 17\n  alpha_test 200\n",
     [](Model& m) {
       ModelMaterial& x = m.materials[0];
       x.anim_frames = 15, x.anim_time = 16, x.anim_sequence = 17, x.alpha_test = 200;
     }},
    {"  u_offset 0.250000\n  v_offset 0.500000\n  u_tiling 2.000000\n  v_tiling 3.000000\n  use_alpha_pcx 1\n",
     [](Model& m) {
       ModelMaterial& x = m.materials[0];
       x.u_offset = 0.25f, x.v_offset = 0.5f, x.u_tiling = 2.0f, x.v_tiling = 3.0f, x.use_alpha_pcx = 1;
     }},
    {"  mapfunc_u_style  5\n  mapfunc_u_rate   0.500000\n  mapfunc_u_start  0.125000\n  mapfunc_u_end    0.250000\n"
     "  mapfunc_u_phase  0.750000\n  mapfunc_u_ctrlreg DOOR_01\n",
     [](Model& m) { m.materials[0].mapfunc_u = generator(5, "DOOR_01"); }},
    {"  mapfunc_v_style  6\n  mapfunc_v_rate   0.500000\n  mapfunc_v_start  0.125000\n  mapfunc_v_end    0.250000\n"
     "  mapfunc_v_phase  0.750000\n  mapfunc_v_ctrlreg DOOR_02\n",
     [](Model& m) { m.materials[0].mapfunc_v = generator(6, "DOOR_02"); }},
    {"  rgbgen_style  7\n  rgbgen_rate   1.500000\n  rgbgen_phase  0.250000\n  rgbgen_sr     1\n  rgbgen_sg     2\n"
     "  rgbgen_sb     3\n  rgbgen_er     4\n  rgbgen_eg     5\n  rgbgen_eb     6\n  rgbgen_ctrlreg AUDIO_BEAT\n",
     [](Model& m) { m.materials[0].rgbgen = color_generator(7, "AUDIO_BEAT"); }},
    {"  alphagen_style  8\n  alphagen_rate   0.500000\n  alphagen_start  10\n  alphagen_end    20\n"
     "  alphagen_phase  0.750000\n  alphagen_ctrlreg FADE\n",
     [](Model& m) {
       m.materials[0].alphagen = generator(8, "FADE");
       m.materials[0].alphagen.start = 10.0f, m.materials[0].alphagen.end = 20.0f;
     }},
    {"  reflect_r    1\n  reflect_g    2\n  reflect_b    3\n  reflect_type 258\n  reflect_alpha 9\n",
     [](Model& m) {
       ModelMaterial& x = m.materials[0];
       x.reflect_r = 1, x.reflect_g = 2, x.reflect_b = 3, x.reflect_type = 258, x.reflect_alpha = 9;
     }},
    {"  actionplane_type     1\n  projector_type       2\n  projector_no_receive 3\n  projector_yaw       30\n"
     "  projector_pitch     -45\n  shader_type         11\n",
     [](Model& m) {
       ModelMaterial& x = m.materials[0];
       x.actionplane_type = 1, x.projector_type = 2, x.projector_no_receive = 3;
       x.projector_yaw = 30, x.projector_pitch = -45, x.shader_type = 11;
     }},
    {"  rotate_type  2\n  scale_type   1\n  transform_as 5\n",
     [](Model& m) {
       m.part_anims[0].rotate_type = 2, m.part_anims[0].scale_type = 1, m.part_anims[0].transform_as = 5;
     }},
    {"  yaw_rate     0.500000\n  pitch_rate   1.500000\n  roll_rate    -2.000000\n",
     [](Model& m) {
       m.part_anims[0].yaw_rate = 0.5f, m.part_anims[0].pitch_rate = 1.5f, m.part_anims[0].roll_rate = -2;
     }},
    {"  yaw_func     1 0.125 0.250 0.500 0.750 Y\n  pitch_func   2 0.125 0.250 0.500 0.750 P\n"
     "  roll_func    3 0.125 0.250 0.500 0.750 R\n  reverserotate    1\n",
     [](Model& m) {
       PartAnimation& p = m.part_anims[0];
       p.yaw_func = generator(1, "Y"), p.pitch_func = generator(2, "P"), p.roll_func = generator(3, "R");
       p.reverserotate = 1;
     }},
    {"  scale_func   4 0.125 0.250 0.500 0.750 S\n  scalex_func   5 0.125 0.250 0.500 0.750 X\n"
     "  scaley_func   6 0.125 0.250 0.500 0.750 \n  scalez_func   7 0.125 0.250 0.500 0.750 Z\n",
     [](Model& m) {
       PartAnimation& p = m.part_anims[0];
       p.scale_func = generator(4, "S"), p.scalex_func = generator(5, "X");
       p.scaley_func = generator(6, ""), p.scalez_func = generator(7, "Z");
     }},
    {"begin ambientlight 1\n  colorgen_style  24\n  colorgen_rate   1.500000\n  colorgen_phase  0.250000\n"
     "  colorgen_start  1 2 3\n  colorgen_end    4 5 6\nend ambientlight\n",
     [](Model& m) { m.ambient = color_generator(24, "NOT_WRITTEN"); }},
    {"begin directlight 1\n  colorgen_style  25\n  colorgen_rate   1.500000\n  colorgen_phase  0.250000\n"
     "  colorgen_start  1 2 3\n  colorgen_end    4 5 6\nend directlight\n",
     [](Model& m) { m.direct = color_generator(25, "NOT_WRITTEN"); }},
    {"  name             \"LP1 Lamp\"\n  colorgen_style   26\n  colorgen_rate    1.500000\n"
     "  colorgen_phase   0.250000\n  colorgen_start   1 2 3\n  colorgen_end     4 5 6\n  colorgen_ctrlreg FLICKER\n",
     [](Model& m) {
       m.lights[0].name = "LP1 Lamp";
       m.lights[0].colorgen = color_generator(26, "FLICKER");
     }},
};

// Each field is written under its own key and read back from it.
TEST(MetafileKeys, EveryFieldIsWrittenUnderItsKeyAndReadBack) {
  const std::string plain = metafile_write(*plain_model(), 1.0f, when(2026, 1, 2, 3, 4), "me");
  ASSERT_EQ(rewritten(plain), plain);
  for (const FieldCase& c : kFieldCases) {
    SCOPED_TRACE(c.lines);
    auto m = plain_model();
    c.set(*m);
    const std::string text = metafile_write(*m, 1.0f, when(2026, 1, 2, 3, 4), "me");
    EXPECT_NE(text.find(c.lines), std::string::npos) << text;
    EXPECT_EQ(rewritten(text), text);
  }
}

TEST(MetafileKeys, KeysAndBlockNamesAreReadWithoutRegardToCase) {
  auto m = plain_model();
  for (const FieldCase& c : kFieldCases) c.set(*m);
  const std::string text = metafile_write(*m, 1.0f, when(2026, 1, 2, 3, 4), "me");
  // The first two tokens of every line in upper case: keys, "begin", "end"
  // and block names, and values that do not change when upper-cased.
  std::string upper;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start) + 1;
    std::string line = text.substr(start, end - start);
    const bool block_line = line.rfind("begin ", 0) == 0 || line.rfind("end ", 0) == 0;
    const std::size_t cut = block_line ? line.size() : line.find_first_not_of(' ', line.find_first_not_of(' ') + 1);
    const std::size_t key_end = line.find(' ', line.find_first_not_of(' '));
    for (std::size_t i = 0; i < std::min(block_line ? cut : key_end, line.size()); ++i) line[i] = ascii_upper(line[i]);
    upper += line;
    start = end;
  }
  ASSERT_NE(upper.find("  MAPFUNC_U_CTRLREG DOOR_01\n"), std::string::npos);
  EXPECT_EQ(rewritten(upper), text);
}

// Write then read gives the same Model, up to the written precision.
TEST(MetafileRoundTrip, RandomModelsReadBackEqual) {
  std::mt19937 rng(7);
  auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
  auto integer = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto generator = [&](float end) {
    Generator g;
    g.style = integer(0, 0x74);
    g.rate = real(0, 8);
    g.phase = real(0, 1);
    g.start = real(-4, 4);
    g.end = real(0, end);
    g.ctrlreg = integer(0, 1) ? "DOOR_03" : "";
    return g;
  };
  for (int iter = 0; iter < 30; ++iter) {
    auto m = fresh();
    m->attributes = integer(0, 3);
    m->threshold = real(0, 10);
    m->pm_enable = integer(0, 1);
    m->num_materials = integer(0, 12);
    for (int i = 0; i < m->num_materials; ++i) {
      ModelMaterial& mat = m->materials[static_cast<std::size_t>(i)];
      mat.name = "tex" + std::to_string(i) + ".tga";
      mat.description = "mat " + std::to_string(i);
      mat.render_attributes = integer(0, 3) * 65536;
      mat.multitexture_flags = integer(1, 2);
      mat.physical_attributes = integer(0, 8);
      mat.color_type = integer(0, 2);
      mat.alpha_type = integer(0, 2);
      mat.use_alpha_pcx = integer(0, 1);
      mat.blending_mode = integer(1, 5);
      mat.green_texture = "g" + std::to_string(i) + ".tga";
      mat.alpha_texture = integer(0, 1) ? "a.tga" : "";
      mat.color_green = {static_cast<uint8_t>(integer(0, 255)), 0, 3};
      mat.alpha_test = static_cast<uint8_t>(integer(0, 255));
      mat.luminosity = integer(0, 100);
      mat.u_offset = real(-1, 1);
      mat.v_tiling = real(0, 16);
      mat.mapfunc_u = generator(1);
      mat.mapfunc_v = generator(1);
      mat.rgbgen.style = integer(0, 0x72);
      mat.rgbgen.rate = real(0, 3);
      mat.rgbgen.end_green = integer(0, 255);
      mat.rgbgen.ctrlreg = "AUDIO_BEAT";
      mat.alphagen = generator(255);
      mat.alphagen.start = static_cast<float>(integer(0, 255));
      mat.alphagen.end = static_cast<float>(integer(0, 255));
      mat.reflect_type = 258;
      mat.shader_type = integer(0, 20);
      mat.projector_yaw = integer(-90, 90);
    }
    const int parts = integer(0, 5);
    m->subobjects.resize(static_cast<std::size_t>(parts));
    for (int i = 0; i < parts; ++i) {
      PartAnimation& p = m->part_anims[static_cast<std::size_t>(i)];
      p.rotate_type = integer(0, 4);
      p.transform_as = integer(0, 5);
      p.yaw_rate = real(-3, 3);
      p.pitch_func = generator(2);
      p.scalez_func = generator(2);
      p.reverserotate = integer(0, 1);
    }
    m->direct.style = integer(0, 1) * 0x18;
    m->direct.rate = 1.0f;
    m->direct.end_red = integer(0, 255);

    const std::string text = metafile_write(*m, 0.3084f, when(2026, 1, 2, 3, 4), "me");
    auto back = read(text);
    ASSERT_TRUE(back->status) << back->status.error().message;
    Model& b = *back->model;
    // The metafile holds no geometry: give the copy the same number of
    // sub-objects, and its text must come out the same.
    b.subobjects.resize(static_cast<std::size_t>(parts));
    EXPECT_TRUE(metafile_write(b, 0.3084f, when(2026, 1, 2, 3, 4), "me") == text) << "iteration " << iter;
    ASSERT_EQ(b.num_materials, m->num_materials);
    for (int i = 0; i < m->num_materials; ++i) {
      const ModelMaterial& x = m->materials[static_cast<std::size_t>(i)];
      const ModelMaterial& y = b.materials[static_cast<std::size_t>(i)];
      EXPECT_EQ(x.description.view(), y.description.view());
      EXPECT_EQ(x.blending_mode, y.blending_mode);
      EXPECT_EQ(x.color_green, y.color_green);
      EXPECT_EQ(x.alpha_test, y.alpha_test);
      EXPECT_NEAR(x.u_offset, y.u_offset, 1e-6);
      EXPECT_NEAR(x.mapfunc_u.phase, y.mapfunc_u.phase, 1e-6);
      EXPECT_EQ(x.mapfunc_v.ctrlreg.view(), y.mapfunc_v.ctrlreg.view());
      EXPECT_EQ(x.alphagen.start, y.alphagen.start);
    }
    for (int i = 0; i < parts; ++i) {
      const PartAnimation& x = m->part_anims[static_cast<std::size_t>(i)];
      const PartAnimation& y = b.part_anims[static_cast<std::size_t>(i)];
      EXPECT_NEAR(x.pitch_func.start, y.pitch_func.start, 5e-4);
      EXPECT_NEAR(x.scalez_func.phase, y.scalez_func.phase, 5e-4);
      EXPECT_EQ(x.pitch_func.ctrlreg.view(), y.pitch_func.ctrlreg.view());
      EXPECT_EQ(x.transform_as, y.transform_as);
    }
    EXPECT_EQ(b.direct.style, m->direct.style);
    if (m->direct.style != 0) {
      EXPECT_EQ(b.direct.end_red, m->direct.end_red);
    }
  }
}

}  // namespace
}  // namespace orvo
