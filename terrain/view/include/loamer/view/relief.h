#pragma once
// Pictures of a terrain build for people to look at: the height file as a
// shaded relief, the block grid of one sector over it, and the wireframe of
// one detail level of a block from its block file.
//
// The pictures show the whole 1024 x 1024 grid with x to the right and z
// downwards (z = 0, the north edge, at the top). Drawing needs no window or
// application object; everything here may run on any thread.

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRectF>
#include <cstdint>
#include <span>
#include <string>

#include "loamer/packed_block_mesh.h"
#include "tools/base/result.h"

namespace loamer::view {

// The relief of a height grid (kHeightValues values, row z major, heights
// times 256 as in Output.dep): one pixel per grid point (1024 x 1024),
// hill-shaded with the light from the north-west. Any other number of values
// gives a null image.
QImage render_relief(std::span<const uint16_t> heights);

// The block grid of `sector` (0 to 4: 1, 4, 16, 64 or 256 blocks) drawn over
// `target`, the rectangle where the whole grid is shown.
void draw_block_grid(QPainter& painter, const QRectF& target, int sector);

// The origin (x, z) of the block of `sector` that holds the grid point
// `grid_point` (clamped to the grid).
QPoint block_origin_at(int sector, QPointF grid_point);

// The wireframe of LOD slot `lod` (0, 2, ..., 14) of `mesh`, a block of
// `sector`, drawn over the block's square in `target` (where the whole grid
// is shown). Strips and triangle lists alike; an empty slot draws nothing.
void draw_block_wireframe(QPainter& painter, const QRectF& target, const PackedBlockMesh& mesh, int sector, int lod);

// The mesh the view shows for a block of a build in the folder prefix
// `path`: the strips (".tms") when present, else the triangles (".tml"),
// from the block's own file or its sector's shared file.
tools::Result<PackedBlockMesh> read_block_for_view(const std::string& path, int sector, int origin_x, int origin_z);

// The picture of a build in the folder prefix `path`: the relief of its
// Output.dep, the block grid of `sector` and, when `lod` is 0 or more, the
// wireframe of that LOD slot of every block of the sector. Errors name the
// file that cannot be read.
tools::Result<QImage> render_build(const std::string& path, int sector, int lod);

}  // namespace loamer::view
