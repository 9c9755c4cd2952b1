#pragma once
// Texts and sums the model editing dialogs show: polygon and vertex totals,
// the stretchy vertex count, the object information lines, the part
// animation list line and the colours of a light's colour strip.

#include <array>
#include <optional>
#include <string>

#include "orvo/model/model.h"

namespace orvo {

// Polygons (faces) and vertices over all sub-objects.
int polygon_sum(const Model& model);
int vertex_sum(const Model& model);
// Vertices of sub-object i whose first or second sub-object index is not i
// (they are pulled along by another part).
int stretchy_vertex_count(const Model& model);

// "Graphic Object Name: <name>".
std::string object_name_text(const Model& model);
// One line of the objects list: "<name> <verts:5> <polys:5>".
std::string object_line(const SubObject& so);
// "Total Vertices: N", or "Total Vertices: N, (S stretchy)" when S > 0.
std::string total_vertices_text(const Model& model);
// "Total Polys: N".
std::string total_polys_text(const Model& model);

// The label of a rotate type ("-", "RFixed", "RFunc", "RFace", "RFaceXZ")
// and of a scale type ("-", "SAll", "SIndv"); "-" for any other value.
std::string rotate_label(int rotate_type);
std::string scale_label(int scale_type);
// The part animation list line of `so` animated by `anim`:
// "<name>\t[<transform-as + 1, two digits>]\t<rotation>\t<scale>".
std::string part_animation_line(const SubObject& so, const PartAnimation& anim);

// The colour a colour strip `width` pixels wide shows at column `x`:
// nothing for style 0, the start colour across the whole strip for "Set"
// (0x18), otherwise a run from the start colour at the left edge to the end
// colour at the right edge. Components are clamped to 0 .. 255.
std::optional<std::array<int, 3>> colour_strip_at(const ColorGenerator& g, int x, int width);

}  // namespace orvo
