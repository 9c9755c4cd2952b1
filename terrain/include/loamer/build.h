#pragma once
// A terrain build: the depth map through four stages to the terrain file.
//
//   1 "Triangulation and LOD"      block meshes (".tml") and Output.dep
//   2 "Export Unoptimized Data"    terrain file from the ".tml" files
//   3 "Optimize Data"              strips (".tms") from the ".tml" files
//   4 "Export Optimized Data"      terrain file from the ".tms" files
//
// The build reports through a BuildListener (the dialog's Status box and
// Output list, or the command line's progress bars and standard output) and
// can be stopped between units of work through its BuildControl.

#include <atomic>
#include <string>
#include <string_view>

#include "loamer/project.h"

namespace loamer {

constexpr int kBuildStages = 4;

// What a build shows while it runs. A build calls its listener from one
// thread at a time, though not always the same thread.
class BuildListener {
 public:
  virtual ~BuildListener() = default;
  // A new line at the end of the Output list.
  virtual void log(std::string_view line) = 0;
  // Stage 1 to 4: the progress bar's range becomes 0 to `total`.
  virtual void stage_range(int stage, long total) = 0;
  // The progress bar's position.
  virtual void stage_position(int stage, long done) = 0;
  // The text beside the bar: "" at the start, "%ld of %ld", or "Aborted".
  virtual void stage_text(int stage, std::string_view text) = 0;
};

// The two flags a build shares with whoever started it. The build sets
// `in_progress` while it runs; `stop` is set by the one who wants it to stop
// and cleared when a build begins.
struct BuildControl {
  std::atomic<bool> in_progress{false};
  std::atomic<bool> stop{false};

  // Asks a running build to stop at its next check; the caller also logs
  // "Stopping Build....".
  void request_stop() { stop.store(true); }
};

// The settings a build copies from the project when it begins.
struct BuildParams {
  std::string path;        // folder prefix of the block files and Output.dep
  std::string depth_map;   // the depth map file
  std::string output;      // the terrain file (".cpt")
  std::string terrain_name;
  std::string creator;
  std::string user_name;   // kept to 15 characters in the terrain file
  QuadrantLocks locks;
  int jobs = 1;            // threads for independent blocks
};

BuildParams build_params(const TerrainProject& project, const QuadrantLocks& locks);

// Runs a whole build on the calling thread. Returns 0 when it completed
// ("Build Completed"), -1 when the depth map could not be used, the build was
// stopped ("Build Stopped") or a terrain file could not be written.
int run_build(const BuildParams& params, BuildListener& listener, BuildControl& control);

// Stage 3 alone: converts every block whose ".tms" is missing or older than
// its ".tml". Returns the number of blocks done (converted or up to date).
long convert_blocks(const std::string& path, int jobs, BuildListener& listener, const std::atomic<bool>& stop);

}  // namespace loamer
