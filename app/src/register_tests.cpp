#include "orvo/app/register_tests.h"

#include <cmath>

namespace orvo {

int32_t register_fixed(double value) {
  if (!(value > 0.0)) return 0;  // NaN too
  if (value >= 1.0) return 65536;
  return static_cast<int32_t>(value * 65536.0);
}

int DestroySequence::slider_range() const {
  const double range = std::trunc(cycle() * 100.0);
  // A hostile length or spacing (negative, huge, not a number) still gives
  // a usable slider.
  if (!(range >= 1.0)) return 1;
  if (range > 1e9) return 1000000000;
  return static_cast<int>(range);
}

void DestroySequence::set_slider(int position) {
  time_ = static_cast<double>(position) / slider_range() * cycle();
}

int DestroySequence::tick() {
  if (!playing_) return -1;
  time_ += kTick;
  // Summing 50 ms steps drifts below the exact time (70 of them make
  // 3.4999…): a step within a microsecond of the cycle's end ends it.
  if (time_ >= cycle() - 1e-6) {
    time_ = 0.0;
    return 0;
  }
  if (++ticks_ % 4 != 0) return -1;
  return static_cast<int>(std::trunc(time_ / cycle() * slider_range()));
}

std::array<int32_t, 6> DestroySequence::registers() const {
  std::array<int32_t, 6> out{};
  for (int k = 0; k < 5; ++k) out[static_cast<std::size_t>(k)] = register_fixed((time_ - k * spacing_) / length_);
  out[5] = register_fixed(time_ / (4.0 * spacing_ + length_));
  return out;
}

}  // namespace orvo
