#include "tools/base/system_log.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <utility>

#include "tools/base/atomic_write.h"

namespace tools {

std::string format_guid_line(const DeviceGuid& g) {
  char line[80];
  const int n =
      std::snprintf(line, sizeof line, "GUID:       %08X-%04X-%04X-%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X\n",
                    static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2), static_cast<unsigned>(g.data3),
                    g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return std::string(line, n > 0 ? static_cast<std::size_t>(n) : 0u);
}

LogFile::LogFile(std::string path, std::string title, Clock clock, BannerTail banner_tail, Expand expand)
    : path_(std::move(path)),
      title_(std::move(title)),
      clock_(std::move(clock)),
      banner_tail_(std::move(banner_tail)),
      expand_(std::move(expand)) {}

std::string LogFile::banner() const {
  const LocalTime t = clock_ ? clock_() : local_time_now();
  char stamp[200];
  const int n = std::snprintf(stamp, sizeof stamp, "%s - LOG FILE - %i/%i/%i, %i:%02i:%02i\n", title_.c_str(), t.month,
                              t.day, t.year, t.hour, t.minute, t.second);
  std::string out(kDashes);
  out.append(stamp, n > 0 ? std::min(static_cast<std::size_t>(n), sizeof stamp - 1) : 0u);
  out.append(kDashes);
  if (banner_tail_) out += banner_tail_();
  return out;
}

bool LogFile::write(std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  if (!started_) text = banner();
  if (message == kBreak) {
    text.append(kDashes);
  } else if (expand_) {
    text += expand_(message);
  } else {
    text.append(message);
  }

  // A link planted under the log's name, or a device or FIFO there, is never
  // written through: the run goes on without the log and says so once.
  const bool written = write_log_text(path_, text, !started_);
  // The file was truncated and begun even when the write fell short, so
  // later messages append to it rather than start it again. A refused log
  // is tried again at the next message.
  if (written || std::filesystem::is_regular_file(std::filesystem::symlink_status(path_))) started_ = true;
  return written;
}

bool LogFile::started() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_;
}

SystemLog::SystemLog(std::string path, Clock clock, BannerTail banner_tail)
    : log_(std::move(path), "GHW.TXT", std::move(clock), std::move(banner_tail), [this](std::string_view message) {
        if (message != kGuid) return std::string(message);
        std::lock_guard<std::mutex> lock(guid_mutex_);
        return format_guid_line(guid_);
      }) {}

void SystemLog::set_device_guid(const DeviceGuid& guid) {
  std::lock_guard<std::mutex> lock(guid_mutex_);
  guid_ = guid;
}

}  // namespace tools
