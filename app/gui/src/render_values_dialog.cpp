#include "orvo/gui/render_values_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_fields.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

// Stored components are kept as typed, so they may lie outside 0 .. 255;
// the swatch and the chooser see them clamped.
int channel(int value) {
  return std::clamp(value, 0, 255);
}

// A "Set" button drawn as a rectangle with a one-pixel black border, filled
// with the colour the group stores.
class ColourSwatch : public QAbstractButton {
 public:
  ColourSwatch(std::array<int*, 3> components, QWidget* parent) : QAbstractButton(parent), components_(components) {
    setText(QStringLiteral("Set"));
    setToolTip(QStringLiteral("Set"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  }

  QColor colour() const { return QColor(channel(*components_[0]), channel(*components_[1]), channel(*components_[2])); }

  QSize sizeHint() const override {
    const int h = fontMetrics().height() + 8;
    return {h * 2, h};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect box = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(box, Qt::black);
    painter.fillRect(box.adjusted(1, 1, -1, -1), colour());
    if (hasFocus()) {
      painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
  }

 private:
  std::array<int*, 3> components_;
};

QLineEdit* number_edit(int id, int value, QWidget* parent) {
  auto* edit = new QLineEdit(QString::number(value), parent);
  set_id(edit, id);
  // Room for a few digits; the values are not range-checked.
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 8 + 12);
  return edit;
}

}  // namespace

RenderValuesDialog::RenderValuesDialog(RenderSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Render Values"));
  choose_colour = [this](QColor start) -> std::optional<QColor> {
    const QColor colour = QColorDialog::getColor(start, this);
    if (!colour.isValid()) return std::nullopt;
    return colour;
  };
  choose_file = [this]() -> std::optional<QString> {
    QFileDialog dialog(this, QString(), QDir::currentPath(), QStringLiteral("Image File (*.dds)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("dds"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
  };

  RenderSettings& s = settings_;
  struct GroupSetup {
    std::array<int*, 3> components;
    std::array<int, 3> edit_ids;
    int swatch_id;
  };
  const std::array<GroupSetup, 5> setups{{
      {{&s.background_red, &s.background_green, &s.background_blue}, {3900, 3901, 3902}, 1181},
      {{&s.sky_red, &s.sky_green, &s.sky_blue}, {3903, 3904, 3905}, 1092},
      {{&s.ground_red, &s.ground_green, &s.ground_blue}, {3912, 3913, 3914}, 1095},
      {{&s.d1_red, &s.d1_green, &s.d1_blue}, {3906, 3907, 3908}, 1093},
      {{&s.d2_red, &s.d2_green, &s.d2_blue}, {3909, 3910, 3911}, 1094},
  }};

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Red"), this), 0, 1, Qt::AlignCenter);
  grid->addWidget(new QLabel(QStringLiteral("Green"), this), 0, 2, Qt::AlignCenter);
  grid->addWidget(new QLabel(QStringLiteral("Blue"), this), 0, 3, Qt::AlignCenter);

  light1_on_ = new QCheckBox(QStringLiteral("Directional RGB 1"), this);
  set_id(light1_on_, 1041);
  light1_on_->setChecked(s.d1_enable != 0);
  // The second light's box has always read "Directional RGB 1" as well.
  light2_on_ = new QCheckBox(QStringLiteral("Directional RGB 1"), this);
  set_id(light2_on_, 1042);
  light2_on_->setChecked(s.d2_enable != 0);

  const std::array<QWidget*, 5> captions{new QLabel(QStringLiteral("Background RGB"), this),
                                         new QLabel(QStringLiteral("Sky Ambient"), this),
                                         new QLabel(QStringLiteral("Ground Ambient"), this), light1_on_, light2_on_};

  for (std::size_t g = 0; g < groups_.size(); ++g) {
    Group& group = groups_[g];
    const GroupSetup& setup = setups[g];
    const int row = static_cast<int>(g) + 1;
    group.components = setup.components;
    grid->addWidget(captions[g], row, 0);
    for (std::size_t c = 0; c < 3; ++c) {
      group.edits[c] = number_edit(setup.edit_ids[c], *setup.components[c], this);
      grid->addWidget(group.edits[c], row, static_cast<int>(c) + 1);
    }
    group.swatch = new ColourSwatch(setup.components, this);
    set_id(group.swatch, setup.swatch_id);
    connect(group.swatch, &QAbstractButton::clicked, this, [this, &group] { pick_colour(group); });
    grid->addWidget(group.swatch, row, 4);
  }

  fog_on_ = new QCheckBox(QStringLiteral("Enable Fog"), this);
  set_id(fog_on_, 1172);
  fog_on_->setChecked(s.fog_enable != 0);

  map_ = new QLineEdit(qs(s.environment_map), this);
  set_id(map_, 1197);
  map_->setMaxLength(static_cast<int>(kMaxFolderPath));
  map_->setMinimumWidth(map_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  set_id(browse, 1198);
  browse->setAutoDefault(false);
  browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  connect(browse, &QPushButton::clicked, this, &RenderValuesDialog::pick_file);
  auto* map_row = new QHBoxLayout;
  map_row->addWidget(new QLabel(QStringLiteral("Environment Map"), this));
  map_row->addWidget(map_, 1);
  map_row->addWidget(browse);

  QDialogButtonBox* buttons = add_ok_cancel(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(fog_on_);
  layout->addLayout(map_row);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RenderValuesDialog::pick_colour(Group& group) {
  const auto& c = group.components;
  const std::optional<QColor> colour = choose_colour(QColor(channel(*c[0]), channel(*c[1]), channel(*c[2])));
  if (!colour) return;
  // Stored at once: the colour stays even when the dialog is cancelled.
  *c[0] = colour->red();
  *c[1] = colour->green();
  *c[2] = colour->blue();
  for (std::size_t i = 0; i < 3; ++i) group.edits[i]->setText(QString::number(*c[i]));
  group.swatch->update();
}

void RenderValuesDialog::pick_file() {
  if (const std::optional<QString> path = choose_file()) map_->setText(*path);
}

void RenderValuesDialog::accept() {
  for (Group& group : groups_) {
    for (std::size_t i = 0; i < 3; ++i) *group.components[i] = read_int_field(group.edits[i]);
  }
  settings_.d1_enable = light1_on_->isChecked() ? 1 : 0;
  settings_.d2_enable = light2_on_->isChecked() ? 1 : 0;
  settings_.fog_enable = fog_on_->isChecked() ? 1 : 0;
  settings_.environment_map = read_path_field(map_, kMaxFolderPath);
  QDialog::accept();
}

}  // namespace orvo::gui
