// The summary of one model as JSON: its name and attributes, the conversion
// log and messages that came with it, the sub-objects with their counts, the
// centre, attachment and user points, the bounding objects, the lights and
// the materials. "orvo-cli inspect --json" prints it; the tool's windows
// show and save the same summary.
#pragma once

#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "orvo/model/model.h"
#include "tools/base/notifier.h"

namespace orvo {

// The summary of `model`; `log` and `messages` are what its read or
// conversion reported (in order). Positions are in the Model's axes.
nlohmann::json model_summary_json(const Model& model, std::span<const std::string> log,
                                  std::span<const tools::RecordingNotifier::Message> messages);

// The summary as text: two-space indents, names in the modelling package's
// code page made valid UTF-8 (bytes that are not become U+FFFD).
std::string summary_text(const nlohmann::json& summary);

}  // namespace orvo
