#pragma once
// A terrain build: the depth map through four stages to the terrain file.
//
//   1 "Triangulation and LOD"      block meshes (".tml") and Output.dep
//   2 "Export Unoptimized Data"    terrain file from the ".tml" files
//   3 "Optimize Data"              strips (".tms") from the ".tml" files
//   4 "Export Optimized Data"      terrain file from the ".tms" files
//
// The build reports through a BuildNotifier (the dialog's Status box and
// Output list, or the command line's progress bars and standard output) and
// stops between units of work when its BuildControl or its notifier says so.

#include <atomic>
#include <string>
#include <string_view>

#include "loamer/project.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace loamer {

constexpr int kBuildStages = 4;

// What a build shows while it runs:
//   log(line)             a new line at the end of the Output list;
//   stage(n)              the progress() and stage_text() calls that follow
//                         are about stage n (1 to 4), until the next stage();
//   progress(done, total) that stage's bar: range 0 to `total`, position
//                         `done` (done 0 when the stage starts);
//   stage_text(text)      the text beside that bar: "%ld of %ld" or "Aborted";
//   cancelled()           true once the build should stop; it stops at its
//                         next check as it does for BuildControl::stop.
//
// Threads: the build calls its notifier from the threads it runs on (the
// caller's thread and, with more than one job, its workers), one call at a
// time, never two at once. None of them is a GUI thread: a dialog hands what
// it is told to its widgets on its own thread (queued) and never blocks the
// caller on the GUI.
class BuildNotifier : public tools::Notifier {
 public:
  virtual void stage(int stage) = 0;
  virtual void stage_text(std::string_view text) = 0;
};

// The two flags a build shares with the dialog that started it. The build
// sets `in_progress` while it runs; `stop` is set by the one who wants it to
// stop and cleared when a build begins. The build stops when either `stop`
// or its notifier's cancelled() says so.
struct BuildControl {
  std::atomic<bool> in_progress{false};
  std::atomic<bool> stop{false};

  // Asks a running build to stop at its next check; the caller also logs
  // "Stopping Build....".
  void request_stop() { stop.store(true); }
};

// The settings a build copies from the project when it begins.
struct BuildParams {
  std::string path;       // folder prefix of the block files and Output.dep
  std::string depth_map;  // the depth map file
  std::string output;     // the terrain file (".cpt")
  std::string terrain_name;
  std::string creator;
  std::string user_name;  // kept to 15 characters in the terrain file
  QuadrantLocks locks;
  int jobs = 1;  // threads for independent blocks
};

BuildParams build_params(const TerrainProject& project, const QuadrantLocks& locks);

// The code of every error run_build returns; the kind says why.
constexpr int kBuildFailed = -1;

// Runs a whole build on the calling thread (and its helpers). Success when it
// completed ("Build Completed"); otherwise an error of kind
//   kStopped      stopped ("Build Stopped");
//   kCannotOpen   the depth map cannot be opened or is no regular file
//                 ("Error:  Could not open Input file"; the error names the
//                 file and the reason);
//   kEndOfFile, kTooLarge  the depth map is not 1024 x 1024 bytes;
//   kCannotWrite  a block file, Output.dep or the terrain file cannot be
//                 written (the terrain file is then left as it was);
// or the kind of the terrain file writer's error (a block that does not fit).
tools::Status run_build(const BuildParams& params, BuildNotifier& notifier, BuildControl& control);

// Stage 3 alone: converts every block whose ".tms" is missing, older than
// its ".tml" or does not read completely (the last said in the Output list),
// until the notifier's cancelled() says to stop. Returns the number of
// blocks done (converted or up to date), or the first ".tms" that could not
// be written (logged as "Error:  " and its error; the stage ends there).
tools::Result<long> convert_blocks(const std::string& path, int jobs, BuildNotifier& notifier);

}  // namespace loamer
