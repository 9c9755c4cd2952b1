#include "orvo/gui/register_test_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "dialog_fields.h"
#include "orvo/gui/qt_text.h"
#include "orvo/model/generators.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

QString seconds_text(double value) {
  return qs(tools::fixed_number(value, 1, 2));
}

// OK and Cancel of a modeless dialog both close it.
void add_close_buttons(QDialog* dialog, QLayout* layout) {
  QDialogButtonBox* buttons = add_ok_cancel(dialog);
  layout->addWidget(buttons);
}

}  // namespace

// ---- Test Control Registers ------------------------------------------------

RegisterTestDialog::RegisterTestDialog(RegisterNameList& names, RegisterWriter write, QWidget* parent)
    : QDialog(parent), write_(std::move(write)) {
  setWindowTitle("Test Control Registers");
  setModal(false);
  names.add_standard_names();
  auto* grid = new QGridLayout;
  for (int row = 0; row < 4; ++row) {
    auto* box = new QComboBox(this);
    set_id(box, 1191 + 2 * row);
    for (const std::string& n : names.names()) box->addItem(qs(n));
    box->setCurrentIndex(-1);
    box->setMinimumContentsLength(18);
    auto* slider = new QSlider(Qt::Horizontal, this);
    set_id(slider, 1192 + 2 * row);
    slider->setRange(0, 256);
    slider->setTickInterval(64);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setMinimumWidth(24 * fontMetrics().averageCharWidth());
    auto* label = new QLabel(QStringLiteral("Register &%1").arg(row + 1), this);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(slider, row, 2);
    names_[static_cast<std::size_t>(row)] = box;
    sliders_[static_cast<std::size_t>(row)] = slider;
    connect(box, &QComboBox::currentIndexChanged, this, [this, row, box](int index) {
      registers_[static_cast<std::size_t>(row)] = index < 0 ? -1 : ctrlreg_lookup(ss(box->itemText(index)));
    });
    connect(slider, &QSlider::valueChanged, this, [this] { write_rows(); });
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  add_close_buttons(this, layout);
}

void RegisterTestDialog::write_rows() {
  if (!write_) return;
  for (std::size_t row = 0; row < 4; ++row)
    if (registers_[row] >= 0) write_(registers_[row], slider_register_value(sliders_[row]->value()));
}

// ---- Object Destroy Sequence -----------------------------------------------

DestroyTestDialog::DestroyTestDialog(RegisterWriter write, QWidget* parent)
    : QDialog(parent), write_(std::move(write)) {
  setWindowTitle("Object Destroy Sequence");
  setModal(false);
  auto edit = [this](int id, bool read_only) {
    auto* e = new QLineEdit(this);
    set_id(e, id);
    e->setReadOnly(read_only);
    e->setMaximumWidth(10 * fontMetrics().averageCharWidth());
    return e;
  };
  length_ = edit(1185, false);
  spacing_ = edit(1186, false);
  time_ = edit(1188, true);
  cycle_ = edit(1189, true);
  time_->setFocusPolicy(Qt::ClickFocus);
  cycle_->setFocusPolicy(Qt::ClickFocus);
  slider_ = new QSlider(Qt::Horizontal, this);
  set_id(slider_, 1187);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setTickInterval(100);
  slider_->setMinimumWidth(30 * fontMetrics().averageCharWidth());
  play_ = new QPushButton("&Play", this);
  set_id(play_, 1190);

  auto* grid = new QGridLayout;
  auto label = [this, grid](const char* text, QWidget* buddy, int row, int column) {
    auto* l = new QLabel(text, this);
    l->setBuddy(buddy);
    grid->addWidget(l, row, column);
    grid->addWidget(buddy, row, column + 1);
  };
  label("Stage &Length", length_, 0, 0);
  label("Stage &Spacing", spacing_, 0, 2);
  grid->addWidget(slider_, 1, 0, 1, 4);
  label("Time", time_, 2, 0);
  label("Cycle", cycle_, 2, 2);
  grid->addWidget(play_, 3, 0, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  add_close_buttons(this, layout);

  length_->setText(seconds_text(sequence_.length()));
  spacing_->setText(seconds_text(sequence_.spacing()));
  connect(length_, &QLineEdit::textEdited, this, [this] { lengths_changed(); });
  connect(spacing_, &QLineEdit::textEdited, this, [this] { lengths_changed(); });
  connect(slider_, &QSlider::sliderMoved, this, [this](int position) {
    sequence_.set_slider(position);
    time_changed();
  });
  connect(play_, &QPushButton::clicked, this, [this] {
    sequence_.toggle_playing();
    play_->setText(sequence_.playing() ? "&Pause" : "&Play");
  });
  lengths_changed();
  time_changed();
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  timer_.start(50);
}

void DestroyTestDialog::lengths_changed() {
  sequence_.set_length(read_float_field(length_));
  sequence_.set_spacing(read_float_field(spacing_));
  const QSignalBlocker quiet(slider_);
  slider_->setRange(0, sequence_.slider_range());
  cycle_->setText(seconds_text(sequence_.cycle()));
}

void DestroyTestDialog::tick() {
  if (!sequence_.playing()) return;
  const int position = sequence_.tick();
  if (position >= 0) {
    const QSignalBlocker quiet(slider_);
    slider_->setValue(position);
  }
  time_changed();
}

void DestroyTestDialog::time_changed() {
  time_->setText(seconds_text(sequence_.time()));
  cycle_->setText(seconds_text(sequence_.cycle()));
  if (!write_) return;
  static const char* const kNames[6] = {"OBJECT_DESTROY01", "OBJECT_DESTROY02", "OBJECT_DESTROY03",
                                        "OBJECT_DESTROY04", "OBJECT_DESTROY05", "OBJECT_DESTROY"};
  const std::array<int32_t, 6> values = sequence_.registers();
  for (std::size_t i = 0; i < 6; ++i) write_(ctrlreg_lookup(kNames[i]), values[i]);
}

}  // namespace orvo::gui
