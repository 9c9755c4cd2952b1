#include "reducer_common.h"

#include <atomic>

// The choice between the four- and eight-lane code, for both reducers.
namespace tools::mesh::detail {

namespace {
std::atomic<bool> narrow_lanes_only{false};
}  // namespace

bool wide_lanes() {
#if TOOLS_MESH_WIDE_LANES
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return avx2 && !narrow_lanes_only.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void use_wide_lanes(bool on) {
  narrow_lanes_only.store(!on, std::memory_order_relaxed);
}

}  // namespace tools::mesh::detail
