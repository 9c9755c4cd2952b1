#pragma once
// The two small panes beside the page: the item pane, a text list of the
// current model's items by the layer grouping, and the centre pane, the
// coordinates the views look at. Both follow the document and draw in the
// default GUI font inside a sunken edge.

#include <QFrame>

#include "orvo/document/document.h"

namespace orvo::gui {

class ItemPane : public QFrame {
  Q_OBJECT

 public:
  ItemPane(Document& doc, QWidget* parent = nullptr);
  ~ItemPane() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Document& doc_;
  int observer_ = 0;
};

class CentrePane : public QFrame {
  Q_OBJECT

 public:
  CentrePane(Document& doc, QWidget* parent = nullptr);
  ~CentrePane() override;

 signals:
  // A left click: the owner opens the Center dialog.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Document& doc_;
  int observer_ = 0;
};

}  // namespace orvo::gui
