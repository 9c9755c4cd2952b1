#include "orvo/document/edit_history.h"

namespace orvo {

std::string SlotHistory::undo_name() const {
  return can_undo() ? name(index_ - 1) : std::string();
}

std::string SlotHistory::redo_name() const {
  return can_redo() ? name(index_) : std::string();
}

void SlotHistory::push(std::string name, SlotEditState before, SlotEditState after) {
  // Most steps leave the faces alone: both states share one copy.
  if (before.face_materials && after.face_materials && *before.face_materials == *after.face_materials)
    after.face_materials = before.face_materials;
  // A step after an undo drops the undone ones; the saved state goes with
  // them when it was one of them.
  steps_.erase(steps_.begin() + index_, steps_.end());
  if (saved_ > index_) saved_ = -1;
  steps_.push_back({std::move(name), std::move(before), std::move(after)});
  ++index_;
  if (count() > kUndoLimit) {
    steps_.pop_front();
    --index_;
    // The state before the dropped step can no longer be reached.
    saved_ = saved_ > 0 ? saved_ - 1 : -1;
  }
}

const SlotEditState* SlotHistory::undo() {
  if (!can_undo()) return nullptr;
  --index_;
  return &steps_[static_cast<std::size_t>(index_)].before;
}

const SlotEditState* SlotHistory::redo() {
  if (!can_redo()) return nullptr;
  ++index_;
  return &steps_[static_cast<std::size_t>(index_ - 1)].after;
}

void SlotHistory::clear() {
  steps_.clear();
  index_ = 0;
  saved_ = 0;
}

EditHistory::EditHistory(Document& doc) : doc_(doc) {}

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

void EditHistory::checkpoint(const std::string& name) {
  for (int i = 0; i < kSlotCount; ++i) {
    std::optional<SlotEditState>& baseline = baselines_[static_cast<std::size_t>(i)];
    if (!baseline) continue;
    SlotEditState now = capture_slot_edits(doc_.slot(i));
    if (same_slot_edits(*baseline, now)) continue;
    SlotEditState before = std::move(*baseline);
    baseline = now;
    push(i, name, std::move(before), std::move(now));
  }
}

void EditHistory::end(const std::string& name) {
  checkpoint(name);
  for (auto& b : baselines_) b.reset();
}

void EditHistory::record(int slot, const std::string& name, const std::function<void()>& edit) {
  if (slot < 0 || slot >= kSlotCount) return;
  // Inside a running edit of the slot the change is one more step of it;
  // otherwise a step of its own, the running edit keeping its baselines.
  if (baselines_[static_cast<std::size_t>(slot)]) {
    edit();
    checkpoint(name);
    return;
  }
  std::optional<SlotEditState>& baseline = baselines_[static_cast<std::size_t>(slot)];
  baseline = capture_slot_edits(doc_.slot(slot));
  edit();
  SlotEditState now = capture_slot_edits(doc_.slot(slot));
  if (baseline && !same_slot_edits(*baseline, now)) push(slot, name, std::move(*baseline), std::move(now));
  baseline.reset();
}

bool EditHistory::undo(int slot) {
  if (slot < 0 || slot >= kSlotCount) return false;
  const SlotEditState* state = stacks_[static_cast<std::size_t>(slot)].undo();
  if (state == nullptr) return false;
  restore(slot, *state);
  return true;
}

bool EditHistory::redo(int slot) {
  if (slot < 0 || slot >= kSlotCount) return false;
  const SlotEditState* state = stacks_[static_cast<std::size_t>(slot)].redo();
  if (state == nullptr) return false;
  restore(slot, *state);
  return true;
}

void EditHistory::reset(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  stacks_[static_cast<std::size_t>(slot)].clear();
  if (baselines_[static_cast<std::size_t>(slot)])
    baselines_[static_cast<std::size_t>(slot)] = capture_slot_edits(doc_.slot(slot));
  changed();
}

void EditHistory::mark_saved(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  stacks_[static_cast<std::size_t>(slot)].mark_saved();
  changed();
}

bool EditHistory::modified(int slot) const {
  return slot >= 0 && slot < kSlotCount && !stack(slot).saved();
}

std::vector<int> EditHistory::modified_slots() const {
  std::vector<int> out;
  for (int i = 0; i < kSlotCount; ++i)
    if (modified(i)) out.push_back(i);
  return out;
}

void EditHistory::push(int slot, const std::string& name, SlotEditState before, SlotEditState after) {
  stacks_[static_cast<std::size_t>(slot)].push(name, std::move(before), std::move(after));
  changed();
}

void EditHistory::restore(int slot, const SlotEditState& state) {
  restore_slot_edits(doc_.slot(slot), state);
  doc_.changed(kChangedModel | kChangedView);
  changed();
  if (on_restored) on_restored(slot);
}

void EditHistory::changed() {
  if (on_changed) on_changed();
}

}  // namespace orvo
