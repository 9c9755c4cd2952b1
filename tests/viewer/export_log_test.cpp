// The loader's log: banner on the first line of a run, <BREAK> and <TIME>,
// the checksum block and the final statistics in their words.
#include <gtest/gtest.h>

#include "orvo/viewer/export_log.h"
#include "tools/test/scratch_dir.h"

namespace {

using namespace orvo;

const tools::LocalTime kWhen{2026, 12, 7, 9, 5, 3};

TEST(ExportLog, BannerBreakTimeAndText) {
  tools::test::ScratchDir dir("log");
  const std::string path = dir.put("3di_log.txt", "an earlier run\n");
  ExportLog log(path, [] { return kWhen; });
  log.line("Loading 'tank.3DI'\n");
  log.line("<BREAK>");
  log.line("<TIME> 12 ms");
  log.line("%s %d\n");  // written as it is, not as a format
  const std::string dashes(64, '-');
  EXPECT_EQ(tools::test::slurp(path), dashes + "\n3di_log.txt - LOG FILE - 12/7/2026, 9:05:03\n" + dashes +
                                          "\nLoading 'tank.3DI'\n" + dashes + "\n%s %d\n");
}

TEST(ExportLog, ChecksumsAndFinalStats) {
  tools::test::ScratchDir dir("log");
  ExportLog log(dir.file("3di_log.txt"), [] { return kWhen; });
  const std::vector<ExportLog::ModelSum> sums{{"tank.3DI", 16, 3}, {"big.3DI", 0xFFFFFFFFu, 2}};
  EXPECT_EQ(log.write_checksums(sums), (std::vector<uint32_t>{19, 1}));
  const std::vector<ExportLog::ModelVolumes> volumes{{"bare.3DI", 0, 2, 0}, {"tower.3DI", 3, 1, 2}};
  log.write_final_stats(volumes);
  const std::string text = tools::test::slurp(dir.file("3di_log.txt"));
  const std::string dashes(64, '-');
  EXPECT_NE(
      text.find(dashes + "\nCHECKSUM DATA FOLLOWS...\n" + dashes + "\n'tank.3DI' : 00000013\n'big.3DI' : 00000001\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\nFinal Stats for 3DI Objects\n'bare.3DI' has no bounding data\n\nObjects with ladder volumes\n"
                      "'tower.3DI' has 2 ladder volume(s)\n"),
            std::string::npos)
      << text;
}

}  // namespace
