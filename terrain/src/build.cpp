#include "loamer/build.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/strip_conversion.h"
#include "loamer/terrain_file.h"
#include "loamer/triangulation.h"
#include "tools/base/file_time.h"
#include "tools/base/host.h"
#include "parallel.h"

namespace loamer {
namespace {

using tools::file_time;

std::string of_text(long done, long total) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%ld of %ld", done, total);
  return buf;
}

// Serialises a listener shared by several worker threads.
class LockedListener {
 public:
  explicit LockedListener(BuildListener& listener) : listener_(listener) {}
  template <class F>
  void with(F&& f) {
    std::lock_guard lock(mutex_);
    f(listener_);
  }

 private:
  BuildListener& listener_;
  std::mutex mutex_;
};

// One block of the strip conversion: a block pair or a sector's shared pair.
struct ConversionItem {
  int sector = 0;
  std::string tml, tms;
  long weight = 1;        // blocks it stands for
  bool present = false;   // the ".tml" exists
  bool current = false;   // the ".tms" is not older than the ".tml"
};

std::vector<ConversionItem> plan_conversion(const std::string& path) {
  std::vector<ConversionItem> plan;
  const int sectors = sector_count(kGridSize, kSmallestBlockSize);
  for (int sector = 0; sector < sectors; ++sector) {
    const int size = block_size(sector);
    const std::string shared = sector_file_name(path, sector, "tml");
    if (file_time(shared) >= 0) {
      ConversionItem item;
      item.sector = sector;
      item.tml = shared;
      item.tms = sector_file_name(path, sector, "tms");
      item.weight = blocks_in_sector(sector);
      item.present = true;
      const int64_t tms = file_time(item.tms);
      item.current = tms >= 0 && tms >= file_time(shared);
      plan.push_back(std::move(item));
      continue;
    }
    for (int z = 0; z < kGridSize; z += size) {
      for (int x = 0; x < kGridSize; x += size) {
        ConversionItem item;
        item.sector = sector;
        item.tml = block_file_name(path, sector, static_cast<unsigned>(x), static_cast<unsigned>(z), "tml");
        item.tms = block_file_name(path, sector, static_cast<unsigned>(x), static_cast<unsigned>(z), "tms");
        const int64_t tml = file_time(item.tml);
        item.present = tml >= 0;
        const int64_t tms = file_time(item.tms);
        item.current = item.present && tms >= 0 && tms >= tml;
        plan.push_back(std::move(item));
      }
    }
  }
  return plan;
}

// Converts one block; false when its ".tml" cannot be read or converted.
bool convert_item(const ConversionItem& item) {
  PackedBlockMesh mesh;
  // The whole-map block is never drawn from its strips; its ".tms" is empty.
  if (item.sector != 0) {
    tools::Result<PackedBlockMesh> read = read_block_mesh(item.tml);
    if (!read.ok()) return false;
    mesh = std::move(*read);
    if (!convert_to_strips(mesh).ok()) return false;
  }
  // Failing to write costs only the later build its reuse.
  (void)write_block_mesh(item.tms, mesh);
  return true;
}

bool export_terrain(const BuildParams& params, const char* extension, int stage, LockedListener& out) {
  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  out.with([&](BuildListener& l) { l.stage_range(stage, total); });
  TerrainFileJob job;
  job.path = params.path;
  job.extension = extension;
  job.output_file = params.output;
  job.terrain_name = params.terrain_name;
  job.creator = params.creator;
  job.user_name = params.user_name;
  job.jobs = params.jobs;
  tools::Status written = write_terrain_file(job, [&](long done, long all) {
    out.with([&](BuildListener& l) {
      l.stage_position(stage, done);
      l.stage_text(stage, of_text(done, all));
    });
  });
  if (!written.ok()) {
    out.with([&](BuildListener& l) { l.log("Error:  " + written.error().message); });
    return false;
  }
  return true;
}

}  // namespace

BuildParams build_params(const TerrainProject& project, const QuadrantLocks& locks) {
  BuildParams p;
  p.path = project.path;
  p.depth_map = project.depth_map;
  p.output = project.output;
  p.terrain_name = project.terrain_name;
  p.creator = project.creator;
  p.user_name = tools::logged_on_user();
  p.locks = locks;
  return p;
}

long convert_blocks(const std::string& path, int jobs, BuildListener& listener, const std::atomic<bool>& stop) {
  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  LockedListener out(listener);
  listener.stage_range(3, total);
  const std::vector<ConversionItem> plan = plan_conversion(path);
  long done = 0;
  std::atomic<bool> halted{false};
  auto show = [&](BuildListener& l) {
    l.stage_position(3, done);
    l.stage_text(3, of_text(done, total));
  };
  detail::parallel_for(plan.size(), jobs, [&](size_t i) {
    if (halted.load() || stop.load()) {
      halted.store(true);
      return;
    }
    const ConversionItem& item = plan[i];
    out.with(show);
    if (!item.present) return;
    if (!item.current && !convert_item(item)) return;
    out.with([&](BuildListener& l) {
      done += item.weight;
      if (!item.current) l.stage_text(3, of_text(done, total));
    });
  });
  listener.stage_position(3, done);
  listener.stage_text(3, of_text(done, total));
  if (stop.load()) listener.stage_text(3, "Aborted");
  return done;
}

int run_build(const BuildParams& params, BuildListener& listener, BuildControl& control) {
  control.in_progress.store(true);
  struct ClearOnExit {
    BuildControl& c;
    ~ClearOnExit() { c.in_progress.store(false); }
  } clear{control};

  std::ifstream in(params.depth_map, std::ios::binary);
  if (!in) {
    listener.log("Error:  Could not open Input file");
    return -1;
  }
  std::vector<uint8_t> depth((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    listener.log("Error:  Could not open Input file");
    return -1;
  }
  in.close();
  if (depth.size() < kDepthMapBytes) {
    listener.log("Error:  " + params.depth_map + " holds " + std::to_string(depth.size()) +
                 " bytes; a depth map needs 1048576 (1024 rows of 1024)");
    return -1;
  }
  const int64_t depth_time = file_time(params.depth_map);
  std::vector<uint16_t> heights = height_grid(depth);
  depth.clear();
  depth.shrink_to_fit();

  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  LockedListener out(listener);
  auto stopped = [&] {
    if (!control.stop.load()) return false;
    listener.log("Build Stopped");
    return true;
  };

  listener.log("Triangulating Depth Map");
  {
    char line[64];
    std::snprintf(line, sizeof line, "Total Data Blocks: %ld", total);
    listener.log(line);
    listener.stage_range(1, total);
    TriangulationJob job;
    job.heights = heights;
    job.path = params.path;
    job.depth_map_time = depth_time;
    job.locks = params.locks;
    job.jobs = params.jobs;
    job.stop = &control.stop;
    TriangulationEvents events;
    events.log = [&](const std::string& text) { listener.log(text); };
    events.progress = [&](long done) {
      listener.stage_position(1, done);
      listener.stage_text(1, of_text(done, total));
    };
    TriangulationResult result = triangulate(job, events);
    if (result.stopped) listener.stage_text(1, "Aborted");
    tools::Status written = write_height_file(height_file_name(params.path), result.height_file);
    if (!written.ok()) listener.log("Error:  " + written.error().message);
  }
  if (stopped()) return -1;

  listener.log("Exporting CPT");
  if (!export_terrain(params, "tml", 2, out)) return -1;
  if (stopped()) return -1;

  listener.log("Converting to Strips");
  convert_blocks(params.path, params.jobs, listener, control.stop);
  if (stopped()) return -1;

  listener.log("Exporting CPT");
  if (!export_terrain(params, "tms", 4, out)) return -1;

  listener.log("Build Completed");
  return 0;
}

}  // namespace loamer
