#pragma once
// The page window: the drawing area of the main window. Without a preview it
// shows the 2D drawing of the current slot, made in an off-screen picture and
// copied to the screen, with the hover readout of the model point under the
// pointer; while a preview runs, whatever the preview painter paints. The
// mouse turns, zooms and pans the view, picks a new centre, and asks for the
// page's pop-up menu.

#include <QFrame>
#include <QImage>
#include <QPoint>
#include <QString>
#include <functional>

#include "orvo/document/document.h"

namespace orvo::gui {

class PageView : public QFrame {
  Q_OBJECT

 public:
  enum DragState : int { kDragNone = 0, kDragRotate = 1, kDragZoom = 2, kDragPan = 3 };

  PageView(Document& doc, QWidget* parent = nullptr);
  ~PageView() override;

  // The off-screen picture, brought up to date with the document first.
  const QImage& picture();
  // Its size for a client area: the width plus 16, rounded down to a
  // multiple of 16; the height as it is.
  static QSize picture_size(QSize client);
  // The drawing area inside the sunken edge.
  QSize client_size() const { return contentsRect().size(); }

  DragState drag_state() const { return drag_; }
  // The readout last written by the hover; empty when none is shown.
  const QString& hover_readout() const { return hover_; }

  // Paints the page while a preview is active (doc.preview_mode != 0), into
  // the client area of the given size. Without one the page is filled with
  // the render settings' background colour.
  std::function<void(QPainter&, QSize)> preview_painter;
  // Whether the main window is the active window: a preview turns with the
  // mouse only then. Defaults to this widget's window being active.
  std::function<bool()> window_active;

  // Draws the picture again and shows it.
  void redraw();

 signals:
  // The right button alone: the owner shows the pop-up menu for the mode
  // (the preview's or the editing one) at this screen position.
  void popup_requested(QPoint global_pos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool preview_active() const { return doc_.preview_mode != kPreviewOff; }
  QPoint client_pos(const QMouseEvent* event) const;
  void make_picture();
  void render_picture();
  void rotate(int dx, int dy, QPoint old_pos, QPoint pos);
  void zoom(int dx, int x);
  void pan(QPoint old_pos, QPoint pos);
  void show_hover(QPoint pos);

  Document& doc_;
  int observer_ = 0;
  QImage screen_;  // the page at the screen's pixel density, when above 1
  QImage picture_;
  bool stale_ = true;
  QString hover_;
  DragState drag_ = kDragNone;
  QPoint last_;
  float start_zoom_ = 0.0f;
  int start_x_ = 1;
};

}  // namespace orvo::gui
