// Whole-file reading and safe writing for the readers and writers of user
// files.
#pragma once

#include <string>
#include <string_view>

#include "orvo/model/result.h"

namespace orvo {

// Reads a whole file. Error code 1 with "path: cannot open: reason".
Result<std::string> read_text_file(const std::string& path);

// Refuses text that no text reader can take: UTF-16 or UTF-32 (byte-order
// mark or NUL bytes). Error code -line with "path:line: ...".
Status check_text_encoding(std::string_view text, const std::string& display_name);

// Writes `data` to a temporary file in the target's folder and renames it
// over `path` only when complete; on failure the old file stays as it was
// and no temporary file is left. Error code 1 with the path and the reason.
Status write_file_atomic(const std::string& path, std::string_view data);

// The file name without directory, cut at its first "." (the model name).
std::string bare_name(std::string_view path);

}  // namespace orvo
