#pragma once
// Modification times of the files a build reuses.

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace tools {

// Modification time in nanoseconds, or -1 when the file does not exist.
// Whole seconds would call a block file written in the same second as a
// later edit of the depth map "not older" and reuse a stale block.
inline int64_t file_time(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return -1;
  return int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace tools
