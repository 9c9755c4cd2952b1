#pragma once
// The texts and the graph of the generator editors: the summary a
// generator swatch shows as its face, and the wave graph's points.

#include <string>
#include <vector>

#include "orvo/model/model.h"
#include "orvo/model/named_values.h"

namespace orvo {

// The set-only, colour and full style lists of the generator dialogs.
extern const NamedValue kSetOnlyStyleList[];
extern const NamedValue kColourStyleList[];
extern const NamedValue kFullStyleList[];

// The summary of a scalar generator, lines joined with "\r\n": "None" for
// style 0; else the style's name and its values, in the three-line form or
// the two-line form ("%s\r\n%s    %s"); values as integers in integer mode.
std::string scalar_summary(const Generator& g, bool integer_mode, bool three_lines);
// The summary of a colour generator.
std::string colour_summary(const ColorGenerator& g);

struct GraphPoint {
  int x = 0, y = 0;
};
// The 767 points of the wave graph of `style` in the rectangle
// (left, top, right, bottom): three periods of the wave.
std::vector<GraphPoint> wave_graph_points(int style, int left, int top, int right, int bottom);

}  // namespace orvo
