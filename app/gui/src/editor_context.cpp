#include "orvo/gui/editor_context.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "orvo/gui/qt_text.h"

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
  if (!choose_save_file) {
    choose_save_file = [](QWidget* parent, const QString& caption,
                          const QString& filter) -> std::optional<std::string> {
      QFileDialog dialog(parent, caption, QString(), filter);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setDefaultSuffix(QStringLiteral("txt"));
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
      return native_path(dialog.selectedFiles().first());
    };
  }
}

}  // namespace orvo::gui
