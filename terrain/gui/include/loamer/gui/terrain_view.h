#pragma once
// The terrain view beside the Output list: the shaded relief of a build's
// Output.dep with the block grid of a chosen sector, and the wireframe of the
// chosen detail level of the block under the mouse, read from its block file.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "loamer/packed_block_mesh.h"

class QSlider;
class QSpinBox;
class QLabel;

namespace loamer::gui {

// The picture itself: relief, grid and wireframe, scaled to fit the square
// that fills the canvas; the mouse wheel zooms in (up to 16 times, about the
// point under the pointer) and out again to the whole grid.
class ReliefCanvas : public QWidget {
  Q_OBJECT

 public:
  explicit ReliefCanvas(QWidget* parent = nullptr);

  void set_relief(QImage relief);
  void set_sector(int sector);
  void set_block(std::optional<QPoint> origin, std::optional<PackedBlockMesh> mesh, int lod);
  // The square the whole grid is drawn in (larger than the canvas when
  // zoomed in).
  QRectF grid_rect() const;
  // The square of the canvas the picture is shown in.
  QRectF frame_rect() const;
  double zoom() const { return zoom_; }
  // Zooms by `factor` keeping the grid point under canvas point `at` where it
  // is; the zoom stays between 1 and 16.
  void zoom_at(QPointF at, double factor);
  QSize sizeHint() const override { return {600, 600}; }

 signals:
  // The mouse is over grid point `grid` (x, z), or has left the picture.
  void hovered(QPointF grid);
  void left();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent*) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void keep_inside();

  QImage relief_;
  double zoom_ = 1.0;
  QPointF focus_{0.5, 0.5};  // the grid point (in grid fractions) at the frame's middle
  int sector_ = 4;
  std::optional<QPoint> block_;
  std::optional<PackedBlockMesh> mesh_;
  int lod_ = 0;
};

class TerrainView : public QWidget {
  Q_OBJECT

 public:
  explicit TerrainView(QWidget* parent = nullptr);

  // Shows the build in the folder prefix `path`; false (and the view
  // cleared) when it has no readable Output.dep.
  bool show_build(const std::string& path);
  void clear();
  // The block under grid point `grid` of the chosen sector gets its
  // wireframe, as when the mouse is there.
  void hover(QPointF grid);

  int sector() const;
  int lod() const;  // the LOD slot: 0, 2, ..., 14
  const ReliefCanvas* canvas() const { return canvas_; }

 private:
  void refresh_block();

  std::string path_;
  ReliefCanvas* canvas_;
  QSpinBox* sector_;
  QSlider* lod_;
  QLabel* lod_label_;
  QLabel* block_label_;
  std::optional<QPoint> block_;
  // Meshes read so far, by sector and origin: moving the mouse back and
  // forth reads each file once.
  std::map<std::pair<int, std::pair<int, int>>, std::optional<PackedBlockMesh>> meshes_;
};

}  // namespace loamer::gui
