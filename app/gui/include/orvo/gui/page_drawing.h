#pragma once
// The 2D drawing of the page: one model slot in one of the three planes or
// the wire 3D view, with the grid and the helpers the display flags select.
// The same drawing goes to the screen's off-screen picture and to a printer
// page; every point passes through the view's Projection, so what is drawn
// lands on the pixels picking and the hover readout work with.

#include <QColor>

#include "orvo/document/projection.h"
#include "orvo/document/view_state.h"
#include "orvo/model/model.h"

class QPainter;

namespace orvo::gui {

// Colours of the drawing that the projection's pens leave open.
inline constexpr Rgb kUserPointColour{96, 255, 255};
inline constexpr Rgb kCentreLabelColour{255, 255, 0};

inline QColor qcolour(const Rgb& c) {
  return QColor(c.r, c.g, c.b);
}

// Draws `model` as `view` shows it into the rectangle (0, 0, width, height)
// of `p`: cleared to black (white when printing), the grid (when shown, in
// the three planes, never when printing), then polygons, texture-animation
// marks, attachment points, centre points, bounding objects, lights and user
// points as the display flags say. Lines are drawn without antialiasing, so
// they fall on whole pixels.
void draw_page(QPainter& p, const Model& model, const ViewState& view, int width, int height, bool printing);

}  // namespace orvo::gui
