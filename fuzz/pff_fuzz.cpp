// Fuzz target: arbitrary bytes as a PFF archive. Besides the sanitizers, it
// checks that a refused archive names the file, that a registered one has a
// sorted directory whose entries lie inside the file, and that reading every
// entry through the file access gives exactly its size and stops there.
#define FUZZ_TARGET_NAME "pff_fuzz"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "orvo/runtime/file_access.h"
#include "tools/test/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/pff_fuzz_" + std::to_string(::getpid()) + ".pff";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  tools::Result<std::unique_ptr<orvo::PffArchive>> archive = orvo::PffArchive::open(path);
  if (!archive) {
    FUZZ_CHECK(archive.error().message.rfind(path, 0) == 0);
    return 0;
  }
  const std::vector<orvo::PffEntry> entries = (*archive)->entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(uint64_t{entries[i].offset} + entries[i].size <= size, entries[i].offset, entries[i].size);
    if (i > 0) FUZZ_CHECK(entries[i - 1].name < entries[i].name, i, 0);
  }
  orvo::FileAccess fa;
  fa.set_main_archive(std::move(*archive));
  char buffer[4096];
  for (const orvo::PffEntry& e : entries) {
    FUZZ_CHECK(fa.open(e.name) == 2, e.offset, e.size);
    std::size_t total = 0;
    for (std::size_t n; (n = fa.read(buffer, sizeof buffer)) > 0;) total += n;
    FUZZ_CHECK(total == e.size, total, e.size);
    FUZZ_CHECK(fa.seek(0, 2) == static_cast<long>(e.size), e.size, 0);
  }
  return 0;
}
