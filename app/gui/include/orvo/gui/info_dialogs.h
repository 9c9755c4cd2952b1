#pragma once
// The model's information and animation dialogs:
// - "General Information": the four levels of detail side by side (name,
//   totals, render function, threshold, skinning, progressive mesh) and the
//   slot whose polygons give the collision data;
// - "Object Information": the counts and lists of one model, and its text
//   report written to a file;
// - "Part Animation": rotation and scaling of the sub-objects;
// - "Light Sources": the model's lights and its ambient and directional
//   light generators.
// Controls carry their ids as object names ("id1042" ...), as the tests and
// the main window find them. Each dialog runs through `context.run_dialog`.

#include <QWidget>

#include "orvo/document/document.h"
#include "orvo/gui/editor_context.h"
#include "orvo/model/model.h"

namespace orvo::gui {

// "General Information" over the four slots of `doc`. A change of the
// collision list takes effect at once (recorded with
// `context.checkpoint("Collision data uses")`), also when the dialog is then
// cancelled; OK reads the other controls into the models of the slots that
// hold a model and returns 1, Cancel returns 0.
int run_general_info(QWidget* owner, Document& doc, EditorContext& context);

// "Object Information" for `model`; "Save Text File" writes the model's text
// report to the file `context.choose_save_file` names.
void run_object_info(QWidget* owner, const Model& model, EditorContext& context);

// "Part Animation": edits a copy of the part animations; OK writes the
// enable flag and the records of all sub-objects back and returns 1, Cancel
// returns 0 and leaves `model` as it was.
int run_part_animation(QWidget* owner, Model& model, EditorContext& context);

// "Light Sources": edits a copy of the lights and of the ambient and direct
// generators; OK writes them back and returns 1, Cancel returns 0.
int run_lights(QWidget* owner, Model& model, EditorContext& context);

// The colour strip beside a colour generator's swatch: empty for style 0,
// the start colour for "Set", else a run from the start to the end colour
// across its width.
class ColourStrip : public QWidget {
 public:
  explicit ColourStrip(QWidget* parent = nullptr);
  // The generator painted (none: the strip stays empty).
  void set_generator(const ColorGenerator* g);
  QSize sizeHint() const override { return {96, 12}; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  const ColorGenerator* generator_ = nullptr;
};

}  // namespace orvo::gui
