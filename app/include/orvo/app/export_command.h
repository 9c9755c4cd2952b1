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

// A texture picture whose size could not be read: the name the texture
// table looked it up by, the folder it was looked for in and why.
struct PictureProblem {
  std::string name;
  std::string folder;
  std::string reason;
};

// The size of a texture picture found in `folder` (with the any-case
// fallback): TGA (also for ".MDT" names) or PCX by the name's extension.
// Every file whose size was read is added to `read` (for depfiles); every
// picture that is missing or unreadable is added once to `problems`.
PictureSizeReader picture_size_reader(std::string folder, std::vector<std::string>* read,
                                      std::vector<PictureProblem>* problems = nullptr);

// One line per picture of `problems`, naming the materials of `slots` that
// use it, the texture, the folder looked in and the reason:
//   texture "HULL.PCX" of material "Hull": not read from textures/: no
//   such file (in any case); the material goes without it
std::vector<std::string> picture_warnings(const std::array<const Model*, 4>& slots,
                                          const std::vector<PictureProblem>& problems);

// The slots in the order an export writes them: LOD 0 first, or rotated so
// that `view_lod` (0 to 3) comes first, as the preview does
// (view_lod, view_lod + 1, ..., 3, 0, ..., view_lod - 1).
std::array<const Model*, 4> export_order(const std::array<const Model*, 4>& slots, int view_lod);

// Exports `slots` to `output` as the preview or the export command does:
// with `view_lod` >= 0 the slots are rotated and the first one's threshold
// is written as 0 (the Models are left as they were). The pictures that
// could not be read are warned about (picture_warnings) in the result's
// warnings and, after the export's own, either in `picture_warnings` when
// given or on the notifier's log.
tools::Result<ExportStats> export_slots(const std::array<Model*, 4>& slots, const std::string& output,
                                        const std::string& texture_folder, int view_lod, int jobs,
                                        tools::UserNotifier* notifier, std::vector<std::string>* pictures_read,
                                        std::vector<std::string>* picture_warnings = nullptr);

// What a successful export says it wrote, for the status bar:
// "tank.3di: 4 levels, 98 vertices, 7 textures, 21 KB" (the file's size
// left out when it cannot be read).
std::string export_summary_line(const ExportStats& stats, const std::string& output);

// A failed command's message: its fixed first line, then the file and the
// reason (the reason alone when it already starts with the file).
std::string failure_message(const std::string& first_line, const std::string& path, const std::string& reason);

// The --json summary of an export.
nlohmann::json export_summary_json(const ExportStats& stats, const std::string& output);

// A Make/Ninja depfile: "target: input input ...", spaces, '#', '$' and
// backslashes escaped.
std::string depfile_text(const std::string& target, const std::vector<std::string>& inputs);

// The scene file a 3DA file was rebuilt from (".ase" when attributes bit 0,
// else ".asc", beside it).
std::string scene_path_of(const std::string& model_path, const Model& model);

}  // namespace orvo
