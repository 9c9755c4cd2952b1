#pragma once
// The terrain generator's part of the system log "ghw.txt".

#include <string_view>

#include "tools/base/system_log.h"

namespace loamer {

// The terrain generator's only log message, written at program start right
// after the banner.
inline constexpr std::string_view kLoamerStartMessage = "Tessa Release Version\n";

// Starts the terrain generator's log: the banner and kLoamerStartMessage.
inline bool start_loamer_log(tools::SystemLog& log) {
  return log.write(kLoamerStartMessage);
}

}  // namespace loamer
