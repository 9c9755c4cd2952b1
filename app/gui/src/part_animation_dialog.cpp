// "Part Animation": rotation and scaling of the sub-objects, edited on a
// copy of the model's part animations.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <string_view>

#include "dialog_fields.h"
#include "orvo/app/editor_texts.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/tab_stops.h"
#include "orvo/model/named_values.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

// The radio buttons' texts with a mnemonic before the character at `key`
// (none of them clash with the dialog's other mnemonics).
QString with_mnemonic(std::string_view text, int key) {
  QString t = qs(text);
  if (key >= 0 && key < t.size()) t.insert(key, QLatin1Char('&'));
  return t;
}
constexpr int kRotateKeys[5] = {3, 22, 21, 19, 27};  // "&Rotation", "Fi&xed", "F&unction", "&Camera", "X&Z"
constexpr int kScaleKeys[3] = {3, 6, 8};             // "&Scaling", "&All", "In&dividual"

QString rate_text(float v) {
  return qs(tools::fixed_number(static_cast<double>(v), 1, 3));
}

class PartAnimationDialog : public QDialog {
 public:
  PartAnimationDialog(QWidget* owner, const Model& model, EditorContext& context)
      : QDialog(owner), model_(model), context_(context), registry_(this) {
    setWindowTitle(QStringLiteral("Part Animation"));
    working_ = model.part_anims;
    enable_flag_ = model.part_anim_enable;
    parts_ = std::min(model.num_subobjects(), kMaxPartAnims);
    if (context_.registers != nullptr) context_.registers->add_model_names(model);

    QVBoxLayout* left = build_part_column(model);
    QGroupBox* rotation = build_rotation();
    QGroupBox* scaling = build_scaling();
    connect(transform_, &QComboBox::currentIndexChanged, this, [this](int index) {
      if (index >= 0) change([&](PartAnimation& a) { a.transform_as = transform_->itemData(index).toInt(); });
    });
    connect(enable_, &QCheckBox::toggled, this, [this](bool on) {
      enable_flag_ = on ? 1 : 0;
      update_enabling();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int) { show_part(); });
    connect(&registry_, &SwatchRegistry::pasted, this, [this] {
      refresh_faces();
      refresh_line();
    });

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addWidget(rotation);
    columns->addWidget(scaling, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(add_ok_cancel(this));

    if (parts_ > 0) list_->setCurrentRow(0);
    show_part();
  }

  void showEvent(QShowEvent* e) override {
    registry_.activate();
    QDialog::showEvent(e);
  }

  const std::array<PartAnimation, kMaxPartAnims>& working() const { return working_; }
  int enable_flag() const { return enable_flag_; }
  int parts() const { return parts_; }
  void release() {
    registry_.clear();
    for (GeneratorSwatch* s : all_swatches()) s->unbind();
  }

 private:
  // The enable box, the list of sub-objects and the fields of the part on
  // show.
  QVBoxLayout* build_part_column(const Model& model) {
    enable_ = new QCheckBox(QStringLiteral("&Enable Part Animations"), this);
    set_id(enable_, 1081);
    enable_->setChecked(enable_flag_ != 0);
    enable_->setEnabled(!model.name.empty());

    list_ = new QListWidget(this);
    set_id(list_, 1082);
    set_tab_stops(list_, {80, 112, 152});
    for (int i = 0; i < parts_; ++i) list_->addItem(qs(line(i)));
    // The lines stand in tab columns, the last from 152 quarter characters
    // on: the list is wide enough for them, and never scrolls sideways
    // (the item size behind a scroll bar would count the tabs otherwise).
    {
      const QFontMetrics fm(list_->font());
      const int last = fm.horizontalAdvance(QStringLiteral("SIndv"));  // the widest scale label
      list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list_->setMinimumWidth(152 * fm.averageCharWidth() / 4 + last + 2 * fm.averageCharWidth() +
                             list_->verticalScrollBar()->sizeHint().width() + 2 * list_->frameWidth());
    }
    auto* list_label = new QLabel(QStringLiteral("Sub-&objects"), this);
    list_label->setBuddy(list_);

    name_ = new QLineEdit(this);
    set_id(name_, 1156);
    name_->setReadOnly(true);
    parent_ = new QLineEdit(this);
    set_id(parent_, 1157);
    parent_->setReadOnly(true);
    transform_ = new QComboBox(this);
    set_id(transform_, 1158);
    for (int i = 0; i < model.num_subobjects(); ++i)
      transform_->addItem(qs(model.subobjects[static_cast<std::size_t>(i)].name.view()), i);

    auto* part_grid = new QGridLayout;
    add_labelled(part_grid, 0, QStringLiteral("&Name"), name_);
    add_labelled(part_grid, 1, QStringLiteral("&Parent"), parent_);
    add_labelled(part_grid, 2, QStringLiteral("&Transform As"), transform_);

    auto* left = new QVBoxLayout;
    left->addWidget(enable_);
    left->addWidget(list_label);
    left->addWidget(list_, 1);
    left->addLayout(part_grid);
    return left;
  }

  // The rotation type, rates, functions and order.
  QGroupBox* build_rotation() {
    auto* rotation = new QGroupBox(QStringLiteral("Rotation"), this);
    auto* rot_grid = new QGridLayout(rotation);
    rotate_group_ = new QButtonGroup(this);
    for (int t = 0; t < 5; ++t) {
      auto* radio = new QRadioButton(with_mnemonic(named_text(kRotateTypes, t), kRotateKeys[t]), rotation);
      set_id(radio, 1087 + t);
      rotate_group_->addButton(radio, t);
      rot_grid->addWidget(radio, t, 0, 1, 3);
    }
    static constexpr std::array<const char*, 3> kRateLabels{"&Yaw Rate", "P&itch Rate", "Ro&ll Rate"};
    for (std::size_t r = 0; r < 3; ++r) {
      rates_[r] = new QLineEdit(rotation);
      set_id(rates_[r], 1084 + static_cast<int>(r));
      auto* label = new QLabel(QString::fromLatin1(kRateLabels[r]), rotation);
      label->setBuddy(rates_[r]);
      rot_grid->addWidget(label, 5 + static_cast<int>(r), 0);
      rot_grid->addWidget(rates_[r], 5 + static_cast<int>(r), 1);
      connect(rates_[r], &QLineEdit::textChanged, this, [this, r] { read_rate(r); });
    }
    static constexpr std::array<const char*, 3> kFuncLabels{"Yaw", "Pitch", "Roll"};
    for (std::size_t r = 0; r < 3; ++r) {
      rot_swatches_[r] = make_swatch(1111 + static_cast<int>(r), rotation);
      rot_grid->addWidget(new QLabel(QString::fromLatin1(kFuncLabels[r]), rotation), 8 + static_cast<int>(r), 0);
      rot_grid->addWidget(rot_swatches_[r], 8 + static_cast<int>(r), 1, 1, 2);
      connect(rot_swatches_[r], &QPushButton::clicked, this, [this, r] { edit(rot_swatches_[r], true); });
    }
    reverse_ = new QCheckBox(QStringLiteral("Re&verse Rotation Order"), rotation);
    set_id(reverse_, 1184);
    rot_grid->addWidget(reverse_, 11, 0, 1, 3);
    connect(rotate_group_, &QButtonGroup::idClicked, this,
            [this](int t) { change([&](PartAnimation& a) { a.rotate_type = t; }); });
    connect(reverse_, &QCheckBox::toggled, this,
            [this](bool on) { change([&](PartAnimation& a) { a.reverserotate = on ? 1 : 0; }); });
    return rotation;
  }

  // The scale type and functions.
  QGroupBox* build_scaling() {
    auto* scaling = new QGroupBox(QStringLiteral("Scaling"), this);
    auto* scale_grid = new QGridLayout(scaling);
    scale_group_ = new QButtonGroup(this);
    for (int t = 0; t < 3; ++t) {
      auto* radio = new QRadioButton(with_mnemonic(named_text(kScaleTypes, t), kScaleKeys[t]), scaling);
      set_id(radio, 1145 + t);
      scale_group_->addButton(radio, t);
      scale_grid->addWidget(radio, t, 0, 1, 2);
    }
    scale_all_ = make_swatch(1155, scaling);
    scale_grid->addWidget(new QLabel(QStringLiteral("All"), scaling), 3, 0);
    scale_grid->addWidget(scale_all_, 3, 1);
    connect(scale_all_, &QPushButton::clicked, this, [this] { edit(scale_all_, false); });
    static constexpr std::array<const char*, 3> kAxisLabels{"X", "Y", "Z"};
    for (std::size_t a = 0; a < 3; ++a) {
      scale_axes_[a] = make_swatch(1149 + 2 * static_cast<int>(a), scaling);
      scale_grid->addWidget(new QLabel(QString::fromLatin1(kAxisLabels[a]), scaling), 4 + static_cast<int>(a), 0);
      scale_grid->addWidget(scale_axes_[a], 4 + static_cast<int>(a), 1);
      connect(scale_axes_[a], &QPushButton::clicked, this, [this, a] { edit(scale_axes_[a], false); });
    }
    connect(scale_group_, &QButtonGroup::idClicked, this,
            [this](int t) { change([&](PartAnimation& a) { a.scale_type = t; }); });
    return scaling;
  }

  static GeneratorSwatch* make_swatch(int id, QWidget* parent) {
    auto* s = new GeneratorSwatch(parent);
    set_id(s, id);
    s->setAutoDefault(false);
    return s;
  }

  std::array<GeneratorSwatch*, 7> all_swatches() const {
    return {rot_swatches_[0], rot_swatches_[1], rot_swatches_[2], scale_all_,
            scale_axes_[0],   scale_axes_[1],   scale_axes_[2]};
  }

  std::string line(int i) const {
    return part_animation_line(model_.subobjects[static_cast<std::size_t>(i)], working_[static_cast<std::size_t>(i)]);
  }

  int current() const {
    const int row = list_->currentRow();
    return row >= 0 && row < parts_ ? row : -1;
  }

  // Applies `edit` to the record on show (not while the controls are being
  // filled), then rewrites its list line and the enabling.
  template <typename F>
  void change(F edit) {
    const int i = current();
    if (filling_ || i < 0) return;
    edit(working_[static_cast<std::size_t>(i)]);
    refresh_line();
    update_enabling();
  }

  void read_rate(std::size_t r) {
    const float v = read_float_field(rates_[r]);
    change([&](PartAnimation& a) {
      float* rates[3] = {&a.yaw_rate, &a.pitch_rate, &a.roll_rate};
      *rates[r] = v;
    });
  }

  void refresh_line() {
    const int i = current();
    if (i >= 0) list_->item(i)->setText(qs(line(i)));
  }

  // The swatch faces: rotation generators in whole numbers.
  void refresh_faces() {
    for (GeneratorSwatch* s : all_swatches())
      s->setText(s->scalar() != nullptr ? swatch_face(scalar_summary(*s->scalar(), is_rotation(s), false)) : QString());
  }

  bool is_rotation(const GeneratorSwatch* s) const {
    return s == rot_swatches_[0] || s == rot_swatches_[1] || s == rot_swatches_[2];
  }

  void edit(GeneratorSwatch* s, bool rotation) {
    if (s->scalar() == nullptr) return;
    const ScalarGeneratorMode mode{rotation, true};
    if (edit_scalar_generator(this, s->mapToGlobal(QPoint(0, 0)), *s->scalar(), mode, context_)) refresh_faces();
  }

  // Fills the controls from the record of the selected sub-object and binds
  // the swatches to its generators.
  void show_part() {
    filling_ = true;
    const int i = current();
    registry_.clear();
    if (i < 0) {
      for (GeneratorSwatch* s : all_swatches()) s->unbind();
      name_->clear();
      parent_->clear();
      transform_->setCurrentIndex(-1);
      for (QLineEdit* r : rates_) r->clear();
    } else {
      PartAnimation& a = working_[static_cast<std::size_t>(i)];
      const SubObject& so = model_.subobjects[static_cast<std::size_t>(i)];
      name_->setText(qs(so.name.view()));
      // A parent index outside the model names no sub-object.
      const bool has_parent = so.parent >= 0 && so.parent < model_.num_subobjects();
      parent_->setText(has_parent ? qs(model_.subobjects[static_cast<std::size_t>(so.parent)].name.view()) : QString());
      transform_->setCurrentIndex(transform_->findData(a.transform_as));
      if (QAbstractButton* b = rotate_group_->button(a.rotate_type)) b->setChecked(true);
      else uncheck(rotate_group_);
      if (QAbstractButton* b = scale_group_->button(a.scale_type)) b->setChecked(true);
      else uncheck(scale_group_);
      rates_[0]->setText(rate_text(a.yaw_rate));
      rates_[1]->setText(rate_text(a.pitch_rate));
      rates_[2]->setText(rate_text(a.roll_rate));
      reverse_->setChecked(a.reverserotate != 0);
      rot_swatches_[0]->bind(&a.yaw_func);
      rot_swatches_[1]->bind(&a.pitch_func);
      rot_swatches_[2]->bind(&a.roll_func);
      scale_all_->bind(&a.scale_func);
      scale_axes_[0]->bind(&a.scalex_func);
      scale_axes_[1]->bind(&a.scaley_func);
      scale_axes_[2]->bind(&a.scalez_func);
      for (GeneratorSwatch* s : all_swatches()) registry_.add(s);
    }
    refresh_faces();
    filling_ = false;
    update_enabling();
  }

  static void uncheck(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
  }

  void update_enabling() {
    const int i = current();
    const bool on = enable_->isChecked() && i >= 0;
    const int rotate = on ? working_[static_cast<std::size_t>(i)].rotate_type : -1;
    const int scale = on ? working_[static_cast<std::size_t>(i)].scale_type : -1;
    transform_->setEnabled(on);
    for (QAbstractButton* b : rotate_group_->buttons()) b->setEnabled(on);
    for (QAbstractButton* b : scale_group_->buttons()) b->setEnabled(on);
    for (QLineEdit* r : rates_) r->setEnabled(rotate == 1);
    for (GeneratorSwatch* s : rot_swatches_) s->setEnabled(rotate == 2);
    reverse_->setEnabled(rotate == 2);
    scale_all_->setEnabled(scale == 1);
    for (GeneratorSwatch* s : scale_axes_) s->setEnabled(scale == 2);
  }

  const Model& model_;
  EditorContext& context_;
  SwatchRegistry registry_;
  std::array<PartAnimation, kMaxPartAnims> working_{};
  int enable_flag_ = 0;
  int parts_ = 0;
  bool filling_ = false;
  QCheckBox* enable_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* parent_ = nullptr;
  QComboBox* transform_ = nullptr;
  QButtonGroup* rotate_group_ = nullptr;
  QButtonGroup* scale_group_ = nullptr;
  std::array<QLineEdit*, 3> rates_{};
  std::array<GeneratorSwatch*, 3> rot_swatches_{};
  QCheckBox* reverse_ = nullptr;
  GeneratorSwatch* scale_all_ = nullptr;
  std::array<GeneratorSwatch*, 3> scale_axes_{};
};

}  // namespace

int run_part_animation(QWidget* owner, Model& model, EditorContext& context) {
  PartAnimationDialog dialog(owner, model, context);
  const bool ok = context.run_dialog(dialog) == QDialog::Accepted;
  if (ok) {
    model.part_anim_enable = dialog.enable_flag();
    for (int i = 0; i < dialog.parts(); ++i)
      model.part_anims[static_cast<std::size_t>(i)] = dialog.working()[static_cast<std::size_t>(i)];
  }
  dialog.release();
  return ok ? 1 : 0;
}

}  // namespace orvo::gui
