// The dump command of the model tool: a binary model (".3di") as the
// preview loads it, shown section by section. orvo-cli dump prints it as
// text or JSON; the numbers are those of the loaded model (resolved strips,
// scaled animation times, resolved registers, the render paths chosen for
// the loader's capabilities), not a second reading of the file.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/recording_factory.h"
#include "orvo/viewer/render_model.h"

namespace orvo {

// Everything of `m` (loaded by `loader`, its textures created through
// `textures`): header, section sizes and counts, every LOD's parts with
// their strip groups and strips (without indices), materials, control
// registers, lights, occluders, textures, checksum and render paths.
// Fixed-point values are given as reals, flags and colours as hex text.
nlohmann::json dump_json(const render::Model& m, const ModelLoader& loader, const RecordingTextureFactory& textures);

// The same as aligned text, one line per section, strip or record.
std::string dump_text(const nlohmann::json& dump);

}  // namespace orvo
