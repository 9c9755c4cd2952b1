#pragma once
// What the editing dialogs share with the window that opens them: the
// register name list, how a modal dialog is run and how questions and the
// colour chooser are asked (all replaceable by tests), the texture folder,
// and the hook that records one undo step.

#include <QColor>
#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "orvo/app/material_edits.h"
#include "orvo/app/register_names.h"

namespace orvo::gui {

struct EditorContext {
  RegisterNameList* registers = nullptr;
  orvo::NewMaterialSettings* new_materials = nullptr;
  // The texture folder as the settings hold it (the texture summary and the
  // picture look maps up in it).
  std::string texture_folder;

  // Runs a modal dialog: exec() unless a test replaces it.
  std::function<int(QDialog&)> run_dialog = [](QDialog& d) { return d.exec(); };
  // A Yes/No question with the question icon; true for Yes.
  std::function<bool(QWidget* parent, const QString& text, const QString& caption)> ask_yes_no;
  // The Yes/No/Cancel question of the preset list; the button chosen.
  std::function<int(QWidget* parent, const QString& text, const QString& caption)> ask_yes_no_cancel;
  // A shown error with its caption (the preset name clash).
  std::function<void(QWidget* parent, const QString& text, const QString& caption)> show_error;
  // The colour chooser ("full dialog, any colour"), starting from `initial`;
  // empty when cancelled.
  std::function<std::optional<QColor>(QWidget* parent, QColor initial)> choose_colour;
  // The name of a file to write, asked with `caption` and the file dialog
  // filter `filter` ("Text file (*.txt)"); empty when cancelled.
  std::function<std::optional<std::string>(QWidget* parent, const QString& caption, const QString& filter)>
      choose_save_file;
  // "C Z I": runs "Create Zero Ignore Alpha".
  std::function<void()> zero_ignore_alpha;
  // Records what changed in the slot since the last step as one undo step
  // named `name`; does nothing when nothing changed.
  std::function<void(const QString& name)> checkpoint;

  // Fills the unset question, error, colour and file name hooks with the ordinary
  // message boxes, colour dialog and file dialog.
  void use_standard_dialogs();
};

}  // namespace orvo::gui
