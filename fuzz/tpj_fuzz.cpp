// Fuzz target for the terrain project reader.
//
// The first input byte picks how the text is handed to the incremental
// reader (pieces of 1 to 1024 bytes); the rest is the project text. Checked:
//   - the text is refused exactly when it holds a NUL byte or starts with a
//     UTF-16 or UTF-32 byte-order mark, and the error names the file and
//     the line (as data too);
//   - refused text leaves the locks as they were;
//   - a project is complete exactly when its five text fields are non-empty;
//   - an output, when set, ends in ".cpt", and a depth map or output that is
//     set is no longer than two tokens;
//   - reading the text in pieces gives the same project, locks and result
//     as reading it whole.
#define FUZZ_TARGET_NAME "tpj_fuzz"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "loamer/project.h"
#include "tools/base/line_tokenizer.h"
#include "tools/test/fuzz_check.h"

namespace {

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + static_cast<std::size_t>(data[0]) * 4;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  loamer::QuadrantLocks start;
  start[loamer::Quadrant::kTopRight] = {5, 6};
  loamer::QuadrantLocks locks = start;
  const tools::Result<loamer::TerrainProject> whole = loamer::parse_project_text(text, "fuzz.tpj", locks);

  const bool refused =
      text.find('\0') != std::string_view::npos || text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";
  FUZZ_CHECK(whole.ok() != refused);
  if (!whole.ok()) {
    FUZZ_CHECK(whole.code() < 0);
    FUZZ_CHECK(whole.error().message.rfind("fuzz.tpj:", 0) == 0);
    FUZZ_CHECK(whole.error().kind == tools::ErrorKind::kParse);
    FUZZ_CHECK(whole.error().where.path == "fuzz.tpj");
    FUZZ_CHECK(whole.error().where.line >= 1 && whole.error().code == -whole.error().where.line,
               whole.error().where.line, whole.error().code);
    FUZZ_CHECK(locks == start);
  } else {
    const loamer::TerrainProject& p = *whole;
    FUZZ_CHECK(p.complete == loamer::has_all_fields(p));
    FUZZ_CHECK(p.complete == (!p.terrain_name.empty() && !p.creator.empty() && !p.path.empty() &&
                              !p.depth_map.empty() && !p.output.empty()));
    FUZZ_CHECK(p.output.empty() || ends_with(p.output, ".cpt"));
    FUZZ_CHECK(p.depth_map.size() <= 2 * tools::LineTokenizer::kMaxChars);
    FUZZ_CHECK(p.output.size() <= 2 * tools::LineTokenizer::kMaxChars + 4);
    FUZZ_CHECK(p.terrain_name.size() <= tools::LineTokenizer::kMaxChars);
  }

  loamer::ProjectReader reader("fuzz.tpj", start);
  bool ok = true;
  for (std::size_t at = 0; at < text.size() && ok; at += piece) ok = reader.feed(text.substr(at, piece)).ok();
  if (ok) ok = reader.finish().ok();
  FUZZ_CHECK(ok == whole.ok());
  if (ok) {
    FUZZ_CHECK(reader.project() == *whole);
    FUZZ_CHECK(reader.locks() == locks);
  }
  return 0;
}
