#include "orvo/viewer/texture_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/base/text.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

std::string with_slashes(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

bool is_file(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::optional<std::string> find_texture_file(std::string_view folder, std::string_view name) {
  std::string path = with_slashes(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += with_slashes(name);
  if (is_file(path)) return path;

  // Texture names are stored upper-cased and the files were made where case
  // does not count: look for the file name in any case in the same folder.
  const std::size_t cut = path.rfind('/');
  const std::string prefix = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string leaf = path.substr(prefix.size());
  if (leaf.empty()) return std::nullopt;
  std::error_code ec;
  fs::directory_iterator it(prefix.empty() ? fs::path(".") : fs::path(prefix), ec);
  std::vector<std::string> matches;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (tools::iequals(entry, leaf) && is_file(prefix + entry)) matches.push_back(entry);
  }
  if (matches.empty()) return std::nullopt;
  return prefix + *std::min_element(matches.begin(), matches.end());
}

}  // namespace orvo
