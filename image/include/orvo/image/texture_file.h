// Finding a texture file that a material names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// The path of texture `name` in `folder` (empty: the current directory):
// folder + name when that file exists, else the first file of the same
// folder (in name order) whose name matches the name's last part without
// regard to case; none when neither exists. Names and the folder may use
// '/' or '\' as separators; a folder without a trailing separator gets one.
std::optional<std::string> find_texture_file(std::string_view folder, std::string_view name);

}  // namespace orvo
