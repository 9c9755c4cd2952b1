#include "loamer/view/relief.h"

namespace loamer::view {

QImage render_relief(std::span<const uint16_t>) {
  return {};
}
void draw_block_grid(QPainter&, const QRectF&, int) {}
QPoint block_origin_at(int, QPointF) {
  return {};
}
void draw_block_wireframe(QPainter&, const QRectF&, const PackedBlockMesh&, int, int) {}
tools::Result<PackedBlockMesh> read_block_for_view(const std::string&, int, int, int) {
  return PackedBlockMesh{};
}
tools::Result<QImage> render_build(const std::string&, int, int) {
  return QImage{};
}

}  // namespace loamer::view
