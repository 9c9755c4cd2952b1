#pragma once
// The two generator dialogs: "EditScalarGen" for a scalar generator and
// "EditRgbGen" for a colour generator, each with the graph of the chosen
// wave. Both work on a copy and write the result back only on OK.

#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPoint>
#include <QPushButton>
#include <QWidget>

#include "orvo/gui/editor_context.h"
#include "orvo/model/model.h"
#include "orvo/model/named_values.h"

namespace orvo::gui {

struct ScalarGeneratorMode {
  bool integer_mode = false;  // start and end shown as integers; set-only list
  bool set_only = false;      // set-only list
};

// Opens "EditScalarGen" with its top-left corner at `at` (screen
// coordinates, the swatch's top-left corner), run through
// `context.run_dialog`; on OK writes the edited generator into `g`, adds
// its register name to the context's register list and returns true.
bool edit_scalar_generator(QWidget* owner, QPoint at, Generator& g, ScalarGeneratorMode mode, EditorContext& context);
// The same for "EditRgbGen".
bool edit_colour_generator(QWidget* owner, QPoint at, ColorGenerator& g, EditorContext& context);

// The dialog classes, for the preset editor and for tests (which find the
// controls by their ids as object names: "id1093" ...).

// The graph of a wave: three periods on a grey ground (id 1110).
class WaveGraph : public QWidget {
  Q_OBJECT

 public:
  explicit WaveGraph(QWidget* parent = nullptr);
  void set_style(int style);
  int style() const { return style_; }
  QSize sizeHint() const override { return {240, 64}; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  int style_ = 0;
};

// "EditScalarGen": style 1093, graph 1110, start 1094, end 1095, rate 1096,
// phase 1097, control register 1098. Works on a copy; edits the user makes
// are read into it at once; OK reads the register name into it and adds
// the name to the register list.
class ScalarGeneratorDialog : public QDialog {
  Q_OBJECT

 public:
  // `styles` is the list offered; start and end show as integers in
  // `integer_mode`. `registers` may be null. The generator's controls take
  // the layout's rows from `first_row` on (a dialog deriving from this one
  // puts its own controls above them).
  ScalarGeneratorDialog(QWidget* owner, const Generator& g, const NamedValue* styles, bool integer_mode,
                        RegisterNameList* registers, int first_row = 0);
  const Generator& working() const { return working_; }
  void accept() override;

 protected:
  // The layout, for dialogs that put more controls above (rows from
  // `first_row` of the constructor down hold the generator's controls).
  QGridLayout* grid() const { return grid_; }
  // Reads the register name (up to 63 characters) into the working copy and
  // adds it to the register list.
  void read_register();
  QWidget* first_control() const { return style_; }
  Generator& working_copy() { return working_; }

 private:
  void update_enabling();
  Generator working_;
  RegisterNameList* registers_;
  QGridLayout* grid_ = nullptr;
  QComboBox* style_ = nullptr;
  WaveGraph* graph_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* end_ = nullptr;
  QLineEdit* rate_ = nullptr;
  QLineEdit* phase_ = nullptr;
  QComboBox* register_ = nullptr;
};

// A "Set" colour button (1105, 1106): a rectangle of its colour while
// enabled, an ordinary disabled button otherwise.
class ColourSetButton : public QPushButton {
  Q_OBJECT

 public:
  explicit ColourSetButton(QWidget* parent = nullptr);
  void set_colour(QColor c);
  QColor colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QColor colour_;
};

// "EditRgbGen": style 1101, start 1103 and end 1104 ("r,g,b", typed or
// chosen with their "Set" buttons 1105 and 1106, colours from
// `context.choose_colour`), rate
// 1107, phase 1108, control register 1102, graph 1110.
class ColourGeneratorDialog : public QDialog {
  Q_OBJECT

 public:
  ColourGeneratorDialog(QWidget* owner, const ColorGenerator& g, EditorContext& context);
  const ColorGenerator& working() const { return working_; }
  void accept() override;

 private:
  void update_enabling();
  void choose(bool start);
  void type_colour(bool start, const QString& text);
  ColorGenerator working_;
  EditorContext& context_;
  QComboBox* style_ = nullptr;
  WaveGraph* graph_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* end_ = nullptr;
  ColourSetButton* set_start_ = nullptr;
  ColourSetButton* set_end_ = nullptr;
  QLineEdit* rate_ = nullptr;
  QLineEdit* phase_ = nullptr;
  QComboBox* register_ = nullptr;
};

}  // namespace orvo::gui
