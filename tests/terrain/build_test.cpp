// Triangulation pieces and whole builds of synthetic depth maps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <array>
#include <atomic>
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
#include "tools/test/scratch_dir.h"

namespace fs = std::filesystem;
using namespace loamer;

namespace {

using TempDir = tools::test::ScratchDir;

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

void set_mtime(const fs::path& p, std::time_t t) {
  utimbuf times{t, t};
  ASSERT_EQ(::utime(p.c_str(), &times), 0);
}

// Keeps what a build tells, per stage; fails the test when two calls
// overlap (the build must hand them over one at a time).
struct Recorder : BuildNotifier {
  std::vector<std::string> lines;
  std::array<std::string, 5> text;
  std::array<long, 5> range{}, position{};
  std::function<void(const std::string&)> on_log;
  std::function<bool()> cancel;  // what cancelled() answers; false when unset
  int current = 0;
  mutable std::atomic<int> inside{0};
  mutable std::atomic<bool> overlapped{false};

  struct Call {
    const Recorder& r;
    explicit Call(const Recorder& of) : r(of) {
      if (r.inside.fetch_add(1) != 0) r.overlapped = true;
    }
    ~Call() { r.inside.fetch_sub(1); }
  };

  void log(std::string_view line) override {
    Call call(*this);
    lines.emplace_back(line);
    if (on_log) on_log(lines.back());
  }
  void stage(int stage) override {
    Call call(*this);
    current = stage;
  }
  void progress(long done, long total) override {
    Call call(*this);
    range.at(static_cast<size_t>(current)) = total;
    position.at(static_cast<size_t>(current)) = done;
  }
  void stage_text(std::string_view t) override {
    Call call(*this);
    text.at(static_cast<size_t>(current)) = t;
  }
  bool cancelled() const override {
    Call call(*this);
    return cancel && cancel();
  }

  long count_starting(std::string_view prefix) const {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
  }
};

tools::ErrorKind kind_of(const tools::Status& s) {
  return s.ok() ? tools::ErrorKind::kOther : s.error().kind;
}

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
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = tools::test::slurp(e.path());
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
  EXPECT_EQ(h[1023], 32 * (2 + 1));                        // x + 1 wraps to 0
  EXPECT_EQ(h[1023 * 1024 + 1023], 32 * (8 + 4 + 2 + 1));  // both wrap
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
  EXPECT_EQ(file[5 * 1024 + 5], 7);               // beyond it: untouched
  EXPECT_EQ(file[9 * 1024 + 0], 7);               // outside the box
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
  EXPECT_EQ(run_build(params_for(dir, 1), rec, control).code(), kBuildFailed);
  ASSERT_EQ(rec.lines.size(), 1u);
  EXPECT_EQ(rec.lines[0], "Error:  Could not open Input file");
  EXPECT_FALSE(control.in_progress.load());

  write_bytes(dir.path() / "map.raw", std::vector<uint8_t>(kDepthMapBytes - 1, 9));
  Recorder shorter;
  EXPECT_EQ(run_build(params_for(dir, 1), shorter, control).code(), kBuildFailed);
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
  ASSERT_EQ(run_build(params_for(one, 1), first, control).code(), 0);
  EXPECT_EQ(first.lines.front(), "Triangulating Depth Map");
  EXPECT_EQ(first.lines[1], "Total Data Blocks: 341");
  EXPECT_EQ(first.count_starting("Generating Data "), 341);
  EXPECT_EQ(first.count_starting("Exporting CPT"), 2);
  EXPECT_EQ(first.lines.back(), "Build Completed");
  EXPECT_EQ(first.text[3], "341 of 341");
  EXPECT_EQ(first.text[1], "341 of 341");  // stage 1 complete, though its blocks report the count before them
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
  ASSERT_EQ(run_build(params_for(one, 1), again, control).code(), 0);
  EXPECT_EQ(again.count_starting("Loaded in Sector "), 341);
  EXPECT_EQ(again.count_starting("Generating Data "), 0);
  EXPECT_EQ(fs::last_write_time(one.path() / "S4_00_00.tms"), tms_time);
  EXPECT_EQ(folder_files(one.path()), built);

  // The same build on two threads writes the same bytes.
  TempDir two;
  fs::copy_file(one.path() / "map.raw", two.path() / "map.raw");
  set_mtime(two.path() / "map.raw", std::time(nullptr) - 100);
  Recorder parallel;
  ASSERT_EQ(run_build(params_for(two, 2), parallel, control).code(), 0);
  EXPECT_EQ(parallel.count_starting("Generating Data "), 341);
  EXPECT_FALSE(parallel.overlapped);
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
  EXPECT_EQ(run_build(params_for(two, 1), touched, control).code(), kBuildFailed);
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
  EXPECT_EQ(run_build(params_for(dir, 1), rec, control).code(), kBuildFailed);
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
  EXPECT_EQ(run_build(params_for(dir, 1), resumed, control).code(), kBuildFailed);
  EXPECT_EQ(resumed.count_starting("Loaded in Sector "), 5);
  EXPECT_EQ(resumed.count_starting("Generating Data "), 1);
  EXPECT_EQ(resumed.lines[resumed.lines.size() - 2].rfind("Generating Data 4   08/00 ", 0), 0u);
}

TEST(Build, DepthMapThatCannotBeUsedWritesNothing) {
  const std::string not_open = "Error:  Could not open Input file";
  struct Case {
    const char* name;
    std::function<void(const std::string& map)> make;
    tools::ErrorKind kind;
    std::string reason;  // after "<map>: " in the error, or after "Error:  <map>" in the line
  };
  const Case cases[] = {
      {"missing", [](const std::string&) {}, tools::ErrorKind::kCannotOpen, "cannot open: No such file or directory"},
      {"folder", [](const std::string& m) { fs::create_directory(m); }, tools::ErrorKind::kCannotOpen,
       "cannot open: Is a directory"},
      {"fifo", [](const std::string& m) { ASSERT_EQ(::mkfifo(m.c_str(), 0600), 0); }, tools::ErrorKind::kCannotOpen,
       "cannot open: not a regular file"},
      {"device", [](const std::string& m) { fs::create_symlink("/dev/zero", m); }, tools::ErrorKind::kCannotOpen,
       "cannot open: not a regular file"},
      {"short", [](const std::string& m) { write_bytes(m, std::vector<uint8_t>(kDepthMapBytes - 1, 9)); },
       tools::ErrorKind::kEndOfFile, " holds 1048575 bytes; a depth map needs 1048576 (1024 rows of 1024)"},
      {"long", [](const std::string& m) { write_bytes(m, std::vector<uint8_t>(kDepthMapBytes + 1, 9)); },
       tools::ErrorKind::kTooLarge, " holds 1048577 bytes; a depth map needs 1048576 (1024 rows of 1024)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const BuildParams params = params_for(dir, 1);
    c.make(params.depth_map);
    const size_t entries = dir.entries();
    Recorder rec;
    BuildControl control;
    const tools::Status s = run_build(params, rec, control);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), kBuildFailed);
    EXPECT_EQ(s.error().kind, c.kind);
    EXPECT_EQ(s.error().where.path, params.depth_map);
    if (c.kind == tools::ErrorKind::kCannotOpen) {
      EXPECT_EQ(rec.lines, std::vector<std::string>{not_open});
      EXPECT_EQ(s.error().message, params.depth_map + ": " + c.reason);
    } else {
      EXPECT_EQ(rec.lines, std::vector<std::string>{"Error:  " + params.depth_map + c.reason});
    }
    EXPECT_EQ(rec.position, (std::array<long, 5>{}));
    EXPECT_EQ(dir.entries(), entries);
    EXPECT_FALSE(control.in_progress.load());
  }
}

// The dialog's stop flag and the notifier's cancelled() stop a build alike,
// on one thread or several.
TEST(Build, StopFlagOrCancelledNotifierStopsTheTriangulation) {
  struct Case {
    const char* name;
    bool by_notifier;
    int jobs;
  };
  for (const Case& c : {Case{"flag", false, 1}, Case{"notifier", true, 1}, Case{"notifier, two threads", true, 2}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "map.raw", hills_map());
    Recorder rec;
    BuildControl control;
    bool asked = false;
    rec.cancel = [&] { return asked; };
    rec.on_log = [&](const std::string& line) {
      if (!line.starts_with("Generating Data ") || rec.count_starting("Generating Data ") != 3) return;
      if (c.by_notifier) {
        asked = true;
      } else {
        control.request_stop();
      }
    };
    const tools::Status s = run_build(params_for(dir, c.jobs), rec, control);
    EXPECT_EQ(kind_of(s), tools::ErrorKind::kStopped);
    EXPECT_EQ(s.code(), kBuildFailed);
    EXPECT_EQ(rec.text[1], "Aborted");
    EXPECT_EQ(rec.lines.back(), "Build Stopped");
    EXPECT_EQ(rec.count_starting("Exporting CPT"), 0);
    EXPECT_LT(rec.count_starting("Generating Data "), 341);
    EXPECT_EQ(fs::file_size(dir.path() / "Output.dep"), kHeightFileBytes);
    EXPECT_FALSE(rec.overlapped);
  }
}

// Block files are not flushed one by one, so a crash can leave one cut
// short with a time that calls it up to date.
TEST(Build, DamagedBlockFilesAreRegeneratedAndSaidSo) {
  TempDir dir;
  write_bytes(dir.path() / "map.raw", hills_map());
  set_mtime(dir.path() / "map.raw", std::time(nullptr) - 100);
  BuildControl control;
  Recorder first;
  ASSERT_TRUE(run_build(params_for(dir, 2), first, control).ok());
  const auto built = folder_files(dir.path());

  // A leaf's triangle lists (stage 1 reuses them) and another leaf's strips
  // (stage 3 reuses them), both newer than what they were made from.
  for (const char* name : {"S4_20_20.tml", "S4_10_10.tms"}) {
    const fs::path file = dir.path() / name;
    fs::resize_file(file, fs::file_size(file) - 7);
  }
  Recorder again;
  ASSERT_TRUE(run_build(params_for(dir, 2), again, control).ok());
  EXPECT_EQ(again.count_starting("Regenerating "), 2);
  EXPECT_EQ(again.count_starting("Regenerating " + dir.prefix() + "S4_20_20.tml: byte "), 1);
  EXPECT_EQ(again.count_starting("Regenerating " + dir.prefix() + "S4_10_10.tms: byte "), 1);
  EXPECT_EQ(again.count_starting("Generating Data 4   20/20 "), 1);
  EXPECT_EQ(again.count_starting("Loaded in Sector "), 340);
  EXPECT_EQ(again.lines.back(), "Build Completed");
  // Every block is back in the terrain file: the same bytes as before.
  EXPECT_EQ(folder_files(dir.path()), built);

  // Nothing is damaged now; a stop in the strip stage shows "Aborted" there.
  Recorder stopped;
  bool asked = false;
  stopped.cancel = [&] { return asked; };
  stopped.on_log = [&](const std::string& line) { asked = asked || line == "Converting to Strips"; };
  const tools::Status s = run_build(params_for(dir, 1), stopped, control);
  EXPECT_EQ(kind_of(s), tools::ErrorKind::kStopped);
  EXPECT_EQ(stopped.count_starting("Regenerating "), 0);
  EXPECT_EQ(stopped.text[3], "Aborted");
  EXPECT_EQ(stopped.lines.back(), "Build Stopped");

  // A height file that cannot be written ends the build before an older one
  // could go into the terrain file.
  const std::string exported = tools::test::slurp(dir.file("terrain.cpt"));
  fs::remove(dir.path() / "Output.dep");
  fs::create_directory(dir.path() / "Output.dep");
  Recorder unwritable;
  const tools::Status w = run_build(params_for(dir, 1), unwritable, control);
  EXPECT_EQ(kind_of(w), tools::ErrorKind::kCannotWrite);
  EXPECT_EQ(unwritable.count_starting("Error:  " + dir.prefix() + "Output.dep: cannot write: "), 1);
  EXPECT_EQ(unwritable.count_starting("Exporting CPT"), 0);
  EXPECT_TRUE(tools::test::slurp(dir.file("terrain.cpt")) == exported);
  fs::remove(dir.path() / "Output.dep");

  // A block file that cannot be written, in the triangulation or in the
  // strip conversion, fails the build: the terrain file is left as it was
  // rather than finished without that block.
  for (const char* name : {"S4_20_20.tml", "S4_10_10.tms"}) {
    SCOPED_TRACE(name);
    fs::remove(dir.path() / name);
    fs::create_directory(dir.path() / name);
    for (int jobs : {1, 2}) {
      Recorder blocked;
      const tools::Status b = run_build(params_for(dir, jobs), blocked, control);
      EXPECT_EQ(kind_of(b), tools::ErrorKind::kCannotWrite);
      EXPECT_EQ(b.code(), kBuildFailed);
      EXPECT_EQ(blocked.count_starting("Error:  " + dir.prefix() + name + ": cannot write: Is a directory"), 1);
      EXPECT_EQ(blocked.count_starting("Build Completed"), 0);
      EXPECT_TRUE(tools::test::slurp(dir.file("terrain.cpt")) == exported);
      EXPECT_FALSE(control.in_progress.load());
    }
    fs::remove(dir.path() / name);
  }
  Recorder mended;
  ASSERT_TRUE(run_build(params_for(dir, 2), mended, control).ok());
  EXPECT_EQ(mended.lines.back(), "Build Completed");
  EXPECT_EQ(folder_files(dir.path()), built);
}
