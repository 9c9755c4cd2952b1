#pragma once
// The terrain tests' scratch folder: the shared one.

#include "tools/test/scratch_dir.h"

namespace loamer::test {

using TempDir = tools::test::ScratchDir;

}  // namespace loamer::test
