#include "orvo/gui/notifier_windows.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_fields.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

constexpr int kStatusTextId = 3700;
constexpr int kLogStayMs = 200;
constexpr int kLogStayPerItemMs = 10;

}  // namespace

StatusWindow::StatusWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Status"));
  setModal(false);
  label_ = new QLabel(this);
  set_id(label_, kStatusTextId);
  label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->setContentsMargins(16, 16, 16, 16);
}

void StatusWindow::set_text(const QString& text) {
  label_->setText(text);
  // Sized to the text before it is placed, so that it stands centred on
  // the window it reports for (the screen when it has none).
  adjustSize();
  QRect frame(QPoint(0, 0), size());
  if (QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr) {
    frame.moveCenter(over->geometry().center());
  } else if (QScreen* s = screen()) {
    frame.moveCenter(s->availableGeometry().center());
  }
  move(frame.topLeft());
  show();
  raise();
  // The caller works on synchronously; let the window paint now, without
  // handing the person's input to anything meanwhile.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString StatusWindow::text() const {
  return label_->text();
}

LogWindow::LogWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Log"));
  setModal(false);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("log_list"));
  list_->setMinimumSize(list_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60,
                        list_->fontMetrics().height() * 16);
  QDialogButtonBox* buttons = add_ok_cancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);

  close_timer_ = new QTimer(this);
  close_timer_->setSingleShot(true);
  close_timer_->setTimerType(Qt::PreciseTimer);
  connect(close_timer_, &QTimer::timeout, this, &QDialog::accept);
  // Closed by the person before the time is up: nothing left to close.
  connect(this, &QDialog::finished, close_timer_, &QTimer::stop);
}

void LogWindow::append_line(const QString& line) {
  close_timer_->stop();
  list_->addItem(line);
  list_->scrollToBottom();
  // The window widens to show whole lines (warnings name files with their
  // folders), up to three quarters of the screen.
  const int wanted = list_->fontMetrics().horizontalAdvance(line) + 2 * list_->frameWidth() +
                     list_->verticalScrollBar()->sizeHint().width() + 16;
  const int most = screen() != nullptr ? screen()->availableGeometry().width() * 3 / 4 : wanted;
  if (wanted > list_->minimumWidth()) list_->setMinimumWidth(std::min(wanted, most));
}

void LogWindow::clear_lines() {
  close_timer_->stop();
  list_->clear();
  list_->setMinimumWidth(list_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
}

int LogWindow::line_count() const {
  return list_->count();
}

void LogWindow::finish(bool error_marked, int listed) {
  if (error_marked) {
    close_timer_->stop();
    QApplication::beep();
    // The window simply stays open and modeless until the person closes
    // it; no nested loop, so the rest of the tool stays usable meanwhile.
    show();
    raise();
    return;
  }
  const int items = listed >= 0 ? listed : line_count();
  close_timer_->start(kLogStayMs + kLogStayPerItemMs * items);
}

GuiNotifier::GuiNotifier(QWidget* parent) : parent_(parent) {
  show_message = [this](const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent_);
    box.exec();
  };
  ask = [this](const std::string& text, const std::string& caption) {
    return QMessageBox::question(parent_, qs(caption), qs(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
}

GuiNotifier::~GuiNotifier() {
  // Windows still alive (their parent, if any, has not deleted them) go
  // with the notifier.
  delete status_.data();
  delete log_.data();
}

void GuiNotifier::message(std::string_view text, std::string_view caption) {
  show_message(qs(text), qs(caption));
}

StatusWindow* GuiNotifier::status_window() {
  if (!status_) status_ = new StatusWindow(parent_);
  return status_;
}

LogWindow* GuiNotifier::log_window() {
  if (!log_) log_ = new LogWindow(parent_);
  return log_;
}

void GuiNotifier::status(std::string_view text) {
  if (text.empty()) {
    close_status();
    return;
  }
  status_window()->set_text(qs(text));
}

void GuiNotifier::close_status() {
  if (status_) status_->hide();
}

void GuiNotifier::log(std::string_view line) {
  if (line.starts_with("ERROR")) error_logged_ = true;
  LogWindow* window = log_window();
  if (!window->isVisible()) window->show();
  window->append_line(qs(line));
}

void GuiNotifier::begin_log() {
  error_logged_ = false;
  if (log_) log_->clear_lines();
}

bool GuiNotifier::end_log(int listed) {
  const bool error = error_logged_;
  if (log_ && log_->isVisible()) log_->finish(error, listed);
  return error;
}

}  // namespace orvo::gui
