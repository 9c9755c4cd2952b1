// "New Material(s)" and "Advanced Material Properties".
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialog_fields.h"
#include "orvo/gui/material_dialog.h"
#include "orvo/gui/named_value_combo.h"
#include "orvo/gui/qt_text.h"
#include "orvo/model/named_values.h"

namespace orvo::gui {

namespace {

QLineEdit* line_edit(QWidget* parent, int id, int max_length = 32767) {
  auto* e = new QLineEdit(parent);
  set_id(e, id);
  e->setMaxLength(max_length);
  return e;
}

template <typename T>
T* child(const QWidget* dialog, int id) {
  return dialog->findChild<T*>(QStringLiteral("id%1").arg(id));
}

}  // namespace

// ---------------------------------------------------------------------------

NewMaterialsDialog::NewMaterialsDialog(NewMaterialSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), start_(settings.start) {
  setWindowTitle(QStringLiteral("New Material(s)"));
  auto* form = new QFormLayout;
  QLineEdit* name = line_edit(this, 4000, static_cast<int>(kMaxNewMaterialName));
  QLineEdit* description = line_edit(this, 4004, static_cast<int>(kMaxNewMaterialDescription));
  QLineEdit* repeat = line_edit(this, 4001);
  QLineEdit* start = line_edit(this, 4006);
  name->setText(qs(settings.name));
  description->setText(qs(settings.description));
  repeat->setText(QString::number(settings.repeat));
  form->addRow(QStringLiteral("Material &Name"), name);
  form->addRow(QStringLiteral("&Description"), description);
  form->addRow(QStringLiteral("&Repeat x"), repeat);
  form->addRow(QStringLiteral("&Start Value"), start);

  auto* type_box = new QGroupBox(QStringLiteral("Repeat Type"), this);
  auto* numbers = new QRadioButton(QStringLiteral("N&umbers"), type_box);
  auto* letters = new QRadioButton(QStringLiteral("&Letters"), type_box);
  set_id(numbers, 4002);
  set_id(letters, 4003);
  auto* type_layout = new QHBoxLayout(type_box);
  type_layout->addWidget(numbers);
  type_layout->addWidget(letters);
  (settings.repeat_type == 1 ? letters : numbers)->setChecked(true);

  auto* ext_box = new QGroupBox(QStringLiteral("Extension"), this);
  auto* pcx = new QRadioButton(QStringLiteral(".&pcx"), ext_box);
  auto* tga = new QRadioButton(QStringLiteral(".&tga"), ext_box);
  set_id(pcx, 4007);
  set_id(tga, 4008);
  auto* ext_layout = new QHBoxLayout(ext_box);
  ext_layout->addWidget(pcx);
  ext_layout->addWidget(tga);
  (settings.extension == 1 ? tga : pcx)->setChecked(true);

  auto* note = new QLabel(
      QStringLiteral("NOTE: If \"Repeat x\" is 0, the Material Name will be added as is.  However, if the repeat "
                     "value is more than 1, then a number/letter will automatically be added to the Material Name "
                     "and Description for each new material, starting from the value in Start Value."),
      this);
  note->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  auto* radios = new QHBoxLayout;
  radios->addWidget(type_box);
  radios->addWidget(ext_box);
  layout->addLayout(radios);
  layout->addWidget(note);
  layout->addWidget(add_ok_cancel(this));

  show_start();
  // The start value keeps its meaning when the form it is shown in changes.
  connect(letters, &QRadioButton::toggled, this, [this](bool) { show_start(); });
  connect(start, &QLineEdit::textEdited, this, [this] { start_ = read_start(); });
}

void NewMaterialsDialog::show_start() {
  auto* edit = child<QLineEdit>(this, 4006);
  if (child<QRadioButton>(this, 4003)->isChecked() && start_ >= 0 && start_ < 26)
    edit->setText(QString(QChar('A' + start_)));
  else edit->setText(QString::number(start_));
}

int NewMaterialsDialog::read_start() const {
  const auto* edit = child<QLineEdit>(this, 4006);
  if (child<QRadioButton>(this, 4003)->isChecked()) {
    const QString t = edit->text().trimmed().toUpper();
    if (!t.isEmpty() && t[0] >= QChar('A') && t[0] <= QChar('Z')) return t[0].unicode() - 'A';
  }
  return read_int_field(edit);
}

void NewMaterialsDialog::accept() {
  settings_.name = read_path_field(child<QLineEdit>(this, 4000), kMaxNewMaterialName);
  settings_.description = read_path_field(child<QLineEdit>(this, 4004), kMaxNewMaterialDescription);
  settings_.repeat = read_int_field(child<QLineEdit>(this, 4001));
  settings_.repeat_type = child<QRadioButton>(this, 4003)->isChecked() ? 1 : 0;
  settings_.extension = child<QRadioButton>(this, 4008)->isChecked() ? 1 : 0;
  settings_.start = read_start();
  QDialog::accept();
}

// ---------------------------------------------------------------------------

namespace {

// The reflection colour's "Set" button, painted in the colour while a
// reflect type is chosen.
class ReflectColourButton : public QPushButton {
 public:
  ReflectColourButton(const ModelMaterial& m, QWidget* parent) : QPushButton(QStringLiteral("S&et"), parent), m_(m) {}

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPushButton::paintEvent(e);
    if (m_.reflect_type == 0) return;
    QPainter p(this);
    const QRect box = rect().adjusted(4, 4, -4, -4);
    p.fillRect(box, Qt::black);
    p.fillRect(box.adjusted(1, 1, -1, -1), QColor(std::clamp(m_.reflect_r, 0, 255), std::clamp(m_.reflect_g, 0, 255),
                                                  std::clamp(m_.reflect_b, 0, 255)));
  }

 private:
  const ModelMaterial& m_;
};

QString reflect_text(const ModelMaterial& m) {
  return QStringLiteral("%1,%2,%3").arg(m.reflect_r).arg(m.reflect_g).arg(m.reflect_b);
}

}  // namespace

AdvancedMaterialDialog::AdvancedMaterialDialog(const ModelMaterial& material, bool skinned, EditorContext& context,
                                               QWidget* parent)
    : QDialog(parent), copy_(material), context_(context) {
  setWindowTitle(QStringLiteral("Advanced Material Properties"));
  auto combo = [this](int id, const NamedValue* table, int value) {
    auto* box = new QComboBox(this);
    set_id(box, id);
    fill_named_values(box, table);
    select_by_value(box, value);
    return box;
  };
  QComboBox* reflect = combo(1056, kReflectTypes, copy_.reflect_type);
  auto* colour = new QLabel(reflect_text(copy_), this);
  set_id(colour, 1165);
  auto* set = new ReflectColourButton(copy_, this);
  set_id(set, 1166);
  auto* modulate = new QCheckBox(QStringLiteral("&Modulate with Stage1 Alpha"), this);
  set_id(modulate, 1057);
  modulate->setChecked(copy_.reflect_alpha != 0);
  QComboBox* plane = combo(1058, kActionPlaneTypes, copy_.actionplane_type);
  QComboBox* projector = combo(1059, kProjectorTypes, copy_.projector_type);
  QLineEdit* yaw = line_edit(this, 1173);
  QLineEdit* pitch = line_edit(this, 1174);
  yaw->setText(QString::number(copy_.projector_yaw));
  pitch->setText(QString::number(copy_.projector_pitch));
  QComboBox* shader = combo(1193, skinned ? kShaderTypesSkinned : kShaderTypesRigid, copy_.shader_type);
  auto* description = new QLabel(this);
  set_id(description, 1194);
  description->setWordWrap(true);
  description->setMinimumHeight(description->fontMetrics().height() * 7);
  description->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  auto* reflect_box = new QGroupBox(QStringLiteral("General Reflectance (Expensive)"), this);
  auto* rl = new QGridLayout(reflect_box);
  rl->addWidget(reflect, 0, 0, 1, 3);
  rl->addWidget(new QLabel(QStringLiteral("Color"), reflect_box), 1, 0);
  rl->addWidget(colour, 1, 1);
  rl->addWidget(set, 1, 2);
  rl->addWidget(modulate, 2, 0, 1, 3);

  auto* plane_box = new QGroupBox(QStringLiteral("Surface Plane Effect"), this);
  (new QVBoxLayout(plane_box))->addWidget(plane);

  auto* projector_box = new QGroupBox(QStringLiteral("Light Projector Plane"), this);
  auto* pl = new QFormLayout(projector_box);
  pl->addRow(projector);
  pl->addRow(QStringLiteral("Rotate Light - &Yaw"), yaw);
  pl->addRow(QStringLiteral("Rotate Light - &Pitch"), pitch);

  auto* shader_box = new QGroupBox(QStringLiteral("Select Shader  (Bump Mapping etc.)"), this);
  auto* sl = new QVBoxLayout(shader_box);
  sl->addWidget(shader);
  sl->addWidget(description);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(reflect_box);
  layout->addWidget(plane_box);
  layout->addWidget(projector_box);
  layout->addWidget(shader_box);
  layout->addWidget(add_ok_cancel(this));

  auto show_description = [this, description] {
    description->setText(
        qs(shader_description(copy_.shader_type)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  };
  show_description();
  connect(reflect, &QComboBox::currentIndexChanged, this, [this, reflect, set] {
    copy_.reflect_type = selected_value(reflect);
    update_enabling();
    set->update();
  });
  connect(modulate, &QCheckBox::toggled, this, [this](bool on) { copy_.reflect_alpha = on ? 1 : 0; });
  connect(plane, &QComboBox::currentIndexChanged, this,
          [this, plane] { copy_.actionplane_type = selected_value(plane); });
  connect(projector, &QComboBox::currentIndexChanged, this, [this, projector] {
    copy_.projector_type = selected_value(projector);
    update_enabling();
  });
  connect(shader, &QComboBox::currentIndexChanged, this, [this, shader, show_description] {
    copy_.shader_type = selected_value(shader);
    show_description();
  });
  connect(set, &QPushButton::clicked, this, [this, colour, set] {
    if (!context_.choose_colour) return;
    const std::optional<QColor> c =
        context_.choose_colour(this, QColor(std::clamp(copy_.reflect_r, 0, 255), std::clamp(copy_.reflect_g, 0, 255),
                                            std::clamp(copy_.reflect_b, 0, 255)));
    if (!c) return;
    copy_.reflect_r = c->red();
    copy_.reflect_g = c->green();
    copy_.reflect_b = c->blue();
    colour->setText(reflect_text(copy_));
    set->update();
  });
  update_enabling();
  // The shader description wraps to whatever width the dialog has; the
  // dialog is at least as wide as its title needs beside the title bar's
  // icon and buttons.
  QFont title_font = font();
  title_font.setBold(true);
  setMinimumWidth(QFontMetrics(title_font).horizontalAdvance(windowTitle()) + 8 * fontMetrics().height());
}

void AdvancedMaterialDialog::update_enabling() {
  const bool reflect = copy_.reflect_type != 0;
  child<QWidget>(this, 1166)->setEnabled(reflect);
  child<QWidget>(this, 1057)->setEnabled(reflect);
  const bool projector = copy_.projector_type != 0;
  child<QWidget>(this, 1173)->setEnabled(projector);
  child<QWidget>(this, 1174)->setEnabled(projector);
}

void AdvancedMaterialDialog::accept() {
  copy_.projector_yaw = read_int_field(child<QLineEdit>(this, 1173));
  copy_.projector_pitch = read_int_field(child<QLineEdit>(this, 1174));
  QDialog::accept();
}

}  // namespace orvo::gui
