#pragma once
// The runtime library's file access: open, read, seek, size, exists and
// close over loose files and PFF archives.
//
// A PFF archive (our layout; little-endian):
//
//   0   char[4]  "PFF1"
//   4   u32      version, 1
//   8   u32      entry count N
//   12  u32      directory offset D
//   ... the files' data, anywhere in the archive
//   D   N directory entries of 36 bytes, sorted ascending by name:
//         0  u32 0 (not read)     4  u32 data offset     8  u32 data size
//         12 u32 0 (not read)     16 char[20] name, upper case, NUL-terminated
//
// Registering an archive reads and checks its header and directory; it
// refuses, with the file and the byte offset:
//   - a directory or an entry's data that do not lie inside the file;
//   - a name without its NUL within the 20 bytes, an empty one, one in lower
//     case or ending in a blank (the look-up upper-cases names and drops
//     trailing blanks, so no one could open such an entry);
//   - a directory not sorted by name (the look-up halves it);
//   - entries whose data overlap each other, the 16-byte header or the
//     directory (an entry of no bytes overlaps nothing), so an archive never
//     unpacks to more bytes than it holds.
//
// Reads of an archive entry stop at the entry's end: a read past it returns
// what is left of the entry and never the next entry's bytes. Reads go to the
// file by offset each time, so a file that shrinks after registering shows up
// as a short read, never as bytes of another place.
//
// Unpacking (pff_extract) writes each entry to the folder under its name,
// with a backslash read as a folder separator, and never outside the folder.
// It checks every entry before it writes any, and writes none when one is
// refused: an empty or absolute name, a "..", "." or empty component, two
// entries of one path or a file where another needs a folder, a folder on
// the way that is a symbolic link or no folder, and a folder or special file
// at the entry's own name. A symbolic link at an entry's name is replaced by
// the file, never followed. An entry that cannot be read whole is an error
// and leaves nothing under its name.
//
// One FileAccess is one program's layer (its current file, flags, main
// archive and 16 slots); it is used from one thread at a time.

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace orvo {

inline constexpr std::size_t kPffHeaderBytes = 16;
inline constexpr std::size_t kPffEntryBytes = 36;
inline constexpr std::size_t kPffNameBytes = 20;  // with the NUL: names of at most 19 characters
inline constexpr int kPffSlots = 16;
// Packing and unpacking copy the data in pieces of this size, so memory stays
// bounded by one piece plus the directory whatever the files' sizes.
inline constexpr std::size_t kPffChunkBytes = std::size_t{1} << 20;

struct PffEntry {
  std::string name;  // upper case
  uint32_t offset = 0;
  uint32_t size = 0;
};

class PffArchive {
 public:
  // Reads the header and directory of `path`. `report_errors`: a name that
  // is not found shows the "pffmgr" message.
  static tools::Result<std::unique_ptr<PffArchive>> open(const std::string& path, bool report_errors = false);
  ~PffArchive();
  PffArchive(const PffArchive&) = delete;
  PffArchive& operator=(const PffArchive&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<PffEntry>& entries() const { return entries_; }
  bool report_errors() const { return report_errors_; }

  // The entry of `name` (already reduced and upper-cased), or -1.
  int find(std::string_view name) const;

  // Passes the data of entry `entry` to `sink` in pieces of at most `chunk`
  // bytes. A read that comes up short (the archive shrank since it was
  // registered, or a read failed) is an error naming the archive and the
  // entry; an error of `sink` ends the copy and is returned as it is.
  tools::Status stream(int entry, const std::function<tools::Status(std::string_view)>& sink,
                       std::size_t chunk = kPffChunkBytes) const;

  // Reading the current entry.
  void select(int entry);
  std::size_t read(void* buffer, std::size_t count);
  long seek(long offset, int origin);
  long position() const { return position_; }

 private:
  PffArchive() = default;
  std::string path_;
  bool report_errors_ = false;
  int fd_ = -1;
  std::vector<PffEntry> entries_;
  int current_ = -1;
  long position_ = 0;  // within the current entry
};

// Why `name` cannot be an entry's name, or "" when it can: the check that
// registering applies (1 to 19 bytes, no NUL, upper case, no trailing blank).
std::string pff_name_problem(std::string_view name);

// Why an entry named `name` cannot be unpacked into a folder, judged by the
// name alone, or "" when it can: empty, absolute, or with a "..", "." or
// empty component (a backslash counts as '/').
std::string pff_extract_name_problem(std::string_view name);

// Writes an archive of `files` (paths; each stored under its upper-cased
// file name) through a temporary file renamed over `path`. Each file is
// copied in pieces of `chunk` bytes; `stored`, when given, is told each
// entry once its data are written. Refused before anything is written: a
// name that registering would refuse (the file and the reason), two files
// of one name, a file that is not a regular file or cannot be read, an
// archive beyond 4 GiB. A file whose size changes while it is packed is an
// error and leaves the old archive as it was.
tools::Status pff_pack(const std::string& path, const std::vector<std::string>& files,
                       std::size_t chunk = kPffChunkBytes, const std::function<void(const PffEntry&)>& stored = {});

// Writes every entry of `archive` into `folder` (which must exist) by the
// rules above, creating the subfolders entries name; `written`, when given,
// is told each file once it is in place. A refused entry is reported as
// "ARCHIVE: entry "NAME": reason; nothing was extracted".
tools::Status pff_extract(const PffArchive& archive, const std::string& folder,
                          const std::function<void(const std::string&)>& written = {},
                          std::size_t chunk = kPffChunkBytes);

class FileAccess {
 public:
  explicit FileAccess(tools::UserNotifier* notifier = nullptr);
  ~FileAccess();
  FileAccess(const FileAccess&) = delete;
  FileAccess& operator=(const FileAccess&) = delete;

  // The flags of the trial order (see open()).
  bool prefer_loose = false;
  bool strip_path = false;
  bool use_slots = false;
  // With the file log on, each open appends "LOADED FILE: name" or
  // "PFF LOADED FILE: name" to the file log (deleted at its first use).
  bool file_log = false;
  std::string file_log_path = "_filelog.txt";

  void set_main_archive(std::unique_ptr<PffArchive> archive);
  void set_slot(int slot, std::unique_ptr<PffArchive> archive);

  // Opens `name` and makes it the current file; returns a handle (1 for a
  // loose file, 2 for the main archive, 3 + n for slot n) or -1, which also
  // sets error(). Order: with prefer_loose, the loose file, the main
  // archive, then (use_slots) slots 0 to 15; otherwise, with a main archive,
  // the main archive, then (use_slots) the slots; with neither, the slots
  // when use_slots is set, else the loose file.
  int open(std::string_view name);
  std::size_t read(void* buffer, std::size_t count);
  // Origin 0 from the start, 1 from the current position, 2 from the end;
  // returns the new position (within the entry for an archive), -1 on error.
  long seek(long offset, int origin);
  // The size of `name`, or -1.
  long size(std::string_view name);
  bool exists(std::string_view name);
  void close();
  bool error() const { return error_; }

 private:
  bool open_loose(std::string_view name);
  bool open_in(PffArchive* archive, std::string_view name);
  void log_open(const char* what, std::string_view name);

  tools::UserNotifier* notifier_;
  std::unique_ptr<PffArchive> main_;
  std::array<std::unique_ptr<PffArchive>, kPffSlots> slots_;
  std::FILE* loose_ = nullptr;
  PffArchive* archive_ = nullptr;  // the current file, when it is an archive entry
  bool error_ = false;
  bool file_log_started_ = false;
};

// The look-up form of a name: with `strip_path` its last component, upper
// case, without trailing blanks.
std::string pff_lookup_name(std::string_view name, bool strip_path);

}  // namespace orvo
