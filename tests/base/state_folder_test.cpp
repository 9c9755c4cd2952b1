// The per-user state folder: where it lies by the environment, and that it
// is made level by level for the user alone.
#include "tools/base/state_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/test/scratch_dir.h"

namespace tools {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

int mode_of(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

TEST(StateFolder, LiesUnderXdgStateHomeOrTheHomeFolder) {
  const ScopedEnv home("HOME", "/home/ada");
  {
    const ScopedEnv state("XDG_STATE_HOME", "/var/state/ada/");
    EXPECT_EQ(state_folder_path("ORVO"), "/var/state/ada/Brellwick/ORVO");
  }
  // Unset, empty or relative: the default under the home folder.
  for (const char* value : {static_cast<const char*>(nullptr), "", "state"}) {
    const ScopedEnv state("XDG_STATE_HOME", value);
    EXPECT_EQ(state_folder_path("Loamer"), "/home/ada/.local/state/Brellwick/Loamer") << (value ? value : "unset");
  }
}

TEST(StateFolder, IsMadeForTheUserAloneAndFoundAgain) {
  const test::ScratchDir dir("state-folder");
  const ScopedEnv state("XDG_STATE_HOME", (dir.prefix() + "xdg").c_str());
  const Result<std::string> made = make_state_folder("ORVO");
  ASSERT_TRUE(made) << made.error().message;
  EXPECT_EQ(*made, dir.file("xdg/Brellwick/ORVO"));
  EXPECT_EQ(mode_of(dir.file("xdg")), 0700);
  EXPECT_EQ(mode_of(dir.file("xdg/Brellwick")), 0700);
  EXPECT_EQ(mode_of(*made), 0700);
  // A second start finds it as it is.
  const Result<std::string> again = make_state_folder("ORVO");
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *made);
}

TEST(StateFolder, AFileInTheWayIsNamed) {
  const test::ScratchDir dir("state-folder");
  dir.put("Brellwick", "not a folder");
  const ScopedEnv state("XDG_STATE_HOME", dir.root().c_str());
  const Result<std::string> made = make_state_folder("ORVO");
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error().message, dir.file("Brellwick") + ": not a folder");
}

}  // namespace
}  // namespace tools
