// The channels through which the core libraries talk to a person. One
// family: every long operation logs lines, reports progress and asks whether
// it should stop through `Notifier`; the model tool's operations add message
// boxes and a status text (`UserNotifier`), the terrain build adds its four
// stage bars (loamer's `BuildNotifier`). The GUI implements them with
// widgets, the command-line tools with stdout and stderr, tests with a
// recorder. Core code never includes a GUI header.
//
// Threads: an operation calls its notifier from the thread it runs on, one
// call at a time (an operation that works on several threads serialises its
// calls), never from two threads at once. That thread need not be the GUI
// thread: a GUI implementation hands what it is told to its widgets through
// queued signals and never blocks the caller on the GUI. `cancelled()` may be
// called often and must be cheap.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tools {

class Notifier {
 public:
  virtual ~Notifier() = default;
  // One line appended to the operation's log (the conversion log window,
  // the export log, the terrain build's Output list).
  virtual void log(std::string_view line) = 0;
  // How far the current piece of work has come: `done` of `total` units.
  // Called with done 0 when a piece starts; total is never negative.
  virtual void progress(long done, long total) {
    (void)done;
    (void)total;
  }
  // True once the person has asked the work to stop; the operation then
  // ends at its next check and reports that it was stopped.
  virtual bool cancelled() const { return false; }
  // A line for developers (the debugger's output): nothing a person must
  // read. Dropped unless an implementation keeps it.
  virtual void debug(std::string_view line) { (void)line; }
};

class UserNotifier : public Notifier {
 public:
  // A message box with its caption; the program goes on after it is closed.
  virtual void message(std::string_view text, std::string_view caption) = 0;
  // The text of the modeless status window.
  virtual void status(std::string_view text) = 0;
};

// Discards everything; for callers that have nobody to tell.
class NullNotifier final : public UserNotifier {
 public:
  void message(std::string_view, std::string_view) override {}
  void log(std::string_view) override {}
  void status(std::string_view) override {}
};

// Keeps everything it is told, in order; used by the command-line tools to
// print or serialise the log, and by tests.
class RecordingNotifier final : public UserNotifier {
 public:
  struct Message {
    std::string text;
    std::string caption;
  };
  struct Progress {
    long done = 0;
    long total = 0;
  };
  void message(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
  }
  void log(std::string_view line) override { lines.emplace_back(line); }
  void status(std::string_view text) override { statuses.emplace_back(text); }
  void progress(long done, long total) override { progress_reports.push_back({done, total}); }
  void debug(std::string_view line) override { debug_lines.emplace_back(line); }
  bool cancelled() const override { return cancel; }

  std::vector<std::string> lines;
  std::vector<Message> messages;
  std::vector<std::string> statuses;
  std::vector<Progress> progress_reports;
  std::vector<std::string> debug_lines;
  bool cancel = false;  // what cancelled() answers
};

}  // namespace tools
