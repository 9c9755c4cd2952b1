// Reader of 3ds Max ASCII scene exports (.ase).
//
// Two passes over the file's lines: the first counts the objects and lights
// at the outer level, the second reads them keyword by keyword. Vertices,
// node rows and light positions are turned a quarter turn about the vertical
// axis, (x, y, z) -> (-y, x, z). Materials and sub-materials are flattened
// into one list that holds only the materials that faces use.
//
// Untrusted input: the lists an object declares may take as much memory as
// the rest of its block has bytes; a count beyond that may not exceed the
// entry lines of its kind ("*MESH_VERTEX", "*MESH_FACE", "*MESH_TVERT",
// "*MESH_VERTCOL") in the block, and is refused before anything is
// allocated. Either way every declared vertex and face must be given by the
// object's end. Errors name the file and the line ("path:line: ...", code
// -line), and report numbers as the file writes them.
#pragma once

#include <string>
#include <string_view>

#include "orvo/import/scene.h"
#include "orvo/model/base.h"

namespace orvo {

// Result codes of the ASE reader.
inline constexpr int kAseOk = 0;
inline constexpr int kAseCannotOpen = 1;
inline constexpr int kAseNoObjects = 3;
// A parse error is reported as the negative line number.

// How a large file is read: by up to `threads` threads (0: one per core, at
// most 8), each taking at least `min_bytes_per_thread` bytes. The result never
// depends on these.
struct AseParseOptions {
  std::size_t threads = 0;
  std::size_t min_bytes_per_thread = std::size_t{4} << 20;
};

// Reads `path` into `scene` (released first). Progress and findings go to
// `notifier` ("Parsing MAX file", the material lines, the messages).
Status ase_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier,
                const AseParseOptions& options = {});

// Reads an ASE text held in memory; `display_name` names it in messages.
Status ase_parse(std::string_view text, const std::string& display_name, ImportedScene& scene, UserNotifier& notifier,
                 const AseParseOptions& options = {});

}  // namespace orvo
