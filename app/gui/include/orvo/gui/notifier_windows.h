#pragma once
// The windows through which the model tool's operations talk to the person:
// the modeless status window, the conversion log window, and GuiNotifier,
// which routes a UserNotifier's calls to them and to message boxes.
//
// Everything here lives on the GUI thread; the model tool runs its file
// commands there, so GuiNotifier is called on it directly.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "orvo/app/file_commands.h"
#include "tools/base/notifier.h"

class QLabel;
class QListWidget;
class QTimer;

namespace orvo::gui {

// "Status": one line of text telling which stage a long operation is in.
class StatusWindow : public QDialog {
  Q_OBJECT

 public:
  explicit StatusWindow(QWidget* parent = nullptr);

  // Shows `text` at once, the window sized to it and centred on its
  // parent's window: the events that paint it are handled before this
  // returns, so the text is seen while the caller goes on working.
  void set_text(const QString& text);
  QString text() const;

 private:
  QLabel* label_ = nullptr;
};

// The conversion log: one list to which each logged line is appended, with
// OK and Cancel buttons that close it.
class LogWindow : public QDialog {
  Q_OBJECT

 public:
  explicit LogWindow(QWidget* parent = nullptr);

  void append_line(const QString& line);
  void clear_lines();
  int line_count() const;

  // The end of a conversion. Without an error the window stays for 200 ms
  // plus 10 ms per listed item (`listed`, or the lines logged when negative)
  // and then closes, earlier when the person closes it. With an error it
  // beeps and stays open until the person closes it.
  void finish(bool error_marked, int listed = -1);

 private:
  QListWidget* list_ = nullptr;
  QTimer* close_timer_ = nullptr;
};

class GuiNotifier : public tools::UserNotifier {
 public:
  // The windows and message boxes are placed over `parent`.
  explicit GuiNotifier(QWidget* parent = nullptr);
  ~GuiNotifier() override;
  GuiNotifier(const GuiNotifier&) = delete;
  GuiNotifier& operator=(const GuiNotifier&) = delete;

  // The windows created from now on are placed over `parent`.
  void set_parent(QWidget* parent) { parent_ = parent; }

  void message(std::string_view text, std::string_view caption) override;
  // Shows the status window with `text`; an empty text closes it.
  void status(std::string_view text) override;
  void log(std::string_view line) override;

  void close_status();
  // Around a file command that may convert a scene: begin_log starts a new
  // log (an empty list, no error seen); end_log finishes the log window, if
  // anything was logged, as the conversion ends (LogWindow::finish), with an
  // error when a line logged since begin_log starts with "ERROR". Returns
  // whether one did.
  void begin_log();
  bool end_log(int listed = -1);

  // Created on first use.
  StatusWindow* status_window();
  LogWindow* log_window();

  // A message box with an information icon, an OK button and the caption as
  // its title (empty for the tool's captionless messages). Replaceable so
  // tests need not run it.
  std::function<void(const QString& text, const QString& caption)> show_message;
  // A yes/no question box with the question icon; true for Yes.
  Ask ask;

 private:
  QWidget* parent_;
  QPointer<StatusWindow> status_;
  QPointer<LogWindow> log_;
  bool error_logged_ = false;
};

}  // namespace orvo::gui
