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

// Where the grid point `grid` (x, z from 0 to 1024) is drawn in `target`,
// the rectangle where the whole grid is shown, and back. The far edge (1024)
// falls on the last pixel row and column of the target rather than just
// past it, so the outer block edges stay visible.
QPointF target_point(const QRectF& target, QPointF grid);
QPointF grid_point(const QRectF& target, QPointF device);

// The block grid of `sector` (0 to 4: 1, 4, 16, 64 or 256 blocks) drawn over
// `target`, the rectangle where the whole grid is shown. Any other sector
// draws nothing.
void draw_block_grid(QPainter& painter, const QRectF& target, int sector);

// The origin (x, z) of the block of `sector` that holds the grid point
// `grid_point` (clamped to the grid; the sector clamped to 0 to 4).
QPoint block_origin_at(int sector, QPointF grid_point);

// The wireframe of LOD slot `lod` (0, 2, ..., 14) of `mesh`, a block of
// `sector`, drawn over the block's square in `target` (where the whole grid
// is shown). Strips and triangle lists alike; an empty slot draws nothing.
// Each edge is drawn once; degenerate strip triangles, indices past the
// vertices and edges leaving the block's square are left out.
void draw_block_wireframe(QPainter& painter, const QRectF& target, const PackedBlockMesh& mesh, int sector, int lod);

// The mesh the view shows for a block of a build in the folder prefix
// `path`: the strips (".tms") when present, else the triangles (".tml"),
// from the block's own file or its sector's shared file.
//
// As the terrain file is made, a sector's shared file comes before the
// block's own file; a shared mesh is placed at this block's origin, a
// block's own file where it says. A file that does not read, or a strips
// file without vertices (the whole-map block's is empty), is passed over.
// When nothing reads, the error of the block's own ".tml".
tools::Result<PackedBlockMesh> read_block_for_view(const std::string& path, int sector, int origin_x, int origin_z);

// The picture of a build in the folder prefix `path`: the relief of its
// Output.dep, the block grid of `sector` and, when `lod` is 0 or more, the
// wireframe of that LOD slot of every block of the sector. Errors name the
// file that cannot be read; a sector other than 0 to 4 or a LOD slot other
// than an even one from 0 to 14 is kIoBadArgument.
tools::Result<QImage> render_build(const std::string& path, int sector, int lod);

// Writes `image` as a PNG file at `path` through a temporary file renamed
// over it, so a failure leaves the old file as it was. Errors name the file.
tools::Status save_png(const QImage& image, const std::string& path);

}  // namespace loamer::view
