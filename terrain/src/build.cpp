#include "loamer/build.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "io_errors.h"
#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/strip_conversion.h"
#include "loamer/terrain_file.h"
#include "loamer/triangulation.h"
#include "tools/base/file_io.h"
#include "tools/base/file_time.h"
#include "tools/base/host.h"
#include "tools/base/parallel.h"

namespace loamer {
namespace {

using tools::file_time;

std::string of_text(long done, long total) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%ld of %ld", done, total);
  return buf;
}

// Hands a notifier the calls of several threads one at a time, and answers
// cancelled() for the build: true once the notifier or the stop flag has
// said so, and from then on without asking again.
class SerialNotifier final : public BuildNotifier {
 public:
  explicit SerialNotifier(BuildNotifier& to, const std::atomic<bool>* stop = nullptr) : to_(to), stop_(stop) {}

  void log(std::string_view line) override {
    std::lock_guard lock(mutex_);
    to_.log(line);
  }
  void stage(int stage) override {
    std::lock_guard lock(mutex_);
    to_.stage(stage);
  }
  void progress(long done, long total) override {
    std::lock_guard lock(mutex_);
    to_.progress(done, total);
  }
  void stage_text(std::string_view text) override {
    std::lock_guard lock(mutex_);
    to_.stage_text(text);
  }
  bool cancelled() const override {
    if (cancelled_.load()) return true;
    if (stop_ != nullptr && stop_->load()) {
      cancelled_.store(true);
      return true;
    }
    std::lock_guard lock(mutex_);
    if (to_.cancelled()) cancelled_.store(true);
    return cancelled_.load();
  }

  // The bar at `done` and its "%ld of %ld" text, with no other thread's
  // call between them.
  void show(long done, long total) {
    std::lock_guard lock(mutex_);
    to_.progress(done, total);
    to_.stage_text(of_text(done, total));
  }

 private:
  BuildNotifier& to_;
  const std::atomic<bool>* stop_;
  mutable std::mutex mutex_;
  mutable std::atomic<bool> cancelled_{false};
};

// One block of the strip conversion: a block pair or a sector's shared pair.
struct ConversionItem {
  int sector = 0;
  std::string tml, tms;
  long weight = 1;       // blocks it stands for
  bool present = false;  // the ".tml" exists
  bool current = false;  // the ".tms" is not older than the ".tml"
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

// Converts one block. Nothing when its ".tml" cannot be read or converted
// (the block is skipped); an error when its ".tms" cannot be written.
std::optional<tools::Status> convert_item(const ConversionItem& item) {
  PackedBlockMesh mesh;
  // The whole-map block is never drawn from its strips; its ".tms" is empty.
  if (item.sector != 0) {
    tools::Result<PackedBlockMesh> read = read_block_mesh(item.tml);
    if (!read.ok()) return std::nullopt;
    mesh = std::move(*read);
    if (!convert_to_strips(mesh).ok()) return std::nullopt;
  }
  // A block without its ".tms" would be missing from the optimised terrain
  // file, so a failed write fails the stage.
  return write_block_mesh(item.tms, mesh);
}

tools::Status export_terrain(const BuildParams& params, const char* extension, int stage, SerialNotifier& out) {
  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  out.stage(stage);
  out.progress(0, total);
  TerrainFileJob job;
  job.path = params.path;
  job.extension = extension;
  job.output_file = params.output;
  job.terrain_name = params.terrain_name;
  job.creator = params.creator;
  job.user_name = params.user_name;
  job.jobs = params.jobs;
  tools::Status written = write_terrain_file(job, [&](long done, long all) { out.show(done, all); });
  if (!written.ok()) out.log("Error:  " + written.error().message);
  return written;
}

// Every error of a build carries the build's result code.
tools::Error build_error(tools::Error e) {
  e.code = kBuildFailed;
  return e;
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

tools::Result<long> convert_blocks(const std::string& path, int jobs, BuildNotifier& notifier) {
  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  SerialNotifier out(notifier);
  out.stage(3);
  out.progress(0, total);
  const std::vector<ConversionItem> plan = plan_conversion(path);
  std::mutex done_mutex;
  long done = 0;
  std::atomic<bool> halted{false};
  std::optional<tools::Error> failure;
  tools::parallel_for(plan.size(), jobs, [&](size_t i) {
    if (halted.load() || out.cancelled()) {
      halted.store(true);
      return;
    }
    const ConversionItem& item = plan[i];
    {
      std::lock_guard lock(done_mutex);
      out.show(done, total);
    }
    if (!item.present) return;
    bool convert = !item.current;
    if (item.current) {
      // Up to date by its time, but reused only when it reads completely:
      // block files are not flushed, so a crash can leave one cut short.
      tools::Result<PackedBlockMesh> strips = read_block_mesh(item.tms);
      if (!strips) {
        out.log(regenerating_line(item.tms, strips.error()));
        convert = true;
      }
    }
    if (convert) {
      const std::optional<tools::Status> converted = convert_item(item);
      if (!converted) return;
      if (!converted->ok()) {
        std::lock_guard lock(done_mutex);
        if (!failure) {
          failure = converted->error();
          out.log("Error:  " + failure->message);
        }
        halted.store(true);
        return;
      }
    }
    std::lock_guard lock(done_mutex);
    done += item.weight;
    if (convert) out.stage_text(of_text(done, total));
  });
  out.progress(done, total);
  out.stage_text(of_text(done, total));
  if (out.cancelled()) out.stage_text("Aborted");
  if (failure) return *failure;
  return done;
}

tools::Status run_build(const BuildParams& params, BuildNotifier& notifier, BuildControl& control) {
  control.in_progress.store(true);
  struct ClearOnExit {
    BuildControl& c;
    ~ClearOnExit() { c.in_progress.store(false); }
  } clear{control};
  SerialNotifier out(notifier, &control.stop);

  // Never more than a depth map holds: a longer file, a device or a FIFO is
  // refused before it is read.
  tools::Result<std::string> depth = tools::read_file(params.depth_map, kDepthMapBytes);
  if (!depth && depth.error().kind != tools::ErrorKind::kTooLarge) {
    out.log("Error:  Could not open Input file");
    return build_error(depth.error());
  }
  if (!depth || depth->size() != kDepthMapBytes) {
    const uint64_t size = depth ? depth->size() : detail::size_on_disk(params.depth_map);
    const std::string what =
        params.depth_map + " holds " + std::to_string(size) + " bytes; a depth map needs 1048576 (1024 rows of 1024)";
    out.log("Error:  " + what);
    return tools::Error{kBuildFailed, what, tools::FileLocation{params.depth_map},
                        size < kDepthMapBytes ? tools::ErrorKind::kEndOfFile : tools::ErrorKind::kTooLarge};
  }
  const int64_t depth_time = file_time(params.depth_map);
  std::vector<uint16_t> heights =
      height_grid(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(depth->data()), depth->size()));
  std::string().swap(*depth);

  const long total = total_blocks(kGridSize, kSmallestBlockSize);
  auto stopped = [&] {
    if (!out.cancelled()) return false;
    out.log("Build Stopped");
    return true;
  };
  const tools::Error stopped_error{kBuildFailed, "the build was stopped", {}, tools::ErrorKind::kStopped};

  out.log("Triangulating Depth Map");
  tools::Status heights_written;
  {
    char line[64];
    std::snprintf(line, sizeof line, "Total Data Blocks: %ld", total);
    out.log(line);
    out.stage(1);
    out.progress(0, total);
    TriangulationJob job;
    job.heights = heights;
    job.path = params.path;
    job.depth_map_time = depth_time;
    job.locks = params.locks;
    job.jobs = params.jobs;
    job.stop_requested = [&] { return out.cancelled(); };
    TriangulationEvents events;
    events.log = [&](const std::string& text) { out.log(text); };
    events.progress = [&](long done) { out.show(done, total); };
    TriangulationResult result = triangulate(job, events);
    // Blocks report the count finished before them, so the last report is
    // one short: a completed stage shows all of its blocks.
    if (result.stopped || result.failure) {
      out.stage_text("Aborted");
    } else {
      out.show(total, total);
    }
    // A block file that could not be written fails the build before
    // anything is made from the incomplete blocks.
    if (result.failure) return build_error(*result.failure);
    heights_written = write_height_file(height_file_name(params.path), result.height_file);
    if (!heights_written.ok()) out.log("Error:  " + heights_written.error().message);
  }
  if (stopped()) return stopped_error;
  // The terrain file takes its heights from Output.dep as it is on disk: an
  // older one left there must not go into it.
  if (!heights_written.ok()) return build_error(heights_written.error());

  out.log("Exporting CPT");
  if (tools::Status s = export_terrain(params, "tml", 2, out); !s) return build_error(s.error());
  if (stopped()) return stopped_error;

  out.log("Converting to Strips");
  if (tools::Result<long> converted = convert_blocks(params.path, params.jobs, out); !converted)
    return build_error(converted.error());
  if (stopped()) return stopped_error;

  out.log("Exporting CPT");
  if (tools::Status s = export_terrain(params, "tms", 4, out); !s) return build_error(s.error());

  out.log("Build Completed");
  return {};
}

}  // namespace loamer
