// The text report of one model ("Save Text File"): its name and the date,
// the objects with their vertex and polygon counts, the totals, the
// attachment points and the materials.
#pragma once

#include <string>

#include "orvo/model/model.h"
#include "tools/base/host.h"

namespace orvo {

// The report as text, dated `when` (local time).
std::string report_text(const Model& model, const tools::LocalTime& when);

}  // namespace orvo
