#pragma once
// Runs terrain builds for the dialog on a worker thread and hands what the
// build reports to the GUI thread as queued signals: the worker never
// touches a widget.

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "loamer/build.h"

namespace loamer::gui {

class BuildRunner : public QObject {
  Q_OBJECT

 public:
  explicit BuildRunner(QObject* parent = nullptr);
  // Stops a running build and waits for it, so that nothing reports to a
  // dialog that is gone.
  ~BuildRunner() override;

  // Starts a build of `params` on a new worker thread unless one runs. The
  // in-progress flag is set here, before the worker starts, so a second
  // Begin Build can never start a second worker. Returns whether a build
  // was started.
  bool begin(const BuildParams& params);
  // Asks the running build to stop at its next check.
  void request_stop();
  // True from begin() until the worker has reported that it finished.
  bool running() const { return busy_.load(); }
  // Waits for the worker thread of the last build to end (at once when the
  // build has reported that it finished).
  void wait();
  // Workers started since this runner was made.
  int workers_started() const { return workers_started_; }

 signals:
  // All emitted from the worker thread; connect them queued.
  void logged(const QString& line);
  void stage_started(int stage);
  void progressed(int stage, long done, long total);
  void stage_text_changed(int stage, const QString& text);
  // Build number `build` (workers_started() when it began) has ended: `ok`
  // when it completed; `stopped` when it was stopped; otherwise `error`
  // names the file and the reason. running() is false once the receiver has
  // called wait().
  void finished(int build, bool ok, bool stopped, const QString& error);

 private:
  class Notifier;

  BuildControl control_;
  std::atomic<bool> busy_{false};
  std::thread worker_;
  int workers_started_ = 0;
};

}  // namespace loamer::gui
