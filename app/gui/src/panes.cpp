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
constexpr int kEdgeGrip = 4;       // pixels at the right edge that take a drag
constexpr int kMinItemWidth = 40;  // a pane dragged narrower stops here

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
  setMouseTracking(true);  // the cursor shows where the edge can be dragged
  observer_ = doc_.observe([this](uint32_t changes) {
    if ((changes & (kChangedModel | kChangedSlot | kChangedView)) == 0) return;
    update();
    if (const int wanted = content_width(); wanted != content_width_) {
      content_width_ = wanted;
      emit width_wanted();
    }
  });
}

ItemPane::~ItemPane() {
  doc_.unobserve(observer_);
}

namespace {

// The item pane's sub-object rows: name, vertex count, polygon count (the
// numbers of the "%s %4i %4i" lines).
struct Row {
  QString name, vertices, polys;
};
std::vector<Row> subobject_rows(const Model& model) {
  std::vector<Row> rows;
  for (const SubObject& so : model.subobjects)
    rows.push_back(Row{qs(so.name.view()), QString::number(so.verts.size()), QString::number(so.faces.size())});
  return rows;
}

}  // namespace

ItemPane::Columns ItemPane::columns() const {
  const QFontMetrics fm(font());
  const int cw = fm.averageCharWidth();
  int name = 0, vertices = fm.horizontalAdvance(QStringLiteral("0000")), polys = vertices;
  for (const Row& r : subobject_rows(doc_.current_model())) {
    name = std::max(name, fm.horizontalAdvance(r.name));
    vertices = std::max(vertices, fm.horizontalAdvance(r.vertices));
    polys = std::max(polys, fm.horizontalAdvance(r.polys));
  }
  Columns c;
  c.name = contentsRect().left() + kItemInset + cw;
  c.vertices_end = c.name + name + 2 * cw + vertices;
  c.polys_end = c.vertices_end + 2 * cw + polys;
  return c;
}

int ItemPane::content_width() const {
  const QFontMetrics fm(font());
  const Model& model = doc_.current_model();
  const int layer_by = doc_.view().layer_by;
  int widest = 0;
  for (const std::string& line : item_pane_lines(model, layer_by))
    widest = std::max(widest, fm.horizontalAdvance(qs(line)) + fm.averageCharWidth());
  if (layer_by == kLayerByObject && model.num_subobjects() > 0) {
    widest = std::max(widest, columns().polys_end - contentsRect().left() - kItemInset);
  }
  return widest + 2 * kItemInset + 2 * frameWidth();
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
  const std::vector<Row> rows = layer_by == kLayerByObject ? subobject_rows(model) : std::vector<Row>{};
  const Columns c = columns();
  int y = area.top() + kItemInset;
  for (std::size_t i = 0; i < lines.size() && y < area.bottom(); ++i) {
    const bool listed = i >= list_first && i < list_end;
    const int baseline = y + fm.ascent();
    if (listed && i - list_first < rows.size()) {
      const Row& r = rows[i - list_first];
      p.drawText(c.name, baseline, r.name);
      p.drawText(c.vertices_end - fm.horizontalAdvance(r.vertices), baseline, r.vertices);
      p.drawText(c.polys_end - fm.horizontalAdvance(r.polys), baseline, r.polys);
    } else {
      const int x = area.left() + kItemInset + (listed ? cw : 0);
      p.drawText(x, baseline, qs(lines[i]));
    }
    y += listed ? lh : lh + lh / 2;
  }
}

bool ItemPane::on_edge(int x) const {
  return x >= width() - kEdgeGrip;
}

void ItemPane::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && on_edge(event->position().toPoint().x())) dragging_ = true;
}

void ItemPane::mouseMoveEvent(QMouseEvent* event) {
  const int x = event->position().toPoint().x();
  if (!dragging_) {
    setCursor(on_edge(x) ? Qt::SizeHorCursor : Qt::ArrowCursor);
    return;
  }
  dragged_width_ = std::max(kMinItemWidth, x + kEdgeGrip / 2);
  emit width_wanted();
}

void ItemPane::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
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
