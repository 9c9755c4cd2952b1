// Fuzz target: the terrain file summary reader behind `loamer-cli inspect`.
// A terrain file is over 2 MB of fixed heights before its records, so the
// input is mostly spliced into a valid frame: its first four bytes become
// the grid size and sector count, the rest the record bit stream. Inputs
// that start with the magic are read as whole files instead, to reach the
// header checks. Besides the sanitizers, it checks that an error gives the
// byte offset it found at as data, that a summary is consistent with itself
// and the file, and that its size stays in proportion to the input.
#define FUZZ_TARGET_NAME "cpt_fuzz"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/terrain_file.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace loamer;

// "CPT1", grid 1024, 6 sectors, names, "DPTH", zero heights, "POLY".
std::vector<uint8_t> frame() {
  std::vector<uint8_t> f(kCptRecordsOffset, 0);
  std::memcpy(f.data(), "CPT1", 4);
  f[4] = 0x00;
  f[5] = 0x04;
  f[6] = 6;
  std::memcpy(f.data() + 12, "fuzz", 4);
  std::memcpy(f.data() + kCptDepthOffset - 4, "DPTH", 4);
  std::memcpy(f.data() + kCptPolyTagOffset, "POLY", 4);
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::vector<uint8_t> kFrame = frame();
  static std::vector<uint8_t> file;
  if (size >= 4 && std::memcmp(data, "CPT1", 4) == 0) {
    file.assign(data, data + size);
  } else {
    file = kFrame;
    if (size >= 4) {
      std::memcpy(file.data() + 4, data, 4);
      file.insert(file.end(), data + 4, data + size);
    }
  }

  const tools::Result<TerrainFileSummary> summary = summarize_terrain_bytes(file, "fuzz.cpt");
  if (!summary) {
    const int code = summary.code();
    FUZZ_CHECK(code == kIoBadMagic || code == kIoTruncated || code == kIoBadData, code, 0);
    FUZZ_CHECK(summary.error().message.rfind("fuzz.cpt: ", 0) == 0, code, 0);
    const tools::FileLocation& where = summary.error().where;
    FUZZ_CHECK(where.path == "fuzz.cpt", code, 0);
    FUZZ_CHECK(where.offset >= 0 && static_cast<uint64_t>(where.offset) <= file.size(), where.offset, file.size());
    return 0;
  }
  const TerrainFileSummary& s = *summary;
  FUZZ_CHECK(s.file_size == file.size(), s.file_size, file.size());
  FUZZ_CHECK(s.records_per_sector.size() == s.sectors, s.records_per_sector.size(), s.sectors);
  long total = 0;
  for (long n : s.records_per_sector) total += n;
  FUZZ_CHECK(static_cast<size_t>(total) == s.records.size(), total, s.records.size());
  // A record takes at least its 7 bytes of fixed fields, aligned to 4.
  FUZZ_CHECK(s.records.size() <= (file.size() - kCptRecordsOffset) / 8 + 1, s.records.size(), file.size());
  size_t previous = 0;
  for (const TerrainRecordSummary& r : s.records) {
    FUZZ_CHECK(r.byte_offset >= kCptRecordsOffset && r.byte_offset < file.size(), r.byte_offset, file.size());
    FUZZ_CHECK(r.byte_offset >= previous, r.byte_offset, previous);
    FUZZ_CHECK(r.sector >= 0 && r.sector < s.sectors, r.sector, s.sectors);
    FUZZ_CHECK(r.origin_x < 1024 && r.origin_z < 1024, r.origin_x, r.origin_z);
    previous = r.byte_offset;
  }
  return 0;
}
