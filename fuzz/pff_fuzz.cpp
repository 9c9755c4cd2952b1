// Fuzz target: arbitrary bytes as a PFF archive. Besides the sanitizers, it
// checks that a refused archive names the file, that a registered one has a
// sorted directory whose entries lie inside the file and together hold no
// more bytes than the file (no entry shares another's data), that reading
// every entry through the file access and streaming it in pieces give
// exactly its size, and that a name unpacking accepts never leads out of
// the folder.
#define FUZZ_TARGET_NAME "pff_fuzz"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

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
  uint64_t held = orvo::kPffHeaderBytes + entries.size() * orvo::kPffEntryBytes;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(uint64_t{entries[i].offset} + entries[i].size <= size, entries[i].offset, entries[i].size);
    if (i > 0) FUZZ_CHECK(entries[i - 1].name < entries[i].name, i, 0);
    held += entries[i].size;
    int streamed = 0;
    const tools::Status s = (*archive)->stream(
        static_cast<int>(i),
        [&](std::string_view piece) {
          FUZZ_CHECK(piece.size() <= 7, piece.size(), 0);
          streamed += static_cast<int>(piece.size());
          return tools::Status{};
        },
        7);
    FUZZ_CHECK(s.ok() && streamed == static_cast<int>(entries[i].size), streamed, entries[i].size);
    // An accepted name is relative and never climbs out of the folder.
    if (orvo::pff_extract_name_problem(entries[i].name).empty()) {
      const std::string n = entries[i].name;
      FUZZ_CHECK(n[0] != '/' && n[0] != '\\', i, 0);
      std::size_t begin = 0;
      for (std::size_t k = 0; k <= n.size(); ++k) {
        if (k < n.size() && n[k] != '/' && n[k] != '\\') continue;
        const std::string_view part(n.data() + begin, k - begin);
        FUZZ_CHECK(part != ".." && part != "." && !part.empty(), i, k);
        begin = k + 1;
      }
    }
  }
  FUZZ_CHECK(held <= size, held, size);
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
