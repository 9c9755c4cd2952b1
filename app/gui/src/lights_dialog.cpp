// "Light Sources": the model's lights and its ambient and directional
// light generators, edited on a copy.

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <vector>

#include "dialog_fields.h"
#include "orvo/app/editor_texts.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/qt_text.h"
#include "tools/base/text.h"

namespace orvo::gui {

ColourStrip::ColourStrip(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ColourStrip::set_generator(const ColorGenerator* g) {
  generator_ = g;
  update();
}

void ColourStrip::paintEvent(QPaintEvent*) {
  if (generator_ == nullptr) return;
  QPainter painter(this);
  const int w = width();
  for (int x = 0; x < w; ++x) {
    const std::optional<std::array<int, 3>> c = colour_strip_at(*generator_, x, w);
    if (!c) return;
    painter.fillRect(x, 0, 1, height(), QColor((*c)[0], (*c)[1], (*c)[2]));
  }
}

namespace {

// The imported colour component (0 to 1) as 0 .. 255 ("%i" of c × 255).
QString component(float c) {
  const float v = c * 255.0f;
  if (!std::isfinite(v) || std::fabs(v) >= 2147483647.0f) return QStringLiteral("0");
  return QString::number(static_cast<int>(v));
}

QString real2(float v) {
  return qs(tools::fixed_number(static_cast<double>(v), 1, 2));
}

class LightsDialog : public QDialog {
 public:
  LightsDialog(QWidget* owner, const Model& model, EditorContext& context)
      : QDialog(owner),
        context_(context),
        registry_(this),
        lights_(model.lights),
        ambient_(model.ambient),
        direct_(model.direct) {
    setWindowTitle(QStringLiteral("Light Sources"));
    if (context_.registers != nullptr) context_.registers->add_model_names(model);

    auto* note = new QLabel(QStringLiteral("These settings are for building segments only"), this);

    list_ = new QListWidget(this);
    set_id(list_, 1058);
    for (const ModelLight& l : lights_) list_->addItem(qs(l.name.view()));
    auto* list_label = new QLabel(QStringLiteral("&Lights"), this);
    list_label->setBuddy(list_);

    auto* max = new QGroupBox(QStringLiteral("3DS Max Settings"), this);
    auto* max_grid = new QGridLayout(max);
    auto* colour_row = new QHBoxLayout;
    for (std::size_t c = 0; c < 3; ++c) {
      colour_[c] = read_only(1061 + static_cast<int>(c), max);
      colour_row->addWidget(colour_[c]);
    }
    auto* colour_label = new QLabel(QStringLiteral("&Color"), max);
    colour_label->setBuddy(colour_[0]);
    max_grid->addWidget(colour_label, 0, 0);
    max_grid->addLayout(colour_row, 0, 1);
    intensity_ = read_only(1060, max);
    atten_start_ = read_only(1064, max);
    atten_end_ = read_only(1065, max);
    add_labelled(max_grid, 1, QStringLiteral("&Intensity"), intensity_);
    add_labelled(max_grid, 2, QStringLiteral("Attenuation &Start"), atten_start_);
    add_labelled(max_grid, 3, QStringLiteral("Attenuation &End"), atten_end_);

    override_ = make_swatch(1205);
    override_strip_ = make_strip(1206);
    ambient_swatch_ = make_swatch(1204);
    ambient_strip_ = make_strip(1207);
    direct_swatch_ = make_swatch(1208);
    direct_strip_ = make_strip(1209);
    // The model's light generators are shown, not edited here.
    ambient_swatch_->setEnabled(false);
    direct_swatch_->setEnabled(false);
    ambient_swatch_->bind(&ambient_);
    direct_swatch_->bind(&direct_);
    ambient_strip_->set_generator(&ambient_);
    direct_strip_->set_generator(&direct_);
    connect(override_, &QPushButton::clicked, this, [this] {
      if (override_->colour() == nullptr) return;
      if (edit_colour_generator(this, override_->mapToGlobal(QPoint(0, 0)), *override_->colour(), context_))
        refresh_faces();
    });

    auto* override_box = swatch_group(QStringLiteral("Color &Override"), override_, override_strip_);
    auto* ambient_box = swatch_group(QStringLiteral("Ambient Light"), ambient_swatch_, ambient_strip_);
    auto* direct_box = swatch_group(QStringLiteral("Directional Light"), direct_swatch_, direct_strip_);
    // Created after the swatches, so the tab order runs as laid out.
    yaw_ = new QLineEdit(direct_box);
    set_id(yaw_, 1070);
    pitch_ = new QLineEdit(direct_box);
    set_id(pitch_, 1071);
    auto* angles = new QGridLayout;
    add_labelled(angles, 0, QStringLiteral("&Yaw"), yaw_);
    add_labelled(angles, 1, QStringLiteral("&Pitch"), pitch_);
    static_cast<QVBoxLayout*>(direct_box->layout())->addLayout(angles);

    connect(list_, &QListWidget::currentRowChanged, this, [this](int) { show_light(); });
    connect(&registry_, &SwatchRegistry::pasted, this, [this] { refresh_faces(); });

    auto* left = new QVBoxLayout;
    left->addWidget(note);
    left->addWidget(list_label);
    left->addWidget(list_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(max);
    right->addWidget(override_box);
    right->addWidget(ambient_box);
    right->addWidget(direct_box);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(add_ok_cancel(this));

    if (!lights_.empty()) list_->setCurrentRow(0);
    show_light();
  }

  void showEvent(QShowEvent* e) override {
    registry_.activate();
    QDialog::showEvent(e);
  }

  void write_back(Model& model) const {
    model.lights = lights_;
    model.ambient = ambient_;
    model.direct = direct_;
  }

  void release() {
    registry_.clear();
    for (GeneratorSwatch* s : {override_, ambient_swatch_, direct_swatch_}) s->unbind();
  }

 private:
  static QLineEdit* read_only(int id, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    set_id(edit, id);
    edit->setReadOnly(true);
    return edit;
  }

  GeneratorSwatch* make_swatch(int id) {
    auto* s = new GeneratorSwatch(this);
    set_id(s, id);
    s->setAutoDefault(false);
    return s;
  }

  ColourStrip* make_strip(int id) {
    auto* s = new ColourStrip(this);
    set_id(s, id);
    return s;
  }

  QGroupBox* swatch_group(const QString& title, GeneratorSwatch* swatch, ColourStrip* strip) {
    auto* box = new QGroupBox(title, this);
    swatch->setParent(box);
    strip->setParent(box);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(swatch);
    layout->addWidget(strip);
    return box;
  }

  // Fills the imported settings of the selected light and points the
  // override swatch and strip at its colour generator.
  void show_light() {
    const int i = list_->currentRow();
    registry_.clear();
    if (i >= 0 && i < static_cast<int>(lights_.size())) {
      ModelLight& l = lights_[static_cast<std::size_t>(i)];
      colour_[0]->setText(component(l.r));
      colour_[1]->setText(component(l.g));
      colour_[2]->setText(component(l.b));
      intensity_->setText(real2(l.intensity));
      atten_start_->setText(real2(l.atten_start));
      atten_end_->setText(real2(l.atten_end));
      override_->bind(&l.colorgen);
      override_strip_->set_generator(&l.colorgen);
      override_->setEnabled(true);
    } else {
      for (QLineEdit* e : {colour_[0], colour_[1], colour_[2], intensity_, atten_start_, atten_end_}) e->clear();
      override_->unbind();
      override_strip_->set_generator(nullptr);
      override_->setEnabled(false);
    }
    for (GeneratorSwatch* s : {override_, ambient_swatch_, direct_swatch_})
      if (s->bound()) registry_.add(s);
    refresh_faces();
  }

  void refresh_faces() {
    for (GeneratorSwatch* s : {override_, ambient_swatch_, direct_swatch_})
      s->setText(s->colour() != nullptr ? swatch_face(colour_summary(*s->colour())) : QString());
    for (ColourStrip* s : {override_strip_, ambient_strip_, direct_strip_}) s->update();
    yaw_->setEnabled(direct_.style != 0);
    pitch_->setEnabled(direct_.style != 0);
  }

  EditorContext& context_;
  SwatchRegistry registry_;
  std::vector<ModelLight> lights_;
  ColorGenerator ambient_;
  ColorGenerator direct_;
  QListWidget* list_ = nullptr;
  std::array<QLineEdit*, 3> colour_{};
  QLineEdit* intensity_ = nullptr;
  QLineEdit* atten_start_ = nullptr;
  QLineEdit* atten_end_ = nullptr;
  GeneratorSwatch* override_ = nullptr;
  GeneratorSwatch* ambient_swatch_ = nullptr;
  GeneratorSwatch* direct_swatch_ = nullptr;
  ColourStrip* override_strip_ = nullptr;
  ColourStrip* ambient_strip_ = nullptr;
  ColourStrip* direct_strip_ = nullptr;
  QLineEdit* yaw_ = nullptr;
  QLineEdit* pitch_ = nullptr;
};

}  // namespace

int run_lights(QWidget* owner, Model& model, EditorContext& context) {
  LightsDialog dialog(owner, model, context);
  const bool ok = context.run_dialog(dialog) == QDialog::Accepted;
  if (ok) dialog.write_back(model);
  dialog.release();
  return ok ? 1 : 0;
}

}  // namespace orvo::gui
