// The command table: one entry per number, accelerators used once, and the
// binding rules (disabled commands do not run, unbound ones report false).
#include "orvo/document/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace orvo {
namespace {

TEST(Commands, EveryNumberAndAcceleratorIsUsedOnce) {
  std::set<int> ids;
  std::set<std::string> keys;
  for (const CommandInfo& c : command_infos()) {
    EXPECT_TRUE(ids.insert(c.id).second) << c.id;
    if (!c.key.empty()) {
      EXPECT_TRUE(keys.insert(std::string(c.key)).second) << c.key;
    }
    EXPECT_EQ(find_command(c.id), &c);
  }
  EXPECT_EQ(find_command(12345), nullptr);
  EXPECT_EQ(find_command(cmd::kExport3di)->key, "Ctrl+X");
}

TEST(Commands, BindingsRunOnlyWhenEnabled) {
  CommandTable table;
  int runs = 0;
  bool on = false;
  table.bind(cmd::kGrid, {[&] { ++runs; }, [&] { return on; }, [&] { return runs > 0; }});
  EXPECT_FALSE(table.run(cmd::kGrid));
  on = true;
  EXPECT_TRUE(table.run(cmd::kGrid));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(table.checked(cmd::kGrid), true);
  EXPECT_FALSE(table.run(cmd::kPrint));
  EXPECT_FALSE(table.checked(cmd::kPrint).has_value());
}

}  // namespace
}  // namespace orvo
