#include "orvo/gui/edit_history.h"

#include <QUndoCommand>

namespace orvo::gui {

// One recorded step: the slot's state before and after it.
class SlotStateCommand : public QUndoCommand {
 public:
  SlotStateCommand(EditHistory& history, int slot, const QString& name, SlotEditState before, SlotEditState after)
      : QUndoCommand(name), history_(history), slot_(slot), before_(std::move(before)), after_(std::move(after)) {
    // Most steps leave the faces alone: both states share one copy.
    if (before_.face_materials && after_.face_materials && *before_.face_materials == *after_.face_materials)
      after_.face_materials = before_.face_materials;
  }
  void undo() override { history_.apply(slot_, before_); }
  void redo() override {
    // The first redo is the push: the change is already in the slot.
    if (pushed_) history_.apply(slot_, after_);
    pushed_ = true;
  }

 private:
  EditHistory& history_;
  int slot_;
  SlotEditState before_, after_;
  bool pushed_ = false;
};

EditHistory::EditHistory(Document& doc, QObject* parent) : QObject(parent), doc_(doc) {
  for (auto& s : stacks_) {
    s = std::make_unique<QUndoStack>();
    // Each step holds two states of the slot; a long session keeps the
    // last hundred.
    s->setUndoLimit(100);
    group_.addStack(s.get());
    connect(s.get(), &QUndoStack::cleanChanged, this, [this] { emit modified_changed(); });
  }
  follow_current_slot();
}

EditHistory::~EditHistory() {
  // A stack going away announces its clean state: nobody listens by then.
  for (auto& s : stacks_) {
    s->blockSignals(true);
    group_.removeStack(s.get());
  }
}

void EditHistory::follow_current_slot() {
  group_.setActiveStack(stacks_[static_cast<std::size_t>(doc_.current_slot())].get());
}

void EditHistory::begin(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  edit_slot_ = slot;
  baseline_ = capture_slot_edits(doc_.slot(slot));
}

void EditHistory::checkpoint(const QString& name) {
  if (edit_slot_ < 0 || !baseline_) return;
  SlotEditState now = capture_slot_edits(doc_.slot(edit_slot_));
  if (same_slot_edits(*baseline_, now)) return;
  SlotEditState before = std::move(*baseline_);
  baseline_ = now;
  stack(edit_slot_).push(new SlotStateCommand(*this, edit_slot_, name, std::move(before), std::move(now)));
}

void EditHistory::end(const QString& name) {
  checkpoint(name);
  edit_slot_ = -1;
  baseline_.reset();
}

void EditHistory::record(int slot, const QString& name, const std::function<void()>& edit) {
  // Inside a running edit of the same slot the change is one more step of
  // it; otherwise an edit of its own.
  if (edit_slot_ == slot) {
    edit();
    checkpoint(name);
    return;
  }
  const int outer = edit_slot_;
  std::optional<SlotEditState> outer_baseline = std::move(baseline_);
  begin(slot);
  edit();
  end(name);
  edit_slot_ = outer;
  baseline_ = std::move(outer_baseline);
}

void EditHistory::reset(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  stack(slot).clear();
  stack(slot).setClean();
  if (edit_slot_ == slot) baseline_ = capture_slot_edits(doc_.slot(slot));
}

void EditHistory::mark_saved(int slot) {
  if (slot >= 0 && slot < kSlotCount) stack(slot).setClean();
}

bool EditHistory::modified(int slot) const {
  return slot >= 0 && slot < kSlotCount && !stacks_[static_cast<std::size_t>(slot)]->isClean();
}

std::vector<int> EditHistory::modified_slots() const {
  std::vector<int> out;
  for (int i = 0; i < kSlotCount; ++i)
    if (modified(i)) out.push_back(i);
  return out;
}

void EditHistory::apply(int slot, const SlotEditState& state) {
  restore_slot_edits(doc_.slot(slot), state);
  doc_.changed(kChangedModel | kChangedView);
  emit restored(slot);
}

}  // namespace orvo::gui
