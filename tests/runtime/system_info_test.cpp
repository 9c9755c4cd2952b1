#include "orvo/runtime/system_info.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

const std::string kDashes(tools::SystemLog::kDashes);

SystemInfo sample_info() {
  SystemInfo info;
  info.processor_class = "Pentium III";
  info.clock_mhz = 733;
  info.model_number = 8;
  info.has_mmx = true;
  info.has_simd = true;
  info.processor_ids = {6, 8, 3, 0};
  info.cache_known = true;
  info.l1_code_kb = 16;
  info.l1_data_kb = 16;
  info.l2_kb = 256;
  info.physical_total = (256ull << 20) + 12345;  // the odd bytes are shifted away
  info.physical_available = 100ull << 20;
  info.page_file_total = 6000ull << 20;
  info.page_file_available = (5ull << 20) - 1;
  return info;
}

TEST(SystemInfo, DescriptionLines) {
  EXPECT_EQ(format_system_description(sample_info()), "Tessa2 Release Version\n" + kDashes +
                                                          "OS:        OS_Other\n"
                                                          "CPU class: Pentium III ~733Mhz (8)  with: MMX - SIMD\n"
                                                          "           6/8/3/0\n"
                                                          "           L1 chip cache: 16K/16K (code/data)\n"
                                                          "           L2 chip cache: 256K\n"
                                                          "Memory:    Physical:   256Mb  (100Mb available)\n"
                                                          "           Page File: 6000Mb  (4Mb available)\n" +
                                                          kDashes);
}

TEST(SystemInfo, AbsentFeaturesAndUnknownCaches) {
  SystemInfo info = sample_info();
  info.has_mmx = info.has_simd = false;
  info.cache_known = false;
  const std::string text = format_system_description(info);
  EXPECT_NE(text.find("~733Mhz (8)  with: - - -\n           6/8/3/0\n           chip cache: unknown\nMemory:"),
            std::string::npos)
      << text;

  info.has_3dnow = true;
  EXPECT_NE(format_system_description(info).find("with: - 3DNOW -\n"), std::string::npos);
}

TEST(SystemInfo, OsNames) {
  const struct {
    int kind;
    const char* name;
  } cases[] = {{kOsOther, "OS_Other"},
               {kOsWindows95, "Windows95"},
               {kOsWindows98, "Windows98"},
               {kOsWindowsNT, "WindowsNT"},
               {kOsWindows2000, "Windows2000"},
               {kOsWindowsXP, "WindowsXP"},
               {6, "OS_Other"},
               {-1, "OS_Other"}};
  for (const auto& c : cases) {
    SystemInfo info = sample_info();
    info.os_kind = c.kind;
    EXPECT_NE(format_system_description(info).find(std::string("\nOS:        ") + c.name + "\nCPU class: "),
              std::string::npos)
        << c.kind;
  }
}

TEST(SystemInfo, ProbeGivesPlausibleValues) {
  const SystemInfo info = probe_system();
  EXPECT_EQ(info.os_kind, kOsOther);
  EXPECT_FALSE(info.processor_class.empty());
  EXPECT_GT(info.clock_mhz, 0);
  EXPECT_GT(info.physical_total, 0u);
  EXPECT_GT(info.physical_available, 0u);
  EXPECT_LE(info.physical_available, info.physical_total);
  EXPECT_LE(info.page_file_available, info.page_file_total);
#if defined(__x86_64__)
  // Every x86-64 processor has MMX and SSE.
  EXPECT_TRUE(info.has_mmx);
  EXPECT_TRUE(info.has_simd);
  EXPECT_GE(info.processor_ids[0], 6);
#endif
}

TEST(SystemInfo, SystemLogWritesBannerDescriptionThenMessage) {
  tools::test::ScratchDir dir("system_info");
  const std::string path = dir.file("ghw.txt");
  tools::SystemLog log(
      path, [] { return tools::LocalTime{2003, 7, 4, 9, 5, 3}; }, orvo_banner_tail());
  ASSERT_TRUE(log.write("DXVersion: DirectX 8.1 detected\n"));
  ASSERT_TRUE(log.write("<BREAK>"));
  // The description is probed once per process: a second tail gives the same text.
  const std::string description = orvo_banner_tail()();
  EXPECT_EQ(description.rfind("Tessa2 Release Version\n", 0), 0u);
  EXPECT_EQ(tools::test::slurp(path), kDashes + "GHW.TXT - LOG FILE - 7/4/2003, 9:05:03\n" + kDashes + description +
                                          "DXVersion: DirectX 8.1 detected\n" + kDashes);
}

}  // namespace
}  // namespace orvo
