#include "orvo/viewer/export_log.h"

#include <cstdio>

namespace orvo {

ExportLog::ExportLog(std::string path, tools::LogFile::Clock clock)
    : log_(std::move(path), "3di_log.txt", std::move(clock), {},
           [](std::string_view text) { return text.starts_with("<TIME>") ? std::string() : std::string(text); }) {}

std::vector<uint32_t> ExportLog::write_checksums(std::span<const ModelSum> models) {
  line(tools::LogFile::kDashes);
  line("CHECKSUM DATA FOLLOWS...\n");
  line(tools::LogFile::kDashes);
  std::vector<uint32_t> sums;
  for (const ModelSum& m : models) {
    const uint32_t sum = m.vertex_byte_sum + m.material_passes;  // both modulo 2^32
    sums.push_back(sum);
    char text[32];
    std::snprintf(text, sizeof text, "' : %08x\n", static_cast<unsigned>(sum));
    line("'" + m.name + text);
  }
  return sums;
}

void ExportLog::write_final_stats(std::span<const ModelVolumes> models) {
  line("\nFinal Stats for 3DI Objects\n");
  for (const ModelVolumes& m : models)
    if (m.volume_count == 0) line("'" + m.name + "' has no bounding data\n");
  line("\nObjects with ladder volumes\n");
  for (const ModelVolumes& m : models) {
    if (m.part_count == 0 || m.ladder_volumes == 0) continue;
    line("'" + m.name + "' has " + std::to_string(m.ladder_volumes) + " ladder volume(s)\n");
  }
}

}  // namespace orvo
