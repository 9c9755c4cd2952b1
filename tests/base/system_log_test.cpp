#include "tools/base/system_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tools {
namespace {

namespace fs = std::filesystem;

const std::string kDash64(64, '-');

class SystemLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("system_log_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "ghw.txt").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  static LocalTime fixed_time() { return LocalTime{2003, 7, 4, 9, 5, 3}; }

  fs::path dir_;
  std::string path_;
};

TEST_F(SystemLogTest, FirstWriteReplacesAnOldLogWithBannerThenMessage) {
  std::ofstream(path_) << "a log of an earlier run\n";
  SystemLog log(path_, fixed_time);
  EXPECT_FALSE(log.started());
  ASSERT_TRUE(log.write("Tessa Release Version\n"));
  EXPECT_TRUE(log.started());
  EXPECT_EQ(contents(), kDash64 + "\nGHW.TXT - LOG FILE - 7/4/2003, 9:05:03\n" + kDash64 + "\nTessa Release Version\n");
}

TEST_F(SystemLogTest, LaterWritesAppendAndBreakAndGuidAreCommands) {
  int clock_calls = 0;
  SystemLog log(path_, [&] {
    ++clock_calls;
    return fixed_time();
  });
  ASSERT_TRUE(log.write("first\n"));
  ASSERT_TRUE(log.write("<BREAK>"));
  ASSERT_TRUE(log.write("<GUID>"));
  DeviceGuid guid{0xD7B71E3E, 0x4340, 0x11CF, {0xA2, 0x0B, 0x00, 0xAA, 0x00, 0x0C, 0x1F, 0x0F}};
  log.set_device_guid(guid);
  ASSERT_TRUE(log.write("<GUID>"));
  ASSERT_TRUE(log.write("<break>"));  // commands are matched exactly
  ASSERT_TRUE(log.write("no line feed"));
  EXPECT_EQ(clock_calls, 1);

  const std::string banner = kDash64 + "\nGHW.TXT - LOG FILE - 7/4/2003, 9:05:03\n" + kDash64 + "\n";
  EXPECT_EQ(contents(), banner + "first\n" + kDash64 + "\n" +
                            "GUID:       00000000-0000-0000-00-00-00-00-00-00-00-00\n"
                            "GUID:       D7B71E3E-4340-11CF-A2-0B-00-AA-00-0C-1F-0F\n"
                            "<break>no line feed");
}

TEST_F(SystemLogTest, BannerTailFollowsTheBannerOnce) {
  SystemLog log(path_, fixed_time, [] { return std::string("Tessa2 Release Version\n") + kDash64 + "\n"; });
  ASSERT_TRUE(log.write("<BREAK>"));
  ASSERT_TRUE(log.write("x\n"));
  const std::string banner = kDash64 + "\nGHW.TXT - LOG FILE - 7/4/2003, 9:05:03\n" + kDash64 + "\n";
  EXPECT_EQ(contents(), banner + "Tessa2 Release Version\n" + kDash64 + "\n" + kDash64 + "\nx\n");
}

TEST_F(SystemLogTest, EachRunStartsAFreshLog) {
  {
    SystemLog first(path_, fixed_time);
    ASSERT_TRUE(first.write("one\n"));
  }
  SystemLog second(path_, [] { return LocalTime{2024, 12, 31, 23, 59, 58}; });
  ASSERT_TRUE(second.write("two\n"));
  EXPECT_EQ(contents(), kDash64 + "\nGHW.TXT - LOG FILE - 12/31/2024, 23:59:58\n" + kDash64 + "\ntwo\n");
}

TEST_F(SystemLogTest, FailureToOpenIsReportedAndTheNextWriteStartsTheLog) {
  const std::string blocked = (dir_ / "missing" / "ghw.txt").string();
  SystemLog log(blocked, fixed_time);
  EXPECT_FALSE(log.write("lost\n"));
  EXPECT_FALSE(log.started());
  fs::create_directories(dir_ / "missing");
  ASSERT_TRUE(log.write("kept\n"));
  std::ifstream in(blocked);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), kDash64 + "\nGHW.TXT - LOG FILE - 7/4/2003, 9:05:03\n" + kDash64 + "\nkept\n");
}

TEST_F(SystemLogTest, WritesFromManyThreadsStayWholeLines) {
  SystemLog log(path_, fixed_time);
  constexpr int kThreads = 4;
  constexpr int kLines = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) log.write("thread " + std::to_string(t) + " line " + std::to_string(i) + "\n");
    });
  }
  for (auto& th : threads) th.join();

  std::istringstream in(contents());
  std::string line;
  int banner_lines = 0;
  int message_lines = 0;
  std::vector<int> next(kThreads, 0);
  while (std::getline(in, line)) {
    if (line == kDash64 || line.rfind("GHW.TXT", 0) == 0) {
      ++banner_lines;
      continue;
    }
    int t = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[static_cast<std::size_t>(t)]++);  // each thread's lines in its own order
    ++message_lines;
  }
  EXPECT_EQ(banner_lines, 3);
  EXPECT_EQ(message_lines, kThreads * kLines);
}

}  // namespace
}  // namespace tools
