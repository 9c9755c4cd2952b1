#pragma once
// "Layer Visibility": one check box per item of the layer bank the view
// state's layer_by selects (sub-objects, materials or bounding objects of
// the current model), for the first 80 items. A click shows or hides the
// item at once and redraws; "Show All" and "Hide All" set the whole bank.
// Closing the dialog any way keeps what was changed.

#include <QDialog>
#include <array>

#include "orvo/document/document.h"

class QCheckBox;

namespace orvo::gui {

inline constexpr int kLayerBoxes = 80;
inline constexpr int kFirstLayerBoxId = 2100;

class LayerDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LayerDialog(Document& doc, QWidget* parent = nullptr);

  void accept() override;

 private:
  int32_t* flag(int index);
  void set_all(bool visible);
  void refresh_boxes();

  Document& doc_;
  int bank_ = -1;  // -1 when layer_by names no bank
  int items_ = 0;  // items the bank has in the current model
  std::array<QCheckBox*, kLayerBoxes> boxes_{};
};

}  // namespace orvo::gui
