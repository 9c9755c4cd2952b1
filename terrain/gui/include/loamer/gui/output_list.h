#pragma once
// The dialog's Output list: every message a new line at the end, scrolled so
// that the last line is the top visible line. A plain list view stops
// scrolling when the last line reaches the bottom; this one scrolls by whole
// lines and on to the last line.

#include <QListWidget>

namespace loamer::gui {

class OutputList : public QListWidget {
  Q_OBJECT

 public:
  explicit OutputList(QWidget* parent = nullptr);

  // Adds `line` at the end and makes it the top visible line.
  void add_line(const QString& line);
  // Makes the last line the top visible line again (after a line grew).
  void scroll_to_end();
  // The row of the top visible line (-1 when the list is empty).
  int top_row() const;

 protected:
  void updateGeometries() override;
};

}  // namespace loamer::gui
