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
// Registering an archive reads and checks its header and directory: the
// directory and every entry's data must lie inside the file, names must end
// with a NUL within their 20 bytes and be upper case without trailing blanks
// (what the look-up searches for), and entries must be sorted (the look-up
// halves the directory). A damaged archive is refused with the file and the
// byte offset.
//
// Reads of an archive entry stop at the entry's end: a read past it returns
// what is left of the entry and never the next entry's bytes.
//
// One FileAccess is one program's layer (its current file, flags, main
// archive and 16 slots); it is used from one thread at a time.

#include <array>
#include <cstdint>
#include <cstdio>
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

  // Reading the current entry.
  void select(int entry);
  std::size_t read(void* buffer, std::size_t count);
  long seek(long offset, int origin);
  long position() const { return position_; }

 private:
  PffArchive() = default;
  std::string path_;
  bool report_errors_ = false;
  std::FILE* file_ = nullptr;
  std::vector<PffEntry> entries_;
  int current_ = -1;
  long position_ = 0;  // within the current entry
};

// Writes an archive of `files` (paths; each stored under its upper-cased
// file name) through a temporary file renamed over `path`. Refused: a name
// longer than 19 characters, two files of one name, a file that cannot be
// read, an archive beyond 4 GiB.
tools::Status pff_pack(const std::string& path, const std::vector<std::string>& files);

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
