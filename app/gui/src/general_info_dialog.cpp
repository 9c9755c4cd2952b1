// "General Information": the four levels of detail side by side.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <array>

#include "dialog_fields.h"
#include "orvo/app/editor_texts.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/named_value_combo.h"
#include "orvo/gui/qt_text.h"
#include "orvo/model/named_values.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

// The control ids of one slot's group.
struct SlotIds {
  int name, polys, verts, render_function, threshold, skinned, fakeskin;
  int pm_enable, pm_polys;  // 0: the slot has no progressive mesh controls
};
constexpr std::array<SlotIds, 4> kSlotIds{{
    {1042, 1043, 1044, 3801, 3800, 3810, 1179, 1054, 1055},
    {1045, 1046, 1047, 3803, 3802, 3811, 1180, 1056, 1057},
    {1048, 1049, 1050, 3805, 3804, 3812, 1182, 0, 0},
    {1051, 1052, 1053, 3807, 3806, 3813, 1183, 0, 0},
}};
constexpr std::array<const char*, 4> kGroupTitles{"High Res (h)", "Medium Res (m)", "Low Res (l)", "Tiny Res (t)"};
constexpr std::array<const char*, 4> kCollisionItems{"High Res (h)", "Med Res (m)", "Low Res (l)", "Tiny Res (t)"};

class GeneralInfoDialog : public QDialog {
 public:
  GeneralInfoDialog(QWidget* owner, Document& doc, EditorContext& context)
      : QDialog(owner), doc_(doc), context_(context) {
    setWindowTitle(QStringLiteral("General Information"));
    auto* groups = new QHBoxLayout;
    for (int s = 0; s < 4; ++s) groups->addWidget(make_group(s));

    auto* collision = new QGroupBox(QStringLiteral("Poly-Accurate Collision Data"), this);
    collision_ = new QComboBox(collision);
    set_id(collision_, 1181);
    for (const char* item : kCollisionItems) collision_->addItem(QString::fromLatin1(item));
    int source = 0;
    for (int s = 0; s < 4; ++s)
      if (doc_.slot(s).polycollision != 0) {
        source = s;
        break;
      }
    collision_->setCurrentIndex(source);
    auto* collision_label = new QLabel(QStringLiteral("&Collision data uses"), collision);
    collision_label->setBuddy(collision_);
    auto* collision_row = new QHBoxLayout(collision);
    collision_row->addWidget(collision_label);
    collision_row->addWidget(collision_, 1);
    connect(collision_, &QComboBox::currentIndexChanged, this, [this](int index) { use_for_collision(index); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(collision);
    layout->addWidget(add_ok_cancel(this));
  }

  void accept() override {
    for (int s = 0; s < 4; ++s) {
      // A slot without a model shows nothing and takes nothing.
      if (!group_[s]->isEnabled()) continue;
      Model& m = doc_.slot(s);
      const Slot& c = controls_[static_cast<std::size_t>(s)];
      const int function = selected_value(c.render_function);
      if (function >= 0) m.render_function = named_text(kRenderFunctions, function);
      m.threshold = read_float_field(c.threshold);
      m.attributes = c.skinned->isChecked() ? (m.attributes | kModelSkinned) : (m.attributes & ~kModelSkinned);
      m.fakeskin_z = c.fakeskin->isChecked() ? 1 : 0;
      if (c.pm_enable != nullptr) {
        m.pm_enable = c.pm_enable->isChecked() ? 1 : 0;
        m.pm_polythresh = read_int_field(c.pm_polys);
      }
    }
    QDialog::accept();
  }

 private:
  struct Slot {
    QLineEdit* threshold = nullptr;
    QComboBox* render_function = nullptr;
    QCheckBox* skinned = nullptr;
    QCheckBox* fakeskin = nullptr;
    QCheckBox* pm_enable = nullptr;
    QLineEdit* pm_polys = nullptr;
  };

  static QLineEdit* read_only(int id, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    set_id(edit, id);
    edit->setReadOnly(true);
    return edit;
  }

  QGroupBox* make_group(int s) {
    const SlotIds& ids = kSlotIds[static_cast<std::size_t>(s)];
    const Model& m = doc_.slot(s);
    const bool loaded = !m.name.empty();
    Slot& c = controls_[static_cast<std::size_t>(s)];
    auto* group = new QGroupBox(QString::fromLatin1(kGroupTitles[static_cast<std::size_t>(s)]), this);
    group_[s] = group;
    auto* grid = new QGridLayout(group);
    int row = 0;
    auto add_row = [&](const QString& label, QWidget* field) {
      auto* l = new QLabel(label, group);
      l->setBuddy(field);
      grid->addWidget(l, row, 0);
      grid->addWidget(field, row, 1);
      ++row;
    };
    QLineEdit* name = read_only(ids.name, group);
    QLineEdit* polys = read_only(ids.polys, group);
    QLineEdit* verts = read_only(ids.verts, group);
    add_row(QStringLiteral("Model &Name"), name);
    add_row(QStringLiteral("&Polys"), polys);
    add_row(QStringLiteral("&Verts"), verts);
    c.render_function = new QComboBox(group);
    set_id(c.render_function, ids.render_function);
    fill_named_values(c.render_function, kRenderFunctions);
    add_row(QStringLiteral("&Rendering Function"), c.render_function);
    c.threshold = new QLineEdit(group);
    set_id(c.threshold, ids.threshold);
    add_row(QStringLiteral("&Threshold"), c.threshold);
    c.skinned = new QCheckBox(QStringLiteral("&Skinned Mesh"), group);
    set_id(c.skinned, ids.skinned);
    grid->addWidget(c.skinned, row++, 0, 1, 2);
    c.fakeskin = new QCheckBox(QStringLiteral("&Auto Calc Height->Weight"), group);
    set_id(c.fakeskin, ids.fakeskin);
    grid->addWidget(c.fakeskin, row++, 0, 1, 2);
    if (ids.pm_enable != 0) {
      c.pm_enable = new QCheckBox(QStringLiteral("Pro&gressive Mesh"), group);
      set_id(c.pm_enable, ids.pm_enable);
      grid->addWidget(c.pm_enable, row++, 0, 1, 2);
      c.pm_polys = new QLineEdit(group);
      set_id(c.pm_polys, ids.pm_polys);
      add_row(QStringLiteral("N&ew Polys"), c.pm_polys);
      connect(c.pm_enable, &QCheckBox::toggled, c.pm_polys, &QWidget::setEnabled);
    }
    grid->setRowStretch(row, 1);

    if (loaded) {
      name->setText(qs(m.name.view()));
      polys->setText(QString::number(polygon_sum(m)));
      verts->setText(QString::number(vertex_sum(m)));
      const int function = named_value(kRenderFunctions, m.render_function.view());
      // A code the list does not hold stays as it is unless another is chosen.
      if (function >= 0) select_by_value(c.render_function, function);
      else c.render_function->setCurrentIndex(-1);
      c.threshold->setText(qs(tools::fixed_number(static_cast<double>(m.threshold), 0, 1)));
      c.skinned->setChecked((m.attributes & kModelSkinned) != 0);
      c.fakeskin->setChecked(m.fakeskin_z != 0);
      if (c.pm_enable != nullptr) {
        c.pm_enable->setChecked(m.pm_enable != 0);
        c.pm_polys->setText(QString::number(m.pm_polythresh));
        c.pm_polys->setEnabled(m.pm_enable != 0);
      }
    } else {
      c.render_function->setCurrentIndex(-1);
      if (c.pm_polys != nullptr) c.pm_polys->setEnabled(false);
      group->setEnabled(false);
    }
    return group;
  }

  void use_for_collision(int index) {
    if (index < 0 || index > 3) return;
    for (int s = 0; s < 4; ++s) doc_.slot(s).polycollision = s == index ? 1 : 0;
    if (context_.checkpoint) context_.checkpoint(QStringLiteral("Collision data uses"));
  }

  Document& doc_;
  EditorContext& context_;
  std::array<Slot, 4> controls_{};
  QGroupBox* group_[4] = {};
  QComboBox* collision_ = nullptr;
};

}  // namespace

int run_general_info(QWidget* owner, Document& doc, EditorContext& context) {
  GeneralInfoDialog dialog(owner, doc, context);
  return context.run_dialog(dialog) == QDialog::Accepted ? 1 : 0;
}

}  // namespace orvo::gui
