#pragma once
// Undo and redo of the editing dialogs, one list of steps per model slot.
// A step is the slot's state before and after an edit (see slot_edits.h):
// undoing writes the state before back, redoing the state after. Undo and
// redo act on one slot at a time (the window's Edit menu on the current
// one); the other slots keep their steps and position.
//
// A dialog that edits a slot in place begins an edit when it opens, records
// a step at each Apply, New, Delete, OK and each change it applies at once,
// and ends the edit when it closes:
//
//   history.begin(slot);
//   ... the dialog changes the model ...
//   history.checkpoint("Apply");          // one step, when anything changed
//   history.end("Edit Materials");
//
// or, for one change, `history.record(slot, "General Information", [&] { ... })`.
// Loading, clearing or importing a slot clears its steps; saving marks the
// slot saved. A slot that is not where it was saved has unsaved changes.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "orvo/document/document.h"
#include "orvo/document/slot_edits.h"

namespace orvo {

// Each step holds two states of the slot; a long session keeps the last
// hundred per slot.
inline constexpr int kUndoLimit = 100;

// One slot's steps, oldest first, and how many of them are done.
class SlotHistory {
 public:
  int count() const { return static_cast<int>(steps_.size()); }
  // The steps done: undo takes back step index() - 1, redo does step index().
  int index() const { return index_; }
  // The name of step `i` (0 is the oldest kept).
  const std::string& name(int i) const { return steps_[static_cast<std::size_t>(i)].name; }
  bool can_undo() const { return index_ > 0; }
  bool can_redo() const { return index_ < count(); }
  // The name of the step undo would take back, or redo would do; empty
  // when there is none.
  std::string undo_name() const;
  std::string redo_name() const;
  // Whether the slot is as it was last saved (or loaded, cleared or
  // imported). Steps dropped past the limit or after an undo can take the
  // saved state with them: then no undo or redo comes back to it.
  bool saved() const { return saved_ == index_; }

  // Adds a done step. The steps undone before it are dropped, and the
  // oldest past kUndoLimit.
  void push(std::string name, SlotEditState before, SlotEditState after);
  // Takes back the last done step and gives the state to write into the
  // slot; null when there is nothing to undo.
  const SlotEditState* undo();
  // Does the next undone step again and gives the state to write into the
  // slot; null when there is nothing to redo.
  const SlotEditState* redo();
  // No steps, and saved.
  void clear();
  void mark_saved() { saved_ = index_; }

 private:
  struct Step {
    std::string name;
    SlotEditState before, after;
  };
  std::deque<Step> steps_;
  int index_ = 0;
  // The index at which the slot is as saved; -1 when no index is.
  int saved_ = 0;
};

// The four slots' steps over a document, and the edit a dialog runs.
class EditHistory {
 public:
  explicit EditHistory(Document& doc);
  EditHistory(const EditHistory&) = delete;
  EditHistory& operator=(const EditHistory&) = delete;

  const SlotHistory& stack(int slot) const { return stacks_[static_cast<std::size_t>(slot)]; }

  // Starts an edit of `slot` from its state now. An edit already running is
  // ended first (with no further step).
  void begin(int slot);
  // Starts an edit of all four slots (a dialog that edits every level,
  // such as the general information): each slot it changes gets a step of
  // its own.
  void begin_all();
  // Records what changed in the edited slots since `begin` or the last
  // checkpoint as one step named `name` on each changed slot's list;
  // nothing when nothing changed or no edit runs.
  void checkpoint(const std::string& name);
  // A last checkpoint, then the edit ends.
  void end(const std::string& name);
  bool editing() const;
  // Runs `edit` as one step.
  void record(int slot, const std::string& name, const std::function<void()>& edit);

  // Takes back the slot's last step, or does its next undone one again,
  // writing the state into the slot and telling the document's observers.
  // False when there is nothing to undo or redo.
  bool undo(int slot);
  bool redo(int slot);

  // A slot was loaded, cleared or imported: its steps are gone and it has
  // no unsaved changes.
  void reset(int slot);
  // The slot was written as it is now.
  void mark_saved(int slot);
  bool modified(int slot) const;
  // The slots with unsaved changes, in the order H, M, L, T.
  std::vector<int> modified_slots() const;

  // Told after any slot's steps, position or saved mark changed.
  std::function<void()> on_changed;
  // Told after undo or redo wrote a state into `slot` (the document's
  // observers have been told already).
  std::function<void(int slot)> on_restored;

 private:
  void push(int slot, const std::string& name, SlotEditState before, SlotEditState after);
  void restore(int slot, const SlotEditState& state);
  void changed();

  Document& doc_;
  std::array<SlotHistory, kSlotCount> stacks_;
  // The state each edited slot had at the last step (empty: not edited).
  std::array<std::optional<SlotEditState>, kSlotCount> baselines_;
};

}  // namespace orvo
