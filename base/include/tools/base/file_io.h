// Whole-file reading and safe writing for the readers and writers of user
// files.
#pragma once

#include <string>
#include <string_view>

#include "tools/base/result.h"

namespace tools {

// Reads a whole file. Error code 1 with "path: cannot open: reason".
Result<std::string> read_text_file(const std::string& path);

// A whole file held read-only in memory for a reader: a regular file is
// mapped (no copy, pages read ahead by the kernel), anything else is read.
class FileText {
 public:
  // Error code 1 with "path: cannot open: reason".
  static Result<FileText> open(const std::string& path);

  FileText(FileText&& other) noexcept;
  FileText& operator=(FileText&& other) noexcept;
  FileText(const FileText&) = delete;
  FileText& operator=(const FileText&) = delete;
  ~FileText();

  std::string_view view() const { return map_ != nullptr ? std::string_view(map_, size_) : std::string_view(copy_); }

 private:
  FileText() = default;
  const char* map_ = nullptr;
  std::size_t size_ = 0;
  std::string copy_;
};

// Refuses text that no text reader can take: UTF-16 or UTF-32 (byte-order
// mark or NUL bytes). Error code -line with "path:line: ...".
Status check_text_encoding(std::string_view text, const std::string& display_name);

// Writes `data` to a temporary file in the target's folder and renames it
// over `path` only when complete; on failure the old file stays as it was
// and no temporary file is left. Error code 1 with the path and the reason.
// kDurable flushes the data to the disk before the rename, so a crash leaves
// the old file or the new one; kCache skips that wait for files a later run
// can regenerate and whose reader refuses anything incomplete.
enum class FileSync { kDurable, kCache };
Status write_file_atomic(const std::string& path, std::string_view data, FileSync sync = FileSync::kDurable);

// The file name without directory, cut at its first "." (the model name).
std::string bare_name(std::string_view path);

}  // namespace tools
