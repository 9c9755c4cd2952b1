// Whole-file reading and safe writing for the readers and writers of user
// files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/base/atomic_write.h"
#include "tools/base/result.h"

namespace tools {

// Every reader of a user file states the most its format can hold, so a file
// that never ends (a link to /dev/zero) or a huge stray file is refused
// instead of filling the memory. Only regular files are read: a directory, a
// FIFO or a device is refused at once, without waiting for a writer.

// Reads a whole regular file of at most `max_bytes`. Error code 1 with
// "path: cannot open: reason" (kind kCannotOpen; "not a regular file" for
// FIFOs and devices), "path: cannot read: reason" (kCannotRead), or
// "path: the file is larger than N bytes, more than such a file can hold"
// (kTooLarge).
Result<std::string> read_file(const std::string& path, std::size_t max_bytes);

// The two ends of a regular file, for readers that learn what they need
// from a header (and perhaps a trailer) without reading what lies between:
// the first `head_bytes` and the last `tail_bytes` bytes (fewer when the
// file is shorter; they overlap in a file shorter than both) and the file's
// size. The same checks and errors as read_file.
struct FileEnds {
  std::string head;
  std::string tail;
  std::uint64_t size = 0;
};
Result<FileEnds> read_file_ends(const std::string& path, std::size_t head_bytes, std::size_t tail_bytes,
                                std::size_t max_bytes);

// A whole file held read-only in memory for a reader: the regular file is
// mapped (no copy, pages read ahead by the kernel). The same checks and
// errors as read_file.
class FileText {
 public:
  static Result<FileText> open(const std::string& path, std::size_t max_bytes);

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

// Data made on Windows names files without regard to case (texture names
// are stored upper-cased, models are asked for as "NAME.3DI"). The regular
// file at `path` when it exists, else the first regular file of the same
// folder (in name order) whose name equals the path's last component without
// regard to case; none when neither exists. A backslash counts as '/'.
std::optional<std::string> find_file_any_case(std::string_view path);

// Makes a write past the file-size limit (ulimit -f) fail with EFBIG instead
// of killing the process with SIGXFSZ, so the atomic replace reports it and
// removes its temporary file. Every program calls it first thing.
void ignore_file_size_signal();

// The file name without directory, cut at its first "." (the model name).
std::string bare_name(std::string_view path);

}  // namespace tools
