#pragma once
// The preview's fourteen ps.1.1 pixel-shader programs: their instruction
// text, a parser, an evaluator on the CPU (the reference the GL side is
// checked against) and a translator to GLSL 3.30 with the same arithmetic.
//
// Registers: t0..t3 texture registers, r0 r1 temporaries, v0 v1 the diffuse
// and specular vertex colours, c0..c7 constants (written c4 or c[4]). A
// `def` line fixes a constant for its program; the others come from the
// caller. Ranges follow the ps.1.1 hardware: samples, v0 and v1 hold 0..1,
// constants -1..1, and every arithmetic result is clamped to -1..1 after its
// modifiers; the program's colour is r0 at the end, saturated to 0..1.
//
// Texture instructions:
//   tex tN                  tN = sample of stage N at texture coordinate set N (.xy)
//   texm3x2pad tN, s        u = dot(tcN.xyz, s.rgb)
//   texm3x2tex tN+1, s      v = dot(tcN+1.xyz, s.rgb); tN+1 = sample of stage N+1 at (u, v)
//   texm3x3pad tN, s        nx = dot(tcN.xyz, s.rgb)
//   texm3x3pad tN+1, s      ny = dot(tcN+1.xyz, s.rgb)
//   texm3x3vspec t3, s      nz = dot(tc3.xyz, s.rgb); eye e = the three sets' .w;
//                           t3 = cube sample in direction 2·n·dot(n,e)/dot(n,n) − e
//                           (−e where n is zero, which has no reflection)
// Arithmetic: mov add mul mad lrp dp3, with _x2 and _sat on the instruction,
// _bx2 and the alpha replicate .a on sources, .rgb / .a write masks, and a
// leading '+' co-issuing an instruction with the one before (both read their
// sources before either writes).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

using Vec4 = std::array<float, 4>;

inline constexpr int kPixelShaderCount = 14;

// Program `k` (0..13) of the preview's table, one instruction a line; empty
// for any other number.
std::string_view pixel_shader_text(int k);

enum class PsOp { kTex, kTexM3x2Pad, kTexM3x2Tex, kTexM3x3Pad, kTexM3x3VSpec, kMov, kAdd, kMul, kMad, kLrp, kDp3 };
enum class PsFile { kTexture, kTemp, kColour, kConst };

struct PsSource {
  PsFile file = PsFile::kTemp;
  int index = 0;
  bool bias_x2 = false;          // _bx2: 2x - 1
  bool replicate_alpha = false;  // .a
};

struct PsInstruction {
  PsOp op = PsOp::kMov;
  PsFile dest_file = PsFile::kTemp;
  int dest = 0;
  bool write_rgb = true;
  bool write_alpha = true;
  bool times2 = false;    // _x2
  bool saturate = false;  // _sat
  bool coissue = false;   // '+': issued together with the instruction before
  std::vector<PsSource> sources;
  int line = 0;      // 1-based line of the program text
  std::string text;  // that line, trimmed
};

struct PsProgram {
  std::vector<PsInstruction> instructions;
  std::array<std::optional<Vec4>, 8> defs;  // constants fixed by `def`
};

// None, with `error` (when given) naming the line and what is wrong, for an
// unknown instruction, register or modifier, a wrong operand count, a
// texture-matrix instruction out of its sequence or a co-issue without a
// partner. Empty lines, a "ps.1.1" version line and text after "//" are
// passed over.
std::optional<PsProgram> parse_pixel_shader(std::string_view text, std::string* error = nullptr);

struct PsInputs {
  std::array<Vec4, 4> texcoord{};
  Vec4 v0{}, v1{};
  std::array<Vec4, 8> c{};
  // Missing samplers give transparent black.
  std::function<Vec4(int stage, float u, float v)> sample2d;
  std::function<Vec4(float x, float y, float z)> sample_cube;
};

// The colour the program writes for one pixel, each channel in 0..1.
Vec4 evaluate_pixel_shader(const PsProgram& program, const PsInputs& inputs);

// A GLSL 3.30 core fragment shader computing the same colour:
//   in vec4 v_tex0, v_tex1, v_tex2, v_tex3; in vec4 v_diffuse; in vec4 v_specular;
//   uniform sampler2D u_tex0 .. u_tex3; uniform samplerCube u_cube3; uniform vec4 u_c[8];
//   vec4 shade_pixel();   // r0, not yet saturated
// With `with_main`, "out vec4 frag_colour;" and a main writing the saturated
// colour follow; without, the caller appends its own output and main.
// `cube_stages` (bit n for stage n) names the stages whose `tex` reads a
// cube map, `uniform samplerCube u_cubeN`, in the direction of v_texN.xyz
// (a normalising cube map looked up by a light vector, say).
std::string pixel_shader_glsl(const PsProgram& program, bool with_main = true, uint32_t cube_stages = 0);

}  // namespace orvo
