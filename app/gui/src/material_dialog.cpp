// "Edit Materials": the controls of the material on show, its generator
// swatches, the animated picture of its texture and the list of the table.
#include "orvo/gui/material_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_fields.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/named_value_combo.h"
#include "orvo/gui/qt_text.h"
#include "orvo/image/image.h"
#include "orvo/image/texture_file.h"
#include "orvo/model/generators.h"
#include "orvo/model/named_values.h"

namespace orvo::gui {

namespace {

// Generators of the picture read no registers of the game: all zero.
const ControlRegisterValues& no_registers() {
  static const ControlRegisterValues regs;
  return regs;
}

// The material list's lines, drawn in columns at fixed tab stops.
class TabStopDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    initStyleOption(&o, index);
    const QString text = o.text;
    o.text.clear();
    o.widget->style()->drawControl(QStyle::CE_ItemViewItem, &o, p, o.widget);
    const QStringList columns = text.split(QLatin1Char('\t'));
    const int stops[] = {0, 150, 170};
    p->save();
    p->setPen(o.state & QStyle::State_Selected ? o.palette.highlightedText().color() : o.palette.text().color());
    for (int i = 0; i < columns.size(); ++i) {
      const int x = i < 3 ? stops[i] : stops[2] + 20 * (i - 2);
      p->drawText(o.rect.adjusted(x + 2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, columns[i]);
    }
    p->restore();
  }
};

// The map of a material as a picture, read once.
QImage read_picture(const std::string& path) {
  const std::optional<std::string> found = find_texture_file({}, path);
  const std::string& file = found ? *found : path;
  tools::Result<Image> r = is_tga_name(path) ? read_tga(file) : read_pcx(file);
  if (!r) return {};
  Image& image = *r;
  if (!expand_palette(image, file)) return {};
  QImage out(image.width, image.height, QImage::Format_ARGB32);
  for (int y = 0; y < image.height; ++y)
    std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width, image.width,
                reinterpret_cast<uint32_t*>(out.scanLine(y)));
  return out;
}

QColor generator_colour(const ColorGenerator& g, uint32_t t) {
  const GeneratorColour c = colour_output(pack_colour_generator(g), t, no_registers());
  return QColor::fromRgbF(c.r, c.g, c.b);
}

// Picture 2001: the colour map moved by the texture matrix, tinted by the
// colour generator; the solid colour when there is no map.
class MaterialPicture : public QWidget {
 public:
  explicit MaterialPicture(QWidget* parent) : QWidget(parent) { setMinimumSize(128, 128); }
  void show_material(const ModelMaterial* m, QImage map) {
    m_ = m;
    map_ = std::move(map);
    update();
  }
  void set_time(uint32_t t) {
    t_ = t;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect box = rect().adjusted(1, 1, -1, -1);
    p.fillRect(rect(), Qt::black);
    if (m_ == nullptr) return;
    const QColor tint = generator_colour(m_->rgbgen, t_);
    if (map_.isNull()) {
      const QColor solid(m_->color_green[0], m_->color_green[1], m_->color_green[2]);
      p.fillRect(box, QColor::fromRgbF(solid.redF() * tint.redF(), solid.greenF() * tint.greenF(),
                                       solid.blueF() * tint.blueF()));
      return;
    }
    const TextureMatrix m =
        texture_matrix(pack_generator(m_->mapfunc_u), pack_generator(m_->mapfunc_v), t_, no_registers());
    // Box pixels to texture coordinates, through the matrix, to texels;
    // the brush needs the way back.
    const QTransform to_texels = QTransform::fromScale(1.0 / box.width(), 1.0 / box.height()) *
                                 QTransform(m[0][0], m[0][1], m[1][0], m[1][1], m[2][0], m[2][1]) *
                                 QTransform::fromScale(map_.width(), map_.height());
    bool invertible = false;
    QTransform brush_transform = to_texels.inverted(&invertible);
    if (!invertible)
      brush_transform = QTransform::fromScale(box.width() / double(map_.width()), box.height() / double(map_.height()));
    QBrush brush(map_);
    brush.setTransform(brush_transform * QTransform::fromTranslate(box.left(), box.top()));
    p.fillRect(box, brush);
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.fillRect(box, tint);
  }

 private:
  const ModelMaterial* m_ = nullptr;
  QImage map_;
  uint32_t t_ = 0;
};

// Colour preview 1109: the colour generator's colour now (white when the
// generator is off).
class ColourPreview : public QWidget {
 public:
  explicit ColourPreview(QWidget* parent) : QWidget(parent) { setMinimumSize(32, 32); }
  void show_generator(const ColorGenerator* g) {
    g_ = g;
    update();
  }
  void set_time(uint32_t t) {
    t_ = t;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.fillRect(rect().adjusted(1, 1, -1, -1), g_ != nullptr ? generator_colour(*g_, t_) : QColor(Qt::white));
  }

 private:
  const ColorGenerator* g_ = nullptr;
  uint32_t t_ = 0;
};

// A text that word wrap may also break after a folder separator: a zero
// width space follows each.
QString breakable(QString text) {
  text.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
  text.replace(QLatin1Char('\\'), QStringLiteral("\\\u200B"));
  return text;
}

// render_attributes bits of the plain check boxes.
struct BitBox {
  int id;
  const char* text;
  int bit;
};
constexpr BitBox kDrawingBits[] = {
    {2011, "&2 Sided", kRenderTwoSided},
    {2024, "Don't &Draw", kRenderDontDraw},
    {1170, "Magic &Tree Light", kRenderMagicTreeLight},
    {1168, "Not &Reflectable", kRenderNotReflectable},
    {1171, "Less &Fog", kRenderLessFog},
};
constexpr BitBox kPhysicalBits[] = {
    {2055, "&Move Ignore", kPhysicalMoveIgnore},
    {2056, "&Backface Move Ignore", kPhysicalBackfaceMoveIgnore},
    {2062, "No &scarring", kPhysicalNoScarring},
};

void set_bit(int32_t& field, int bit, bool on) {
  field = on ? (field | bit) : (field & ~bit);
}

// The controls, each named after its id.
QLineEdit* make_edit(QWidget* parent, int id, int max_length = 32767) {
  auto* e = new QLineEdit(parent);
  set_id(e, id);
  e->setMaxLength(max_length);
  return e;
}
QCheckBox* make_check(QWidget* parent, int id, const char* text) {
  auto* c = new QCheckBox(QString::fromUtf8(text), parent);
  set_id(c, id);
  return c;
}
QComboBox* make_combo(QWidget* parent, int id, const NamedValue* table) {
  auto* c = new QComboBox(parent);
  set_id(c, id);
  fill_named_values(c, table);
  return c;
}
QPushButton* make_button(QWidget* parent, int id, const char* text) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  set_id(b, id);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

struct MaterialDialog::Parts {
  QListWidget* list = nullptr;
  MaterialPicture* picture = nullptr;
  ColourPreview* preview = nullptr;
  QLabel* texture_text = nullptr;
  QGroupBox* solids = nullptr;
  QGroupBox* drawing = nullptr;
  QGroupBox* stage2 = nullptr;
  std::vector<GeneratorSwatch*> swatch_list;
  SwatchRegistry* registry = nullptr;
  QTimer timer;
  QElapsedTimer clock;
  std::optional<NewMaterialSettings> own_settings;

  template <typename T>
  T* get(const QWidget* d, int id) const {
    return d->findChild<T*>(QStringLiteral("id%1").arg(id));
  }
};

MaterialDialog::MaterialDialog(Model& model, int selected, EditorContext& context, QWidget* parent)
    : QDialog(parent), model_(model), context_(context), parts_(std::make_unique<Parts>()) {
  setWindowTitle(QStringLiteral("Edit Materials"));
  parts_->registry = new SwatchRegistry(this);
  if (context_.registers != nullptr) {
    context_.registers->add_standard_names();
    context_.registers->add_model_names(model_);
  }
  build();
  fill_list();
  if (model_.num_materials <= 0) {
    selected = -1;
  } else if (selected < 0 || selected >= model_.num_materials) {
    selected = 0;
  }
  select(selected);
  parts_->registry->activate();
  parts_->clock.start();
  connect(&parts_->timer, &QTimer::timeout, this, [this] {
    const uint32_t t = generator_time(static_cast<uint64_t>(parts_->clock.elapsed()));
    parts_->picture->set_time(t);
    parts_->preview->set_time(t);
  });
  parts_->timer.start(40);
}

MaterialDialog::~MaterialDialog() = default;

SwatchRegistry& MaterialDialog::swatches() {
  return *parts_->registry;
}

ModelMaterial* MaterialDialog::first() {
  return shown_ >= 0 ? &model_.materials[static_cast<std::size_t>(shown_)] : nullptr;
}
ModelMaterial* MaterialDialog::second() {
  return two_stage_ ? &model_.materials[static_cast<std::size_t>(shown_) + 1] : nullptr;
}

// The dialog in three columns: the list with its buttons; the solids, the
// drawing, physical and animation attributes; the texture stages, the
// generators and the picture. The controls are made in the order the Tab
// key visits them.
void MaterialDialog::build() {
  QVBoxLayout* left = build_list_column();
  QVBoxLayout* middle = build_material_column();
  QVBoxLayout* right = build_texture_column();
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(middle);
  columns->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(add_ok_cancel(this));
  connect_controls();
}

GeneratorSwatch* MaterialDialog::add_swatch(int id) {
  auto* s = new GeneratorSwatch(this);
  set_id(s, id);
  s->setMinimumSize(150, 52);
  parts_->swatch_list.push_back(s);
  connect(s, &QPushButton::clicked, this, [this, id] {
    if (id == 1108) edit_advanced();
    else edit_generator(id);
  });
  return s;
}

QVBoxLayout* MaterialDialog::build_list_column() {
  Parts& p = *parts_;
  p.list = new QListWidget(this);
  set_id(p.list, 2000);
  p.list->setItemDelegate(new TabStopDelegate(p.list));
  p.list->setMinimumWidth(300);
  auto* description = make_edit(this, 2022);
  description->setReadOnly(true);
  auto* buttons = new QHBoxLayout;
  for (auto [id, text] : {std::pair{2044, "&New"}, {2045, "De&lete"}, {2048, "&Apply"}, {2069, "C &Z I"}})
    buttons->addWidget(make_button(this, id, text));
  auto* left = new QVBoxLayout;
  left->addWidget(p.list, 1);
  auto* desc_row = new QFormLayout;
  desc_row->addRow(QStringLiteral("Description"), description);
  left->addLayout(desc_row);
  left->addLayout(buttons);
  return left;
}

QVBoxLayout* MaterialDialog::build_material_column() {
  Parts& p = *parts_;
  p.solids = new QGroupBox(QStringLiteral("Solids"), this);
  auto* sl = new QFormLayout(p.solids);
  auto* rgb = new QHBoxLayout;
  for (int id : {2007, 2008, 2009}) rgb->addWidget(make_edit(this, id));
  sl->addRow(QStringLiteral("RGB"), rgb);
  sl->addRow(QStringLiteral("Alpha"), make_edit(this, 2058));

  p.drawing = new QGroupBox(QStringLiteral("Drawing Attributes"), this);
  auto* dl = new QGridLayout(p.drawing);
  dl->addWidget(make_combo(this, 1002, kColourTypes), 0, 0, 1, 2);
  dl->addWidget(make_combo(this, 1003, kAlphaTypes), 1, 0, 1, 2);
  dl->addWidget(new QLabel(QStringLiteral("Blending Mode"), p.drawing), 2, 0);
  dl->addWidget(make_combo(this, 1007, kBlendingModes), 2, 1);
  dl->addWidget(make_check(this, 2016, "Alpha &Test"), 3, 0);
  dl->addWidget(make_edit(this, 2023), 3, 1);
  dl->addWidget(make_check(this, 1020, "&Invert"), 4, 0);
  dl->addWidget(make_check(this, 2061, "Add &Game Diffuse"), 4, 1);
  int row = 5, col = 0;
  for (const BitBox& b : kDrawingBits) {
    dl->addWidget(make_check(this, b.id, b.text), row, col);
    if (++col == 2) col = 0, ++row;
  }
  dl->addWidget(make_check(this, 1169, "No Recei&ve DynLight"), row, col);

  auto* physical = new QGroupBox(QStringLiteral("Physical Attributes"), this);
  auto* pl = new QVBoxLayout(physical);
  pl->addWidget(make_combo(this, 1021, kPhysicalAttributes));
  for (const BitBox& b : kPhysicalBits) pl->addWidget(make_check(this, b.id, b.text));

  auto* animation = new QGroupBox(QStringLiteral("Animation"), this);
  auto* al = new QFormLayout(animation);
  al->addRow(QStringLiteral("Frames"), make_edit(this, 2046));
  al->addRow(QStringLiteral("Reg."), make_edit(this, 2043));
  al->addRow(QStringLiteral("Ticks"), make_edit(this, 2047));

  auto* middle = new QVBoxLayout;
  for (QGroupBox* box : {p.solids, p.drawing, physical, animation}) middle->addWidget(box);
  return middle;
}

QGroupBox* MaterialDialog::build_stage(const char* title, const StageIds& ids) {
  auto* box = new QGroupBox(QString::fromUtf8(title), this);
  auto* l = new QGridLayout(box);
  l->addWidget(new QLabel(QStringLiteral("Diffuse Map"), box), 0, 0);
  l->addWidget(make_edit(this, ids.map, 15), 0, 1);
  l->addWidget(make_check(this, ids.alpha_check, ids.alpha_text), 1, 0);
  l->addWidget(make_edit(this, ids.alpha_map, 15), 1, 1);
  l->addWidget(make_check(this, ids.clamp, ids.clamp_text), 2, 0, 1, 2);
  l->addWidget(new QLabel(QStringLiteral("U"), box), 3, 0);
  l->addWidget(add_swatch(ids.u), 3, 1);
  l->addWidget(new QLabel(QStringLiteral("V"), box), 4, 0);
  l->addWidget(add_swatch(ids.v), 4, 1);
  return box;
}

QVBoxLayout* MaterialDialog::build_texture_column() {
  Parts& p = *parts_;
  QGroupBox* stage1 = build_stage("Texture Stage 1", {"Alpha Ma&p", "&UV Clamp", 2002, 1008, 2005, 1004, 1099, 1100});
  p.stage2 = build_stage("Texture Stage 2", {"Alp&ha Map", "UV &Clamp", 2010, 1009, 2014, 1005, 1101, 1102});

  auto* generators = new QGroupBox(QStringLiteral("Generators"), this);
  auto* gl = new QGridLayout(generators);
  gl->addWidget(new QLabel(QStringLiteral("RGB Gen"), generators), 0, 0);
  gl->addWidget(add_swatch(1106), 0, 1);
  p.preview = new ColourPreview(this);
  set_id(p.preview, 1109);
  gl->addWidget(p.preview, 0, 2);
  gl->addWidget(new QLabel(QStringLiteral("Alpha"), generators), 1, 0);
  gl->addWidget(add_swatch(1107), 1, 1);
  gl->addWidget(new QLabel(QStringLiteral("Advanced Features"), generators), 2, 0);
  gl->addWidget(add_swatch(1108), 2, 1, 1, 2);

  p.picture = new MaterialPicture(this);
  set_id(p.picture, 2001);
  p.texture_text = new QLabel(this);
  set_id(p.texture_text, 2006);
  p.texture_text->setWordWrap(true);
  // Three lines are kept for the summary whatever it says, and its width
  // never widens the column: a long path or error wraps (at its folder
  // separators too) inside the column's width.
  p.texture_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  p.texture_text->setFixedHeight(3 * p.texture_text->fontMetrics().lineSpacing() + 2);
  p.texture_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  p.texture_text->setTextFormat(Qt::PlainText);

  auto* right = new QVBoxLayout;
  right->addWidget(stage1);
  right->addWidget(p.stage2);
  right->addWidget(generators);
  auto* picture_row = new QHBoxLayout;
  picture_row->addWidget(p.picture);
  right->addLayout(picture_row);
  right->addWidget(p.texture_text);
  return right;
}

void MaterialDialog::connect_controls() {
  Parts& p = *parts_;
  connect(p.list, &QListWidget::currentRowChanged, this, [this](int line) {
    if (filling_ || line == selected_) return;
    read_controls();
    checkpoint(QStringLiteral("Edit Materials"));
    select(line);
  });
  for (int id : {1003, 2016, 1008, 1009})
    if (auto* c = p.get<QComboBox>(this, id))
      connect(c, &QComboBox::currentIndexChanged, this, [this] { update_enabling(); });
    else connect(p.get<QCheckBox>(this, id), &QCheckBox::toggled, this, [this] { update_enabling(); });
  connect(p.get<QCheckBox>(this, 2016), &QCheckBox::toggled, this, [this, &p](bool on) {
    if (filling_) return;
    // The alpha test's value shows only while the test is on.
    const ModelMaterial* m = first();
    p.get<QLineEdit>(this, 2023)->setText(on && m != nullptr ? QString::number(m->alpha_test) : QString());
  });
  auto clicked = [this, &p](int id, auto handler) {
    connect(p.get<QPushButton>(this, id), &QPushButton::clicked, this, handler);
  };
  clicked(2048, [this] {  // Apply
    read_controls();
    show_material();
    checkpoint(QStringLiteral("Apply"));
  });
  clicked(2044, [this] { on_new(); });
  clicked(2045, [this] { on_delete(); });
  clicked(2069, [this] {  // C Z I
    if (context_.zero_ignore_alpha) context_.zero_ignore_alpha();
  });
  connect(p.registry, &SwatchRegistry::pasted, this, [this](const QString& text) {
    refresh_faces();
    show_material();
    checkpoint(text);
  });
}

void MaterialDialog::fill_list() {
  filling_ = true;
  parts_->list->clear();
  for (int i = 0; i < model_.num_materials; ++i)
    parts_->list->addItem(qs(material_list_line(model_.materials[static_cast<std::size_t>(i)])));
  filling_ = false;
}

void MaterialDialog::select(int index) {
  selected_ = index;
  shown_ = index >= 0 ? first_stage_of(model_, index) : -1;
  two_stage_ = shown_ >= 0 && is_two_stage(model_, shown_);
  filling_ = true;
  parts_->list->setCurrentRow(index);
  filling_ = false;
  show_material();
}

void MaterialDialog::show_material() {
  Parts& p = *parts_;
  filling_ = true;
  auto set_text = [this, &p](int id, const QString& text) { p.get<QLineEdit>(this, id)->setText(text); };
  auto set_check = [this, &p](int id, bool on) { p.get<QCheckBox>(this, id)->setChecked(on); };
  auto set_combo = [this, &p](int id, int value) { select_by_value(p.get<QComboBox>(this, id), value); };
  const ModelMaterial empty;
  const ModelMaterial& m = first() != nullptr ? *first() : empty;
  const int render = m.render_attributes;
  set_text(2022, qs(m.description.view()));
  set_combo(1002, m.color_type);
  set_combo(1003, m.alpha_type);
  set_combo(1007, m.blending_mode);
  set_text(2007, QString::number(m.color_green[0]));
  set_text(2008, QString::number(m.color_green[1]));
  set_text(2009, QString::number(m.color_green[2]));
  set_text(2058, QString::number(m.transparency));
  set_check(2016, (render & kRenderAlphaTest) != 0);
  set_text(2023, (render & kRenderAlphaTest) != 0 ? QString::number(m.alpha_test) : QString());
  set_check(1020, (render & kRenderAlphaTestInvert) != 0);
  set_check(2061, (render & kRenderNoGameDiffuse) == 0);
  for (const BitBox& b : kDrawingBits) set_check(b.id, (render & b.bit) != 0);
  set_check(1169, m.projector_no_receive != 0);
  set_combo(1021, surface_kind_value(m.physical_attributes));
  for (const BitBox& b : kPhysicalBits) set_check(b.id, (m.physical_attributes & b.bit) != 0);
  set_text(2046, QString::number(m.anim_frames));
  set_text(2043, QString::number(m.anim_sequence));
  set_text(2047, QString::number(m.anim_time));
  set_text(2002, qs(m.green_texture.view()));
  set_check(1008, m.use_alpha_pcx != 0);
  set_text(2005, qs(m.alpha_texture.view()));
  set_check(1004, (render & kRenderUvClamp) != 0);
  const ModelMaterial* s = second();
  set_text(2010, s != nullptr ? qs(s->green_texture.view()) : QString());
  set_check(1009, s != nullptr && s->use_alpha_pcx != 0);
  set_text(2014, s != nullptr ? qs(s->alpha_texture.view()) : QString());
  set_check(1005, s != nullptr && (s->render_attributes & kRenderUvClamp) != 0);

  // The count of the run-time data is not kept: the faces that use the
  // material stand for it.
  auto* magic = p.get<QCheckBox>(this, 1170);
  if (shown_ >= 0 && selected_ == shown_) {
    long faces = 0;
    for (const SubObject& so : model_.subobjects)
      faces += std::count_if(so.faces.begin(), so.faces.end(), [this](const Face& f) { return f.material == shown_; });
    magic->setText(QStringLiteral("Magic &Tree Light (%1)").arg(faces));
  } else {
    magic->setText(QStringLiteral("Magic &Tree Light"));
  }

  bind_swatches();
  refresh_faces();
  const std::string path = m.color_type == 2 ? map_path(context_.texture_folder, m.green_texture.view()) : "";
  p.picture->show_material(first(), path.empty() ? QImage() : read_picture(path));
  p.preview->show_generator(first() != nullptr ? &first()->rgbgen : nullptr);
  const QString summary = first() != nullptr ? qs(texture_summary(m, context_.texture_folder)) : QString();
  p.texture_text->setText(breakable(summary));
  p.texture_text->setToolTip(summary);
  filling_ = false;
  update_enabling();
}

void MaterialDialog::bind_swatches() {
  Parts& p = *parts_;
  SwatchRegistry& r = *p.registry;
  r.clear();
  ModelMaterial* f = first();
  ModelMaterial* s = second();
  auto bind = [this, &p, &r](int id, auto* g) {
    auto* swatch = p.get<GeneratorSwatch>(this, id);
    if (g != nullptr) swatch->bind(g);
    else swatch->unbind();
    r.add(swatch);
  };
  bind(1099, f != nullptr ? &f->mapfunc_u : nullptr);
  bind(1100, f != nullptr ? &f->mapfunc_v : nullptr);
  bind(1101, s != nullptr ? &s->mapfunc_u : nullptr);
  bind(1102, s != nullptr ? &s->mapfunc_v : nullptr);
  bind(1107, f != nullptr ? &f->alphagen : nullptr);
  bind(1106, f != nullptr ? &f->rgbgen : nullptr);
}

void MaterialDialog::refresh_faces() {
  Parts& p = *parts_;
  auto scalar_face = [this, &p](int id, bool integer) {
    auto* s = p.get<GeneratorSwatch>(this, id);
    s->setText(s->scalar() != nullptr ? swatch_face(scalar_summary(*s->scalar(), integer, integer)) : QString());
  };
  for (int id : {1099, 1100, 1101, 1102}) scalar_face(id, false);
  scalar_face(1107, true);
  auto* colour = p.get<GeneratorSwatch>(this, 1106);
  colour->setText(colour->colour() != nullptr ? swatch_face(colour_summary(*colour->colour())) : QString());
  p.get<GeneratorSwatch>(this, 1108)->setText(first() != nullptr ? swatch_face(advanced_summary(*first())) : QString());
}

void MaterialDialog::update_enabling() {
  Parts& p = *parts_;
  const bool any = shown_ >= 0;
  const bool first_selected = any && selected_ == shown_;
  p.solids->setEnabled(first_selected);
  p.drawing->setEnabled(first_selected);
  for (int id : {1106, 1107, 1108}) p.get<QWidget>(this, id)->setEnabled(first_selected);
  p.get<QWidget>(this, 2058)->setEnabled(selected_value(p.get<QComboBox>(this, 1003)) == 1);
  const bool alpha_test = p.get<QCheckBox>(this, 2016)->isChecked();
  p.get<QWidget>(this, 2023)->setEnabled(alpha_test);
  p.get<QWidget>(this, 1020)->setEnabled(alpha_test);
  p.get<QWidget>(this, 2005)->setEnabled(p.get<QCheckBox>(this, 1008)->isChecked());
  p.stage2->setEnabled(two_stage_);
  p.get<QWidget>(this, 2014)->setEnabled(two_stage_ && p.get<QCheckBox>(this, 1009)->isChecked());
  for (int id : {2044, 2045, 2048}) p.get<QWidget>(this, id)->setEnabled(id == 2044 || any);
}

void MaterialDialog::read_controls() {
  ModelMaterial* f = first();
  if (f == nullptr) return;
  Parts& p = *parts_;
  auto num = [this, &p](int id) { return read_int_field(p.get<QLineEdit>(this, id)); };
  auto checked = [this, &p](int id) { return p.get<QCheckBox>(this, id)->isChecked(); };
  auto text = [this, &p](int id) { return read_path_field(p.get<QLineEdit>(this, id), Name16::max_length); };
  f->color_type = selected_value(p.get<QComboBox>(this, 1002));
  f->alpha_type = selected_value(p.get<QComboBox>(this, 1003));
  f->blending_mode = selected_value(p.get<QComboBox>(this, 1007));
  for (int c = 0; c < 3; ++c) f->color_green[static_cast<std::size_t>(c)] = static_cast<uint8_t>(num(2007 + c));
  f->transparency = num(2058);
  const bool alpha_test = checked(2016);
  set_bit(f->render_attributes, kRenderAlphaTest, alpha_test);
  // The value edit is empty while the test is off: the stored value stays.
  if (alpha_test) f->alpha_test = static_cast<uint8_t>(std::clamp(num(2023), 0, 255));
  set_bit(f->render_attributes, kRenderAlphaTestInvert, alpha_test && checked(1020));
  set_bit(f->render_attributes, kRenderNoGameDiffuse, !checked(2061));
  for (const BitBox& b : kDrawingBits) set_bit(f->render_attributes, b.bit, checked(b.id));
  f->projector_no_receive = checked(1169) ? 1 : 0;
  const int kind = selected_value(p.get<QComboBox>(this, 1021));
  f->physical_attributes = (f->physical_attributes & ~kSurfaceKindMask) | (std::max(kind, 0) & kSurfaceKindMask);
  for (const BitBox& b : kPhysicalBits) set_bit(f->physical_attributes, b.bit, checked(b.id));
  f->anim_frames = num(2046);
  f->anim_sequence = num(2043);
  f->anim_time = num(2047);
  f->green_texture = text(2002);
  f->use_alpha_pcx = checked(1008) ? 1 : 0;
  f->alpha_texture = text(2005);
  set_bit(f->render_attributes, kRenderUvClamp, checked(1004));
  if (ModelMaterial* s = second()) {
    s->green_texture = text(2010);
    s->use_alpha_pcx = checked(1009) ? 1 : 0;
    s->alpha_texture = text(2014);
    set_bit(s->render_attributes, kRenderUvClamp, checked(1005));
  }
}

void MaterialDialog::edit_generator(int id) {
  auto* swatch = parts_->get<GeneratorSwatch>(this, id);
  if (swatch == nullptr || !swatch->bound()) return;
  const QPoint at = swatch->mapToGlobal(QPoint(0, 0));
  bool ok = false;
  if (swatch->colour() != nullptr) {
    ok = edit_colour_generator(this, at, *swatch->colour(), context_);
  } else {
    ScalarGeneratorMode mode;
    mode.integer_mode = id == 1107;
    mode.set_only = id == 1107;
    ok = edit_scalar_generator(this, at, *swatch->scalar(), mode, context_);
  }
  if (!ok) return;
  refresh_faces();
  parts_->picture->update();
  parts_->preview->update();
  checkpoint(QStringLiteral("Edit Materials"));
}

void MaterialDialog::edit_advanced() {
  ModelMaterial* f = first();
  if (f == nullptr) return;
  AdvancedMaterialDialog dialog(*f, (model_.attributes & kModelSkinned) != 0, context_, this);
  // Its bottom-left corner at the swatch's top-left corner.
  dialog.adjustSize();
  const QPoint at = parts_->get<QWidget>(this, 1108)->mapToGlobal(QPoint(0, 0));
  dialog.move(at.x(), at.y() - dialog.frameGeometry().height());
  if (context_.run_dialog(dialog) != QDialog::Accepted) return;
  // Replaces the record but for what the run-time data holds.
  const MaterialRuntime runtime = f->runtime;
  *f = dialog.material();
  f->runtime = runtime;
  refresh_faces();
  checkpoint(QStringLiteral("Edit Materials"));
}

void MaterialDialog::on_new() {
  NewMaterialSettings* settings = context_.new_materials;
  if (settings == nullptr) {
    if (!parts_->own_settings) parts_->own_settings.emplace();
    settings = &*parts_->own_settings;
  }
  NewMaterialsDialog dialog(*settings, this);
  if (context_.run_dialog(dialog) != QDialog::Accepted) return;
  read_controls();
  append_new_materials(model_, shown_, *settings);
  fill_list();
  select(model_.num_materials > 0 ? 0 : -1);
  checkpoint(QStringLiteral("New Material(s)"));
}

void MaterialDialog::on_delete() {
  if (shown_ < 0 || !context_.ask_yes_no) return;
  if (!context_.ask_yes_no(this, QStringLiteral("Whoa!?  You sure you want to delete this material?"),
                           QStringLiteral("Delete")))
    return;
  read_controls();
  const int index = selected_;
  delete_material(model_, index);
  fill_list();
  select(std::min(index, model_.num_materials - 1));
  checkpoint(QStringLiteral("Delete Material"));
}

void MaterialDialog::checkpoint(const QString& name) {
  if (context_.checkpoint) context_.checkpoint(name);
}

void MaterialDialog::done(int) {
  if (!closed_) {
    closed_ = true;
    read_controls();
    parts_->timer.stop();
    parts_->picture->show_material(nullptr, QImage());
    parts_->preview->show_generator(nullptr);
    for (GeneratorSwatch* s : parts_->swatch_list) s->unbind();
    parts_->registry->clear();
    checkpoint(QStringLiteral("Edit Materials"));
  }
  QDialog::done(1);
}

int run_material_editor(QWidget* owner, Model& model, int& selected, EditorContext& context) {
  context.use_standard_dialogs();
  MaterialDialog dialog(model, selected, context, owner);
  context.run_dialog(dialog);
  // A run that ends without OK or Cancel (the window closed) reads the
  // controls all the same.
  dialog.done(1);
  selected = std::max(dialog.selected(), 0);
  return 1;
}

}  // namespace orvo::gui
