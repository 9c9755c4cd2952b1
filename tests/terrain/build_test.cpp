// Triangulation pieces and whole builds of synthetic depth maps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/build.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/triangulation.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using namespace loamer;

namespace {

using test::TempDir;

// Rolling hills: smooth enough to reduce well, uneven enough to matter.
std::vector<uint8_t> hills_map() {
  std::vector<uint8_t> map(kDepthMapBytes);
  for (int z = 0; z < 1024; ++z)
    for (int x = 0; x < 1024; ++x)
      map[static_cast<size_t>(z) * 1024 + x] = static_cast<uint8_t>(
          120 + 60 * std::sin(x * 0.0123) * std::cos(z * 0.0171) + 25 * std::sin((x + 2 * z) * 0.05));
  return map;
}

void write_bytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void set_mtime(const fs::path& p, std::time_t t) {
  utimbuf times{t, t};
  ASSERT_EQ(::utime(p.c_str(), &times), 0);
}

struct Recorder : BuildListener {
  std::vector<std::string> lines;
  std::array<std::string, 5> text;
  std::array<long, 5> range{}, position{};
  std::function<void(const std::string&)> on_log;

  void log(std::string_view line) override {
    lines.emplace_back(line);
    if (on_log) on_log(lines.back());
  }
  void stage_range(int stage, long total) override { range.at(static_cast<size_t>(stage)) = total; }
  void stage_position(int stage, long done) override { position.at(static_cast<size_t>(stage)) = done; }
  void stage_text(int stage, std::string_view t) override { text.at(static_cast<size_t>(stage)) = t; }

  long count_starting(std::string_view prefix) const {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
  }
};

BuildParams params_for(const TempDir& dir, int jobs) {
  BuildParams p;
  p.path = dir.prefix();
  p.depth_map = dir.prefix() + "map.raw";
  p.output = dir.prefix() + "terrain.cpt";
  p.terrain_name = "Test";
  p.creator = "Tests";
  p.user_name = "tester";
  p.jobs = jobs;
  return p;
}

// Every file of a build folder by name.
std::map<std::string, std::string> folder_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = read_bytes(e.path());
  return files;
}

}  // namespace

TEST(Triangulation, HeightGridSumsFourBytesAndWraps) {
  std::vector<uint8_t> map(kDepthMapBytes, 0);
  map[0] = 1;                   // (0, 0)
  map[1023] = 2;                // (1023, 0)
  map[1023 * 1024] = 4;         // (0, 1023)
  map[1023 * 1024 + 1023] = 8;  // (1023, 1023)
  const std::vector<uint16_t> h = height_grid(map);
  EXPECT_EQ(h[0], 32 * 1);
  EXPECT_EQ(h[1023], 32 * (2 + 1));                          // x + 1 wraps to 0
  EXPECT_EQ(h[1023 * 1024 + 1023], 32 * (8 + 4 + 2 + 1));   // both wrap
  EXPECT_EQ(h[5 * 1024 + 5], 0);
  const std::vector<uint8_t> full(kDepthMapBytes, 255);
  EXPECT_EQ(height_grid(full)[77], 255 * 4 * 32);  // 127.5 units, the highest possible
}

TEST(Triangulation, LockedQuadrantRepeatsItsOwnColumnsAndRows) {
  std::vector<uint16_t> h(1024 * 1024);
  for (size_t i = 0; i < h.size(); ++i) h[i] = static_cast<uint16_t>((i % 1024) + 7 * (i / 1024));
  QuadrantLocks locks;
  // Unlocked: the map wraps at 1024.
  EXPECT_EQ(layout_height(h, locks, 960, 0, 1024, 3), h[3 * 1024 + 0] / 256.0f);
  locks[Quadrant::kTopLeft] = {1, 1};
  // The top-left block at x = 448 meets x = 512 with the heights of column 0.
  EXPECT_EQ(layout_height(h, locks, 448, 0, 512, 10), h[10 * 1024 + 0] / 256.0f);
  EXPECT_EQ(layout_height(h, locks, 0, 448, 20, 512), h[0 * 1024 + 20] / 256.0f);
  // The top-right quadrant is not locked: x = 512 there is column 512.
  EXPECT_EQ(layout_height(h, locks, 512, 0, 512, 10), h[10 * 1024 + 512] / 256.0f);
  locks[Quadrant::kBottomRight] = {1, 0};
  EXPECT_EQ(layout_height(h, locks, 960, 960, 1024, 1000), h[1000 * 1024 + 512] / 256.0f);
}

TEST(Triangulation, ReductionSettingsPerBlockSize) {
  const BlockReduction leaf = block_reduction(64, true, 3940);
  EXPECT_EQ(leaf.vertex_start, 332);
  EXPECT_EQ(leaf.vertex_end, 268);
  EXPECT_FLOAT_EQ(leaf.threshold_start, 0.0992f);
  EXPECT_FLOAT_EQ(leaf.threshold_end, 0.3424f);
  // d0 = s^2 / 256 + 5 s caps the end target; a merged mesh of f vertices ends at 0.8 f below that.
  const int sizes[] = {64, 128, 256, 512, 1024};
  const int d0[] = {336, 704, 1536, 3584, 9216};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(block_reduction(sizes[i], false, 100000).vertex_end, d0[i]);
    EXPECT_EQ(block_reduction(sizes[i], false, 400).vertex_end, 320);
    EXPECT_EQ(block_reduction(sizes[i], false, 400).vertex_start, 400 - 80 / 16);
  }
  EXPECT_FLOAT_EQ(block_reduction(128, false, 1000).threshold_start, 0.8f * (0.128f + 0.15f));
}

TEST(Triangulation, RasterisingSetsPointsInsideToThePlaneHeight) {
  TerrainMesh mesh;
  // A right triangle over (0,0) (8,0) (0,8) rising along x; wound as the
  // templates are.
  mesh.vertices = {terrain_vertex(0, 10.0f, 0), terrain_vertex(0, 10.0f, 8), terrain_vertex(8, 18.0f, 0)};
  mesh.lods[0].triangles = {0, 1, 2};
  std::vector<uint16_t> file(1024 * 1024, 7);
  rasterise_lod0(mesh, file);
  EXPECT_EQ(file[0], 10 * 256);
  EXPECT_EQ(file[3 * 1024 + 4], (10 + 4) * 256);  // on the diagonal edge: inside
  EXPECT_EQ(file[5 * 1024 + 5], 7);                // beyond it: untouched
  EXPECT_EQ(file[9 * 1024 + 0], 7);                // outside the box
  // Heights above 128 are not stored.
  mesh.vertices[2].y = 300.0f;
  std::vector<uint16_t> high(1024 * 1024, 7);
  rasterise_lod0(mesh, high);
  EXPECT_EQ(high[0 * 1024 + 8], 7);
  EXPECT_EQ(high[0], 10 * 256);
}

TEST(Build, MissingOrShortDepthMapWritesNothing) {
  TempDir dir;
  Recorder rec;
  BuildControl control;
  EXPECT_EQ(run_build(params_for(dir, 1), rec, control), -1);
  ASSERT_EQ(rec.lines.size(), 1u);
  EXPECT_EQ(rec.lines[0], "Error:  Could not open Input file");
  EXPECT_FALSE(control.in_progress.load());

  write_bytes(dir.path() / "map.raw", std::vector<uint8_t>(kDepthMapBytes - 1, 9));
  Recorder shorter;
  EXPECT_EQ(run_build(params_for(dir, 1), shorter, control), -1);
  ASSERT_EQ(shorter.lines.size(), 1u);
  EXPECT_NE(shorter.lines[0].find("map.raw"), std::string::npos);
  EXPECT_NE(shorter.lines[0].find("1048575"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
  EXPECT_EQ(shorter.position, (std::array<long, 5>{}));
}

// One full build, then the incremental and parallel builds compared with it.
TEST(Build, FullThenReusedThenParallelIdentical) {
  TempDir one;
  write_bytes(one.path() / "map.raw", hills_map());
  set_mtime(one.path() / "map.raw", std::time(nullptr) - 100);
  Recorder first;
  BuildControl control;
  ASSERT_EQ(run_build(params_for(one, 1), first, control), 0);
  EXPECT_EQ(first.lines.front(), "Triangulating Depth Map");
  EXPECT_EQ(first.lines[1], "Total Data Blocks: 341");
  EXPECT_EQ(first.count_starting("Generating Data "), 341);
  EXPECT_EQ(first.count_starting("Exporting CPT"), 2);
  EXPECT_EQ(first.lines.back(), "Build Completed");
  EXPECT_EQ(first.text[3], "341 of 341");
  EXPECT_EQ(first.range[1], 341);
  // The whole-map block is the last one made.
  EXPECT_TRUE(first.lines[first.lines.size() - 5].starts_with("Generating Data 0   00/00 VRange:"));
  const auto built = folder_files(one.path());
  EXPECT_EQ(built.at("Output.dep").size(), kHeightFileBytes);
  EXPECT_EQ(built.count("S4_3c_3c.tml"), 1u);
  EXPECT_EQ(built.count("S0_00_00.tms"), 1u);
  EXPECT_EQ(built.at("terrain.cpt").substr(0, 4), "CPT1");

  // Every block file is in use: leaves keep their template edges (vertices
  // on all four sides), every list's indices stay below its vertex count.
  tools::Result<PackedBlockMesh> leaf = read_block_mesh(one.prefix() + "S4_3c_3c.tml");
  ASSERT_TRUE(leaf.ok());
  EXPECT_EQ(leaf->origin_x, 960);
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& l = leaf->lods[static_cast<size_t>(slot)];
    EXPECT_GT(l.count, 0u);
    for (uint16_t i : l.indices) ASSERT_LT(i, l.vertex_count);
  }

  // A second build reuses every block and converts nothing.
  const auto tms_time = fs::last_write_time(one.path() / "S4_00_00.tms");
  Recorder again;
  ASSERT_EQ(run_build(params_for(one, 1), again, control), 0);
  EXPECT_EQ(again.count_starting("Loaded in Sector "), 341);
  EXPECT_EQ(again.count_starting("Generating Data "), 0);
  EXPECT_EQ(fs::last_write_time(one.path() / "S4_00_00.tms"), tms_time);
  EXPECT_EQ(folder_files(one.path()), built);

  // The same build on two threads writes the same bytes.
  TempDir two;
  fs::copy_file(one.path() / "map.raw", two.path() / "map.raw");
  set_mtime(two.path() / "map.raw", std::time(nullptr) - 100);
  Recorder parallel;
  ASSERT_EQ(run_build(params_for(two, 2), parallel, control), 0);
  EXPECT_EQ(parallel.count_starting("Generating Data "), 341);
  EXPECT_EQ(folder_files(two.path()), built);

  // A depth map newer than the block files makes the blocks regenerate: the
  // very first block is generated, not loaded (stopped there, to save time).
  // A microsecond newer counts, as an edit in the same second as the build.
  fs::last_write_time(two.path() / "map.raw",
                      fs::last_write_time(two.path() / "S4_00_00.tml") + std::chrono::microseconds(1));
  Recorder touched;
  touched.on_log = [&](const std::string& line) {
    if (line.starts_with("Generating Data ")) control.request_stop();
  };
  EXPECT_EQ(run_build(params_for(two, 1), touched, control), -1);
  EXPECT_EQ(touched.count_starting("Loaded in Sector "), 0);
  EXPECT_EQ(touched.count_starting("Generating Data 4   00/00 "), 1);
  control.stop = false;
}

TEST(Build, StopDuringTriangulationStillWritesTheHeightFile) {
  TempDir dir;
  write_bytes(dir.path() / "map.raw", hills_map());
  Recorder rec;
  BuildControl control;
  rec.on_log = [&](const std::string& line) {
    if (line.starts_with("Generating Data ") && rec.count_starting("Generating Data ") == 5) control.request_stop();
  };
  EXPECT_EQ(run_build(params_for(dir, 1), rec, control), -1);
  EXPECT_EQ(rec.text[1], "Aborted");
  EXPECT_EQ(rec.lines.back(), "Build Stopped");
  EXPECT_EQ(rec.count_starting("Generating Data "), 5);
  EXPECT_EQ(fs::file_size(dir.path() / "Output.dep"), kHeightFileBytes);
  EXPECT_FALSE(fs::exists(dir.path() / "terrain.cpt"));
  EXPECT_FALSE(control.in_progress.load());

  // Building again picks up where the stop left off: the five finished
  // blocks are loaded, the next one is generated.
  control.stop = false;
  Recorder resumed;
  resumed.on_log = [&](const std::string& line) {
    if (line.starts_with("Generating Data ")) control.request_stop();
  };
  EXPECT_EQ(run_build(params_for(dir, 1), resumed, control), -1);
  EXPECT_EQ(resumed.count_starting("Loaded in Sector "), 5);
  EXPECT_EQ(resumed.count_starting("Generating Data "), 1);
  EXPECT_EQ(resumed.lines[resumed.lines.size() - 2].rfind("Generating Data 4   08/00 ", 0), 0u);
}
