#pragma once
// The eleven named styles of one wave group ("Set Wave - Square" = base + 1
// … "Set Wave - Heartbeat" = base + 15), as entries of a style list. The
// style lists of the model and of the generator dialogs are built from it.

#include "orvo/model/generators.h"

// clang-format off
#define ORVO_WAVE_STYLES(word, base)                                                                     \
  {word " Wave - Square", (base) + kWaveSquare},       {word " Wave - Sine", (base) + kWaveSine},         \
  {word " Wave - Triangle", (base) + kWaveTriangle},   {word " Wave - Saw", (base) + kWaveSaw},           \
  {word " Wave - Inverse Saw", (base) + kWaveInverseSaw}, {word " Wave - Random", (base) + kWaveRandom},  \
  {word " Wave - Smooth Random", (base) + kWaveSmoothRandom},                                             \
  {word " Wave - Half Sine", (base) + kWaveHalfSine},  {word " Wave - Pulse", (base) + kWavePulse},       \
  {word " Wave - Vibrate", (base) + kWaveVibrate},     {word " Wave - Heartbeat", (base) + kWaveHeartbeat}
// clang-format on
