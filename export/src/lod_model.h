#pragma once
// One LOD of the 3DI export: the strips of its parts (built on several
// threads) and its `RModel` record (header values, part records with their
// strips, materials, part motion, action planes and projectors). Internal to
// the export.

#include <array>
#include <string>
#include <vector>

#include "orvo/export/exporter.h"
#include "orvo/export/part_strips.h"
#include "orvo/export/textures.h"
#include "orvo/export/vertex_table.h"
#include "orvo/file3di/codec_3di.h"
#include "orvo/model/model.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace orvo::export3di {

// The strips of every part of `context.model` (LOD `lod`) with `levels`
// detail levels, from the render vertices the vertex pass found for each
// part's corners (`corners`, one per part), the parts on `jobs` threads
// (each part's strips depend only on the part and the table; the result is
// the same for any number). The strips' messages go to `notifier` (when
// given) afterwards, in part order, up to the first part that fails; its
// error is named by the LOD.
tools::Result<std::vector<PartStrips>> level_strips(const CornerContext& context, const VertexTable& table,
                                                    const std::vector<PartCorners>& corners, int lod, int levels,
                                                    int jobs, tools::UserNotifier* notifier);

// What one LOD's record is made from.
struct LodSources {
  const Model& level;
  int lod;
  bool skinned;
  const std::vector<PartStrips>& strips;           // plain: one per part; skinned: empty
  const std::vector<StripRecord>& skinned_strips;  // skinned: the LOD's strips
  const std::vector<MaterialTextures>& textures;   // one per material
  const std::vector<int>& part_matrices;           // `RMatrix` entry of each part
  const std::vector<std::string>& registers;       // the `CtrlReg` table
};

// The `RModel` of one LOD, and its counts in `stats`. Refused: a part radius
// beyond 16.16, more strips than a LOD holds, a material or part motion
// value that does not fit its field (the error names the LOD).
tools::Result<file3di::RModel> lod_model(const LodSources& sources, ExportLodStats& stats);

}  // namespace orvo::export3di
