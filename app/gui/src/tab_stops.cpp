#include "orvo/gui/tab_stops.h"

#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextOption>

namespace orvo::gui {

namespace {

class TabStopDelegate : public QStyledItemDelegate {
 public:
  TabStopDelegate(std::vector<int> stops, QObject* parent) : QStyledItemDelegate(parent), stops_(std::move(stops)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    initStyleOption(&o, index);
    const QString text = o.text;
    o.text.clear();
    // The item's background, selection and focus frame as the style draws
    // them; the text is drawn here with the tab stops.
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : nullptr;
    if (style != nullptr) style->drawControl(QStyle::CE_ItemViewItem, &o, painter, widget);

    const int unit = std::max(1, o.fontMetrics.averageCharWidth());
    QList<QTextOption::Tab> tabs;
    for (int s : stops_) tabs.append(QTextOption::Tab(s * unit / 4.0, QTextOption::LeftTab));
    QTextOption layout;
    layout.setWrapMode(QTextOption::NoWrap);
    if (tabs.isEmpty()) layout.setTabStopDistance(32.0 * unit / 4.0);
    else layout.setTabs(tabs);
    const QRect r = o.rect.adjusted(unit / 2, 0, 0, 0);
    painter->save();
    painter->setFont(o.font);
    painter->setPen(o.palette.color(
        QPalette::Normal, (o.state & QStyle::State_Selected) != 0 ? QPalette::HighlightedText : QPalette::Text));
    painter->setClipRect(o.rect);
    painter->drawText(QRectF(r), text, layout);
    painter->restore();
  }

 private:
  std::vector<int> stops_;
};

}  // namespace

void set_tab_stops(QListWidget* list, std::vector<int> dialog_units) {
  list->setItemDelegate(new TabStopDelegate(std::move(dialog_units), list));
}

}  // namespace orvo::gui
