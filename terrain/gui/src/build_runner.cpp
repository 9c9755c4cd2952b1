#include "loamer/gui/build_runner.h"

#include <new>

namespace loamer::gui {

// The build's notifier: turns each report into a signal of the runner. The
// build calls it one call at a time, so the current stage needs no lock.
class BuildRunner::Notifier final : public BuildNotifier {
 public:
  explicit Notifier(BuildRunner& runner) : runner_(runner) {}

  void log(std::string_view line) override {
    emit runner_.logged(QString::fromUtf8(line.data(), qsizetype(line.size())));
  }
  void stage(int stage) override {
    stage_ = stage;
    emit runner_.stage_started(stage);
  }
  void progress(long done, long total) override { emit runner_.progressed(stage_, done, total); }
  void stage_text(std::string_view text) override {
    emit runner_.stage_text_changed(stage_, QString::fromUtf8(text.data(), qsizetype(text.size())));
  }

 private:
  BuildRunner& runner_;
  int stage_ = 0;
};

BuildRunner::BuildRunner(QObject* parent) : QObject(parent) {}

BuildRunner::~BuildRunner() {
  control_.request_stop();
  wait();
}

void BuildRunner::wait() {
  if (worker_.joinable()) worker_.join();
}

bool BuildRunner::begin(const BuildParams& params) {
  bool idle = false;
  if (!busy_.compare_exchange_strong(idle, true)) return false;
  // The last worker has reported and is returning; wait for it.
  wait();
  control_.stop.store(false);
  // The build sets this flag itself a moment later; setting it now keeps
  // the build's own checks in step with the dialog from the first instant.
  control_.in_progress.store(true);
  const int build = ++workers_started_;
  worker_ = std::thread([this, params, build] {
    Notifier notifier(*this);
    tools::Status built;
    try {
      built = run_build(params, notifier, control_);
    } catch (const std::bad_alloc&) {
      // The build ends as a failed one; files being written are left as
      // they were.
      control_.in_progress.store(false);
      built = tools::Error{kBuildFailed,
                           "out of memory while building the terrain; the build was stopped",
                           {},
                           tools::ErrorKind::kOther};
      notifier.log("Error:  " + built.error().message);
    }
    const bool stopped = !built.ok() && built.error().kind == tools::ErrorKind::kStopped;
    emit finished(build, built.ok(), stopped, built.ok() ? QString() : QString::fromStdString(built.error().message));
    busy_.store(false);
  });
  return true;
}

void BuildRunner::request_stop() {
  control_.request_stop();
}

}  // namespace loamer::gui
