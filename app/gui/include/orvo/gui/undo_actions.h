#pragma once
// The Edit menu's "Undo" and "Redo" over the document's edit history: they
// act on the current slot's steps, are on offer only when that slot has a
// step to take back or do again, and name it ("&Undo Apply").

#include <QObject>

#include "orvo/document/document.h"
#include "orvo/document/edit_history.h"

class QAction;

namespace orvo::gui {

class UndoActions {
 public:
  // The actions (objectNames "undo" and "redo", Ctrl+Z and Ctrl+Shift+Z)
  // belong to `parent`.
  UndoActions(EditHistory& history, Document& doc, QObject* parent);

  QAction* undo() const { return undo_; }
  QAction* redo() const { return redo_; }

  // Texts and enabled state from the current slot's steps.
  void refresh();

 private:
  EditHistory& history_;
  Document& doc_;
  QAction* undo_;
  QAction* redo_;
};

}  // namespace orvo::gui
