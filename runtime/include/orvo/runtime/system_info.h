// The model tool's system description: the lines that follow the banner of
// the system log "ghw.txt" (operating system, processor, caches, memory).
//
//   Tessa2 Release Version
//   ----------------------------------------------------------------
//   OS:        OS_Other
//   CPU class: <class> ~<MHz>Mhz (<model>)  with: MMX 3DNOW SIMD   (" -" for each one absent)
//              <family>/<model>/<stepping>/<type>
//              L1 chip cache: <code>K/<data>K (code/data)
//              L2 chip cache: <L2>K                                  (or "chip cache: unknown")
//   Memory:    Physical:  <MB>Mb  (<MB>Mb available)
//              Page File: <MB>Mb  (<MB>Mb available)
//   ----------------------------------------------------------------
//
// What the fields hold on this platform:
// - OS kind: the table has the Windows versions the game ran on; every other
//   system, Linux among them, is kind 0, "OS_Other".
// - Processor class: the processor's brand string (cpuid leaves
//   0x80000002..4) with surrounding blanks removed; without one the
//   12-character vendor id ("GenuineIntel"). Off x86, the "model name" (or
//   "Processor", "cpu model") entry of /proc/cpuinfo; "unknown" otherwise.
// - Model number and the four identification numbers come from cpuid leaf 1:
//   the model number is the model (with the extended model bits for families
//   6 and 15); the four numbers are family (with the extended family for
//   family 15), model, stepping and processor type (0 original OEM, 1
//   OverDrive, 2 dual). All 0 off x86.
// - Features from cpuid: MMX (leaf 1 edx bit 23), SIMD = SSE (leaf 1 edx bit
//   25), 3DNOW (leaf 0x80000001 edx bit 31). All absent off x86.
// - Clock: the cycle counter over about 25 ms of the steady clock, divided by
//   the measured seconds and by 1,000,000. Off x86 the "cpu MHz" entry of
//   /proc/cpuinfo, else 0.
// - Caches: the C library's level-1 code and data and level-2 sizes, else
//   the sizes under /sys/devices/system/cpu/cpu0/cache/; known only when all
//   three were found.
// - Memory: total physical memory and swap from sysinfo(2). "Available"
//   physical memory is /proc/meminfo's MemAvailable (free memory plus what
//   the kernel can reclaim), or sysinfo's free memory where that is missing;
//   available swap is the free swap.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/base/system_log.h"

namespace orvo {

inline constexpr int kOsOther = 0;
inline constexpr int kOsWindows95 = 1;
inline constexpr int kOsWindows98 = 2;
inline constexpr int kOsWindowsNT = 3;
inline constexpr int kOsWindows2000 = 4;
inline constexpr int kOsWindowsXP = 5;

// The name the log gives an OS kind; any kind outside the table is
// "OS_Other".
std::string_view os_name(int os_kind);

struct SystemInfo {
  int os_kind = kOsOther;
  std::string processor_class;
  int clock_mhz = 0;
  int model_number = 0;
  bool has_mmx = false;
  bool has_3dnow = false;
  bool has_simd = false;
  // Family, model, stepping, processor type.
  std::array<int, 4> processor_ids{};
  bool cache_known = false;
  int l1_code_kb = 0;
  int l1_data_kb = 0;
  int l2_kb = 0;
  std::uint64_t physical_total = 0;
  std::uint64_t physical_available = 0;
  std::uint64_t page_file_total = 0;
  std::uint64_t page_file_available = 0;
};

// Looks at this machine. Takes about 25 ms for the clock measurement.
SystemInfo probe_system();

// The description lines, from "Tessa2 Release Version" to the closing
// dashes.
std::string format_system_description(const SystemInfo& info);

// The banner tail of the model tool's system log: the description of this
// machine, probed once in the process when a log first asks for it.
tools::SystemLog::BannerTail orvo_banner_tail();

// The model tool's system log: "ghw.txt" in the current directory, with the
// system description after the banner.
tools::SystemLog& orvo_system_log();

}  // namespace orvo
