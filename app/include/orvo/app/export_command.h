// The export command of the model tool, without its windows: loads a level
// set (or one 3DA file), exports it to a 3DI file and tells what it read and
// wrote. orvo-cli export runs it; the window program's "Export 3DI" and the
// preview do the same through the loaded slots.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "orvo/export/exporter.h"
#include "orvo/import/model_files.h"
#include "orvo/model/model.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace orvo {

// The size of a texture picture found in `folder` (with the any-case
// fallback): TGA (also for ".MDT" names) or PCX by the name's extension.
// Every file whose size was read is added to `read` (for depfiles).
PictureSizeReader picture_size_reader(std::string folder, std::vector<std::string>* read);

// The slots in the order an export writes them: LOD 0 first, or rotated so
// that `view_lod` (0 to 3) comes first, as the preview does
// (view_lod, view_lod + 1, ..., 3, 0, ..., view_lod - 1).
std::array<const Model*, 4> export_order(const std::array<const Model*, 4>& slots, int view_lod);

// Exports `slots` to `output` as the preview or the export command does:
// with `view_lod` >= 0 the slots are rotated and the first one's threshold
// is written as 0 (the Models are left as they were).
tools::Result<ExportStats> export_slots(const std::array<Model*, 4>& slots, const std::string& output,
                                        const std::string& texture_folder, int view_lod, int jobs,
                                        tools::UserNotifier* notifier, std::vector<std::string>* pictures_read);

// The --json summary of an export.
nlohmann::json export_summary_json(const ExportStats& stats, const std::string& output);

// A Make/Ninja depfile: "target: input input ...", spaces, '#', '$' and
// backslashes escaped.
std::string depfile_text(const std::string& target, const std::vector<std::string>& inputs);

// The scene file a 3DA file was rebuilt from (".ase" when attributes bit 0,
// else ".asc", beside it).
std::string scene_path_of(const std::string& model_path, const Model& model);

}  // namespace orvo
