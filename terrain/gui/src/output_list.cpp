#include "loamer/gui/output_list.h"

#include <QScrollBar>

namespace loamer::gui {

OutputList::OutputList(QWidget* parent) : QListWidget(parent) {
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  // Not uniform: a failure's entry holds the file and the reason on a
  // second line.
  setUniformItemSizes(false);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::NoFocus);
}

void OutputList::add_line(const QString& line) {
  addItem(line);
  // The layout of the new row is done lazily; do it now so the scroll range
  // includes it.
  scroll_to_end();
}

void OutputList::scroll_to_end() {
  doItemsLayout();
  verticalScrollBar()->setValue(count() - 1);
}

int OutputList::top_row() const {
  const QModelIndex top = indexAt(QPoint(2, 2));
  return top.isValid() ? top.row() : -1;
}

void OutputList::updateGeometries() {
  // Scrolling per item, the bar's value is the top row. The base class
  // limits it to the rows that fill the view from the bottom (and clamps
  // the value, when the list is resized); let it reach the last row again.
  const int top = verticalScrollBar()->value();
  QListWidget::updateGeometries();
  const int last = std::max(0, count() - 1);
  if (verticalScrollBar()->maximum() < last) verticalScrollBar()->setRange(0, last);
  verticalScrollBar()->setValue(std::min(top, last));
}

}  // namespace loamer::gui
