#include "orvo/gui/panes.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "orvo/document/projection.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {
namespace {

constexpr int kItemInset = 5;
constexpr int kCentreInset = 2;

// Which of the item pane's lines list items (the rest are headers): those
// after the two opening lines, one per item of the grouping.
std::pair<std::size_t, std::size_t> list_range(const Model& model, int layer_by, std::size_t lines) {
  const std::size_t first = std::min<std::size_t>(2, lines);
  const std::size_t count = layer_by == kLayerByMaterial || layer_by == kLayerByBounding
                                ? lines - first
                                : static_cast<std::size_t>(model.num_subobjects());
  return {first, std::min(lines, first + count)};
}

}  // namespace

ItemPane::ItemPane(Document& doc, QWidget* parent) : QFrame(parent), doc_(doc) {
  setObjectName("ItemInfoWindow");
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  observer_ = doc_.observe([this](uint32_t changes) {
    if (changes & (kChangedModel | kChangedSlot | kChangedView)) update();
  });
}

ItemPane::~ItemPane() {
  doc_.unobserve(observer_);
}

void ItemPane::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  const QRect area = contentsRect();
  p.setClipRect(area);
  const QFontMetrics fm(font());
  const int lh = fm.lineSpacing(), cw = fm.averageCharWidth();
  const Model& model = doc_.current_model();
  const int layer_by = doc_.view().layer_by;
  const std::vector<std::string> lines = item_pane_lines(model, layer_by);
  const auto [list_first, list_end] = list_range(model, layer_by, lines.size());
  int y = area.top() + kItemInset;
  for (std::size_t i = 0; i < lines.size() && y < area.bottom(); ++i) {
    const bool listed = i >= list_first && i < list_end;
    const int x = area.left() + kItemInset + (listed ? cw : 0);
    p.drawText(x, y + fm.ascent(), qs(lines[i]));
    y += listed ? lh : lh + lh / 2;
  }
}

CentrePane::CentrePane(Document& doc, QWidget* parent) : QFrame(parent), doc_(doc) {
  setObjectName("CenterInfoWindow");
  // It reaches over the page's top edge: an opaque pane keeps the page's
  // drawing out of it.
  setAutoFillBackground(true);
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  observer_ = doc_.observe([this](uint32_t changes) {
    if (changes & (kChangedCentre | kChangedView | kChangedSlot)) update();
  });
}

CentrePane::~CentrePane() {
  doc_.unobserve(observer_);
}

void CentrePane::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  const QRect area = contentsRect();
  p.setClipRect(area);
  p.drawText(area.adjusted(kCentreInset, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
             qs(centre_pane_text(doc_.view().centre)));
}

// While the page drags it holds the mouse, so a click here never comes in
// the middle of a drag.
void CentrePane::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
}

}  // namespace orvo::gui
