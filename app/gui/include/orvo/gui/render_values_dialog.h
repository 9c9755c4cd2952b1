#pragma once
// "Render Values": the preview's background, ambient and directional light
// colours, fog and environment map. A colour taken with a "Set" swatch is
// stored at once (it stays when the dialog is then cancelled); the edits,
// check boxes and map path are read only on OK.

#include <QColor>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "orvo/document/settings.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;

namespace orvo::gui {

class RenderValuesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RenderValuesDialog(RenderSettings& settings, QWidget* parent = nullptr);

  // The colour chooser a swatch opens, starting from the stored colour;
  // empty when the person cancels. Replaceable so tests need not run it.
  std::function<std::optional<QColor>(QColor start)> choose_colour;
  // The file dialog of "..." ("Image File (*.dds)", in the current folder);
  // empty when cancelled.
  std::function<std::optional<QString>()> choose_file;

  void accept() override;

 private:
  // One colour group: its three stored components, edits and swatch.
  struct Group {
    std::array<int*, 3> components{};
    std::array<QLineEdit*, 3> edits{};
    QAbstractButton* swatch = nullptr;
  };

  void pick_colour(Group& group);
  void pick_file();

  RenderSettings& settings_;
  std::array<Group, 5> groups_{};  // background, sky, ground, light 1, light 2
  QCheckBox* light1_on_ = nullptr;
  QCheckBox* light2_on_ = nullptr;
  QCheckBox* fog_on_ = nullptr;
  QLineEdit* map_ = nullptr;
};

}  // namespace orvo::gui
