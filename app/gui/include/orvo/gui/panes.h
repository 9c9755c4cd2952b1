#pragma once
// The two small panes beside the page: the item pane, a text list of the
// current model's items by the layer grouping, and the centre pane, the
// coordinates the views look at. Both follow the document and draw in the
// default GUI font inside a sunken edge.

#include <QFrame>

#include "orvo/document/document.h"

namespace orvo::gui {

// The sub-objects' names, vertex counts and polygon counts stand in three
// columns, the counts right-aligned. The pane can be widened (or narrowed
// again) by dragging its right edge.
class ItemPane : public QFrame {
  Q_OBJECT

 public:
  ItemPane(Document& doc, QWidget* parent = nullptr);
  ~ItemPane() override;

  // The width that shows every line whole.
  int content_width() const;
  // The width the owner gives the pane: the one dragged to, or else
  // `fallback`.
  int chosen_width(int fallback) const { return dragged_width_ > 0 ? dragged_width_ : fallback; }

  // The x of each column's start (name) or end (the counts) in a line of
  // the sub-object list, relative to the pane.
  struct Columns {
    int name = 0, vertices_end = 0, polys_end = 0;
  };
  Columns columns() const;

 signals:
  // The pane wants another width (its lines grew or shrank, or its edge
  // was dragged): the owner lays the panes out again.
  void width_wanted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool on_edge(int x) const;
  Document& doc_;
  int observer_ = 0;
  int dragged_width_ = 0;
  int content_width_ = 0;  // as last asked for
  bool dragging_ = false;
};

class CentrePane : public QFrame {
  Q_OBJECT

 public:
  CentrePane(Document& doc, QWidget* parent = nullptr);
  ~CentrePane() override;

 signals:
  // A left click: the owner opens the "Center" dialog.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Document& doc_;
  int observer_ = 0;
};

}  // namespace orvo::gui
