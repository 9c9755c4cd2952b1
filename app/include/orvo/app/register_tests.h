#pragma once
// What the two register test dialogs write into the preview's control
// registers: the slider rows of "Test Control Registers" and the timed
// stages of "Object Destroy Sequence".

#include <array>
#include <cstdint>

namespace orvo {

// A value of 0 .. 1 as a 16.16 register: 0 below 0, 65536 from 1 up,
// otherwise trunc(v × 65536).
int32_t register_fixed(double value);

// A register test slider's position (0 .. 256) as its register value.
inline int32_t slider_register_value(int position) {
  return register_fixed(position / 256.0);
}

// The destroy test: stages of length L seconds starting every S seconds;
// the cycle lasts T = 5·S + L. Times are seconds.
class DestroySequence {
 public:
  static constexpr double kTick = 0.05;  // the dialog's 50 ms timer

  double length() const { return length_; }
  double spacing() const { return spacing_; }
  double time() const { return time_; }
  bool playing() const { return playing_; }
  double cycle() const { return 5.0 * spacing_ + length_; }
  // The time slider's range: 0 .. trunc(T × 100), at least 1.
  int slider_range() const;

  void set_length(double seconds) { length_ = seconds; }
  void set_spacing(double seconds) { spacing_ = seconds; }
  void toggle_playing() { playing_ = !playing_; }
  // The slider was dragged to `position`.
  void set_slider(int position);
  void set_time(double seconds) { time_ = seconds; }

  // One timer tick: while playing, the time moves on by 50 ms and starts
  // again at 0 once it reaches the cycle's end. Returns the slider position
  // to show (0 at the restart, every fourth tick the time's place), or -1
  // when the slider stays.
  int tick();

  // OBJECT_DESTROY01 .. 05 (stage k at (t − (k−1)·S) / L) and
  // OBJECT_DESTROY (t / (4·S + L)), each as a 16.16 register.
  std::array<int32_t, 6> registers() const;

 private:
  double length_ = 1.0;
  double spacing_ = 0.5;
  double time_ = 0.0;
  bool playing_ = false;
  int ticks_ = 0;
};

}  // namespace orvo
