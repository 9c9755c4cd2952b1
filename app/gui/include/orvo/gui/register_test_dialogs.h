#pragma once
// The two modeless test dialogs of the preview's control registers: "Test
// Control Registers" (four rows of a register name and a slider) and
// "Object Destroy Sequence" (the six destroy registers over a timed cycle).
// Both write the registers through `write`, which the preview reads every
// frame.

#include <QDialog>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>

#include "orvo/app/register_names.h"
#include "orvo/app/register_tests.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace orvo::gui {

// Writes a run-time register (index 0 .. 69) value in 16.16.
using RegisterWriter = std::function<void(int index, int32_t value)>;

class RegisterTestDialog : public QDialog {
  Q_OBJECT

 public:
  // Adds the standard register names to `names` and offers them in the
  // four rows.
  RegisterTestDialog(RegisterNameList& names, RegisterWriter write, QWidget* parent = nullptr);

  // The run-time register of each row, or -1 while it has no name.
  int row_register(int row) const { return registers_[static_cast<std::size_t>(row)]; }

 private:
  void write_rows();

  RegisterWriter write_;
  std::array<QComboBox*, 4> names_{};
  std::array<QSlider*, 4> sliders_{};
  std::array<int, 4> registers_{-1, -1, -1, -1};
};

class DestroyTestDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DestroyTestDialog(RegisterWriter write, QWidget* parent = nullptr);

  const DestroySequence& sequence() const { return sequence_; }
  // One step of the 50 ms timer (the timer calls it; tests too).
  void tick();

 private:
  void lengths_changed();
  void time_changed();

  RegisterWriter write_;
  DestroySequence sequence_;
  QTimer timer_;
  QLineEdit* length_ = nullptr;
  QLineEdit* spacing_ = nullptr;
  QSlider* slider_ = nullptr;
  QLineEdit* time_ = nullptr;
  QLineEdit* cycle_ = nullptr;
  QPushButton* play_ = nullptr;
};

}  // namespace orvo::gui
