#pragma once
// Undo and redo of the editing dialogs: one QUndoStack per model slot, of
// which the current slot's is the active one of the group (Edit › Undo and
// Redo act on it). An edit is recorded as the slot's state before and after
// it (see slot_edits.h); undoing writes the state before back, redoing the
// state after. A dialog that edits a slot in place begins an edit when it
// opens, records a step at each Apply, New, Delete, OK and each change it
// applies at once, and ends the edit when it closes:
//
//   history.begin(slot);
//   ... the dialog changes the model ...
//   history.checkpoint("Apply");          // one step, when anything changed
//   history.end("Edit Materials");
//
// or, for one change, `history.record(slot, "General Information", [&] { ... })`.
// Loading, clearing or importing a slot clears its stack; saving marks it
// clean. A slot whose stack is not clean has unsaved changes.

#include <QObject>
#include <QString>
#include <QUndoGroup>
#include <QUndoStack>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "orvo/document/document.h"
#include "orvo/document/slot_edits.h"

namespace orvo::gui {

class EditHistory : public QObject {
  Q_OBJECT

 public:
  explicit EditHistory(Document& doc, QObject* parent = nullptr);
  ~EditHistory() override;

  QUndoGroup& group() { return group_; }
  QUndoStack& stack(int slot) { return *stacks_[static_cast<std::size_t>(slot)]; }

  // Starts an edit of `slot` from its state now. An edit already running is
  // ended first (with no further step).
  void begin(int slot);
  // Starts an edit of all four slots (a dialog that edits every level,
  // such as the general information): each slot it changes gets a step of
  // its own.
  void begin_all();
  // Records what changed in the edited slots since `begin` or the last
  // checkpoint as one step named `name` on each changed slot's stack;
  // nothing when nothing changed or no edit runs.
  void checkpoint(const QString& name);
  // A last checkpoint, then the edit ends.
  void end(const QString& name);
  bool editing() const;
  // Runs `edit` as one step.
  void record(int slot, const QString& name, const std::function<void()>& edit);

  // A slot was loaded, cleared or imported: its steps are gone and it has
  // no unsaved changes.
  void reset(int slot);
  // The slot was written as it is now.
  void mark_saved(int slot);
  bool modified(int slot) const;
  // The slots with unsaved changes, in the order H, M, L, T.
  std::vector<int> modified_slots() const;

  // Follows the document's current slot (the active stack of the group).
  void follow_current_slot();

 signals:
  // Undo or redo wrote a state into `slot`.
  void restored(int slot);
  // A slot's unsaved-changes mark changed.
  void modified_changed();

 private:
  friend class SlotStateCommand;
  void apply(int slot, const SlotEditState& state);

  Document& doc_;
  QUndoGroup group_;
  std::array<std::unique_ptr<QUndoStack>, kSlotCount> stacks_;
  // The state each edited slot had at the last step (empty: not edited).
  std::array<std::optional<SlotEditState>, kSlotCount> baselines_;
};

}  // namespace orvo::gui
