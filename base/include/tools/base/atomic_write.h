// The one path every file the tools write goes through.
//
// A regular output is written to a temporary file beside it and renamed over
// it only when complete, so the output is always either the old file or the
// whole new one; on failure the old file stays byte-identical and the
// temporary is removed.
//
// What the output's name may already be:
//   - nothing: a new file is made (the folder must exist);
//   - a regular file: replaced as above, keeping its permission bits;
//   - a symbolic link: its target is written (a chain of links is followed to
//     the end, a dangling link makes its target), as editors and compilers
//     do; the link stays a link. With LinkPolicy::kReplace (archive
//     extraction) the link itself is replaced by the new file and nothing
//     outside the folder is touched;
//   - a character device or a FIFO (/dev/null, /dev/stdout, a named pipe):
//     written straight through, never renamed over, so the device stays
//     what it was (a FIFO's open waits for its reader, as a shell's
//     redirection does). With kReplace it is refused;
//   - a directory, a block device or a socket: refused with the reason.
//
// Temporaries are named ".<output name>.<owner>-save-XXXXXX" in the output's
// folder, where the owner is the writing program's name
// (set_temporary_owner). The program removes its own on every error path and when it is
// ended by SIGINT, SIGTERM or SIGHUP (the handlers are installed by the first
// write and pass the signal on to what was there before). A temporary left by
// a killed run (SIGKILL, a power cut) is removed by the next successful write
// of the same output, when it is a regular file of the same user last changed
// before the writing program started.
#pragma once

#include <string>
#include <string_view>

#include "tools/base/result.h"

namespace tools {

// kDurable flushes the data to the disk before the rename, so a crash leaves
// the old file or the new one; kCache skips that wait for files a later run
// can regenerate and whose reader refuses anything incomplete.
enum class FileSync { kDurable, kCache };

// What a symbolic link at the output's name means: write its target (every
// output a person names) or replace the link (files unpacked into a folder,
// which must never reach outside it).
enum class LinkPolicy { kFollow, kReplace };

// A file written in pieces and put in place by commit(). Destroying an
// uncommitted writer removes its temporary and leaves the output as it was.
// Errors name the output as it was given: "path: cannot write: reason".
class AtomicWriter {
 public:
  static Result<AtomicWriter> create(const std::string& path, FileSync sync = FileSync::kDurable,
                                     LinkPolicy links = LinkPolicy::kFollow);

  AtomicWriter(AtomicWriter&& other) noexcept;
  AtomicWriter& operator=(AtomicWriter&& other) noexcept;
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;
  ~AtomicWriter();

  Status write(std::string_view data);
  // Flushes (kDurable), sets the permission bits and renames the temporary
  // over the output; then removes stale temporaries of the same output. A
  // writer that failed or was committed refuses further writes.
  Status commit();
  // Removes the temporary; the output stays as it was.
  void discard();

  const std::string& path() const { return path_; }
  // True when the output is a device or FIFO written straight through.
  bool writes_through() const { return through_; }

 private:
  AtomicWriter() = default;
  void release();

  std::string path_;    // as given, for messages
  std::string target_;  // the file that is replaced
  std::string temp_;    // the temporary, empty when writing through
  int fd_ = -1;
  int slot_ = -1;  // the temporary's place in the signal clean-up table
  FileSync sync_ = FileSync::kDurable;
  bool through_ = false;
  bool failed_ = false;
};

// Writes `data` as the whole file `path` through an AtomicWriter.
Status write_file_atomic(const std::string& path, std::string_view data, FileSync sync = FileSync::kDurable);

// Names the program in the temporaries it makes from now on ("tools" until
// it is called), so each program's temporaries say whose they are and a
// program removes only its own stale ones. Called once at start, before any
// write; `owner` is a short plain name ("orvo", "loamer").
void set_temporary_owner(std::string_view owner);

// Removes every temporary this process is writing at the moment. Safe in a
// signal handler; for code that ends the program at once (std::_Exit).
void remove_pending_temporaries() noexcept;

// Opens a fixed-name log for appending (or truncated, `start`), refusing a
// symbolic link at its name (O_NOFOLLOW) and anything but a regular file, so
// a link planted under a log's name in a shared folder never makes the tools
// write through it. The descriptor, or "path: not written: reason".
Result<int> open_log_file(const std::string& path, bool start);

// Says, once per path and run, that a log could not be opened and the run
// goes on without it: "program: path: not written: reason; going on without
// this log" on standard error.
void report_refused_log(const Error& error);

// Writes `text` to the log at `path`, opened by open_log_file (truncated
// first when `start`); a refused log is reported by report_refused_log.
// False when the text was not all written.
bool write_log_text(const std::string& path, std::string_view text, bool start);

}  // namespace tools
