#include "orvo/app/generator_texts.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "orvo/model/generators.h"
#include "orvo/model/wave_style_names.h"
#include "tools/base/text.h"

namespace orvo {

// The dialogs' set-only and colour lists have no separator before the Set
// wave group (the model's scalar-set and colour lists do); the full list is
// the texture mapping list.

const NamedValue kSetOnlyStyleList[] = {{"None", kStyleNone},
                                        {"Set", kStyleSet},
                                        ORVO_WAVE_STYLES("Set", kStyleSetWave),
                                        {kStyleSeparator, kStyleCtrlRegGroup},
                                        {"Set - Control Register", kStyleSetCtrlReg},
                                        {"", -1}};

const NamedValue kColourStyleList[] = {{"None", kStyleNone},
                                       {"Set", kStyleSet},
                                       ORVO_WAVE_STYLES("Set", kStyleSetWave),
                                       {kStyleSeparator, kStyleAddWave},
                                       ORVO_WAVE_STYLES("Add", kStyleAddWave),
                                       {kStyleSeparator, kStyleCtrlRegGroup},
                                       {"Set - Control Register", kStyleSetCtrlReg},
                                       {"Add - Control Register", kStyleAddCtrlReg},
                                       {"", -1}};

const NamedValue kFullStyleList[] = {{"None", kStyleNone},
                                     {"Slide", kStyleSlide},
                                     {"Slide (inverse)", kStyleSlideInverse},
                                     {"Rotate CW", kStyleRotateCw},
                                     {"Rotate CCW", kStyleRotateCcw},
                                     {kStyleSeparator, kStyleSetWave},
                                     ORVO_WAVE_STYLES("Set", kStyleSetWave),
                                     {kStyleSeparator, kStyleAddWave},
                                     ORVO_WAVE_STYLES("Add", kStyleAddWave),
                                     {kStyleSeparator, kStyleSkewWave},
                                     ORVO_WAVE_STYLES("Skew", kStyleSkewWave),
                                     {kStyleSeparator, kStyleMultWave},
                                     ORVO_WAVE_STYLES("Mult", kStyleMultWave),
                                     {kStyleSeparator, kStyleCtrlRegGroup},
                                     {"Set - Control Register", kStyleSetCtrlReg},
                                     {"Add - Control Register", kStyleAddCtrlReg},
                                     {"Skew - Control Register", kStyleSkewCtrlReg},
                                     {"Mult - Control Register", kStyleMultCtrlReg},
                                     {"", -1}};

#undef ORVO_WAVE_STYLES

namespace {

// "%1.2f" in the C locale.
std::string real2(float v) {
  return tools::fixed_number(static_cast<double>(v), 1, 2);
}

// "%i" of a value truncated toward zero; out-of-range values and NaN are
// clamped instead of being undefined.
int truncated(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0f) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

std::string number(float v, bool integer_mode) {
  return integer_mode ? std::to_string(truncated(v)) : real2(v);
}

// The style's name from `list`; a style the list lacks (a "Set" generator
// shown with the full list, which has no "Set") takes its name from the
// model's table so the face never loses its first line.
std::string name_in(const NamedValue* list, int style) {
  std::string_view name = named_text(list, style);
  if (name.empty()) name = style_name(style);
  return std::string(name);
}

std::string rgb(int r, int g, int b) {
  return tools::format_text("%i,%i,%i", r, g, b);
}

}  // namespace

std::string scalar_summary(const Generator& g, bool integer_mode, bool three_lines) {
  if (g.style == kStyleNone) return "None";
  const std::string name = name_in(integer_mode ? kSetOnlyStyleList : kFullStyleList, g.style);
  std::string second, third;
  if (g.style == kStyleSet) {
    second = number(g.start, integer_mode);
  } else {
    second = "Start " + number(g.start, integer_mode) + "   End " + number(g.end, integer_mode);
    if (g.style < kStyleSetCtrlReg) third = "Rate " + real2(g.rate) + "   Phase " + real2(g.phase);
    else third = "Register '" + g.ctrlreg.str() + "'";
  }
  return name + "\r\n" + second + (three_lines ? "\r\n" : "    ") + third;
}

std::string colour_summary(const ColorGenerator& g) {
  if (g.style == kStyleNone) return "None";
  const std::string name = name_in(kColourStyleList, g.style);
  const std::string start = rgb(g.start_red, g.start_green, g.start_blue);
  if (g.style == kStyleSet) return name + "\r\n" + start;
  const std::string values = "Start " + start + "   End " + rgb(g.end_red, g.end_green, g.end_blue);
  if (g.style < kStyleSetCtrlReg)
    return name + "\r\n" + values + "\r\nRate " + real2(g.rate) + "   Phase " + real2(g.phase);
  return name + "\r\n" + values + "\r\nRegister '" + g.ctrlreg.str() + "'";
}

std::vector<GraphPoint> wave_graph_points(int style, int left, int top, int right, int bottom) {
  // Only the wave groups have a wave; "Set", the slides, the rotations and
  // the register styles draw a flat line at 0 rather than the wave their low
  // nibble would name.
  const int op = (style >> 4) & 0x0F;
  const bool wave = style >= 0 && style <= 0xFF && op >= 3 && op <= 6;
  // Random draws from a state of its own so drawing never shifts the
  // preview's random sequence, and the same graph shows on every paint.
  uint32_t random_state = 1;
  std::vector<GraphPoint> points;
  points.reserve(767);
  for (int i = 0; i < 767; ++i) {
    int w = 0;
    if (wave) {
      if ((style & 0x0F) == kWaveRandom) w = static_cast<int>((portable_rand(random_state) & 0xFFF) * 16) >> 8;
      else w = wave_lookup(style, static_cast<uint16_t>((i % 256) << 8)) >> 8;
    }
    points.push_back({left + 2 + i * (right - left - 4) / 768, bottom - 2 + (w * (top - bottom + 4)) / 256});
  }
  return points;
}

}  // namespace orvo
