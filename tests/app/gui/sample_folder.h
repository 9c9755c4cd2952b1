// What the main-window tests start from: the runtime's memory pools, Qt's
// test locations, and a scratch folder holding a copy of the sample tank set
// made the current folder (as a person starts the tool in a model folder).
#pragma once

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <filesystem>

#include "orvo/runtime/memory_pool.h"
#include "tools/test/scratch_dir.h"

namespace orvo::gui {

// Enters `dir` with the tank set copied into it; returns the folder to go
// back to when the test ends.
inline std::filesystem::path enter_sample_folder(const tools::test::ScratchDir& dir) {
  QStandardPaths::setTestModeEnabled(true);
  if (!main_pool().is_set_up()) EXPECT_TRUE(start_memory_pools());
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  for (const auto& e : std::filesystem::directory_iterator(ORVO_SOURCE_DIR "/samples/tank"))
    std::filesystem::copy_file(e.path(), dir.path() / e.path().filename());
  return old;
}

}  // namespace orvo::gui
