#pragma once
// The 3DI export: the four level slots of a model (the first written as
// LOD 0) become one binary model file.
//
// Stages, each announced on the notifier's status text: "Exporting '%s'",
// then "...\r\nProcessing vertices...", "...\r\nCalculating collision
// data...", "...\r\nSorting vertices..." (plain models) and "...\r\nCreating
// Strips...". The file is written through a temporary file renamed over the
// target only when complete, so a failed export leaves the old file as it
// was; every failure is an error naming the reason (the caller shows
// "Unable to export file").
//
// Decisions where the model leaves room (each tested):
// - Level count: the leading slots that hold parts; a later filled slot
//   after an empty one is not written, but its textures still register and
//   all four header distance and render function entries are filled.
// - Skinned (kModelSkinned) slots must be all the written ones or none;
//   a mix is refused before anything is written.
// - A plain model holds at most 32768 vertices. One whose corners already
//   have more distinct points (per part) than that is refused before its
//   vertices are processed, with the same reason giving that count as "at
//   least"; the checks of the texture table, the user points and the
//   collision data still come first, as when every stage runs.
// - Unused bone slots of the skinned vertex table take the record's first
//   used bone (the file's last-used-bone rule then never applies); a skinned
//   strip's vertex span is its largest minus smallest index, as for every
//   other strip.
// - A user point's second vector is row 1 of its node transform and its
//   integer value its sub-object index.
// - A light's two further values are its attenuation start and end, its
//   further byte its sub-object index.
// - An occluder face's flag byte holds the face's edge visibility (bit 0
//   AB, bit 1 BC, bit 2 CA).
// - A projector's matrix: the frame of the material's last face (rows: its
//   tangent, binormal and normal in file axes, turned about the normal by
//   projector_yaw degrees and then about the turned tangent by
//   projector_pitch degrees; last row the face's centroid), row-major, and
//   its inverse.
// - Generator phases are taken modulo one turn; a rate, start or end that
//   does not fit its 16-bit field refuses the export, naming the material
//   or part and the value.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "orvo/export/textures.h"
#include "orvo/file3di/codec_3di.h"
#include "orvo/model/model.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace orvo {

// What the export says about what it wrote (the CLI's --json).
struct ExportLodStats {
  int parts = 0;
  int strips = 0;  // strip records, all detail levels
  int lists = 0;   // of which triangle lists
  long indices = 0;
  long triangles = 0;  // at detail level 0
};

struct ExportStats {
  char kind = 'M';
  int lod_count = 0;
  std::size_t vertex_count = 0;
  std::vector<ExportLodStats> lods;
  std::vector<TextureEntry> textures;
  std::vector<std::string> pictures_read;  // picture files whose size was read (for depfiles)
  std::vector<std::string> warnings;       // also sent to the notifier's log
  // Seconds per stage: vertices, collision, sorting, strips, writing.
  std::array<double, 5> stage_seconds{};
};

struct ExportRequest {
  std::string output_path;
  std::array<const Model*, 4> slots{};  // LOD 0 first; null for an empty slot
  // Reads the size of a texture picture by file name (see textures.h).
  PictureSizeReader picture_sizes;
  tools::UserNotifier* notifier = nullptr;
  // Threads for the parts' strips (the file is the same for any number).
  int jobs = 1;
};

// The file of `request` in memory, without writing it.
tools::Result<file3di::File3di> build_3di(const ExportRequest& request, ExportStats* stats = nullptr);

// Builds and writes the file.
tools::Result<ExportStats> export_3di(const ExportRequest& request);

}  // namespace orvo
