// The model tool's settings: the preview's lighting and background values,
// the graphics device and the recent-files list kept in the text file
// "TanuOrvo.cfg" of the start-up folder, and the folder paths kept by the
// window program's per-user settings store. This layer reads and writes the
// text file and keeps the recent-files list; it knows nothing of windows.
//
// Which struct holds what:
//   RenderSettings  every value of the text file except the recent files,
//                   plus the environment map file, which lives in the
//                   per-user store ("RenderCubeMap") and never in the file.
//   FolderSettings  the export and texture folders ("ExportPath",
//                   "TexturePath"), per-user store only.
//   RecentFiles     the four PREVFILE lines of the text file.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "orvo/model/base.h"

namespace orvo {

inline constexpr std::string_view kConfigFileName = "TanuOrvo.cfg";

// The longest folder or environment map path the dialogs take, and the
// longest path of a recent-files entry.
inline constexpr std::size_t kMaxFolderPath = 259;
inline constexpr std::size_t kMaxRecentPath = 263;

// Colour components are 0 .. 255 and flags non-zero for on, but every value
// is kept as the integer read or typed, without range checks; the preview
// decides what to make of values outside.
struct RenderSettings {
  int hardware_device = 0;  // adapter the preview device is created on
  int background_red = 128, background_green = 128, background_blue = 128;
  int sky_red = 32, sky_green = 36, sky_blue = 40;
  int ground_red = 40, ground_green = 36, ground_blue = 32;
  int d1_enable = 0;
  int d1_red = 255, d1_green = 255, d1_blue = 192;
  int d2_enable = 0;
  int d2_red = 192, d2_green = 192, d2_blue = 255;
  int fog_enable = 0;
  std::string environment_map;  // cube map file loaded with the preview

  bool operator==(const RenderSettings&) const = default;
};

struct FolderSettings {
  std::string export_folder;   // initial folder of the 3DI save dialog
  std::string texture_folder;  // folder textures are looked up in

  bool operator==(const FolderSettings&) const = default;
};

// What a recent-files entry opens.
inline constexpr int kRecentEmpty = 0;
inline constexpr int kRecentModel = 1;     // one 3DA file
inline constexpr int kRecentLevelSet = 2;  // a level set, by its H file
inline constexpr int kRecentImport = 3;    // an imported ASE or ASC scene

struct RecentFile {
  int kind = kRecentEmpty;  // kept as read; kinds other than 1 .. 3 open nothing
  std::string path;

  bool operator==(const RecentFile&) const = default;
};
using RecentFiles = std::array<RecentFile, 4>;  // index 0 is the newest

// Applies the settings file's text on top of the values passed in: lines of
// at most 699 characters (a longer line is read in pieces, each a line of
// its own), comments ("/...") and empty lines skipped, keys in any case, a
// later line overriding an earlier one. A known key takes the next token as
// a decimal integer as atoi reads it (a missing or malformed number is 0).
// AMBIENT_RED, _GREEN and _BLUE set the sky and the ground component alike.
// "PREVFILE index "*path" kind" sets a recent entry; the path token's first
// character is dropped. PREVFILE lines with fewer than four tokens, an index
// outside 0 .. 3 or a path longer than kMaxRecentPath are ignored, as are
// unknown keys.
void read_config(std::string_view text, RenderSettings& render, RecentFiles& recent);

// The largest settings file read (1 MiB): it holds 23 short lines.
inline constexpr std::size_t kMaxConfigFileBytes = std::size_t{1} << 20;

// Reads the settings file at `path` with read_config. A file that is
// missing, unreadable or larger than any settings file leaves every value
// as it was and returns the read error (code 1), which start-up ignores:
// the person is never told.
Status read_config_file(const std::string& path, RenderSettings& render, RecentFiles& recent);

// The whole settings file: 23 lines in a fixed order and layout, the sky and
// ground values as themselves (never as AMBIENT_*), the four recent entries
// as PREVFILE lines with the path behind a "*" so that an empty path still
// forms a token. The environment map is not part of it.
std::string write_config(const RenderSettings& render, const RecentFiles& recent);

// A file of the tool's own (settings, presets) as read at start-up. Such a
// file is written back at exit from what was read, so one that exists but
// cannot be used must not be replaced by defaults.
struct OwnFile {
  std::optional<std::string> text;  // the contents; none when missing or unusable
  std::string problem;              // why a file that exists cannot be used; empty otherwise
};

// Reads `path`: missing gives neither text nor problem; a file that cannot
// be read, is larger than `max_bytes` or holds a NUL byte (not text of this
// tool: UTF-16, a binary file) gives the problem.
OwnFile read_own_file(const std::string& path, std::size_t max_bytes);

// Keeps an own file that cannot be used from being replaced at exit: it is
// moved aside to "NAME.bad" (or "NAME.bad2" .. "NAME.bad9" when taken);
// when that fails it stays where it is and `write_back` becomes false, so
// the tool does not write that file this run. Returns what the person is
// told: "NAME cannot be read", the problem, and what was done.
std::string set_aside_own_file(const std::string& path, const std::string& problem, bool& write_back);

// Replaces the file at `path` with write_config's text, whole or not at all.
// On failure the old file stays; the caller shows nothing.
Status write_config_file(const std::string& path, const RenderSettings& render, const RecentFiles& recent);

// The folder the texture look-up prefixes to texture names: `folder` with a
// separator appended when it does not end in one. Either '\\' or '/' counts
// as a separator already there (folders typed on Windows and paths of this
// system alike); the separator appended is '/'. An empty folder stays empty,
// which makes textures be looked up by their names alone.
std::string texture_folder_for_lookup(std::string_view folder);

// `path` made absolute (from the current folder) and normalised ("." and
// ".." components and doubled separators removed), so that one file always
// has one name in the recent list and the title. An empty path stays empty.
std::string full_path(const std::string& path);

// Enters `path` (made a full path) as the newest entry with `kind`. When it equals an entry
// (without regard to case), the newer entries move down one place over it;
// otherwise every entry moves down and the oldest is dropped. A path longer
// than kMaxRecentPath is refused and the list stays as it was (false).
bool add_recent(RecentFiles& recent, int kind, std::string path);

// The text of the recent-files menu item of entry `index` (0 .. 3):
// "&1  path" .. "&4  path", with "  (all)" after a level set's path.
std::string recent_menu_text(const RecentFile& entry, int index);

}  // namespace orvo
