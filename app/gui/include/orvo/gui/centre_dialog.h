#pragma once
// "Center": the point the views look at, typed as three numbers. OK stores
// them; Cancel changes nothing.

#include <QDialog>
#include <array>

class QLineEdit;

namespace orvo::gui {

class CentreDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CentreDialog(std::array<float, 3>& centre, QWidget* parent = nullptr);

  void accept() override;

 private:
  std::array<float, 3>& centre_;
  std::array<QLineEdit*, 3> edits_{};
};

}  // namespace orvo::gui
