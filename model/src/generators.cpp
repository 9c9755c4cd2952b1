#include "orvo/model/generators.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>

#include "orvo/model/base.h"
#include "orvo/model/wave_style_names.h"

namespace orvo {

// ---------------------------------------------------------------------------
// Style lists

const NamedValue kWaveNames[] = {{"Square", kWaveSquare},
                                 {"Sine", kWaveSine},
                                 {"Triangle", kWaveTriangle},
                                 {"Saw", kWaveSaw},
                                 {"Inverse Saw", kWaveInverseSaw},
                                 {"Random", kWaveRandom},
                                 {"Smooth Random", kWaveSmoothRandom},
                                 {"Half Sine", kWaveHalfSine},
                                 {"Pulse", kWavePulse},
                                 {"Vibrate", kWaveVibrate},
                                 {"Heartbeat", kWaveHeartbeat},
                                 {"", -1}};

#define ORVO_WAVE_GROUP(word, base) {kStyleSeparator, base}, ORVO_WAVE_STYLES(word, base)

const NamedValue kMappingStyles[] = {{"None", kStyleNone},
                                     {"Slide", kStyleSlide},
                                     {"Slide (inverse)", kStyleSlideInverse},
                                     {"Rotate CW", kStyleRotateCw},
                                     {"Rotate CCW", kStyleRotateCcw},
                                     ORVO_WAVE_GROUP("Set", kStyleSetWave),
                                     ORVO_WAVE_GROUP("Add", kStyleAddWave),
                                     ORVO_WAVE_GROUP("Skew", kStyleSkewWave),
                                     ORVO_WAVE_GROUP("Mult", kStyleMultWave),
                                     {kStyleSeparator, kStyleCtrlRegGroup},
                                     {"Set - Control Register", kStyleSetCtrlReg},
                                     {"Add - Control Register", kStyleAddCtrlReg},
                                     {"Skew - Control Register", kStyleSkewCtrlReg},
                                     {"Mult - Control Register", kStyleMultCtrlReg},
                                     {"", -1}};

const NamedValue kScalarSetStyles[] = {{"None", kStyleNone},
                                       {"Set", kStyleSet},
                                       ORVO_WAVE_GROUP("Set", kStyleSetWave),
                                       {kStyleSeparator, kStyleCtrlRegGroup},
                                       {"Set - Control Register", kStyleSetCtrlReg},
                                       {"", -1}};

const NamedValue kColourStyles[] = {{"None", kStyleNone},
                                    {"Set", kStyleSet},
                                    ORVO_WAVE_GROUP("Set", kStyleSetWave),
                                    ORVO_WAVE_GROUP("Add", kStyleAddWave),
                                    {kStyleSeparator, kStyleCtrlRegGroup},
                                    {"Set - Control Register", kStyleSetCtrlReg},
                                    {"Add - Control Register", kStyleAddCtrlReg},
                                    {"", -1}};

#undef ORVO_WAVE_GROUP

std::string_view style_name(int style) {
  // The mapping list holds every style but "Set", which the other two lists hold.
  std::string_view name = named_text(kMappingStyles, style);
  if (name.empty()) name = named_text(kScalarSetStyles, style);
  return name;
}

// ---------------------------------------------------------------------------
// Control registers

// clang-format off
const std::array<std::string_view, kNumEditorCtrlRegs> kEditorCtrlRegNames = {
    "AUDIO_BEAT",        "HUD_HEALTH",        "HUD_MANA",          "HUD_COMPASS",       "WPN_TRIGGER",
    "WPN_HAMMER",        "FLICKER",           "SWING",             "TALK",              "HIT",
    "DOOR_00",           "DOOR_01",           "DOOR_02",           "DOOR_03",           "DOOR_04",
    "DOOR_05",           "DOOR_06",           "DOOR_07",           "DOOR_08",           "DOOR_09",
    "DOOR_10",           "DOOR_11",           "DOOR_12",           "DOOR_13",           "DOOR_14",
    "DOOR_15",           "UPL_INTENSITY",     "LIGHTSWITCH0",      "LIGHTSWITCH1",      "LIGHTSWITCH2",
    "LIGHTSWITCH3",      "PARTICLE_ALPHA",    "PARTICLE_RGB",      "HELO_GEARDOORS",    "HELO_GEAR",
    "HELO_GEARB",        "HELO_BAYDOORS",     "HELO_PCANOPY",      "HELO_CPCANOPY",     "HELO_ROTOR",
    "HELO_TAILROTOR",    "HELO_PILOTYAW",     "HELO_PILOTPITCH",   "HELO_CPILOTYAW",    "HELO_CPILOTPITCH",
    "HELO_GUNYAW",       "HELO_GUNPITCH",     "VEHICLE_WHEELS",    "VEHICLE_STEERING",  "VEHICLE_GUNYAW",
    "VEHICLE_GUNPITCH",  "VEHICLE_SPECIAL1",  "VEHICLE_SPECIAL2",  "OBJECT_DESTROY",    "OBJECT_DESTROY01",
    "OBJECT_DESTROY02",  "OBJECT_DESTROY03",  "OBJECT_DESTROY04",  "OBJECT_DESTROY05"};
// clang-format on

// clang-format off
const std::array<std::string_view, kNumCtrlRegs> kCtrlRegNames = {
    "LOD_FRAC",          "LOD_FADE_IN",       "LOD_FADE_OUT",      "AUDIO_BEAT",        "HUD_HEALTH",
    "HUD_MANA",          "HUD_COMPASS",       "WPN_TRIGGER",       "WPN_HAMMER",        "FLICKER",
    "SWING",             "NVG_FLIP",          "TALK",              "DEATH",             "ORG_GUNPITCH",
    "DOOR_00",           "DOOR_01",           "DOOR_02",           "DOOR_03",           "DOOR_04",
    "DOOR_05",           "DOOR_06",           "DOOR_07",           "DOOR_08",           "DOOR_09",
    "DOOR_10",           "DOOR_11",           "DOOR_12",           "DOOR_13",           "DOOR_14",
    "DOOR_15",           "UPL_INTENSITY",     "LIGHTSWITCH0",      "LIGHTSWITCH1",      "LIGHTSWITCH2",
    "LIGHTSWITCH3",      "PARTICLE_ALPHA",    "PARTICLE_RGB",      "HELO_REAR_GEAR",    "HELO_GEARDOORS",
    "HELO_GEAR",         "HELO_GEARB",        "HELO_BAYDOORS",     "HELO_PCANOPY",      "HELO_CPCANOPY",
    "HELO_ROTOR",        "HELO_TAILROTOR",    "HELO_PILOTYAW",     "HELO_PILOTPITCH",   "HELO_CPILOTYAW",
    "HELO_CPILOTPITCH",  "HELO_GUNYAW",       "HELO_GUNPITCH",     "EWEAP_GUNYAW",      "EWEAP_GUNPITCH",
    "WEAP_SPIN",         "TRACER_SCALE",      "TRACER_WIDTH",      "VEHICLE_WHEELS",    "VEHICLE_STEERING",
    "VEHICLE_GUNYAW",    "VEHICLE_GUNPITCH",  "OBJECT_DESTROY",    "OBJECT_DESTROY01",  "OBJECT_DESTROY02",
    "OBJECT_DESTROY03",  "OBJECT_DESTROY04",  "OBJECT_DESTROY05",  "VEHICLE_SPECIAL1",  "VEHICLE_SPECIAL2"};
// clang-format on

int ctrlreg_lookup(std::string_view name) {
  for (int i = 0; i < kNumCtrlRegs; ++i) {
    if (iequals(kCtrlRegNames[static_cast<std::size_t>(i)], name)) return i;
  }
  return 0;
}

namespace {

bool valid_ctrlreg(int index) {
  return index >= 0 && index < kNumCtrlRegs;
}

}  // namespace

void ControlRegisterValues::set(int index, int32_t value) {
  if (valid_ctrlreg(index)) values_[static_cast<std::size_t>(index)].store(value, std::memory_order_relaxed);
}

int32_t ControlRegisterValues::get(int index) const {
  // Anything past the table reads as 0 instead of running off the array.
  if (!valid_ctrlreg(index)) return 0;
  return values_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
}

void ControlRegisterValues::clear() {
  for (auto& v : values_) v.store(0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Wave table

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

uint8_t to_byte(double x) {
  return static_cast<uint8_t>(static_cast<int>(x));
}

void build_smooth_random(std::array<uint8_t, 256>& row) {
  uint32_t seed = 1;
  std::array<int, 256> r{};
  for (int& x : r) x = static_cast<int>(portable_rand(seed) & 0xFFFu);
  // Every even entry becomes the mean of its two odd neighbours (the odd
  // entries never change, so the order of the updates does not matter).
  for (int k = 1; k < 256; k += 2) r[(k - 1) & 255] = (r[(k - 2) & 255] + r[k]) >> 1;
  // Two passes of the 1-2-1 kernel, unnormalised: weights total 16, so a
  // 12-bit input ends up at most 65520, a byte after the shift by 8.
  for (int pass = 0; pass < 2; ++pass) {
    std::array<int, 256> s{};
    for (int k = 0; k < 256; ++k) s[k] = r[(k - 1) & 255] + 2 * r[k] + r[(k + 1) & 255];
    r = s;
  }
  for (int k = 0; k < 256; ++k) row[k] = static_cast<uint8_t>(r[k] >> 8);
}

}  // namespace

WaveTable build_wave_table() {
  WaveTable t;
  auto& rows = t.rows;
  for (int i = 0; i < 256; ++i) {
    const double x = i * kTwoPi / 256.0;
    rows[kWaveRowSquare][i] = i < 128 ? 255 : 0;
    rows[kWaveRowSine][i] = to_byte((std::sin(x) + 1.0) * 127.5);
    rows[kWaveRowCosine][i] = to_byte((std::cos(x) + 1.0) * 127.5);
    rows[kWaveRowTriangle][i] = static_cast<uint8_t>(i < 128 ? 2 * i : 2 * (255 - i));
    rows[kWaveRowSaw][i] = static_cast<uint8_t>(i);
    rows[kWaveRowInverseSaw][i] = static_cast<uint8_t>(255 - i);
    rows[kWaveRowHalfSine][i] = i < 128 ? to_byte(std::sin(x) * 255.0) : 0;
    rows[kWaveRowPulse][i] = i < 64 ? to_byte(std::sin(i * kTwoPi / 128.0) * 255.0) : 0;
    rows[kWaveRowVibrate][i] = to_byte((std::sin(7.0 * x) * std::sin(x / 2.0) + 1.0) * 127.5);
  }
  build_smooth_random(rows[kWaveRowSmoothRandom]);
  // The Heartbeat row stays zero.
  return t;
}

const WaveTable& wave_table() {
  static const WaveTable table = build_wave_table();
  return table;
}

namespace {

std::atomic<uint32_t> g_random_state{1};

int next_random() {
  uint32_t state = g_random_state.load(std::memory_order_relaxed);
  uint32_t next = state;
  uint32_t value = 0;
  do {
    next = state;
    value = portable_rand(next);
  } while (!g_random_state.compare_exchange_weak(state, next, std::memory_order_relaxed));
  return static_cast<int>(value);
}

}  // namespace

void wave_random_reset(uint32_t seed) {
  g_random_state.store(seed, std::memory_order_relaxed);
}

int wave_lookup(int wave, uint16_t p) {
  if (wave < 0 || wave > 0xFF) return 0;
  const auto& rows = wave_table().rows;
  const int index = p >> 8;
  const int frac = p & 255;
  auto step = [&](int row) { return rows[row][index] << 8; };
  auto smooth = [&](int row) {
    const int a = rows[row][index];
    const int b = rows[row][(index + 1) & 255];
    return (a << 8) + (b - a) * frac;
  };
  switch (wave & 0x0F) {
    case kWaveSquare: return step(kWaveRowSquare);
    case kWaveSine: return step(kWaveRowSine);
    case kWaveTriangle: return step(kWaveRowTriangle);
    case kWaveSaw: return step(kWaveRowSaw);
    case kWaveInverseSaw: return step(kWaveRowInverseSaw);
    case kWaveRandom: return (next_random() & 0xFFF) * 16;
    case kWaveSmoothRandom: return smooth(kWaveRowSmoothRandom);
    case kWaveHalfSine: return step(kWaveRowHalfSine);
    case kWavePulse: return step(kWaveRowPulse);
    case kWaveVibrate: return smooth(kWaveRowVibrate);
    case kWaveHeartbeat: return step(kWaveRowHeartbeat);
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Compact form

namespace {

// Truncation toward zero of a real that may be NaN, infinite or beyond the
// int range: converting such a value straight to int is undefined, so NaN
// gives 0 and everything else is clamped to the int range first.
int32_t trunc_to_int(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

// Only the low 16 bits of R16 reach the phase ((R16 × t) & 0xFFFF), so
// keeping those loses nothing; likewise the phase byte is taken modulo one
// cycle (phase 1.0 is phase 0, -0.25 is 0.75).
int16_t pack_rate(float rate) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(trunc_to_int(rate * 256.0))));
}
uint8_t pack_phase(int style, float phase, std::string_view ctrlreg) {
  if (style_uses_ctrlreg(style)) return static_cast<uint8_t>(ctrlreg_lookup(ctrlreg));
  return static_cast<uint8_t>(static_cast<uint32_t>(trunc_to_int(phase * 256.0)));
}
// A style that does not fit the style byte is none of the defined styles;
// cutting it to a byte could turn it into one, so it becomes "None".
uint8_t pack_style(int32_t style) {
  return style >= 0 && style <= 0xFF ? static_cast<uint8_t>(style) : 0;
}
uint8_t pack_channel(int32_t c) {
  return static_cast<uint8_t>(c < 0 ? 0 : c > 255 ? 255 : c);
}

}  // namespace

PackedGenerator pack_generator(const Generator& g, double scale) {
  PackedGenerator p;
  p.style = pack_style(g.style);
  p.phase = pack_phase(p.style, g.phase, g.ctrlreg.view());
  p.rate = pack_rate(g.rate);
  p.start = trunc_to_int(static_cast<double>(g.start) * scale);
  p.end = trunc_to_int(static_cast<double>(g.end) * scale);
  return p;
}

PackedColourGenerator pack_colour_generator(const ColorGenerator& g) {
  PackedColourGenerator p;
  p.style = pack_style(g.style);
  p.phase = pack_phase(p.style, g.phase, g.ctrlreg.view());
  p.rate = pack_rate(g.rate);
  p.start = {pack_channel(g.start_red), pack_channel(g.start_green), pack_channel(g.start_blue)};
  p.end = {pack_channel(g.end_red), pack_channel(g.end_green), pack_channel(g.end_blue)};
  return p;
}

uint32_t generator_time(uint64_t elapsed_ms) {
  // Split into whole seconds and the rest so ms × 256 cannot overflow: a
  // 32-bit product would wrap after about 4.7 hours and make every wave jump.
  const uint64_t t = (elapsed_ms / 1000) * 256 + (elapsed_ms % 1000) * 256 / 1000;
  return static_cast<uint32_t>(t);
}

uint16_t phase_position(uint8_t phase, int16_t rate, uint32_t t) {
  // Unsigned arithmetic: the product wraps instead of overflowing, and its
  // low 16 bits are the same as those of the exact product.
  const uint32_t r = static_cast<uint32_t>(static_cast<int32_t>(rate));
  return static_cast<uint16_t>(((static_cast<uint32_t>(phase) << 8) + ((r * t) & 0xFFFFu)) & 0xFFFFu);
}

namespace {

enum class StyleKind { kInactive, kSlide, kSlideInverse, kSet, kRotateCw, kRotateCcw, kWave, kCtrlReg };

struct StyleClass {
  StyleKind kind = StyleKind::kInactive;
  int op = 0;  // wave and register styles: 3 Set, 4 Add, 5 Skew, 6 Mult
};

// What a style does. Wave styles are the four groups' codes 0x_1 to 0x_F
// (codes 11 to 14 name no wave and read 0); register styles are 0x71 to
// 0x74. The register styles all follow their register wherever they appear:
// their compact form has no phase, so reading one as a wave would take the
// register index for a phase.
StyleClass classify(int style) {
  switch (style) {
    case kStyleSlide: return {StyleKind::kSlide};
    case kStyleSlideInverse: return {StyleKind::kSlideInverse};
    case kStyleSet: return {StyleKind::kSet};
    case kStyleRotateCw: return {StyleKind::kRotateCw};
    case kStyleRotateCcw: return {StyleKind::kRotateCcw};
    default: break;
  }
  const int op = style >> 4;
  const int wave = style & 0x0F;
  if (op >= 3 && op <= 6 && wave != 0) return {StyleKind::kWave, op};
  if (style >= kStyleSetCtrlReg && style <= kStyleMultCtrlReg) return {StyleKind::kCtrlReg, wave + 2};
  return {};
}

// start + ((x × (end - start)) >> 16), in 64 bits: a register may hold any
// int32 and start/end any int32, so the product overflows 32 bits. The shift
// rounds toward minus infinity as the fixed-point form always has.
int32_t lerp16(int32_t start, int32_t end, int64_t x) {
  const int64_t v = start + ((x * (static_cast<int64_t>(end) - start)) >> 16);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// The wave or register value that moves a generator from start to end:
// L in 0..65280 for a wave, the register's 16.16 value otherwise.
int64_t drive(const StyleClass& c, uint8_t style, uint8_t phase, int16_t rate, uint32_t t,
              const ControlRegisterValues& regs) {
  if (c.kind == StyleKind::kCtrlReg) return regs.get(phase);
  return wave_lookup(style, phase_position(phase, rate, t));
}

}  // namespace

std::optional<int32_t> scalar_output(const PackedGenerator& g, uint32_t t, const ControlRegisterValues& regs) {
  const StyleClass c = classify(g.style);
  switch (c.kind) {
    case StyleKind::kSet: return g.start;
    case StyleKind::kWave:
    case StyleKind::kCtrlReg: return lerp16(g.start, g.end, drive(c, g.style, g.phase, g.rate, t, regs));
    default: return std::nullopt;  // inactive, or a mapping-only style
  }
}

float alpha_output(const PackedGenerator& g, uint32_t t, const ControlRegisterValues& regs) {
  const std::optional<int32_t> v = scalar_output(g, t, regs);
  return v ? static_cast<float>(*v) / 255.0f : 1.0f;
}

GeneratorColour colour_output(const PackedColourGenerator& g, uint32_t t, const ControlRegisterValues& regs) {
  const StyleClass c = classify(g.style);
  GeneratorColour out;
  std::array<int32_t, 3> v{};
  switch (c.kind) {
    case StyleKind::kSet:
      for (int i = 0; i < 3; ++i) v[i] = g.start[i];
      break;
    case StyleKind::kWave:
    case StyleKind::kCtrlReg: {
      // One drive value for all three channels (Random draws only once).
      const int64_t x = drive(c, g.style, g.phase, g.rate, t, regs);
      for (int i = 0; i < 3; ++i) v[i] = lerp16(g.start[i], g.end[i], x);
      break;
    }
    default: return out;  // white
  }
  out.r = static_cast<float>(v[0]) / 255.0f;
  out.g = static_cast<float>(v[1]) / 255.0f;
  out.b = static_cast<float>(v[2]) / 255.0f;
  out.a = 1.0f;
  return out;
}

// ---------------------------------------------------------------------------
// Texture matrix

namespace {

// What one mapping generator contributes to its column of the matrix: the
// scale of its own coordinate, the factor of the other coordinate and the
// offset.
struct Column {
  float own = 1.0f, cross = 0.0f, offset = 0.0f;
};

// The real-valued output for the wave and register styles, start and end
// taken back from 8.8.
float real_output(const StyleClass& c, const PackedGenerator& g, uint16_t p, const ControlRegisterValues& regs) {
  const double start = g.start / 256.0;
  const double end = g.end / 256.0;
  const double x = c.kind == StyleKind::kCtrlReg ? regs.get(g.phase) / 65536.0 : wave_lookup(g.style, p) / 65535.0;
  return static_cast<float>(start + x * (end - start));
}

// `is_u` picks the U generator's form of the rotations; the V generator
// rotates with the opposite sign of the cross term.
Column mapping_column(const PackedGenerator& g, uint32_t t, bool is_u, const ControlRegisterValues& regs) {
  const StyleClass c = classify(g.style);
  const uint16_t p = phase_position(g, t);
  Column col;
  switch (c.kind) {
    case StyleKind::kSlide: col.offset = static_cast<float>(p / 65536.0); break;
    case StyleKind::kSlideInverse: col.offset = static_cast<float>(-p / 65536.0); break;
    case StyleKind::kRotateCw:
    case StyleKind::kRotateCcw: {
      // Rotation about the texture centre (0.5, 0.5).
      const double a = p * kTwoPi / 65536.0;
      const double cs = std::cos(a), sn = std::sin(a);
      const bool cw = c.kind == StyleKind::kRotateCw;
      const double cross = (cw == is_u) ? sn : -sn;
      col.own = static_cast<float>(cs);
      col.cross = static_cast<float>(cross);
      col.offset = static_cast<float>(0.5 - (cs + cross) / 2.0);
      break;
    }
    case StyleKind::kWave:
    case StyleKind::kCtrlReg: {
      const float v = real_output(c, g, p, regs);
      // Set: the coordinate becomes v. Add: v is added. Skew: v times the
      // other coordinate is added. Mult: the coordinate is scaled by v.
      switch (c.op) {
        case 3: col = {0.0f, 0.0f, v}; break;
        case 4: col = {1.0f, 0.0f, v}; break;
        case 5: col = {1.0f, v, 0.0f}; break;
        default: col = {v, 0.0f, 0.0f}; break;
      }
      break;
    }
    default: break;  // None, "Set" and undefined styles: unchanged
  }
  return col;
}

}  // namespace

TextureMatrix texture_matrix(const PackedGenerator& u_gen, const PackedGenerator& v_gen, uint32_t t,
                             const ControlRegisterValues& regs) {
  TextureMatrix m{};
  m[2][2] = 1.0f;
  m[3][3] = 1.0f;
  const Column u = mapping_column(u_gen, t, true, regs);
  const Column v = mapping_column(v_gen, t, false, regs);
  m[0][0] = u.own;     // M11
  m[1][0] = u.cross;   // M21
  m[2][0] = u.offset;  // M31
  m[1][1] = v.own;     // M22
  m[0][1] = v.cross;   // M12
  m[2][1] = v.offset;  // M32
  return m;
}

TexCoord apply_texture_matrix(const TextureMatrix& m, TexCoord uv) {
  return {uv.u * m[0][0] + uv.v * m[1][0] + m[2][0], uv.u * m[0][1] + uv.v * m[1][1] + m[2][1]};
}

}  // namespace orvo
