#pragma once
// The function presets: a library of named scalar generator settings kept
// in "funcs.pre" in the per-user data folder, read at start-up and written
// at shut-down. The file is text with CR LF line ends: a comment header, an
// information block and one "func" block per preset.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/result.h"

namespace orvo {

// What a preset is meant for: index into "none", "alpha", "texture".
inline constexpr int kPresetUsageNone = 0;
inline constexpr int kPresetUsageAlpha = 1;
inline constexpr int kPresetUsageTexture = 2;
// The usage's name as the file holds it ("none" for an index out of range).
std::string_view preset_usage_name(int usage);

struct FunctionPreset {
  static constexpr std::size_t kMaxName = 31;
  static constexpr std::size_t kMaxCreator = 31;
  static constexpr std::size_t kMaxComment = 127;
  static constexpr std::size_t kMaxCtrlReg = 31;

  std::string name;
  std::string creator;
  std::string comment;
  int usage = kPresetUsageNone;
  uint64_t first_used = 0;  // file time: 100 ns units since 1601
  int style = 0;            // a style of the set-only list
  float rate = 0.0f;
  float start = 0.0f;
  float end = 0.0f;
  float phase = 0.0f;
  std::string ctrlreg;

  friend bool operator==(const FunctionPreset&, const FunctionPreset&) = default;
};

// The presets in file order, at most 1024.
class FunctionPresetList {
 public:
  static constexpr std::size_t kMaxPresets = 1024;

  // Appends a copy; does nothing (false) when the list is full.
  bool add(const FunctionPreset& p);
  // Removes preset `index` (the later ones move up); nothing when out of range.
  void remove(std::size_t index);
  void clear() { presets_.clear(); }
  bool full() const { return presets_.size() >= kMaxPresets; }
  std::size_t size() const { return presets_.size(); }
  bool empty() const { return presets_.empty(); }
  FunctionPreset& operator[](std::size_t i) { return presets_[i]; }
  const FunctionPreset& operator[](std::size_t i) const { return presets_[i]; }
  const std::vector<FunctionPreset>& presets() const { return presets_; }

 private:
  std::vector<FunctionPreset> presets_;
};

// Empties `list` and reads the presets of a preset file's text into it. The
// file's own version and creator are read and not kept. Never fails: what
// cannot be read is skipped.
void parse_presets(std::string_view text, FunctionPresetList& list);

// The whole file for `list`: the header naming `file_name` (its folder is
// left out), the information block with `user` as creator, one block per
// preset; numbers in the C locale whatever the program's locale; CR LF line
// ends.
std::string write_presets(const FunctionPresetList& list, std::string_view file_name, std::string_view user);

// The largest preset file read (16 MiB; 1024 presets take about 300 KB).
inline constexpr std::size_t kMaxPresetFileBytes = std::size_t{16} << 20;

// Reads the file at `path` into `list` (emptied first). A missing or
// unreadable file leaves the list empty; false then, with `problem` (when
// given) saying why a file that exists cannot be used (unreadable, too
// large, not text); a missing file leaves it empty.
bool load_presets(const std::string& path, FunctionPresetList& list, std::string* problem = nullptr);
// Writes the file through a temporary file in the same folder, renamed over
// `path` only when complete. The caller may ignore the failure (the tool
// does so at shut-down).
tools::Status save_presets(const std::string& path, const FunctionPresetList& list, std::string_view user);

// The current system time as a file time (100 ns units since 1601-01-01 UTC).
uint64_t file_time_now();

}  // namespace orvo
