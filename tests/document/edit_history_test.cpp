// The edit history without widgets: named steps of a dialog's edit, undo
// and redo writing each slot back, one list of steps per slot, the saved
// mark, the steps dropped by a new step after an undo and past the limit.
#include "orvo/document/edit_history.h"

#include <gtest/gtest.h>

namespace orvo {
namespace {

// A slot with one sub-object of three faces, so that the faces' material
// indices are part of what a step holds.
void give_faces(Model& m) {
  m.subobjects.emplace_back();
  m.subobjects.back().faces.resize(3);
}

TEST(EditHistory, StepsAreNamedAndUndoAndRedoWriteTheSlotBack) {
  Document doc;
  give_faces(doc.slot(0));
  EditHistory history(doc);
  std::vector<int> restored;
  history.on_restored = [&](int slot) { restored.push_back(slot); };
  uint32_t told = 0;
  doc.observe([&](uint32_t c) { told |= c; });

  history.begin(0);
  doc.slot(0).threshold = 2.5f;
  history.checkpoint("Apply");
  history.checkpoint("Apply");  // nothing new: no step
  doc.slot(0).materials[1].transparency = 9;
  doc.slot(0).subobjects[0].faces[2].material = 1;
  history.end("Edit Materials");
  history.record(0, "General Information", [&] { doc.slot(0).name = "hull"; });
  history.record(0, "General Information", [] {});  // nothing changed: no step

  const SlotHistory& steps = history.stack(0);
  ASSERT_EQ(steps.count(), 3);
  EXPECT_EQ(steps.name(0), "Apply");
  EXPECT_EQ(steps.name(1), "Edit Materials");
  EXPECT_EQ(steps.undo_name(), "General Information");
  EXPECT_EQ(steps.redo_name(), "");
  EXPECT_FALSE(history.editing());

  EXPECT_TRUE(history.undo(0));
  EXPECT_TRUE(history.undo(0));
  EXPECT_EQ(doc.slot(0).name.view(), "");
  EXPECT_EQ(doc.slot(0).materials[1].transparency, 0);
  EXPECT_EQ(doc.slot(0).subobjects[0].faces[2].material, 0);
  EXPECT_EQ(doc.slot(0).threshold, 2.5f);
  EXPECT_EQ(steps.undo_name(), "Apply");
  EXPECT_EQ(steps.redo_name(), "Edit Materials");
  EXPECT_TRUE(history.undo(0));
  EXPECT_EQ(doc.slot(0).threshold, 0.0f);
  EXPECT_FALSE(history.undo(0));
  EXPECT_NE(told & kChangedModel, 0u);
  EXPECT_EQ(restored, (std::vector<int>{0, 0, 0}));

  EXPECT_TRUE(history.redo(0));
  EXPECT_TRUE(history.redo(0));
  EXPECT_EQ(doc.slot(0).materials[1].transparency, 9);
  EXPECT_EQ(doc.slot(0).subobjects[0].faces[2].material, 1);
  EXPECT_TRUE(history.redo(0));
  EXPECT_EQ(doc.slot(0).name.view(), "hull");
  EXPECT_FALSE(history.redo(0));
}

TEST(EditHistory, EachSlotHasItsOwnStepsAndUnsavedMark) {
  Document doc;
  EditHistory history(doc);
  history.begin_all();
  doc.slot(0).threshold = 1;
  doc.slot(2).threshold = 3;
  history.end("General Information");
  EXPECT_EQ(history.stack(0).count(), 1);
  EXPECT_EQ(history.stack(1).count(), 0);
  EXPECT_EQ(history.stack(2).count(), 1);
  EXPECT_EQ(history.modified_slots(), (std::vector<int>{0, 2}));

  EXPECT_FALSE(history.undo(1));
  EXPECT_TRUE(history.undo(2));
  EXPECT_EQ(doc.slot(2).threshold, 0.0f);
  EXPECT_EQ(doc.slot(0).threshold, 1.0f);
  EXPECT_EQ(history.modified_slots(), (std::vector<int>{0}));

  // Reading a slot again drops its steps; an edit running on it goes on
  // from what was read.
  history.begin(0);
  doc.slot(0).threshold = 7;
  history.reset(0);
  EXPECT_EQ(history.stack(0).count(), 0);
  EXPECT_FALSE(history.modified(0));
  history.end("Edit Materials");
  EXPECT_EQ(history.stack(0).count(), 0);
}

// A list of `n` steps named "1" .. "n" (the states do not matter here).
void push_steps(SlotHistory& steps, int from, int to) {
  for (int i = from; i <= to; ++i) steps.push(std::to_string(i), {}, {});
}

TEST(SlotHistory, TheSavedMarkFollowsUndoAndRedoUntilItsStateIsDropped) {
  SlotHistory steps;
  EXPECT_TRUE(steps.saved());
  push_steps(steps, 1, 2);
  steps.mark_saved();
  push_steps(steps, 3, 3);
  EXPECT_FALSE(steps.saved());
  steps.undo();
  EXPECT_TRUE(steps.saved());
  steps.undo();
  EXPECT_FALSE(steps.saved());
  steps.redo();
  EXPECT_TRUE(steps.saved());

  // A new step after undoing past the saved state drops that state: no
  // undo or redo comes back to it.
  steps.undo();
  push_steps(steps, 4, 4);
  EXPECT_EQ(steps.count(), 2);
  EXPECT_FALSE(steps.can_redo());
  EXPECT_EQ(steps.undo_name(), "4");
  while (steps.undo()) EXPECT_FALSE(steps.saved());
  while (steps.redo()) EXPECT_FALSE(steps.saved());

  steps.clear();
  EXPECT_EQ(steps.count(), 0);
  EXPECT_TRUE(steps.saved());
}

TEST(SlotHistory, ANewStepAfterUndoDropsTheUndoneOnes) {
  SlotHistory steps;
  push_steps(steps, 1, 3);
  steps.mark_saved();
  steps.undo();
  steps.undo();
  push_steps(steps, 4, 4);
  ASSERT_EQ(steps.count(), 2);
  EXPECT_EQ(steps.name(0), "1");
  EXPECT_EQ(steps.name(1), "4");
  EXPECT_EQ(steps.redo(), nullptr);
  EXPECT_FALSE(steps.saved());
}

TEST(SlotHistory, PastTheLimitTheOldestStepsGo) {
  SlotHistory steps;
  push_steps(steps, 1, 50);
  steps.mark_saved();
  push_steps(steps, 51, kUndoLimit + 10);
  ASSERT_EQ(steps.count(), kUndoLimit);
  EXPECT_EQ(steps.name(0), "11");
  EXPECT_EQ(steps.undo_name(), std::to_string(kUndoLimit + 10));
  // The saved state moved down with the steps before it.
  for (int i = 0; i < kUndoLimit - 40; ++i) steps.undo();
  EXPECT_TRUE(steps.saved());

  // The state the oldest dropped step started from is gone, saved or not.
  SlotHistory fresh;
  push_steps(fresh, 1, kUndoLimit + 1);
  while (fresh.undo()) EXPECT_FALSE(fresh.saved());
  EXPECT_EQ(fresh.name(0), "2");
}

}  // namespace
}  // namespace orvo
