#pragma once
// Terrain projects (.tpj): which depth map to triangulate, where the block
// files and the terrain file go, and the quadrant locks of the map.
//
// A project file is text read line by line (at most 700 characters a line; a
// longer line is read as several), each line split into tokens at blanks,
// tabs and commas outside double quotes. Lines without tokens and lines whose
// first token begins with '/' are comments. The first token is a key, found
// without regard to case; the tokens after it are its values:
//
//   terrainname  text     terrain name
//   creator      text     creator
//   path         text     folder prefix of every file of the project
//   depthmap     text     depth map = path as read so far + text
//   output       text     output = path as read so far + text, extension ".cpt"
//   lock_topleft      x z   locks of the quadrant x < 512,  z < 512
//   lock_topright     x z   locks of the quadrant x >= 512, z < 512
//   lock_bottomleft   x z   locks of the quadrant x < 512,  z >= 512
//   lock_bottomright  x z   locks of the quadrant x >= 512, z >= 512
//
// Unknown keys and keys without all their values are ignored; integers are
// read as the C library's atoi reads them. Because "depthmap" and "output"
// take the path at the moment they are read, "path" must come before them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/result.h"

namespace loamer {

// What every text field shows before a project has been opened.
inline constexpr std::string_view kNoProjectLoaded = "<No Project Loaded>";

struct TerrainProject {
  std::string terrain_name{kNoProjectLoaded};
  std::string creator{kNoProjectLoaded};
  std::string path{kNoProjectLoaded};       // folder prefix, normally ending with a separator
  std::string depth_map{kNoProjectLoaded};  // path + the file's value
  std::string output{kNoProjectLoaded};     // path + the file's value, extension ".cpt"
  // Set by reading: all five text fields are non-empty. A build needs it.
  bool complete = false;

  friend bool operator==(const TerrainProject&, const TerrainProject&) = default;
};

// True when terrain name, creator, path, depth map and output are all set.
bool has_all_fields(const TerrainProject& project);

// The keys of the project file whose fields are empty, in the order
// "terrainname", "creator", "path", "depthmap", "output"; none for a
// complete project.
std::vector<std::string_view> missing_keys(const TerrainProject& project);

// Whether a build can start from the project: success when it is complete,
// otherwise an error (kind kBadData) naming `display_name` and the missing
// keys: "name: the project is incomplete (missing: creator, output)".
tools::Status check_complete(const TerrainProject& project, const std::string& display_name);

// The four quadrants of the 1024 x 1024 map, split at 512 in x and z.
enum class Quadrant : uint8_t { kTopLeft = 0, kTopRight = 1, kBottomLeft = 2, kBottomRight = 3 };

// The quadrant that holds the grid point (x, z): x >= 512 is right, z >= 512
// is bottom. A block is in the quadrant of its origin.
Quadrant quadrant_of(int x, int z);

// Non-zero locks make a quadrant repeat its own 512 columns (x-lock) or rows
// (z-lock) at its far edge instead of wrapping to the rest of the map.
struct QuadrantLock {
  int x_lock = 0;
  int z_lock = 0;
  friend bool operator==(const QuadrantLock&, const QuadrantLock&) = default;
};

// The locks of the four quadrants. They outlive a project: opening another
// project changes only the locks its file sets.
struct QuadrantLocks {
  std::array<QuadrantLock, 4> quadrants{};

  QuadrantLock& operator[](Quadrant q) { return quadrants[static_cast<std::size_t>(q)]; }
  const QuadrantLock& operator[](Quadrant q) const { return quadrants[static_cast<std::size_t>(q)]; }
  // The locks that apply to the block whose origin is (origin_x, origin_z).
  const QuadrantLock& for_block(int origin_x, int origin_z) const { return (*this)[quadrant_of(origin_x, origin_z)]; }

  friend bool operator==(const QuadrantLocks&, const QuadrantLocks&) = default;
};

// The terrain file's name from the output as joined with the path: the file
// name is cut at its first '.' and ".cpt" appended; a name without a '.' or
// starting with one gets ".cpt" appended whole. Dots in the folder part
// ("../maps/", "maps.v2/") are left alone. Both '/' and '\' end folders.
//   "maps/terrain.v2.dat" -> "maps/terrain.cpt"     "terrain" -> "terrain.cpt"
std::string with_cpt_extension(std::string_view joined);

// Reads project text handed over in pieces of any size, with memory bounded
// by the largest piece plus one line whatever the length of the text; the
// result does not depend on where the pieces are cut. Text in UTF-16 or
// UTF-32, or holding NUL bytes, is refused; a UTF-8 byte-order mark at the
// start is skipped.
class ProjectReader {
 public:
  // `display_name` names the file in error messages; `locks` are the locks
  // in force before this project.
  ProjectReader(std::string display_name, const QuadrantLocks& locks);

  // Takes the next piece of the text. After an error the reader takes no
  // more and finish() returns the same error.
  tools::Status feed(std::string_view bytes);
  // Reads what is left and sets the project's completeness.
  tools::Status finish();

  // The project read so far (all text fields empty at the start) and the
  // locks with this project's settings applied.
  const TerrainProject& project() const { return project_; }
  const QuadrantLocks& locks() const { return locks_; }

 private:
  tools::Status check_bytes(std::string_view bytes);
  tools::Status check_start();
  void read_lines(std::string_view whole_lines);

  std::string name_;
  TerrainProject project_;
  QuadrantLocks locks_;
  std::string pending_;  // bytes received but not yet read as lines
  long newlines_ = 0;    // line feeds received so far, to name the line of an error
  bool started_ = false;
  tools::Status status_;
};

// Reads a project held in memory. On success `locks` take the project's
// settings; on error they stay as they were. Error codes: negative, minus the
// line, for text that is no plain text.
tools::Result<TerrainProject> parse_project_text(std::string_view text, const std::string& display_name,
                                                 QuadrantLocks& locks);

// The most a project file is read up to. A project is a dozen short lines;
// this leaves room for thousands of comment lines and refuses a stray huge
// file before it is read.
constexpr std::size_t kMaxProjectFileBytes = std::size_t{1} << 20;

// Opens a project file as the Open command does: the five text fields are
// emptied, then the file is read into them and the project's completeness is
// set. When the file cannot be opened or read, is no regular file, is larger
// than kMaxProjectFileBytes or is no plain text, the fields stay empty (an
// incomplete project), the locks stay as they were and the error names the
// file and the reason (code 1: cannot open or read; -line: no plain text,
// with the line as its location).
tools::Status read_project(const std::string& path, TerrainProject& project, QuadrantLocks& locks);

}  // namespace loamer
