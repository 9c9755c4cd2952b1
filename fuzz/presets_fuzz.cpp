// Any bytes as a function preset file; what was read is written and read
// again: the same number of presets, and from the second writing on the
// text no longer changes (a creator with blanks, written without quotes,
// loses its later words once).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "orvo/app/function_presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvo::FunctionPresetList list;
  orvo::parse_presets(std::string_view(reinterpret_cast<const char*>(data), size), list);
  const std::string text = orvo::write_presets(list, "funcs.pre", "fuzz");
  orvo::FunctionPresetList again;
  orvo::parse_presets(text, again);
  if (again.size() != list.size()) std::abort();
  const std::string second = orvo::write_presets(again, "funcs.pre", "fuzz");
  orvo::FunctionPresetList third;
  orvo::parse_presets(second, third);
  if (orvo::write_presets(third, "funcs.pre", "fuzz") != second) std::abort();
  return 0;
}
