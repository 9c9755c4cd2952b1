#pragma once
// The model loader's log "3di_log.txt" in the working folder: the loader's
// and the vertex buffers' lines, a checksum per loaded model once its
// textures and materials exist, and closing statistics when the models are
// released. Like the system log, every line opens, writes and closes the
// file, so the log survives a crash; the first line of a run truncates the
// file and writes the banner ("3di_log.txt - LOG FILE - m/d/y, h:mm:ss"
// between dashes lines).
//
// "<BREAK>" writes the dashes line; a text beginning with "<TIME>" writes
// nothing; any other text is written as it is (callers format complete
// lines).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/system_log.h"

namespace orvo {

class ExportLog {
 public:
  static constexpr const char* kDefaultPath = "3di_log.txt";

  explicit ExportLog(std::string path = kDefaultPath, tools::LogFile::Clock clock = tools::local_time_now);

  bool line(std::string_view text) { return log_.write(text); }

  // What the checksum block needs of a loaded model.
  struct ModelSum {
    std::string name;          // the file name, as the loader keeps it
    uint32_t vertex_byte_sum;  // unsigned 32-bit sum of its runtime vertex bytes
    uint32_t material_passes;
  };
  // "CHECKSUM DATA FOLLOWS..." between dashes lines, then "'name' : %08x"
  // per model (in the order given: most recently loaded first) with the
  // byte sum plus the pass count, modulo 2^32. Returns the checksums.
  std::vector<uint32_t> write_checksums(std::span<const ModelSum> models);

  // What the final statistics need of a loaded model's collision model.
  struct ModelVolumes {
    std::string name;
    uint32_t volume_count;    // the `CModel` volume count
    uint32_t part_count;      // its collision parts
    uint32_t ladder_volumes;  // volume records of type 4 over all parts
  };
  // "Final Stats for 3DI Objects" with every model without volumes, then
  // "Objects with ladder volumes" with every model that has some.
  void write_final_stats(std::span<const ModelVolumes> models);

  const std::string& path() const { return log_.path(); }

 private:
  tools::LogFile log_;
};

}  // namespace orvo
