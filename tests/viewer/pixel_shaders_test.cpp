// The preview's pixel shaders on the CPU: every program parses; modifiers,
// ranges, co-issue and the texture-matrix forms give hand-worked values;
// whole programs 0, 7 and 12 on worked inputs; parse errors name the line.
#include "orvo/viewer/pixel_shaders.h"

#include <gtest/gtest.h>

namespace orvo {
namespace {

// Stage 0 returns `normal`, stage 3 `stage3`; other stages return their
// coordinates (u, v, stage / 4, 1); the cube returns its direction mapped
// from -2..2 onto 0..1.
PsInputs make_inputs(Vec4 normal = {}, Vec4 stage3 = {}) {
  PsInputs in;
  in.sample2d = [normal, stage3](int stage, float u, float v) -> Vec4 {
    if (stage == 0) return normal;
    if (stage == 3) return stage3;
    return {u, v, static_cast<float>(stage) / 4.0f, 1.0f};
  };
  in.sample_cube = [](float x, float y, float z) -> Vec4 {
    return {x * 0.25f + 0.5f, y * 0.25f + 0.5f, z * 0.25f + 0.5f, 1.0f};
  };
  return in;
}

Vec4 run(std::string_view text, const PsInputs& in) {
  std::string error;
  const auto program = parse_pixel_shader(text, &error);
  EXPECT_TRUE(program.has_value()) << error;
  return program ? evaluate_pixel_shader(*program, in) : Vec4{-9, -9, -9, -9};
}

void expect_near(const Vec4& got, const Vec4& want, const std::string& what) {
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1e-5f) << what << ", channel " << i;
}

TEST(PixelShaders, EveryProgramOfTheTableParses) {
  for (int k = 0; k < kPixelShaderCount; ++k) {
    std::string error;
    const auto program = parse_pixel_shader(pixel_shader_text(k), &error);
    ASSERT_TRUE(program.has_value()) << "program " << k << ": " << error;
    EXPECT_FALSE(program->instructions.empty()) << k;
  }
  EXPECT_TRUE(pixel_shader_text(-1).empty());
  EXPECT_TRUE(pixel_shader_text(kPixelShaderCount).empty());
}

TEST(PixelShaders, ArithmeticModifiersAndRanges) {
  struct Case {
    const char* what;
    const char* text;
    Vec4 v0, v1, c0, c1, c2;
    Vec4 want;
  };
  const Case cases[] = {
      {"_bx2 maps 0..1 onto -1..1",
       "mov r1, v0_bx2\nadd r0, r1, c0",
       {0.75f, 0.25f, 1, 0.5f},
       {},
       {0.25f, 0.75f, 0, 0.5f},
       {},
       {},
       {0.75f, 0.25f, 1, 0.5f}},
      {"_x2 doubles, then the result is held to 1",
       "mul_x2 r1, v0, c0\nadd r0, r1, c1",
       {0.75f, 0.25f, 1, 0.5f},
       {},
       {1, 1, 1, 1},
       {-0.5f, -0.5f, -0.5f, -0.5f},
       {},
       {0.5f, 0, 0.5f, 0.5f}},
      {"results are held to -1",
       "add r1, v0_bx2, c0\nmad r0, r1, c2, c1",
       {},
       {},
       {-1, -1, -1, -1},
       {1, 1, 1, 1},
       {0.5f, 0.5f, 0.5f, 0.5f},
       {0.5f, 0.5f, 0.5f, 0.5f}},
      {"_sat clamps to 0..1",
       "mul_sat r1, v0_bx2, c0\nadd r0, r1, c1",
       {0, 1, 0.25f, 0.5f},
       {},
       {1, 1, 1, 1},
       {0.25f, 0.25f, 0.25f, 0.25f},
       {},
       {0.25f, 1, 0.25f, 0.25f}},
      {"constants read as -1..1",
       "mul r0, c0, v0",
       {0.5f, 0.5f, 0.5f, 0.5f},
       {},
       {2, 2, 0.5f, -3},
       {},
       {},
       {0.5f, 0.5f, 0.25f, 0}},
      {"vertex colours read as 0..1",
       "mul r0, v0, c0",
       {1.5f, -1, 0.5f, 1},
       {},
       {0.5f, 0.5f, 0.5f, 0.5f},
       {},
       {},
       {0.5f, 0, 0.25f, 0.5f}},
      {".a replicates alpha", "mov r0, v0.a", {0.1f, 0.2f, 0.3f, 0.6f}, {}, {}, {}, {}, {0.6f, 0.6f, 0.6f, 0.6f}},
      {".a and _bx2 in either order",
       "mov r1, v0.a_bx2\nmov r0, v0_bx2.a\nadd r0, r0, r1",
       {0, 0, 0, 0.75f},
       {},
       {},
       {},
       {},
       {1, 1, 1, 1}},
      {"write masks",
       "mov r0, v0\nmov r0.a, v1\nmov r1.rgb, v1\nadd r0.rgb, r0, r1",
       {0.5f, 0.25f, 0.125f, 0.9f},
       {0.25f, 0.5f, 0.125f, 0.3f},
       {},
       {},
       {},
       {0.75f, 0.75f, 0.25f, 0.3f}},
      {"dp3 writes the dot product to every channel",
       "dp3 r0, v0, c0",
       {0.5f, 0.5f, 0.5f, 1},
       {},
       {0.2f, 0.4f, 0.2f, 1},
       {},
       {},
       {0.4f, 0.4f, 0.4f, 0.4f}},
      {"lrp",
       "lrp r0, c0, v0, v1",
       {0.8f, 0.8f, 0.8f, 0.8f},
       {0.4f, 0.4f, 0.4f, 0.4f},
       {0.25f, 1, 0, 0.5f},
       {},
       {},
       {0.5f, 0.8f, 0.4f, 0.6f}},
      {"co-issue: the second reads before the first writes",
       "mov r0, v0\nmov r0.rgb, v1\n+dp3 r0.a, r0, c0",
       {0.5f, 0, 0, 0.2f},
       {0.25f, 0, 0, 0.7f},
       {1, 0, 0, 0},
       {},
       {},
       {0.25f, 0, 0, 0.5f}},
      {"co-issue: the first reads before the second writes",
       "mov r0, v0\nmov r0.rgb, r0.a\n+mov r0.a, v1",
       {0.5f, 0, 0, 0.2f},
       {0.25f, 0, 0, 0.7f},
       {},
       {},
       {},
       {0.2f, 0.2f, 0.2f, 0.7f}},
      {"version line, comments and c4 / c[4] spellings",
       "ps.1.1\n// nothing\nmov r0, c[1]  // note\n\nadd r0, r0, c2",
       {},
       {},
       {},
       {0.25f, 0, 0, 0},
       {0.25f, 0, 0, 0},
       {0.5f, 0, 0, 0}},
      {"the colour is saturated", "mov r0, v0_bx2", {0, 1, 0.5f, 0.25f}, {}, {}, {}, {}, {0, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    PsInputs in = make_inputs();
    in.v0 = c.v0;
    in.v1 = c.v1;
    in.c[0] = c.c0;
    in.c[1] = c.c1;
    in.c[2] = c.c2;
    expect_near(run(c.text, in), c.want, c.what);
  }
}

TEST(PixelShaders, TextureMatrixForms) {
  // t0_bx2 = (1, 0, 0.5).
  const Vec4 normal{1, 0.5f, 0.75f, 1};
  struct Case {
    const char* what;
    const char* text;
    Vec4 normal;
    std::array<Vec4, 4> tc;
    Vec4 want;
  };
  const Case cases[] = {
      // u = 0.25 + 0.25, v = 0.1 + 0.2, sampled on stage 2.
      {"texm3x2",
       "tex t0\ntexm3x2pad t1, t0_bx2\ntexm3x2tex t2, t0_bx2\nmov r0, t2",
       normal,
       {{{}, {0.25f, 0.9f, 0.5f, 0}, {0.1f, 0.3f, 0.4f, 0}, {}}},
       {0.5f, 0.3f, 0.5f, 1}},
      // n = (1, 0, 1), e = (1, 2, 0): dot(n, e) = 1, dot(n, n) = 2, r = n - e.
      {"texm3x3vspec",
       "tex t0\ntexm3x3pad t1, t0_bx2\ntexm3x3pad t2, t0_bx2\ntexm3x3vspec t3, t0_bx2\nmov r0, t3",
       normal,
       {{{}, {1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 2, 0}}},
       {0.5f, 0, 0.75f, 1}},
      // A flat texel gives n = 0, which reflects nothing: the direction is -e.
      {"texm3x3vspec of a zero normal",
       "tex t0\ntexm3x3pad t1, t0_bx2\ntexm3x3pad t2, t0_bx2\ntexm3x3vspec t3, t0_bx2\nmov r0, t3",
       {0.5f, 0.5f, 0.5f, 1},
       {{{}, {1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 2, 0}}},
       {0.25f, 0, 0.5f, 1}},
  };
  for (const auto& c : cases) {
    PsInputs in = make_inputs(c.normal);
    in.texcoord = c.tc;
    expect_near(run(c.text, in), c.want, c.what);
  }
}

TEST(PixelShaders, WholeProgramsOnWorkedInputs) {
  struct Case {
    int program;
    Vec4 normal, stage3;
    std::array<Vec4, 4> tc;
    Vec4 v0, v1, c4;
    Vec4 want;
  };
  // Program 0 samples t1 on stage 1, which returns its coordinates.
  // 0: dp3 of (1,0,0) and (0.5,0,0) = 0.5; * c4 + v1 = (0.75, 0.5, 0.25, 0.5);
  //    * 2 * t1 (0.5, 0.5, 0.25, 1), then t1's alpha.
  // 12: t2 = (0.5, 0.3, 0.5, 1) as in the texm3x2 case; t3 = (c4 defined, 0.5);
  //    lrp -> (0.5, 0, 0.5, 0); dp3 -> 0.5; * 0.5 -> 0.25; * 2 * c3 -> (0.25, 0.25, 0.25, 0);
  //    + t3 -> (0.35, 0.35, 0.65, 0.5); * 2 * v0 -> (0.35, 0.7, 0.65, 0.8); + t3 * c0.
  const Case cases[] = {
      {0,
       {1, 0.5f, 0.5f, 1},
       {},
       {{{}, {0.5f, 0.5f, 0, 0}, {}, {}}},
       {0.75f, 0.5f, 0.5f, 1},
       {0.25f, 0.25f, 0.125f, 0},
       {1, 0.5f, 0.25f, 1},
       {0.75f, 0.5f, 0.125f, 1}},
      {7, {0.2f, 0.4f, 0.6f, 0.8f}, {}, {}, {}, {}, {}, {0.8f, 0.8f, 0.8f, 0.8f}},
      {12,
       {1, 0.5f, 0.75f, 1},
       {0.9f, 0.9f, 0.9f, 0.5f},
       {{{}, {0.25f, 0.9f, 0.5f, 0}, {0.1f, 0.3f, 0.4f, 0}, {}}},
       {0.5f, 1, 0.5f, 0.8f},
       {},
       {0.9f, 0.9f, 0.9f, 0.9f},
       {0.4f, 0.75f, 0.85f, 1}},
  };
  for (const auto& c : cases) {
    PsInputs in = make_inputs(c.normal, c.stage3);
    in.texcoord = c.tc;
    in.v0 = c.v0;
    in.v1 = c.v1;
    in.c[4] = c.c4;
    expect_near(run(pixel_shader_text(c.program), in), c.want, "program " + std::to_string(c.program));
  }
}

TEST(PixelShaders, ParseErrorsNameTheLineAndTheFault) {
  const std::pair<const char*, const char*> cases[] = {
      {"tex t0\nfoo r0, t0", "line 2 (foo r0, t0): unknown instruction 'foo'"},
      {"mov r2, v0", "unknown register 'r2'"},
      {"mov r0, c8", "unknown register 'c8'"},
      {"mov r0, c[9]", "unknown register 'c[9]'"},
      {"mov r0, v0_bx3", "unknown source modifier '_bx3'"},
      {"mul_x3 r0, v0, v1", "unknown instruction modifier '_x3'"},
      {"tex_sat t0", "unknown instruction modifier '_sat'"},
      {"mov r0.xy, v0", "unknown write mask '.xy'"},
      {"add r0, v0", "add takes 3 operands"},
      {"mov v0, r0", "'v0' cannot be written"},
      {"tex r0", "tex writes a texture register"},
      {"+mov r0, v0", "'+' pairs"},
      {"tex t0\n+mov r0, v0", "'+' pairs"},
      {"mov r0.rgb, v0\n+mov r0, v1", "write the same channels"},
      {"texm3x2tex t2, t0", "comes after its pad instructions"},
      {"tex t0\ntexm3x2pad t1, t0\nmov r0, t0", "line 3 (mov r0, t0): the texture matrix needs texm3x2tex t2 next"},
      {"texm3x3pad t0, t0\ntexm3x3pad t1, t0\ntexm3x3vspec t2, t0", "reads the cube map of stage 3"},
      {"texm3x3pad t1, t0", "the texture matrix is not finished"},
      {"def c[1], 1, 0, x, 0", "'x' is not a number"},
      {"def r1, 1, 0, 0, 0", "def sets a constant register"},
      {"def c1, 1, 0, 0", "def takes a constant register and four numbers"},
  };
  for (const auto& [text, message] : cases) {
    std::string error;
    EXPECT_FALSE(parse_pixel_shader(text, &error).has_value()) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << "\n  gave: " << error;
  }
}

TEST(PixelShaders, GlslKeepsTheRenderersNamesAndLeavesMainToTheCaller) {
  const auto program = parse_pixel_shader(pixel_shader_text(12));
  ASSERT_TRUE(program.has_value());
  const std::string full = pixel_shader_glsl(*program);
  const std::string bare = pixel_shader_glsl(*program, false);
  for (const char* name :
       {"#version 330 core", "in vec4 v_tex3;", "in vec4 v_specular;", "uniform samplerCube u_cube3;",
        "uniform vec4 u_c[8];", "vec4 shade_pixel()", "vec4 c4 = vec4(0.1, 0.1, 0.4, 1.0);"})
    EXPECT_NE(bare.find(name), std::string::npos) << name;
  EXPECT_EQ(bare.find("main"), std::string::npos);
  EXPECT_EQ(full.rfind(bare, 0), 0u);
  EXPECT_NE(full.find("out vec4 frag_colour;"), std::string::npos);
}

}  // namespace
}  // namespace orvo
