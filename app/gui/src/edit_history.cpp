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
  for (auto& b : baselines_) b.reset();
  baselines_[static_cast<std::size_t>(slot)] = capture_slot_edits(doc_.slot(slot));
}

void EditHistory::begin_all() {
  for (int i = 0; i < kSlotCount; ++i) baselines_[static_cast<std::size_t>(i)] = capture_slot_edits(doc_.slot(i));
}

bool EditHistory::editing() const {
  for (const auto& b : baselines_)
    if (b) return true;
  return false;
}

void EditHistory::checkpoint(const QString& name) {
  for (int i = 0; i < kSlotCount; ++i) {
    std::optional<SlotEditState>& baseline = baselines_[static_cast<std::size_t>(i)];
    if (!baseline) continue;
    SlotEditState now = capture_slot_edits(doc_.slot(i));
    if (same_slot_edits(*baseline, now)) continue;
    SlotEditState before = std::move(*baseline);
    baseline = now;
    stack(i).push(new SlotStateCommand(*this, i, name, std::move(before), std::move(now)));
  }
}

void EditHistory::end(const QString& name) {
  checkpoint(name);
  for (auto& b : baselines_) b.reset();
}

void EditHistory::record(int slot, const QString& name, const std::function<void()>& edit) {
  if (slot < 0 || slot >= kSlotCount) return;
  // Inside a running edit of the slot the change is one more step of it;
  // otherwise a step of its own, the running edit keeping its baselines.
  if (baselines_[static_cast<std::size_t>(slot)]) {
    edit();
    checkpoint(name);
    return;
  }
  baselines_[static_cast<std::size_t>(slot)] = capture_slot_edits(doc_.slot(slot));
  edit();
  std::optional<SlotEditState>& baseline = baselines_[static_cast<std::size_t>(slot)];
  SlotEditState now = capture_slot_edits(doc_.slot(slot));
  if (!same_slot_edits(*baseline, now))
    stack(slot).push(new SlotStateCommand(*this, slot, name, std::move(*baseline), std::move(now)));
  baseline.reset();
}

void EditHistory::reset(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  stack(slot).clear();
  stack(slot).setClean();
  if (baselines_[static_cast<std::size_t>(slot)])
    baselines_[static_cast<std::size_t>(slot)] = capture_slot_edits(doc_.slot(slot));
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
