#include "orvo/gui/control_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <tuple>

#include "orvo/document/commands.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

// Control ids of the panel.
constexpr int kIdPlanes = 1001;  // .. 1004
constexpr int kIdSlots = 1034;   // .. 1037
constexpr int kIdWire = 1040, kIdRender = 1041, kIdRenderAll = 1042;
constexpr int kIdUnitScale = 1046;
constexpr int kIdUpdateTextures = 1047;
constexpr int kIdCompatibility = 1500;
constexpr int kIdLayerGroup = 1005, kIdLayerBy = 1006;  // .. 1008
constexpr int kIdGridGroup = 1011, kIdGridText = 1012, kIdGridDown = 1013, kIdGridUp = 1014;
constexpr int kIdShowGroup = 1016;

struct ShowBox {
  int id;
  const char* text;
  int command;
};
constexpr ShowBox kShowBoxes[] = {
    {1017, "Polys", cmd::kPolys},
    {1018, "Faces", cmd::kFacets},
    {1045, "Only Smooth", cmd::kSmoothOnly},
    {1019, "Center pts", cmd::kCentrePoints},
    {1020, "Attach pts", cmd::kAttachmentPoints},
    {1021, "Bounding", cmd::kBoundingObjects},
    {1022, "Lights", cmd::kLightSources},
    {1023, "UserPoints", cmd::kUserPoints},
    {1024, "Text", cmd::kText},
};

// The "Compatibility Mode" list's items and their commands.
struct Level {
  const char* text;
  int command;
};
constexpr Level kLevels[] = {{"DX6 - RivaTNT2", cmd::kNonTnl},
                             {"DX7 - GeForce1, GeForce2", cmd::kDx7Tnl},
                             {"DX8 - GeForce3, Radeon8500", cmd::kDx8Tnl}};

QString id_name(int id) {
  return QStringLiteral("id%1").arg(id);
}

}  // namespace

int compatibility_command(int level) {
  return kLevels[level - 1].command;
}

ControlPanel::ControlPanel(QWidget* desk, QObject* parent) : QObject(parent) {
  build_buttons(desk);
  const int cw = desk->fontMetrics().averageCharWidth();
  build_layer_group(desk, cw);
  build_grid_group(desk, cw);
  build_show_group(desk, cw);
}

QPushButton* ControlPanel::add_button(QWidget* desk, int id, const QString& text, QButtonGroup* group, int command_id) {
  auto* b = new QPushButton(text, desk);
  b->setObjectName(id_name(id));
  b->setFocusPolicy(Qt::NoFocus);
  b->setCheckable(group != nullptr);
  if (group != nullptr) group->addButton(b, id);
  connect(b, &QPushButton::clicked, this, [this, command_id] { emit command(command_id); });
  controls_[id] = b;
  return b;
}

QGroupBox* ControlPanel::add_group_box(QWidget* desk, int id, const QString& title) {
  auto* g = new QGroupBox(title, desk);
  g->setObjectName(id_name(id));
  g->setFocusPolicy(Qt::ClickFocus);
  group_boxes_.push_back(g);
  return g;
}

// The plane buttons and the top row.
void ControlPanel::build_buttons(QWidget* desk) {
  plane_group_ = new QButtonGroup(this);
  const char* planes[] = {"XY", "XZ", "YZ", "3D"};
  for (int i = 0; i < 4; ++i) add_button(desk, kIdPlanes + i, planes[i], plane_group_, cmd::kPlaneXY + i);
  slot_group_ = new QButtonGroup(this);
  for (int i = 0; i < 4; ++i)
    add_button(desk, kIdSlots + i, QString(QChar(kSlotLetters[static_cast<std::size_t>(i)])), slot_group_,
               cmd::kSlotH + i);
  preview_group_ = new QButtonGroup(this);
  add_button(desk, kIdWire, "Wire", preview_group_, cmd::kWire);
  add_button(desk, kIdRender, "Render", preview_group_, cmd::kRender);
  add_button(desk, kIdRenderAll, "Render All", preview_group_, cmd::kRenderAll);
  // A push-like radio button stays as the document says: a failed start
  // leaves "Wire" selected, which refresh restores.
  auto* unit = new QCheckBox("1unit = 1m", desk);
  unit->setObjectName(id_name(kIdUnitScale));
  unit->setFocusPolicy(Qt::NoFocus);
  connect(unit, &QCheckBox::clicked, this, [this](bool on) { emit unit_scale_clicked(on); });
  controls_[kIdUnitScale] = unit;
  add_button(desk, kIdUpdateTextures, "Update Textures", nullptr, cmd::kUpdateTextures)->hide();

  compatibility_ = new QComboBox(desk);
  compatibility_->setObjectName(id_name(kIdCompatibility));
  compatibility_->setFocusPolicy(Qt::NoFocus);
  compatibility_->setToolTip("Compatibility Mode");
  compatibility_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  connect(compatibility_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) emit command(compatibility_->itemData(index).toInt());
  });
}

void ControlPanel::build_layer_group(QWidget* desk, int cw) {
  QGroupBox* layers = add_group_box(desk, kIdLayerGroup, "Layer By:");
  auto* layer_box = new QVBoxLayout(layers);
  layer_box->setSpacing(0);
  layer_box->setContentsMargins(cw, cw / 2, cw, cw / 2);
  layer_group_ = new QButtonGroup(this);
  const char* layer_texts[] = {"Objects", "Materials", "Bounding Obj"};
  const int layer_commands[] = {cmd::kByObject, cmd::kByMaterial, cmd::kByBounding};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(layer_texts[i], layers);
    r->setObjectName(id_name(kIdLayerBy + i));
    r->setFocusPolicy(Qt::NoFocus);
    layer_group_->addButton(r, kIdLayerBy + i);
    layer_box->addWidget(r);
    const int command_id = layer_commands[i];
    connect(r, &QRadioButton::clicked, this, [this, command_id] { emit command(command_id); });
    controls_[kIdLayerBy + i] = r;
  }
}

void ControlPanel::build_grid_group(QWidget* desk, int cw) {
  QGroupBox* grid = add_group_box(desk, kIdGridGroup, "Grid:");
  auto* grid_row = new QHBoxLayout(grid);
  grid_text_ = new QLabel("1", grid);
  grid_text_->setObjectName(id_name(kIdGridText));
  grid_row->addWidget(grid_text_, 1);
  for (auto [id, text, command_id] :
       {std::tuple{kIdGridDown, "-", cmd::kGridDown}, std::tuple{kIdGridUp, "+", cmd::kGridUp}}) {
    QPushButton* b = add_button(desk, id, text, nullptr, command_id);
    b->setParent(grid);
    b->setFixedWidth(4 * cw);
    grid_row->addWidget(b);
  }
}

void ControlPanel::build_show_group(QWidget* desk, int cw) {
  QGroupBox* show = add_group_box(desk, kIdShowGroup, "Show:");
  auto* show_box = new QVBoxLayout(show);
  show_box->setSpacing(0);
  show_box->setContentsMargins(cw, cw / 2, cw, cw / 2);
  for (const ShowBox& box : kShowBoxes) {
    auto* c = new QCheckBox(box.text, show);
    c->setObjectName(id_name(box.id));
    c->setFocusPolicy(Qt::NoFocus);
    show_box->addWidget(c);
    const int command_id = box.command;
    connect(c, &QCheckBox::clicked, this, [this, command_id] { emit command(command_id); });
    controls_[box.id] = c;
  }
}

void ControlPanel::refresh(const Document& doc) {
  const ViewState& v = doc.view();
  const int plane_index = v.plane == kPlane3D ? 3 : v.plane;
  if (QAbstractButton* b = plane_group_->button(kIdPlanes + plane_index)) b->setChecked(true);
  if (QAbstractButton* b = slot_group_->button(kIdSlots + doc.current_slot())) b->setChecked(true);
  // Each level's button names the file the level came from.
  for (int i = 0; i < kSlotCount; ++i) {
    const QString letter = QChar(kSlotLetters[static_cast<std::size_t>(i)]);
    const std::string& file = doc.slot_file(i);
    controls_.at(kIdSlots + i)
        ->setToolTip(!file.empty()                    ? letter + ": " + qs(file)
                     : doc.slot(i).subobjects.empty() ? letter + ": empty"
                                                      : letter + ": not saved to a file");
  }
  if (QAbstractButton* b = preview_group_->button(kIdWire + doc.preview_mode)) b->setChecked(true);
  if (QAbstractButton* b = layer_group_->button(kIdLayerBy + v.layer_by)) b->setChecked(true);
  for (const ShowBox& box : kShowBoxes)
    controls_.at(box.id)->setChecked((v.display_flags & display_flag_of(box.command)) != 0);
  controls_.at(kIdUnitScale)->setChecked(doc.metric_units());
  controls_.at(kIdUpdateTextures)->setVisible(doc.preview_mode != kPreviewOff);
  grid_text_->setText(QString::number(v.grid_step));
  for (int i = 0; i < compatibility_->count(); ++i)
    if (compatibility_->itemData(i).toInt() == compatibility_command(doc.compatibility_level)) {
      const QSignalBlocker quiet(compatibility_);
      compatibility_->setCurrentIndex(i);
    }
}

void ControlPanel::set_levels(int highest) {
  const QSignalBlocker quiet(compatibility_);
  compatibility_->clear();
  for (int i = 0; i < highest && i < 3; ++i) compatibility_->addItem(kLevels[i].text, kLevels[i].command);
}

int ControlPanel::select_last_level() {
  const int last = compatibility_->count() - 1;
  if (last < 0) return 0;
  compatibility_->setCurrentIndex(last);
  return compatibility_->itemData(last).toInt();
}

// Push buttons are as wide as their captions need, not the toolkit's
// minimum for dialog buttons.
int ControlPanel::caption_width(const QFontMetrics& fm, int cw, int id) const {
  return fm.horizontalAdvance(controls_.at(id)->text()) + 2 * cw;
}

ControlPanel::Column ControlPanel::place_column(const QFontMetrics& fm, int cw, int lh) {
  int column = 19 * cw;
  for (QWidget* g : group_boxes_) column = std::max(column, g->sizeHint().width());
  int planes = 0;
  for (int i = 0; i < 4; ++i) planes = std::max(planes, caption_width(fm, cw, kIdPlanes + i));
  column = std::max(column, 4 * planes);
  const int button_h = std::max(2 * lh - lh / 4, controls_.at(kIdPlanes)->sizeHint().height());
  for (int i = 0; i < 4; ++i)
    controls_.at(kIdPlanes + i)->setGeometry(cw + i * column / 4, lh / 4, column / 4, button_h);
  const int gap = lh / 4;
  int y = lh / 4 + button_h + gap;
  for (QWidget* g : group_boxes_) {
    const int gh = g->sizeHint().height();
    g->setGeometry(cw, y, column, gh);
    y += gh + gap;
  }
  return {column, button_h, y};
}

void ControlPanel::place_top_row(const QFontMetrics& fm, int cw, int lh, int x, int button_height) {
  auto place = [&](QWidget* widget, int width) {
    widget->setGeometry(x, lh / 4, width, button_height);
    x += width;
  };
  for (int i = 0; i < 4; ++i) place(controls_.at(kIdSlots + i), std::max(4 * cw, caption_width(fm, cw, kIdSlots + i)));
  x += cw;
  for (int id : {kIdWire, kIdRender, kIdRenderAll})
    place(controls_.at(id), std::max(caption_width(fm, cw, id) + cw, 8 * cw));
  x += 2 * cw;
  place(controls_.at(kIdUnitScale), controls_.at(kIdUnitScale)->sizeHint().width() + cw);
  x += cw;
  place(compatibility_, compatibility_->sizeHint().width() + cw);
  x += cw;
  place(controls_.at(kIdUpdateTextures), caption_width(fm, cw, kIdUpdateTextures) + cw);
}

}  // namespace orvo::gui
