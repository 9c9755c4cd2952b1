#include "orvo/gui/editor_context.h"

#include <QColorDialog>
#include <QMessageBox>

namespace orvo::gui {

void EditorContext::use_standard_dialogs() {
  if (!ask_yes_no) {
    ask_yes_no = [](QWidget* parent, const QString& text, const QString& caption) {
      return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
  }
  if (!ask_yes_no_cancel) {
    // The answer is the QMessageBox::StandardButton chosen (Yes, No or Cancel).
    ask_yes_no_cancel = [](QWidget* parent, const QString& text, const QString& caption) {
      return static_cast<int>(
          QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel));
    };
  }
  if (!show_error) {
    show_error = [](QWidget* parent, const QString& text, const QString& caption) {
      QMessageBox::critical(parent, caption, text);
    };
  }
  if (!choose_colour) {
    choose_colour = [](QWidget* parent, QColor initial) -> std::optional<QColor> {
      const QColor colour = QColorDialog::getColor(initial, parent);
      if (!colour.isValid()) return std::nullopt;
      return colour;
    };
  }
}

}  // namespace orvo::gui
