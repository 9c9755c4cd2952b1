#include "orvo/gui/page_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cmath>
#include <cstdint>

#include "orvo/document/projection.h"
#include "orvo/gui/page_drawing.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {
namespace {

constexpr uint32_t kPageChanges = kChangedModel | kChangedView | kChangedSlot | kChangedCentre | kChangedPreview;
constexpr float kTurnPerPixel = 0.01f;  // radians
constexpr float kPanPerPixel = 0.2f;    // model units at zoom 1
constexpr float kMinDragZoom = 0.1f;
constexpr int kMinZoomX = 2, kMaxZoomX = 1024;
// Fly camera angles: binary angles of 2^32 a turn, 1/1024 turn per pixel.
constexpr int64_t kFlyTurnPerPixel = int64_t{1} << 22;
// Fly camera moves: 1/64 unit per pixel, in 16.16 positions.
constexpr int64_t kFlyMovePerPixel = 1024;
constexpr int kHoverInset = 10;

int32_t add_angle(int32_t angle, int64_t delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(angle) + static_cast<uint32_t>(delta));
}

double binary_angle(int32_t a) {
  return static_cast<double>(a) * (2.0 * 3.14159265358979323846 / 4294967296.0);
}

// The fly camera's unit axes in 16.16: forward (heading h, pitch p: the
// direction (cos h cos p, sin h cos p, sin p), as the camera is set up from
// the orbit camera), side (to the right of forward, level) and up.
struct FlyAxes {
  std::array<int64_t, 3> forward, side, up;
};
FlyAxes fly_axes(const std::array<int32_t, 6>& fly) {
  const double h = binary_angle(fly[3]), p = binary_angle(fly[4]);
  const auto fixed = [](double v) { return static_cast<int64_t>(v * 65536.0); };
  return FlyAxes{{fixed(std::cos(h) * std::cos(p)), fixed(std::sin(h) * std::cos(p)), fixed(std::sin(p))},
                 {fixed(std::sin(h)), fixed(-std::cos(h)), 0},
                 {fixed(-std::cos(h) * std::sin(p)), fixed(-std::sin(h) * std::sin(p)), fixed(std::cos(p))}};
}
// Moves the fly camera by `pixels` / 64 units along `axis`.
void fly_move(std::array<int32_t, 6>& fly, const std::array<int64_t, 3>& axis, int pixels) {
  for (std::size_t i = 0; i < 3; ++i) {
    fly[i] = static_cast<int32_t>(fly[i] + ((pixels * kFlyMovePerPixel * axis[i]) >> 16));
  }
}

}  // namespace

PageView::PageView(Document& doc, QWidget* parent) : QFrame(parent), doc_(doc) {
  setObjectName("PageWindow");
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  window_active = [this] { return window() != nullptr && window()->isActiveWindow(); };
  observer_ = doc_.observe([this](uint32_t changes) {
    if ((changes & kPageChanges) == 0) return;
    stale_ = true;
    update();
  });
  make_picture();
}

PageView::~PageView() {
  doc_.unobserve(observer_);
}

QSize PageView::picture_size(QSize client) {
  return QSize((client.width() + 16) & ~15, client.height());
}

const QImage& PageView::picture() {
  if (picture_.size() != picture_size(client_size())) make_picture();
  if (stale_) render_picture();
  return picture_;
}

void PageView::redraw() {
  stale_ = true;
  update();
}

void PageView::make_picture() {
  const QSize size = picture_size(client_size());
  if (size.width() <= 0 || size.height() <= 0) {
    picture_ = QImage();
  } else {
    picture_ = QImage(size, QImage::Format_RGB32);
    picture_.setDotsPerMeterX(1000);
    picture_.setDotsPerMeterY(1000);
    picture_.fill(Qt::black);
  }
  stale_ = true;
}

void PageView::render_picture() {
  stale_ = false;
  hover_.clear();
  if (picture_.isNull()) return;
  const QSize client = client_size();
  {
    QPainter p(&picture_);
    p.fillRect(picture_.rect(), Qt::black);
    draw_page(p, doc_.current_model(), doc_.view(), client.width(), client.height(), false);
  }
  // On a high-density screen the page is drawn once more at the screen's
  // resolution, in the same page units, so lines and text stay sharp; the
  // page picture (Save PCX) keeps one pixel per unit.
  const qreal ratio = devicePixelRatioF();
  if (ratio > 1.0) {
    screen_ = QImage(picture_.size() * ratio, QImage::Format_RGB32);
    screen_.setDevicePixelRatio(ratio);
    QPainter p(&screen_);
    p.fillRect(QRect(QPoint(0, 0), picture_.size()), Qt::black);
    draw_page(p, doc_.current_model(), doc_.view(), client.width(), client.height(), false);
  } else {
    screen_ = QImage();
  }
}

void PageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect area = contentsRect();
  p.save();
  p.setClipRect(area);
  p.translate(area.topLeft());
  if (preview_active()) {
    if (preview_painter) {
      preview_painter(p, area.size());
    } else {
      const RenderSettings& r = doc_.render_settings();
      p.fillRect(QRect(QPoint(0, 0), area.size()), QColor(r.background_red, r.background_green, r.background_blue));
    }
  } else {
    const QImage& page = picture();
    p.drawImage(QPoint(0, 0), screen_.isNull() ? page : screen_);
    if (!hover_.isEmpty()) {
      // Drawn opaque over the page, so a shorter readout covers a longer one.
      p.setBackgroundMode(Qt::OpaqueMode);
      p.setBackground(Qt::black);
      p.setPen(qcolour(kPolyColour));
      const QFontMetrics fm(font());
      p.drawText(kHoverInset, kHoverInset + fm.ascent(), hover_);
    }
  }
  p.restore();
  drawFrame(&p);
}

void PageView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  make_picture();
}

QPoint PageView::client_pos(const QMouseEvent* event) const {
  return event->position().toPoint() - contentsRect().topLeft();
}

void PageView::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = client_pos(event);
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (event->button() == Qt::RightButton) {
    if (mods & Qt::ShiftModifier) {
      drag_ = kDragZoom;
      start_zoom_ = doc_.view().zoom;
      start_x_ = pos.x() | 1;  // never 0: it divides
    } else if (mods & Qt::ControlModifier) {
      if (doc_.view().plane == kPlane3D || preview_active()) drag_ = kDragRotate;
    } else {
      emit popup_requested(event->globalPosition().toPoint());
      return;
    }
  } else if (event->button() == Qt::LeftButton && (mods & Qt::ShiftModifier)) {
    drag_ = kDragPan;
  }
  last_ = pos;
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mousePressEvent(event);
    return;
  }
  if (event->button() != Qt::MiddleButton || drag_ != kDragNone) return;
  if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) return;
  const QPoint pos = client_pos(event);
  const QSize client = client_size();
  const Projection projection(view_camera(doc_.view()), client.width(), client.height());
  if (auto point = projection.unproject(pos.x(), pos.y())) {
    doc_.view().centre = {point->x, point->y, point->z};
    doc_.changed(kChangedView | kChangedCentre);
  }
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = client_pos(event);
  if (drag_ == kDragNone) {
    if (!preview_active()) show_hover(pos);
    return;
  }
  const QPoint old_pos = last_;
  last_ = pos;
  const int dx = pos.x() - old_pos.x(), dy = pos.y() - old_pos.y();
  switch (drag_) {
    case kDragRotate: rotate(dx, dy, old_pos, pos); break;
    case kDragZoom: zoom(dx, pos.x()); break;
    case kDragPan: pan(old_pos, pos); break;
    default: break;
  }
}

void PageView::mouseReleaseEvent(QMouseEvent*) {
  drag_ = kDragNone;
  if (!preview_active()) redraw();
}

void PageView::rotate(int dx, int dy, QPoint old_pos, QPoint pos) {
  ViewState& v = doc_.view();
  if (!preview_active()) {
    v.yaw += static_cast<float>(dx) * kTurnPerPixel;
    v.pitch -= static_cast<float>(dy) * kTurnPerPixel;
  } else if (window_active && window_active()) {
    switch (v.mouse_mode) {
      case kMouseCamera:
        v.yaw += static_cast<float>(dx) * kTurnPerPixel;
        v.pitch -= static_cast<float>(dy) * kTurnPerPixel;
        break;
      case kMouseObject:
        // The spins are whole numbers: a turn of less than one survives
        // only when the sum crosses a whole value.
        v.preview_spin_a = static_cast<int32_t>(static_cast<float>(v.preview_spin_a) - dx * kTurnPerPixel);
        v.preview_spin_b = static_cast<int32_t>(static_cast<float>(v.preview_spin_b) + dy * kTurnPerPixel);
        break;
      case kMouseLight:
        v.light_angle_1 += static_cast<float>(dx) * kTurnPerPixel;
        v.light_angle_2 -= static_cast<float>(dy) * kTurnPerPixel;
        break;
      case kMouseFlyCamera:
        v.fly_camera[3] = add_angle(v.fly_camera[3], (old_pos.x() - pos.x()) * kFlyTurnPerPixel);
        v.fly_camera[4] = add_angle(v.fly_camera[4], (old_pos.y() - pos.y()) * kFlyTurnPerPixel);
        break;
      default: return;
    }
  } else {
    return;
  }
  doc_.changed(kChangedView);
}

void PageView::zoom(int dx, int x) {
  ViewState& v = doc_.view();
  if (v.mouse_mode == kMouseFlyCamera) {
    fly_move(v.fly_camera, fly_axes(v.fly_camera).forward, dx);
  } else {
    if (x < kMinZoomX || x > kMaxZoomX) return;
    const float z = start_zoom_ * static_cast<float>(x) / static_cast<float>(start_x_);
    if (z < kMinDragZoom) return;
    v.zoom = z;
  }
  doc_.changed(kChangedView);
}

void PageView::pan(QPoint old_pos, QPoint pos) {
  ViewState& v = doc_.view();
  if (v.mouse_mode == kMouseFlyCamera) {
    const FlyAxes axes = fly_axes(v.fly_camera);
    fly_move(v.fly_camera, axes.side, -(pos.x() - old_pos.x()));
    fly_move(v.fly_camera, axes.up, -(pos.y() - old_pos.y()));
    doc_.changed(kChangedView);
    return;
  }
  const float s = kPanPerPixel / v.zoom;
  const float across = static_cast<float>(old_pos.x() - pos.x()) * s;
  const float up = static_cast<float>(pos.y() - old_pos.y()) * s;
  if (preview_active() || v.plane == kPlane3D) {
    // Along the camera's right and up directions on the page, so the model
    // follows the pointer.
    const float sy = std::sin(v.yaw), cy = std::cos(v.yaw), sp = std::sin(v.pitch), cp = std::cos(v.pitch);
    v.centre[0] += -sy * across - sp * cy * up;
    v.centre[1] += cy * across - sp * sy * up;
    v.centre[2] += cp * up;
  } else {
    const int a = v.plane == kPlaneYZ ? 1 : 0;
    const int b = v.plane == kPlaneXY ? 1 : 2;
    v.centre[static_cast<std::size_t>(a)] += across;
    v.centre[static_cast<std::size_t>(b)] += up;
  }
  doc_.changed(kChangedView | kChangedCentre);
}

void PageView::show_hover(QPoint pos) {
  const QSize client = client_size();
  const Projection projection(view_camera(doc_.view()), client.width(), client.height());
  picture();  // a pending redraw first: it would wipe the readout
  hover_ = qs(hover_text(projection.unproject(pos.x(), pos.y())));
  update();
}

}  // namespace orvo::gui
