#pragma once
// "ORVO Options": the default texture folder and the default 3DI export
// folder, each with a "..." button that opens the folder browser. OK stores
// both paths in the folder settings (the caller then applies the texture
// folder to the texture look-up) and warns, once for both, about a folder
// given that does not exist or is no folder: textures would silently not
// be found there, and the export dialog would not open there. Cancel
// changes nothing.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "orvo/document/settings.h"

class QLineEdit;

namespace orvo::gui {

// The folder browser: "Select Folder", folders only, opening at `start`
// (the callers pass the current directory). The chosen folder's full path,
// or nothing when cancelled.
std::optional<QString> browse_folder(QWidget* parent, const QString& start);

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(FolderSettings& folders, QWidget* parent = nullptr);

  // What "..." opens, given the folder to start in; browse_folder unless a
  // test replaces it.
  std::function<std::optional<QString>(const QString& start)> choose_folder;
  // How OK's warning is shown: a warning box over the dialog unless the
  // caller or a test replaces it.
  std::function<void(const QString& text)> warn;

  void accept() override;

 private:
  void browse_into(QLineEdit* edit);

  FolderSettings& folders_;
  QLineEdit* texture_ = nullptr;
  QLineEdit* export_ = nullptr;
};

}  // namespace orvo::gui
