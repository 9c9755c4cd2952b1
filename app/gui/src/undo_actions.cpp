#include "orvo/gui/undo_actions.h"

#include <QAction>

#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

QAction* make_action(QObject* parent, const char* name, const char* key) {
  auto* a = new QAction(parent);
  a->setObjectName(name);
  a->setShortcut(QKeySequence(key));
  a->setShortcutContext(Qt::WindowShortcut);
  return a;
}

// "&Undo" alone, or followed by the step's name.
QString prefixed(const char* prefix, const std::string& step) {
  QString text = prefix;
  if (!step.empty()) text += ' ' + qs(step);
  return text;
}

}  // namespace

UndoActions::UndoActions(EditHistory& history, Document& doc, QObject* parent)
    : history_(history),
      doc_(doc),
      undo_(make_action(parent, "undo", "Ctrl+Z")),
      redo_(make_action(parent, "redo", "Ctrl+Shift+Z")) {
  QObject::connect(undo_, &QAction::triggered, parent, [this] { history_.undo(doc_.current_slot()); });
  QObject::connect(redo_, &QAction::triggered, parent, [this] { history_.redo(doc_.current_slot()); });
  refresh();
}

void UndoActions::refresh() {
  const SlotHistory& steps = history_.stack(doc_.current_slot());
  undo_->setText(prefixed("&Undo", steps.undo_name()));
  undo_->setEnabled(steps.can_undo());
  redo_->setText(prefixed("&Redo", steps.redo_name()));
  redo_->setEnabled(steps.can_redo());
}

}  // namespace orvo::gui
