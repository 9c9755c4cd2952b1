#include "orvo/runtime/system_info.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define ORVO_HAVE_CPUID 1
#endif

namespace orvo {
namespace {

constexpr std::string_view kOsNames[] = {"OS_Other", "Windows95", "Windows98", "WindowsNT", "Windows2000", "WindowsXP"};
constexpr auto kClockMeasuringTime = std::chrono::milliseconds(25);

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// The value of the first /proc/cpuinfo entry named one of `keys`
// ("model name	: AMD EPYC" gives "AMD EPYC"); "" when there is none.
std::string cpuinfo_value(std::initializer_list<std::string_view> keys) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = trimmed(std::string_view(line).substr(0, colon));
    for (const std::string_view wanted : keys) {
      if (key == wanted) return trimmed(std::string_view(line).substr(colon + 1));
    }
  }
  return {};
}

int cpuinfo_mhz() {
  const std::string mhz = cpuinfo_value({"cpu MHz"});
  return mhz.empty() ? 0 : static_cast<int>(std::strtod(mhz.c_str(), nullptr) + 0.5);
}

#ifdef ORVO_HAVE_CPUID
void probe_cpuid(SystemInfo& info) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
    const int stepping = static_cast<int>(eax & 0xF);
    const int base_model = static_cast<int>((eax >> 4) & 0xF);
    const int base_family = static_cast<int>((eax >> 8) & 0xF);
    const int type = static_cast<int>((eax >> 12) & 0x3);
    const int family = base_family == 15 ? base_family + static_cast<int>((eax >> 20) & 0xFF) : base_family;
    const int model =
        base_family == 6 || base_family == 15 ? base_model + (static_cast<int>((eax >> 16) & 0xF) << 4) : base_model;
    info.model_number = model;
    info.processor_ids = {family, model, stepping, type};
    info.has_mmx = (edx >> 23) & 1;
    info.has_simd = (edx >> 25) & 1;
  }
  const unsigned max_extended = __get_cpuid_max(0x80000000u, nullptr);
  if (max_extended >= 0x80000001u && __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx) != 0) {
    info.has_3dnow = (edx >> 31) & 1;
  }
  if (max_extended >= 0x80000004u) {
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
      unsigned regs[4] = {};
      __get_cpuid(0x80000002u + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
      std::memcpy(brand + 16 * leaf, regs, sizeof regs);
    }
    info.processor_class = trimmed(brand);
  }
  if (info.processor_class.empty() && __get_cpuid(0, &eax, &ebx, &ecx, &edx) != 0) {
    char vendor[13] = {};
    std::memcpy(vendor, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    info.processor_class = trimmed(vendor);
  }
}

int measured_clock_mhz() {
  const auto start = std::chrono::steady_clock::now();
  const unsigned long long start_cycles = __rdtsc();
  std::this_thread::sleep_for(kClockMeasuringTime);
  const unsigned long long end_cycles = __rdtsc();
  const auto end = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(end - start).count();
  if (seconds <= 0 || end_cycles <= start_cycles) return 0;
  return static_cast<int>(static_cast<double>(end_cycles - start_cycles) / seconds / 1e6 + 0.5);
}
#endif

// Cache sizes in KB from /sys/devices/system/cpu/cpu0/cache/index*/ for the
// sizes the C library does not know (those still 0).
void probe_sysfs_caches(SystemInfo& info) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/devices/system/cpu/cpu0/cache", ec)) {
    if (entry.path().filename().string().rfind("index", 0) != 0) continue;
    auto read = [&](const char* name) {
      std::ifstream in(entry.path() / name);
      std::string value;
      std::getline(in, value);
      return trimmed(value);
    };
    const std::string level = read("level");
    const std::string type = read("type");
    const int kb = std::atoi(read("size").c_str());  // "32K"
    if (kb <= 0) continue;
    if (level == "1" && type == "Instruction" && info.l1_code_kb == 0) info.l1_code_kb = kb;
    if (level == "1" && type == "Data" && info.l1_data_kb == 0) info.l1_data_kb = kb;
    if (level == "2" && type != "Instruction" && info.l2_kb == 0) info.l2_kb = kb;
  }
}

void probe_caches(SystemInfo& info) {
#ifdef _SC_LEVEL1_ICACHE_SIZE
  const auto sysconf_kb = [](int name) {
    const long bytes = ::sysconf(name);
    return bytes > 0 ? bytes / 1024 : 0L;
  };
  info.l1_code_kb = static_cast<int>(sysconf_kb(_SC_LEVEL1_ICACHE_SIZE));
  info.l1_data_kb = static_cast<int>(sysconf_kb(_SC_LEVEL1_DCACHE_SIZE));
  info.l2_kb = static_cast<int>(sysconf_kb(_SC_LEVEL2_CACHE_SIZE));
#endif
  if (info.l1_code_kb == 0 || info.l1_data_kb == 0 || info.l2_kb == 0) probe_sysfs_caches(info);
  info.cache_known = info.l1_code_kb > 0 && info.l1_data_kb > 0 && info.l2_kb > 0;
}

// /proc/meminfo's MemAvailable in bytes; 0 when the kernel does not give it.
std::uint64_t meminfo_available() {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) return std::strtoull(line.c_str() + 13, nullptr, 10) * 1024;
  }
  return 0;
}

void probe_memory(SystemInfo& info) {
  struct sysinfo si {};
  if (::sysinfo(&si) == 0) {
    const std::uint64_t unit = si.mem_unit != 0 ? si.mem_unit : 1;
    info.physical_total = si.totalram * unit;
    info.physical_available = si.freeram * unit;
    info.page_file_total = si.totalswap * unit;
    info.page_file_available = si.freeswap * unit;
  }
  if (const std::uint64_t available = meminfo_available(); available != 0) info.physical_available = available;
}

// Appends one printf-formatted line, cut to the buffer's size.
[[gnu::format(printf, 2, 3)]] void append_line(std::string& out, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) out.append(line, std::min(static_cast<std::size_t>(n), sizeof line - 1));
}

int megabytes(std::uint64_t bytes) {
  return static_cast<int>(std::min<std::uint64_t>(bytes >> 20, INT_MAX));
}

}  // namespace

std::string_view os_name(int os_kind) {
  return os_kind > 0 && os_kind < static_cast<int>(std::size(kOsNames)) ? kOsNames[os_kind] : kOsNames[kOsOther];
}

SystemInfo probe_system() {
  SystemInfo info;
  info.os_kind = kOsOther;
#ifdef ORVO_HAVE_CPUID
  probe_cpuid(info);
  info.clock_mhz = measured_clock_mhz();
#else
  info.processor_class = cpuinfo_value({"model name", "Processor", "cpu model"});
#endif
  if (info.processor_class.empty()) info.processor_class = "unknown";
  if (info.clock_mhz <= 0) info.clock_mhz = cpuinfo_mhz();
  probe_caches(info);
  probe_memory(info);
  return info;
}

std::string format_system_description(const SystemInfo& info) {
  std::string out = "Tessa2 Release Version\n";
  out.append(tools::SystemLog::kDashes);
  out.append("OS:        ").append(os_name(info.os_kind)).append("\n");
  append_line(out, "CPU class: %.64s ~%iMhz (%i)  with:%s%s%s\n", info.processor_class.c_str(), info.clock_mhz,
              info.model_number, info.has_mmx ? " MMX" : " -", info.has_3dnow ? " 3DNOW" : " -",
              info.has_simd ? " SIMD" : " -");
  append_line(out, "           %i/%i/%i/%i\n", info.processor_ids[0], info.processor_ids[1], info.processor_ids[2],
              info.processor_ids[3]);
  if (info.cache_known) {
    append_line(out, "           L1 chip cache: %iK/%iK (code/data)\n           L2 chip cache: %iK\n", info.l1_code_kb,
                info.l1_data_kb, info.l2_kb);
  } else {
    out.append("           chip cache: unknown\n");
  }
  append_line(out, "Memory:    Physical:  %4iMb  (%iMb available)\n", megabytes(info.physical_total),
              megabytes(info.physical_available));
  append_line(out, "           Page File: %4iMb  (%iMb available)\n", megabytes(info.page_file_total),
              megabytes(info.page_file_available));
  out.append(tools::SystemLog::kDashes);
  return out;
}

tools::SystemLog::BannerTail orvo_banner_tail() {
  return [] {
    static const std::string description = format_system_description(probe_system());
    return description;
  };
}

tools::SystemLog& orvo_system_log() {
  static tools::SystemLog log(tools::SystemLog::kDefaultPath, tools::local_time_now, orvo_banner_tail());
  return log;
}

}  // namespace orvo
