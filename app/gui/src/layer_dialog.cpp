#include "orvo/gui/layer_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_fields.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

constexpr int kColumns = 4;
constexpr int kRows = kLayerBoxes / kColumns;

int item_count(const Model& model, int bank) {
  switch (bank) {
    case kLayerByObject: return model.num_subobjects();
    case kLayerByMaterial: return std::clamp(model.num_materials, 0, static_cast<int>(model.materials.size()));
    case kLayerByBounding: return static_cast<int>(model.bobj.size());
    default: return 0;
  }
}

QString item_label(const Model& model, int bank, int index) {
  const auto i = static_cast<std::size_t>(index);
  switch (bank) {
    case kLayerByObject: return qs(model.subobjects[i].name.view());
    case kLayerByMaterial: return qs(model.materials[i].name.view());
    case kLayerByBounding: {
      const BoundingObject& object = model.bobj[i];
      const QString name = qs(object.name.view());
      return (object.flags & 1) != 0 ? QStringLiteral("!") + name : name;
    }
    default: return {};
  }
}

}  // namespace

LayerDialog::LayerDialog(Document& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Layer Visibility"));
  const int layer_by = doc.view().layer_by;
  if (layer_by >= kLayerByObject && layer_by <= kLayerByBounding) bank_ = layer_by;
  const Model& model = doc.current_model();
  items_ = item_count(model, bank_);

  auto* grid = new QGridLayout;
  for (int i = 0; i < kLayerBoxes; ++i) {
    const bool exists = i < items_;
    auto* box = new QCheckBox(exists ? item_label(model, bank_, i) : QString::number(i), this);
    set_id(box, kFirstLayerBoxId + i);
    box->setEnabled(exists);
    // Column by column, so the items read downwards as in the item pane.
    grid->addWidget(box, i % kRows, i / kRows);
    connect(box, &QCheckBox::clicked, this, [this, i](bool checked) {
      if (int32_t* f = flag(i)) *f = checked ? 1 : 0;
      doc_.changed(kChangedView);
    });
    boxes_[static_cast<std::size_t>(i)] = box;
  }
  refresh_boxes();
  // Even columns, wide enough for most names at a glance.
  const int column_width = fontMetrics().horizontalAdvance(QLatin1Char('x')) * 18;
  for (int c = 0; c < kColumns; ++c) {
    grid->setColumnMinimumWidth(c, column_width);
    grid->setColumnStretch(c, 1);
  }

  auto* show_all = new QPushButton(QStringLiteral("Show All"), this);
  auto* hide_all = new QPushButton(QStringLiteral("Hide All"), this);
  show_all->setObjectName(QStringLiteral("show_all"));
  hide_all->setObjectName(QStringLiteral("hide_all"));
  show_all->setAutoDefault(false);
  hide_all->setAutoDefault(false);
  connect(show_all, &QPushButton::clicked, this, [this] { set_all(true); });
  connect(hide_all, &QPushButton::clicked, this, [this] { set_all(false); });

  QDialogButtonBox* buttons = add_ok_cancel(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  auto* button_row = new QHBoxLayout;
  button_row->addWidget(show_all);
  button_row->addWidget(hide_all);
  button_row->addStretch(1);
  button_row->addWidget(buttons);
  layout->addLayout(button_row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

int32_t* LayerDialog::flag(int index) {
  if (bank_ < 0 || index < 0 || index >= kLayersPerBank) return nullptr;
  return &doc_.view().layer_visible[static_cast<std::size_t>(bank_ * kLayersPerBank + index)];
}

void LayerDialog::refresh_boxes() {
  for (int i = 0; i < kLayerBoxes; ++i) {
    const int32_t* f = i < items_ ? flag(i) : nullptr;
    boxes_[static_cast<std::size_t>(i)]->setChecked(f != nullptr && *f != 0);
  }
}

void LayerDialog::set_all(bool visible) {
  // The whole bank, also the items no box shows.
  for (int i = 0; i < kLayersPerBank; ++i) {
    if (int32_t* f = flag(i)) *f = visible ? 1 : 0;
  }
  refresh_boxes();
  doc_.changed(kChangedView);
}

void LayerDialog::accept() {
  for (int i = 0; i < std::min(items_, kLayerBoxes); ++i) {
    if (int32_t* f = flag(i)) *f = boxes_[static_cast<std::size_t>(i)]->isChecked() ? 1 : 0;
  }
  QDialog::accept();
}

}  // namespace orvo::gui
