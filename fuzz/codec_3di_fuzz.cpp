// Fuzz target: arbitrary bytes through the binary model file reader. Besides
// the sanitizers, it checks that an error names the file and a byte inside it
// (or its end), that the reader keeps memory in proportion to the input, and
// that whatever the reader takes the writer stores again: the written file
// reads back to the same model and writes the same bytes (compared as bytes,
// so that a float that is not a number compares too).
#define FUZZ_TARGET_NAME "codec_3di_fuzz"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "orvo/file3di/codec_3di.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace orvo::file3di;

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const tools::Result<File3di> file = decode_3di(std::span<const uint8_t>(data, size), "fuzz.3di");
  if (!file) {
    const tools::Error& e = file.error();
    FUZZ_CHECK(e.code >= k3diTruncated && e.code <= k3diDoesNotFit, e.code, 0);
    FUZZ_CHECK(e.message.rfind("fuzz.3di: byte ", 0) == 0, e.code, 0);
    FUZZ_CHECK(e.where.path == "fuzz.3di", e.code, 0);
    FUZZ_CHECK(e.where.offset >= 0 && static_cast<uint64_t>(e.where.offset) <= size, e.where.offset, size);
    FUZZ_CHECK((e.code == k3diTruncated) == (e.kind == tools::ErrorKind::kEndOfFile), e.code, static_cast<int>(e.kind));
    return 0;
  }
  FUZZ_CHECK(file->vertex_count() <= size, file->vertex_count(), size);

  const tools::Result<std::string> again = encode_3di(*file);
  FUZZ_CHECK(again.ok(), again.code(), 0);
  // Only ignored fields and a zero tangent stream size can differ.
  FUZZ_CHECK(again->size() == size, again->size(), size);
  const tools::Result<File3di> back = decode_3di(bytes_of(*again), "again.3di");
  FUZZ_CHECK(back.ok(), back.code(), back.ok() ? 0 : back.error().where.offset);
  const tools::Result<std::string> third = encode_3di(*back);
  FUZZ_CHECK(third.ok() && *third == *again, third.code(), 0);
  return 0;
}
