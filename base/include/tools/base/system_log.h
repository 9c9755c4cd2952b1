#pragma once
// The runtime library's system log "ghw.txt", written by both programs.
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

class SystemLog {
 public:
  static constexpr const char* kDefaultPath = "ghw.txt";
  // 64 dashes and a line feed: the banner's frame and what "<BREAK>" writes.
  static constexpr std::string_view kDashes = "----------------------------------------------------------------\n";
  static constexpr std::string_view kBreak = "<BREAK>";
  static constexpr std::string_view kGuid = "<GUID>";

  using Clock = std::function<LocalTime()>;
  // Text written right after the three banner lines on the first write of a
  // run (the model tool's release line and system description, ending with
  // its own dashes line). Called once, under the log's lock.
  using BannerTail = std::function<std::string()>;

  explicit SystemLog(std::string path = kDefaultPath, Clock clock = local_time_now, BannerTail banner_tail = {});

  SystemLog(const SystemLog&) = delete;
  SystemLog& operator=(const SystemLog&) = delete;

  // Writes one message (starting the log first if this run has not written
  // yet). Safe to call from any thread. Returns false when the file cannot be
  // opened or written; the log is never a reason to stop the program. When
  // the file could not be started, the next write tries to start it again.
  bool write(std::string_view message);

  // The identifier "<GUID>" writes; all zero until the hardware layer knows
  // its device.
  void set_device_guid(const DeviceGuid& guid);

  // True once the banner has been written in this run.
  bool started() const;
  const std::string& path() const { return path_; }

 private:
  std::string banner() const;

  const std::string path_;
  const Clock clock_;
  const BannerTail banner_tail_;
  mutable std::mutex mutex_;
  bool started_ = false;
  DeviceGuid guid_{};
};

}  // namespace tools
