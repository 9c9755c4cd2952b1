#include "orvo/model/generators.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace orvo {
namespace {

using Rows = std::vector<std::pair<std::string, int>>;

// The fixed head rows, then each wave group (separator and eleven waves), then the tail rows.
Rows list_rows(Rows head, Rows groups, const Rows& tail) {
  for (const auto& [word, base] : groups) {
    head.emplace_back(std::string(kStyleSeparator), base);
    for (const NamedValue& w : named_entries(kWaveNames))
      head.emplace_back(word + " Wave - " + std::string(w.text), base + w.value);
  }
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

void expect_list(const NamedValue* table, const Rows& want) {
  Rows got;
  for (const NamedValue& e : named_entries(table)) got.emplace_back(std::string(e.text), e.value);
  EXPECT_EQ(got, want);
}

TEST(GeneratorStyles, ListsAndNames) {
  const std::string sep(24, '-');
  const Rows set_group = {{"Set", 0x30}};
  expect_list(
      kMappingStyles,
      list_rows({{"None", 0}, {"Slide", 0x10}, {"Slide (inverse)", 0x11}, {"Rotate CW", 0x20}, {"Rotate CCW", 0x21}},
                {{"Set", 0x30}, {"Add", 0x40}, {"Skew", 0x50}, {"Mult", 0x60}},
                {{sep, 0x70},
                 {"Set - Control Register", 0x71},
                 {"Add - Control Register", 0x72},
                 {"Skew - Control Register", 0x73},
                 {"Mult - Control Register", 0x74}}));
  expect_list(kScalarSetStyles,
              list_rows({{"None", 0}, {"Set", 0x18}}, set_group, {{sep, 0x70}, {"Set - Control Register", 0x71}}));
  expect_list(kColourStyles,
              list_rows({{"None", 0}, {"Set", 0x18}}, {{"Set", 0x30}, {"Add", 0x40}},
                        {{sep, 0x70}, {"Set - Control Register", 0x71}, {"Add - Control Register", 0x72}}));
  EXPECT_EQ(named_entries(kWaveNames).back().value, 15);  // Heartbeat is 15, not 11

  EXPECT_EQ(style_name(0x18), "Set");
  EXPECT_EQ(style_name(0x37), "Set Wave - Smooth Random");
  EXPECT_EQ(style_name(0x65), "Mult Wave - Inverse Saw");
  EXPECT_EQ(style_name(0x40), sep);
  EXPECT_EQ(style_name(0x3B), "");
}

// ---------------------------------------------------------------------------
// Control registers

TEST(GeneratorCtrlRegs, Tables) {
  for (const auto& [index, name] : std::vector<std::pair<int, std::string_view>>{{0, "LOD_FRAC"},
                                                                                 {11, "NVG_FLIP"},
                                                                                 {15, "DOOR_00"},
                                                                                 {30, "DOOR_15"},
                                                                                 {38, "HELO_REAR_GEAR"},
                                                                                 {45, "HELO_ROTOR"},
                                                                                 {57, "TRACER_WIDTH"},
                                                                                 {67, "OBJECT_DESTROY05"},
                                                                                 {69, "VEHICLE_SPECIAL2"}})
    EXPECT_EQ(kCtrlRegNames[static_cast<std::size_t>(index)], name);
  EXPECT_EQ(kEditorCtrlRegNames[9], "HIT");
  EXPECT_EQ(kEditorCtrlRegNames.back(), "OBJECT_DESTROY05");

  // Unique names; the editor table is the run-time table less twelve names, plus HIT.
  const std::set<std::string_view> rt(kCtrlRegNames.begin(), kCtrlRegNames.end());
  const std::set<std::string_view> ed(kEditorCtrlRegNames.begin(), kEditorCtrlRegNames.end());
  ASSERT_EQ(rt.size(), 70u);
  ASSERT_EQ(ed.size(), 59u);
  int shared = 0;
  for (auto n : ed) shared += static_cast<int>(rt.count(n));
  EXPECT_EQ(shared, 58);
  EXPECT_FALSE(rt.count("HIT"));
}

TEST(GeneratorCtrlRegs, LookupAndValues) {
  for (int i = 0; i < kNumCtrlRegs; ++i) EXPECT_EQ(ctrlreg_lookup(kCtrlRegNames[static_cast<std::size_t>(i)]), i);
  EXPECT_EQ(ctrlreg_lookup("helo_Rotor"), 45);
  for (std::string_view unknown : {"HIT", "NO_SUCH_REGISTER", "", "HELO_ROTOR "}) EXPECT_EQ(ctrlreg_lookup(unknown), 0);

  ControlRegisterValues regs;
  regs.set(69, -7);
  regs.set(70, 5);  // ignored
  regs.set(-1, 5);
  EXPECT_EQ(regs.get(69), -7);
  for (int outside : {70, 255, -1}) EXPECT_EQ(regs.get(outside), 0);
  EXPECT_EQ(ControlRegisterValues().get(69), 0);  // each set of values is its own
  regs.clear();
  EXPECT_EQ(regs.get(69), 0);
}

// ---------------------------------------------------------------------------
// Wave table

TEST(GeneratorWaveTable, RowShapes) {
  const auto& r = wave_table().rows;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(r[kWaveRowSquare][i], i < 128 ? 255 : 0);
    EXPECT_EQ(r[kWaveRowSaw][i], i);
    EXPECT_EQ(r[kWaveRowInverseSaw][i], 255 - i);
    EXPECT_EQ(r[kWaveRowHeartbeat][i], 0);
    EXPECT_TRUE(i < 128 || r[kWaveRowHalfSine][i] == 0) << i;
    EXPECT_TRUE(i < 64 || r[kWaveRowPulse][i] == 0) << i;
    EXPECT_TRUE(i == 0 || i > 128 || r[kWaveRowCosine][i] <= r[kWaveRowCosine][i - 1]) << i;  // falls to i = 128
  }
  // (row, entry, value)
  for (auto [row, i, want] : std::vector<std::tuple<int, int, int>>{{kWaveRowTriangle, 1, 2},
                                                                    {kWaveRowTriangle, 127, 254},
                                                                    {kWaveRowTriangle, 128, 254},
                                                                    {kWaveRowTriangle, 255, 0},
                                                                    {kWaveRowSine, 0, 127},
                                                                    {kWaveRowSine, 64, 255},
                                                                    {kWaveRowSine, 192, 0},
                                                                    {kWaveRowCosine, 0, 255},
                                                                    {kWaveRowCosine, 64, 127},
                                                                    {kWaveRowCosine, 128, 0},
                                                                    {kWaveRowHalfSine, 64, 255},
                                                                    {kWaveRowPulse, 32, 255},
                                                                    {kWaveRowPulse, 64, 0},
                                                                    {kWaveRowVibrate, 0, 127}})
    EXPECT_EQ(r[row][i], want) << "row " << row << " entry " << i;
}

TEST(GeneratorWaveTable, SmoothRandomIsPortableAndDeterministic) {
  // The sequence of the C runtime's rand() after srand(1).
  uint32_t state = 1;
  for (uint32_t want : {41u, 18467u, 6334u, 26500u, 19169u}) EXPECT_EQ(portable_rand(state), want);

  // Independent form: each even entry the mean of its odd neighbours, then
  // the two 1-2-1 passes folded into one 1-4-6-4-1 kernel.
  std::vector<int> r(256);
  uint32_t seed = 1;
  for (int& x : r) x = static_cast<int>(portable_rand(seed) & 0xFFF);
  for (int k = 0; k < 256; k += 2) r[k] = (r[(k + 255) % 256] + r[k + 1]) >> 1;
  const auto& row = wave_table().rows[kWaveRowSmoothRandom];
  for (int k = 0; k < 256; ++k) {
    const auto at = [&](int d) { return r[(k + d + 256) % 256]; };
    ASSERT_EQ(row[k], (at(-2) + 4 * at(-1) + 6 * at(0) + 4 * at(1) + at(2)) >> 8) << "entry " << k;
  }
  EXPECT_EQ(build_wave_table().rows, wave_table().rows);
}

TEST(GeneratorWaveTable, Lookup) {
  const auto& r = wave_table().rows;
  EXPECT_EQ(wave_lookup(kWaveSquare, 0x7FFF), 65280);
  EXPECT_EQ(wave_lookup(0x44, 0x40FF), 0x40 * 256);  // by the style's low nibble; the fraction is ignored
  for (int code : {0, 11, 14, kWaveHeartbeat, 0x30, -1, 0x131}) EXPECT_EQ(wave_lookup(code, 0x4080), 0) << code;
  // Smooth Random and Vibrate interpolate, from entry 255 on to entry 0.
  for (auto [wave, row] : {std::pair{kWaveSmoothRandom, kWaveRowSmoothRandom}, {kWaveVibrate, kWaveRowVibrate}}) {
    EXPECT_EQ(wave_lookup(wave, 0x1080), r[row][0x10] * 256 + (r[row][0x11] - r[row][0x10]) * 128);
    EXPECT_EQ(wave_lookup(wave, 0xFF40), r[row][255] * 256 + (r[row][0] - r[row][255]) * 64);
  }
  wave_random_reset();
  for (int want : {41, 18467, 6334}) EXPECT_EQ(wave_lookup(kWaveRandom, 0), (want & 0xFFF) * 16);
}

// ---------------------------------------------------------------------------
// Compact form and phase

Generator gen(int style, float rate, float phase, float start, float end, std::string_view reg = {}) {
  Generator g;
  g.style = style;
  g.rate = rate;
  g.phase = phase;
  g.start = start;
  g.end = end;
  g.ctrlreg = reg;
  return g;
}

TEST(GeneratorPacking, TruncatesAndKeepsOutOfRangeValuesDefined) {
  PackedGenerator p = pack_generator(gen(0x34, 1.5f, 0.3f, -0.999f, 2.5f));
  EXPECT_EQ(std::tuple(p.style, p.phase, p.rate, p.start, p.end), std::tuple(0x34, 76, 384, -255, 640));
  EXPECT_EQ(pack_generator(gen(0x18, 1, 0, 3, 255), kScaleWhole).end, 255);
  EXPECT_EQ(pack_generator(gen(0x31, 1, 1.0f, 0, 1)).phase, 0);  // whole cycles wrap
  EXPECT_EQ(pack_generator(gen(0x31, 1, -0.25f, 0, 1)).phase, 192);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  p = pack_generator(gen(0x31, nan, inf, -inf, 1e30f));
  EXPECT_EQ(std::tuple(p.rate, p.start, p.end), std::tuple(0, INT32_MIN, INT32_MAX));
  EXPECT_EQ(pack_generator(gen(0x31, 1, nan, nan, nan)).start, 0);
  EXPECT_EQ(pack_generator(gen(0x131, 1, 0, 0, 1)).style, 0);  // not a byte: no style
  EXPECT_EQ(pack_generator(gen(0x71, 1, 0.5f, 0, 1, "door_03")).phase, 18);
  EXPECT_EQ(pack_generator(gen(0x74, 1, 0.5f, 0, 1, "HIT")).phase, 0);

  ColorGenerator c = ColorGenerator::defaults();
  c.style = 0x72;
  c.ctrlreg = "HELO_ROTOR";
  c.start_red = -5;
  c.start_green = 300;
  const PackedColourGenerator pc = pack_colour_generator(c);
  EXPECT_EQ(pc.phase, 45);
  EXPECT_EQ(pc.start, (std::array<uint8_t, 3>{0, 255, 0}));
  EXPECT_EQ(pc.end, (std::array<uint8_t, 3>{255, 255, 255}));
}

TEST(GeneratorPhase, TimeAndPhaseWrapIn16Bits) {
  EXPECT_EQ(generator_time(250), 64u);
  EXPECT_EQ(generator_time(999), 255u);
  EXPECT_EQ(generator_time(20'000'000), 5'120'000u);  // ms × 256 is past 32 bits here
  EXPECT_EQ(generator_time(1'000'000'000'000), static_cast<uint32_t>(256'000'000'000ull));

  EXPECT_EQ(phase_position(0, 256, 256), 0);  // rate 1: one cycle per second
  EXPECT_EQ(phase_position(0, 256, 128), 0x8000);
  EXPECT_EQ(phase_position(0xFF, 256, 1), 0);      // 0xFF00 + 0x100 wraps
  EXPECT_EQ(phase_position(0, -256, 64), 0xC000);  // running backwards
  EXPECT_EQ(phase_position(0, 32767, 0xFFFFFFFFu), static_cast<uint16_t>(32767ull * 0xFFFFFFFFull));
  EXPECT_EQ(phase_position(0x10, 3, 0x10000 + 5), phase_position(0x10, 3, 5));
}

// ---------------------------------------------------------------------------
// Scalar and colour outputs

TEST(GeneratorOutput, SquareOverACycleAndSawAtHalfPhase) {
  const ControlRegisterValues regs;
  const PackedGenerator sq = pack_generator(gen(0x31, 1, 0, 10, 100));
  const int32_t high = 2560 + ((65280 * (25600 - 2560)) >> 16);
  for (uint64_t ms = 0; ms < 3000; ms += 7)
    EXPECT_EQ(scalar_output(sq, generator_time(ms), regs), ms % 1000 < 500 ? high : 2560) << ms << " ms";
  EXPECT_EQ(scalar_output(pack_generator(gen(0x34, 1, 0.5f, 2, 4)), 0, regs), 512 + 256);
}

TEST(GeneratorOutput, ControlRegisterSetAndInactive) {
  ControlRegisterValues regs;
  const PackedGenerator g = pack_generator(gen(0x71, 1, 0, 2, 6, "SWING"));
  EXPECT_EQ(scalar_output(g, 123, regs), 512);
  regs.set(10, 65536);
  EXPECT_EQ(scalar_output(g, 123, regs), 1536);
  regs.set(10, INT32_MAX);  // far past the end: saturates, no overflow
  EXPECT_EQ(scalar_output(pack_generator(gen(0x71, 1, 0, -1e9f, 1e9f, "SWING")), 0, regs), INT32_MAX);
  regs.clear();
  EXPECT_EQ(scalar_output(PackedGenerator{0x71, 200, 0, 5, 9}, 0, regs), 5);  // register byte past the table
  EXPECT_EQ(scalar_output(pack_generator(gen(0x18, 1, 0, 3, 9)), 77, regs), 768);
  for (int style : {0x00, 0x05, 0x10, 0x21, 0x30, 0x70, 0x75, 0x91})
    EXPECT_FALSE(scalar_output(PackedGenerator{static_cast<uint8_t>(style), 0, 256, 1, 2}, 0, regs)) << style;

  EXPECT_EQ(alpha_output(pack_generator(gen(0, 1, 0, 0, 0), kScaleWhole), 0, regs), 1.0f);
  EXPECT_EQ(alpha_output(pack_generator(gen(0x18, 1, 0, 255, 0), kScaleWhole), 0, regs), 1.0f);
  EXPECT_FLOAT_EQ(alpha_output(pack_generator(gen(0x34, 1, 0.5f, 0, 255), kScaleWhole), 0, regs), 127.0f / 255);
}

TEST(GeneratorOutput, Colours) {
  ControlRegisterValues regs;
  ColorGenerator c;
  c.start_red = 255;
  c.start_green = 51;
  c.end_blue = 255;
  c.ctrlreg = "FLICKER";
  auto out = [&](int style) {
    c.style = style;
    const GeneratorColour v = colour_output(pack_colour_generator(c), 0, regs);
    EXPECT_EQ(v.a, 1.0f);
    return std::vector<float>{v.r, v.g, v.b};
  };
  EXPECT_EQ(out(0), (std::vector<float>{1, 1, 1}));
  EXPECT_EQ(out(0x18), (std::vector<float>{1, 51 / 255.0f, 0}));
  // The shift rounds down: at the Square's top a falling channel reaches its
  // end, a rising one stops at 254.
  EXPECT_EQ(out(0x41), (std::vector<float>{0, 0, 254 / 255.0f}));
  regs.set(ctrlreg_lookup("FLICKER"), 65536);
  EXPECT_EQ(out(0x72), (std::vector<float>{0, 0, 1}));
  regs.clear();
}

// ---------------------------------------------------------------------------
// Texture matrix

TexCoord map(const Generator& u, const Generator& v, uint32_t t, TexCoord uv, const ControlRegisterValues& regs = {}) {
  return apply_texture_matrix(texture_matrix(pack_generator(u), pack_generator(v), t, regs), uv);
}

const Generator kNone = gen(0, 1, 0, 0, 1);

TEST(GeneratorTextureMatrix, Rotations) {
  for (int style_u : {0x20, 0x21, 0}) {
    for (int style_v : {0x20, 0x21, 0}) {
      for (uint32_t t = 0; t < 256; t += 5) {
        const TexCoord c = map(gen(style_u, 1.3f, 0.1f, 0, 1), gen(style_v, 0.7f, 0.6f, 0, 1), t, {0.5f, 0.5f});
        EXPECT_NEAR(c.u, 0.5f, 1e-6f);
        EXPECT_NEAR(c.v, 0.5f, 1e-6f);
      }
    }
  }
  // Both on Rotate CW: a quarter cycle (by time or by phase) takes (1, 0.5) to (0.5, 0).
  for (auto [t, phase] : {std::pair{64u, 0.0f}, {0u, 0.25f}}) {
    const TexCoord q = map(gen(0x20, 1, phase, 0, 1), gen(0x20, 1, phase, 0, 1), t, {1.0f, 0.5f});
    EXPECT_NEAR(q.u, 0.5f, 1e-6f);
    EXPECT_NEAR(q.v, 0.0f, 1e-6f);
  }
  TextureMatrix identity{};
  identity[0][0] = identity[1][1] = identity[2][2] = identity[3][3] = 1.0f;
  EXPECT_EQ(texture_matrix(pack_generator(kNone), pack_generator(kNone), 99, ControlRegisterValues()), identity);
}

TEST(GeneratorTextureMatrix, WaveAndRegisterOperations) {
  for (float u : {-2.0f, 0.0f, 0.3f, 7.5f}) {
    EXPECT_EQ(map(gen(0x61, 1, 0, 1, 1), kNone, 40, {u, 0.2f}).u, u);  // Mult by 1
    const TexCoord set = map(gen(0x31, 1, 0, 0.25f, 0.25f), kNone, 40, {u, 0.2f});
    EXPECT_EQ(set.u, 0.25f);
    EXPECT_EQ(set.v, 0.2f);
  }
  EXPECT_FLOAT_EQ(map(gen(0x10, 1, 0, 0, 1), kNone, 64, {0.1f, 0}).u, 0.35f);
  EXPECT_FLOAT_EQ(map(kNone, gen(0x11, 1, 0, 0, 1), 64, {0, 0.1f}).v, -0.15f);
  // Add and Skew on a Saw at half phase: 0x8000 / 65535 of the way.
  const float half = 0x8000 / 65535.0f;
  EXPECT_FLOAT_EQ(map(gen(0x44, 1, 0.5f, 0, 2), kNone, 0, {1, 3}).u, 1 + 2 * half);
  EXPECT_FLOAT_EQ(map(kNone, gen(0x54, 1, 0.5f, 0, 2), 0, {3, 1}).v, 1 + 3 * 2 * half);
  ControlRegisterValues regs;
  regs.set(ctrlreg_lookup("DOOR_00"), 32768);
  EXPECT_FLOAT_EQ(map(gen(0x74, 1, 0, 0, 4, "DOOR_00"), kNone, 0, {3, 0}, regs).u, 6.0f);
  EXPECT_FLOAT_EQ(map(kNone, gen(0x71, 1, 0, 1, 3, "DOOR_00"), 0, {3, 9}, regs).v, 2.0f);
  // Styles the mapping list does not hold leave the coordinate as it is.
  for (int style : {0x18, 0x30, 0x75, 0x90}) EXPECT_EQ(map(gen(style, 1, 0, 5, 5), kNone, 10, {0.4f, 0}).u, 0.4f);
}

}  // namespace
}  // namespace orvo
