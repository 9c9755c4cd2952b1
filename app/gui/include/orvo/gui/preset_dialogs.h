#pragma once
// The function preset dialogs: "View Preset List" (list 1199, "New" 1200,
// "Delete" 1201, OK, Cancel) and the preset edit dialog (name 1202,
// description 1203 and the scalar generator controls with their ids).
// Changes made in the list dialog are in the list at once and stay, even
// when it is closed with Cancel.

#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <cstddef>
#include <string>

#include "orvo/app/function_presets.h"
#include "orvo/gui/editor_context.h"
#include "orvo/gui/generator_dialogs.h"

namespace orvo::gui {

// Edits preset `index` of `list` on a copy; OK refuses a name another
// preset has (without regard to case) through `context.show_error` and
// stays open, else writes the copy back.
class PresetEditDialog : public ScalarGeneratorDialog {
  Q_OBJECT

 public:
  PresetEditDialog(QWidget* owner, FunctionPresetList& list, std::size_t index, EditorContext& context);
  void accept() override;

 private:
  FunctionPresetList& list_;
  std::size_t index_;
  EditorContext& context_;
  QLineEdit* name_ = nullptr;
  QLineEdit* description_ = nullptr;
};

class PresetListDialog : public QDialog {
  Q_OBJECT

 public:
  PresetListDialog(QWidget* owner, FunctionPresetList& list, std::string user, EditorContext& context);
  // Rebuilds the lines from the list.
  void refresh();
  // "New": appends "<Unnamed>" by the user (nothing when the list is full).
  void add_new();
  // "Delete" on the selected line, after the question.
  void delete_selected();
  // Opens the edit dialog of line `row`.
  void edit(int row);

 private:
  FunctionPresetList& list_;
  std::string user_;
  EditorContext& context_;
  QListWidget* lines_ = nullptr;
  QPushButton* delete_ = nullptr;
};

// Runs "View Preset List" through `context.run_dialog`.
void run_preset_list(QWidget* owner, FunctionPresetList& list, const std::string& user, EditorContext& context);

}  // namespace orvo::gui
