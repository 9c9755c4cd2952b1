// Generators: the style codes and their lists, the control registers, the
// wave table and the evaluation of a generator over time.
//
// A generator either runs a periodic wave (rate in cycles per second, phase
// in cycles) or follows a control register, a 16.16 value the game feeds in
// at run time; the result is mapped linearly from start (wave value 0) to end
// (wave value 1). Evaluation works on the compact fixed-point form that the
// exporter writes and the viewer reads (`PackedGenerator`,
// `PackedColourGenerator`), so the tool's preview animates exactly as the game
// does.
//
// Any style that the lists below do not define (the separator codes, an
// operation nibble above 7, 0x12, 0x75, ...) behaves as style 0: inactive for
// colours, alpha and part functions, an unchanged coordinate for the mapping
// generators.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

#include "orvo/model/model.h"
#include "orvo/model/named_values.h"

namespace orvo {

// ---------------------------------------------------------------------------
// Style codes. The high nibble is the operation, the low nibble the wave.

inline constexpr int kStyleNone = 0x00;
inline constexpr int kStyleSlide = 0x10;
inline constexpr int kStyleSlideInverse = 0x11;
inline constexpr int kStyleSet = 0x18;
inline constexpr int kStyleRotateCw = 0x20;
inline constexpr int kStyleRotateCcw = 0x21;
// Wave groups: group base + wave code (the base itself is the group's
// separator in the lists, not a style).
inline constexpr int kStyleSetWave = 0x30;
inline constexpr int kStyleAddWave = 0x40;
inline constexpr int kStyleSkewWave = 0x50;
inline constexpr int kStyleMultWave = 0x60;
inline constexpr int kStyleCtrlRegGroup = 0x70;  // separator of the register styles
inline constexpr int kStyleSetCtrlReg = 0x71;
inline constexpr int kStyleAddCtrlReg = 0x72;
inline constexpr int kStyleSkewCtrlReg = 0x73;
inline constexpr int kStyleMultCtrlReg = 0x74;

// Wave codes (the low nibble of a wave style).
inline constexpr int kWaveSquare = 1;
inline constexpr int kWaveSine = 2;
inline constexpr int kWaveTriangle = 3;
inline constexpr int kWaveSaw = 4;
inline constexpr int kWaveInverseSaw = 5;
inline constexpr int kWaveRandom = 6;
inline constexpr int kWaveSmoothRandom = 7;
inline constexpr int kWaveHalfSine = 8;
inline constexpr int kWavePulse = 9;
inline constexpr int kWaveVibrate = 10;
inline constexpr int kWaveHeartbeat = 15;

// Text of the separator rows of the style lists.
inline constexpr std::string_view kStyleSeparator = "------------------------";

// The waves in list order: "Square" 1 ... "Vibrate" 10, "Heartbeat" 15.
extern const NamedValue kWaveNames[];
// The three style lists, in the order the editors show them; separator rows
// carry the code of the group they open.
extern const NamedValue kMappingStyles[];    // the two texture mapping generators
extern const NamedValue kScalarSetStyles[];  // alphagen and the part animation functions
extern const NamedValue kColourStyles[];     // rgbgen and the light colour generators

// Display name of a style as the lists show it ("Mult Wave - Inverse Saw",
// "Set - Control Register"); a separator code gives the separator text; a
// code no list holds gives an empty view.
std::string_view style_name(int style);

// True for the styles that follow a control register (codes above 0x70):
// their compact form holds the register index where the phase would be.
inline constexpr bool style_uses_ctrlreg(int style) {
  return style > kStyleCtrlRegGroup;
}

// ---------------------------------------------------------------------------
// Control registers: named int32 values in 16.16 fixed point (65536 = 1.0).

inline constexpr int kNumEditorCtrlRegs = 59;
inline constexpr int kNumCtrlRegs = 70;

// The built-in names the editors offer first, in their list order.
extern const std::array<std::string_view, kNumEditorCtrlRegs> kEditorCtrlRegNames;
// The run-time names; a register's index is its position here.
extern const std::array<std::string_view, kNumCtrlRegs> kCtrlRegNames;

// Run-time index of a register name, compared without regard to case; a
// name not in the run-time table gives 0 (LOD_FRAC).
int ctrlreg_lookup(std::string_view name);

// The register values an evaluation reads, as the game feeds them in. The
// preview holds one set (written by the register test dialog), every test
// its own. Safe to write from one thread while another evaluates. Setting an
// index outside 0..69 does nothing; reading one gives 0 (a compact
// generator's register byte can hold up to 255).
class ControlRegisterValues {
 public:
  void set(int index, int32_t value);
  int32_t get(int index) const;
  // Sets every register to 0.
  void clear();

 private:
  // Relaxed atomics: a writer and the drawing thread never race, and no
  // order between registers is needed.
  std::array<std::atomic<int32_t>, kNumCtrlRegs> values_{};
};

// ---------------------------------------------------------------------------
// Wave table: 11 rows of 256 bytes.

inline constexpr int kWaveTableRows = 11;
inline constexpr int kWaveRowSquare = 0;
inline constexpr int kWaveRowSine = 1;
inline constexpr int kWaveRowCosine = 2;  // built, read by no wave
inline constexpr int kWaveRowTriangle = 3;
inline constexpr int kWaveRowSaw = 4;
inline constexpr int kWaveRowInverseSaw = 5;
inline constexpr int kWaveRowSmoothRandom = 6;
inline constexpr int kWaveRowHalfSine = 7;
inline constexpr int kWaveRowPulse = 8;
inline constexpr int kWaveRowVibrate = 9;
inline constexpr int kWaveRowHeartbeat = 10;  // left all zero: Heartbeat is a constant 0 wave

struct WaveTable {
  std::array<std::array<uint8_t, 256>, kWaveTableRows> rows{};
};

// Builds a fresh table. The Smooth Random row comes from the portable random
// generator seeded 1, so it is the same on every machine and every run.
WaveTable build_wave_table();
// The shared table, built on first use (thread-safe); call it at start-up to
// build it before the first frame.
const WaveTable& wave_table();

// The portable random generator that stands in for the C library's rand():
// state = state * 214013 + 2531011; result (state >> 16) & 0x7FFF.
inline uint32_t portable_rand(uint32_t& state) {
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFFu;
}

// Wave value at phase position `p` (high byte the table index, low byte the
// fraction) for the wave in the low nibble of `wave` (a wave code or a whole
// style), in 0 to 65280 (row byte × 256). Smooth Random and Vibrate
// interpolate to the next entry; Random draws a new value on every call,
// (random & 0xFFF) × 16, so up to 65520. Codes 11 to 14, a low nibble of 0
// and codes outside 0..255 give 0.
int wave_lookup(int wave, uint16_t p);
// Restarts the random draws of the Random wave (seed 1 is the start state).
void wave_random_reset(uint32_t seed = 1);

// ---------------------------------------------------------------------------
// Compact fixed-point form.

// Start/end scale factors of the scalar generators.
inline constexpr double kScaleFixed8_8 = 256.0;       // texture mapping and scale functions (8.8)
inline constexpr double kScaleWhole = 1.0;            // alphagen: 0..255 as the editor holds it
inline constexpr double kScaleAngle = 16384.0 / 360;  // yaw, pitch, roll: degrees to 1/16384 turn

struct PackedGenerator {
  uint8_t style = 0;
  uint8_t phase = 0;  // trunc(phase × 256) mod 256, or the register index for register styles
  int16_t rate = 0;   // trunc(rate × 256), low 16 bits
  int32_t start = 0;  // trunc(start × scale)
  int32_t end = 0;    // trunc(end × scale)
};

struct PackedColourGenerator {
  uint8_t style = 0;
  uint8_t phase = 0;
  int16_t rate = 0;
  std::array<uint8_t, 3> start{};  // r, g, b
  std::array<uint8_t, 3> end{};
};

// The compact form of a generator. The register name is resolved through
// the run-time table (unknown names give index 0). Out-of-range inputs are
// made safe: a style outside 0..255 becomes 0; NaN becomes 0 and huge values
// saturate before any truncation; the phase wraps by whole cycles; colour
// channels are clamped to 0..255.
PackedGenerator pack_generator(const Generator& g, double scale = kScaleFixed8_8);
PackedColourGenerator pack_colour_generator(const ColorGenerator& g);

// Generator time in 1/256 s from elapsed milliseconds (ms × 256 / 1000,
// integer division), modulo 2^32; only its low 16 bits affect a wave.
uint32_t generator_time(uint64_t elapsed_ms);

// Position in the cycle in 1/65536 cycle: ((P << 8) + ((R16 × t) & 0xFFFF)) & 0xFFFF.
uint16_t phase_position(uint8_t phase, int16_t rate, uint32_t t);
inline uint16_t phase_position(const PackedGenerator& g, uint32_t t) {
  return phase_position(g.phase, g.rate, t);
}
inline uint16_t phase_position(const PackedColourGenerator& g, uint32_t t) {
  return phase_position(g.phase, g.rate, t);
}

// Value of a scalar generator in the units of its start and end:
// "Set" gives start; a wave gives start + ((L × (end - start)) >> 16); a
// register style start + ((V × (end - start)) >> 16). Empty when the
// generator is inactive: a part animation function then is not applied (a
// scale axis keeps 1.0).
std::optional<int32_t> scalar_output(const PackedGenerator& g, uint32_t t, const ControlRegisterValues& regs);

// Material alpha (start and end packed with kScaleWhole): the value / 255,
// or 1.0 when inactive.
float alpha_output(const PackedGenerator& g, uint32_t t, const ControlRegisterValues& regs);

struct GeneratorColour {
  float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;
};
// Colour of a colour generator, channels / 255; alpha is always 1. Inactive
// gives white.
GeneratorColour colour_output(const PackedColourGenerator& g, uint32_t t, const ControlRegisterValues& regs);

// ---------------------------------------------------------------------------
// Texture matrix of a material's two mapping generators.

// m[row][col]; M11 is m[0][0], M21 m[1][0], M31 m[2][0], M12 m[0][1], ...
using TextureMatrix = std::array<std::array<float, 4>, 4>;

// u' = u × M11 + v × M21 + M31 and v' = u × M12 + v × M22 + M32. The U
// generator fills the first column, the V generator the second; style 0 (or
// any style the mapping list does not define) leaves its coordinate as is.
TextureMatrix texture_matrix(const PackedGenerator& u_gen, const PackedGenerator& v_gen, uint32_t t,
                             const ControlRegisterValues& regs);

struct TexCoord {
  float u = 0.0f, v = 0.0f;
};
TexCoord apply_texture_matrix(const TextureMatrix& m, TexCoord uv);

}  // namespace orvo
