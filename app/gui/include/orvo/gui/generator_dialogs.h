#pragma once
// The two generator dialogs: "EditScalarGen" for a scalar generator and
// "EditRgbGen" for a colour generator, each with the graph of the chosen
// wave. Both work on a copy and write the result back only on OK.

#include <QPoint>
#include <QWidget>

#include "orvo/gui/editor_context.h"
#include "orvo/model/model.h"

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
bool edit_color_generator(QWidget* owner, QPoint at, ColorGenerator& g, EditorContext& context);

}  // namespace orvo::gui
