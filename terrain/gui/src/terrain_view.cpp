#include "loamer/gui/terrain_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QSpinBox>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/view/relief.h"

namespace loamer::gui {

namespace {

constexpr double kMaxZoom = 16.0;
constexpr double kZoomPerNotch = 1.25;  // one wheel notch (120 eighths of a degree)

}  // namespace

ReliefCanvas::ReliefCanvas(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setMinimumSize(256, 256);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ReliefCanvas::set_relief(QImage relief) {
  relief_ = std::move(relief);
  zoom_ = 1.0;
  focus_ = QPointF(0.5, 0.5);
  update();
}

void ReliefCanvas::set_sector(int sector) {
  sector_ = sector;
  update();
}

void ReliefCanvas::set_block(std::optional<QPoint> origin, std::optional<PackedBlockMesh> mesh, int lod) {
  block_ = origin;
  mesh_ = std::move(mesh);
  lod_ = lod;
  update();
}

QRectF ReliefCanvas::frame_rect() const {
  const qreal side = std::min(width(), height()) - 2;
  return {(width() - side) / 2, (height() - side) / 2, side, side};
}

QRectF ReliefCanvas::grid_rect() const {
  const QRectF frame = frame_rect();
  const qreal side = frame.width() * zoom_;
  return {frame.center().x() - focus_.x() * side, frame.center().y() - focus_.y() * side, side, side};
}

void ReliefCanvas::keep_inside() {
  // The zoomed grid always covers the whole frame.
  const double half = 0.5 / zoom_;
  focus_.setX(std::clamp(focus_.x(), half, 1.0 - half));
  focus_.setY(std::clamp(focus_.y(), half, 1.0 - half));
}

void ReliefCanvas::zoom_at(QPointF at, double factor) {
  const QRectF before = grid_rect();
  const QPointF fraction((at.x() - before.left()) / before.width(), (at.y() - before.top()) / before.height());
  zoom_ = std::clamp(zoom_ * factor, 1.0, kMaxZoom);
  const QRectF frame = frame_rect();
  const qreal side = frame.width() * zoom_;
  // The grid's new top-left corner puts `fraction` under `at` again.
  const QPointF top_left(at.x() - fraction.x() * side, at.y() - fraction.y() * side);
  focus_ = QPointF((frame.center().x() - top_left.x()) / side, (frame.center().y() - top_left.y()) / side);
  keep_inside();
  update();
}

void ReliefCanvas::wheelEvent(QWheelEvent* event) {
  if (relief_.isNull() || event->angleDelta().y() == 0) {
    event->ignore();
    return;
  }
  zoom_at(event->position(), std::pow(kZoomPerNotch, event->angleDelta().y() / 120.0));
  event->accept();
}

void ReliefCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  if (relief_.isNull()) return;
  const QRectF target = grid_rect();
  p.setClipRect(frame_rect());
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, relief_);
  view::draw_block_grid(p, target, sector_);
  if (!block_) return;
  const int size = block_size(sector_);
  const QRectF square(view::target_point(target, QPointF(block_->x(), block_->y())),
                      view::target_point(target, QPointF(block_->x() + size, block_->y() + size)));
  if (mesh_) view::draw_block_wireframe(p, target, *mesh_, sector_, lod_);
  p.setPen(QPen(QColor(255, 210, 0), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(square);
}

void ReliefCanvas::mouseMoveEvent(QMouseEvent* event) {
  const QRectF target = grid_rect();
  if (relief_.isNull() || !frame_rect().contains(event->position())) {
    emit left();
    return;
  }
  emit hovered(view::grid_point(target, event->position()));
}

void ReliefCanvas::leaveEvent(QEvent*) {
  emit left();
}

TerrainView::TerrainView(QWidget* parent) : QWidget(parent) {
  canvas_ = new ReliefCanvas(this);
  sector_ = new QSpinBox(this);
  sector_->setObjectName("sector");
  sector_->setRange(0, sector_count(kGridSize, kSmallestBlockSize) - 1);
  sector_->setValue(sector_->maximum());
  lod_ = new QSlider(Qt::Horizontal, this);
  lod_->setObjectName("lod");
  lod_->setRange(0, kLodSlots / 2 - 1);  // the stored slots 0, 2, ..., 14
  lod_->setPageStep(1);
  lod_->setTickPosition(QSlider::TicksBelow);
  lod_label_ = new QLabel(this);
  block_label_ = new QLabel(this);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(canvas_, 0, 0, 1, 4);
  layout->addWidget(new QLabel("Sector", this), 1, 0);
  layout->addWidget(sector_, 1, 1);
  layout->addWidget(block_label_, 1, 2, 1, 2);
  layout->addWidget(new QLabel("LOD", this), 2, 0);
  layout->addWidget(lod_, 2, 1, 1, 2);
  layout->addWidget(lod_label_, 2, 3);
  layout->setColumnStretch(2, 1);

  connect(sector_, &QSpinBox::valueChanged, this, [this](int s) {
    canvas_->set_sector(s);
    block_.reset();
    refresh_block();
  });
  connect(lod_, &QSlider::valueChanged, this, [this] { refresh_block(); });
  connect(canvas_, &ReliefCanvas::hovered, this, &TerrainView::hover);
  canvas_->set_sector(sector());
  refresh_block();
}

int TerrainView::sector() const {
  return sector_->value();
}

int TerrainView::lod() const {
  return lod_->value() * 2;
}

bool TerrainView::show_build(const std::string& path) {
  path_ = path;
  meshes_.clear();
  block_.reset();
  tools::Result<std::vector<uint16_t>> heights = read_height_file(path + "Output.dep");
  if (!heights) {
    clear();
    return false;
  }
  canvas_->set_relief(view::render_relief(*heights));
  refresh_block();
  return true;
}

void TerrainView::clear() {
  meshes_.clear();
  block_.reset();
  canvas_->set_relief(QImage());
  refresh_block();
}

void TerrainView::hover(QPointF grid) {
  const QPoint origin = view::block_origin_at(sector(), grid);
  if (block_ && *block_ == origin) return;
  block_ = origin;
  refresh_block();
}

void TerrainView::refresh_block() {
  lod_label_->setText(QString::number(lod()));
  if (!block_) {
    block_label_->setText("Point at a block");
    canvas_->set_block(std::nullopt, std::nullopt, lod());
    return;
  }
  const auto key = std::make_pair(sector(), std::make_pair(block_->x(), block_->y()));
  auto found = meshes_.find(key);
  if (found == meshes_.end()) {
    tools::Result<PackedBlockMesh> mesh = view::read_block_for_view(path_, sector(), block_->x(), block_->y());
    found = meshes_.emplace(key, mesh ? std::optional<PackedBlockMesh>(std::move(*mesh)) : std::nullopt).first;
  }
  const std::optional<PackedBlockMesh>& mesh = found->second;
  QString text = QString("Block %1, %2").arg(block_->x()).arg(block_->y());
  if (!mesh) {
    text += ": no block file";
  } else {
    const LodList& list = mesh->lods[static_cast<size_t>(lod())];
    text += QString(": %1 vertices, %2 %3")
                .arg(list.vertex_count)
                .arg(list.count)
                .arg(list.kind == ListKind::kStrip ? "strip indices" : "triangles");
  }
  block_label_->setText(text);
  canvas_->set_block(block_, mesh, lod());
}

}  // namespace loamer::gui
