#include "orvo/image/texture_file.h"

#include <algorithm>

#include "tools/base/file_io.h"

namespace orvo {
namespace {

std::string with_slashes(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

}  // namespace

std::optional<std::string> find_texture_file(std::string_view folder, std::string_view name) {
  std::string path = with_slashes(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += with_slashes(name);
  return tools::find_file_any_case(path);
}

}  // namespace orvo
