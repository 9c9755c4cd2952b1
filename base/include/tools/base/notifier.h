// The one channel through which the core libraries talk to a person: message
// boxes, the conversion log window and status texts. The GUI implements it
// with widgets, the command-line tools with stdout and stderr, tests with a
// recorder. Core code never includes a GUI header.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tools {

class UserNotifier {
 public:
  virtual ~UserNotifier() = default;
  // A message box with its caption; the program goes on after it is closed.
  virtual void message(std::string_view text, std::string_view caption) = 0;
  // One line appended to the conversion log window.
  virtual void log(std::string_view line) = 0;
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
  void message(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
  }
  void log(std::string_view line) override { lines.emplace_back(line); }
  void status(std::string_view text) override { statuses.emplace_back(text); }

  std::vector<std::string> lines;
  std::vector<Message> messages;
  std::vector<std::string> statuses;
};

}  // namespace tools
