#pragma once
// The logs of both programs: the runtime library's system log "ghw.txt"
// and the log files built the same way (the model loader's "3di_log.txt").
//
// Every write opens the file, writes and closes it, so the log is complete on
// disk whatever happens to the program afterwards. The first write of a run
// truncates the file and starts it with the banner:
//
//   ----------------------------------------------------------------   (64 dashes)
//   GHW.TXT - LOG FILE - month/day/year, hour:mm:ss                    (local time)
//   ----------------------------------------------------------------
//   [system description: the model tool adds its OS, processor and memory
//    lines here; the terrain generator adds nothing]
//
// then the message; later writes append. Two messages are commands rather
// than text: "<BREAK>" writes the dashes line and "<GUID>" writes the
// graphics device's identifier. Any other text is written unchanged; callers
// pass complete lines ending in a line feed.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "tools/base/host.h"

namespace tools {

// A graphics device identifier as the hardware layer reports it.
struct DeviceGuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
};

// "GUID:       %08X-%04X-%04X-%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X\n".
std::string format_guid_line(const DeviceGuid& guid);

// A text log that survives a crash: every write opens the file, writes and
// closes it. The first write of a run truncates the file and starts it with
// the banner (dashes, "<TITLE> - LOG FILE - month/day/year, hh:mm:ss",
// dashes, then the banner tail); later writes append. "<BREAK>" writes the
// dashes line. Safe to call from any thread. A write returns false when the
// file cannot be opened or written; a log is never a reason to stop the
// program, and when the file could not be started the next write tries
// again.
class LogFile {
 public:
  // 64 dashes and a line feed: the banner's frame and what "<BREAK>" writes.
  static constexpr std::string_view kDashes = "----------------------------------------------------------------\n";
  static constexpr std::string_view kBreak = "<BREAK>";

  using Clock = std::function<LocalTime()>;
  // Text written right after the three banner lines on the first write of a
  // run. Called once, under the log's lock.
  using BannerTail = std::function<std::string()>;
  // What a message other than "<BREAK>" writes (by default the message
  // itself). Called under the log's lock.
  using Expand = std::function<std::string(std::string_view message)>;

  LogFile(std::string path, std::string title, Clock clock = local_time_now, BannerTail banner_tail = {},
          Expand expand = {});
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool write(std::string_view message);
  // True once the banner has been written in this run.
  bool started() const;
  const std::string& path() const { return path_; }

 private:
  std::string banner() const;

  const std::string path_;
  const std::string title_;
  const Clock clock_;
  const BannerTail banner_tail_;
  const Expand expand_;
  mutable std::mutex mutex_;
  bool started_ = false;
};

// The runtime library's system log "ghw.txt": title "GHW.TXT"; "<GUID>"
// writes the graphics device's identifier.
class SystemLog {
 public:
  static constexpr const char* kDefaultPath = "ghw.txt";
  static constexpr std::string_view kDashes = LogFile::kDashes;
  static constexpr std::string_view kBreak = LogFile::kBreak;
  static constexpr std::string_view kGuid = "<GUID>";
  using Clock = LogFile::Clock;
  using BannerTail = LogFile::BannerTail;

  explicit SystemLog(std::string path = kDefaultPath, Clock clock = local_time_now, BannerTail banner_tail = {});

  bool write(std::string_view message) { return log_.write(message); }
  // The identifier "<GUID>" writes; all zero until the hardware layer knows
  // its device.
  void set_device_guid(const DeviceGuid& guid);
  bool started() const { return log_.started(); }
  const std::string& path() const { return log_.path(); }

 private:
  mutable std::mutex guid_mutex_;
  DeviceGuid guid_{};
  LogFile log_;
};

}  // namespace tools
