#include "orvo/gui/generator_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <QRegularExpression>
#include <cmath>
#include <limits>

#include "dialog_fields.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/named_value_combo.h"
#include "orvo/gui/qt_text.h"
#include "orvo/model/generators.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

// The generator edits read up to 15 characters as a real, in the C locale.
float read_real15(const QString& text) {
  const double v = tools::parse_real(ss(text.left(15)));
  if (std::fabs(v) > std::numeric_limits<float>::max()) return 0.0f;
  return static_cast<float>(v);
}

QString real2(float v) {
  return qs(tools::fixed_number(static_cast<double>(v), 1, 2));
}

QString whole(float v) {
  if (std::isnan(v)) return QStringLiteral("0");
  if (std::fabs(v) >= 2147483647.0f)
    return QString::number(v < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max());
  return QString::number(static_cast<int>(v));
}

QString rgb(int r, int g, int b) {
  return QStringLiteral("%1,%2,%3").arg(r).arg(g).arg(b);
}

int channel(int v) {
  return std::clamp(v, 0, 255);
}

// The register name of the drop-down's edit field, cut to 63 bytes without
// splitting a character.
std::string register_text(const QComboBox* box) {
  std::string name = ss(box->currentText());
  if (name.size() > 63) {
    std::size_t cut = 63;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name;
}

QComboBox* register_combo(int id, const Name64& current, RegisterNameList* registers, QWidget* parent) {
  auto* box = new QComboBox(parent);
  set_id(box, id);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  if (registers != nullptr)
    for (const std::string& name : registers->names()) box->addItem(qs(name));
  int index = -1;
  for (int i = 0; i < box->count(); ++i)
    if (tools::iequals(ss(box->itemText(i)), current.view())) {
      index = i;
      break;
    }
  if (index < 0 && !current.empty()) {
    box->addItem(qs(current.view()));
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
  if (index < 0) box->setEditText(QString());
  return box;
}

QLineEdit* field(int id, const QString& text, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  set_id(edit, id);
  return edit;
}

QLabel* label(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setBuddy(buddy);
  return l;
}

}  // namespace

WaveGraph::WaveGraph(QWidget* parent) : QWidget(parent) {
  set_id(this, 1110);
  setMinimumSize(120, 48);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void WaveGraph::set_style(int style) {
  style_ = style;
  update();
}

void WaveGraph::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int left = 0, top = 0, right = width(), bottom = height();
  painter.fillRect(rect(), Qt::black);
  painter.fillRect(rect().adjusted(1, 1, -1, -1), QColor(208, 208, 208));
  painter.setPen(QPen(Qt::black, 1));
  const int middle = (top + bottom) / 2;
  painter.drawLine(left + 1, middle, right + 1, middle);
  QPolygon line;
  for (const GraphPoint& p : wave_graph_points(style_, left, top, right, bottom)) line << QPoint(p.x, p.y);
  painter.drawPolyline(line);
}

ScalarGeneratorDialog::ScalarGeneratorDialog(QWidget* owner, const Generator& g, const NamedValue* styles,
                                             bool integer_mode, RegisterNameList* registers, int first_row)
    : QDialog(owner), working_(g), registers_(registers) {
  setWindowTitle(QStringLiteral("Scalar Generator"));
  grid_ = new QGridLayout(this);

  style_ = new QComboBox(this);
  set_id(style_, 1093);
  fill_named_values(style_, styles);
  select_by_value(style_, working_.style);
  graph_ = new WaveGraph(this);
  graph_->set_style(working_.style);
  auto number = [integer_mode](float v) { return integer_mode ? whole(v) : real2(v); };
  start_ = field(1094, number(working_.start), this);
  end_ = field(1095, number(working_.end), this);
  rate_ = field(1096, real2(working_.rate), this);
  phase_ = field(1097, real2(working_.phase), this);
  register_ = register_combo(1098, working_.ctrlreg, registers, this);

  int row = first_row;
  grid_->addWidget(label(QStringLiteral("&Style"), style_, this), row, 0);
  grid_->addWidget(style_, row++, 1, 1, 3);
  grid_->addWidget(graph_, row++, 0, 1, 4);
  grid_->addWidget(label(QStringLiteral("S&tart"), start_, this), row, 0);
  grid_->addWidget(start_, row, 1);
  grid_->addWidget(label(QStringLiteral("&End"), end_, this), row, 2);
  grid_->addWidget(end_, row++, 3);
  grid_->addWidget(label(QStringLiteral("&Rate"), rate_, this), row, 0);
  grid_->addWidget(rate_, row, 1);
  grid_->addWidget(label(QStringLiteral("&Phase"), phase_, this), row, 2);
  grid_->addWidget(phase_, row++, 3);
  grid_->addWidget(label(QStringLiteral("&Control Register"), register_, this), row, 0);
  grid_->addWidget(register_, row++, 1, 1, 3);
  grid_->addWidget(add_ok_cancel(this), row, 0, 1, 4);

  // Only what the user types is read (textEdited), never the filling above.
  connect(start_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.start = read_real15(t); });
  connect(end_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.end = read_real15(t); });
  connect(rate_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.rate = read_real15(t); });
  connect(phase_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.phase = read_real15(t); });
  connect(style_, &QComboBox::currentIndexChanged, this, [this](int) {
    working_.style = selected_value(style_);
    graph_->set_style(working_.style);
    update_enabling();
  });
  update_enabling();
}

void ScalarGeneratorDialog::update_enabling() {
  const int s = working_.style;
  const bool end = s != kStyleNone && s != kStyleSet;
  start_->setEnabled(s != kStyleNone);
  end_->setEnabled(end);
  register_->setEnabled(end && s > kStyleCtrlRegGroup);
  rate_->setEnabled(end && s < kStyleCtrlRegGroup);
  phase_->setEnabled(end && s < kStyleCtrlRegGroup);
}

void ScalarGeneratorDialog::read_register() {
  const std::string name = register_text(register_);
  working_.ctrlreg.assign(name);
  if (registers_ != nullptr) registers_->add(name);
}

void ScalarGeneratorDialog::accept() {
  read_register();
  QDialog::accept();
}

ColourSetButton::ColourSetButton(QWidget* parent) : QPushButton(QStringLiteral("Set"), parent) {}

void ColourSetButton::set_colour(QColor c) {
  colour_ = c;
  update();
}

void ColourSetButton::paintEvent(QPaintEvent* e) {
  if (!isEnabled()) {
    QPushButton::paintEvent(e);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), colour_);
  if (hasFocus()) {
    painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

ColourGeneratorDialog::ColourGeneratorDialog(QWidget* owner, const ColorGenerator& g, EditorContext& context)
    : QDialog(owner), working_(g), context_(context) {
  setWindowTitle(QStringLiteral("Color Generator"));
  auto* grid = new QGridLayout(this);

  style_ = new QComboBox(this);
  set_id(style_, 1101);
  fill_named_values(style_, kColourStyleList);
  select_by_value(style_, working_.style);
  graph_ = new WaveGraph(this);
  graph_->set_style(working_.style);
  start_ = field(1103, rgb(working_.start_red, working_.start_green, working_.start_blue), this);
  set_start_ = new ColourSetButton(this);
  set_id(set_start_, 1105);
  set_start_->set_colour(
      QColor(channel(working_.start_red), channel(working_.start_green), channel(working_.start_blue)));
  end_ = field(1104, rgb(working_.end_red, working_.end_green, working_.end_blue), this);
  set_end_ = new ColourSetButton(this);
  set_id(set_end_, 1106);
  set_end_->set_colour(QColor(channel(working_.end_red), channel(working_.end_green), channel(working_.end_blue)));
  rate_ = field(1107, real2(working_.rate), this);
  phase_ = field(1108, real2(working_.phase), this);
  register_ = register_combo(1102, working_.ctrlreg, context.registers, this);

  int row = 0;
  grid->addWidget(label(QStringLiteral("&Style"), style_, this), row, 0);
  grid->addWidget(style_, row++, 1, 1, 3);
  grid->addWidget(graph_, row++, 0, 1, 4);
  grid->addWidget(label(QStringLiteral("S&tart"), start_, this), row, 0);
  grid->addWidget(start_, row, 1, 1, 2);
  grid->addWidget(set_start_, row++, 3);
  grid->addWidget(label(QStringLiteral("&End"), end_, this), row, 0);
  grid->addWidget(end_, row, 1, 1, 2);
  grid->addWidget(set_end_, row++, 3);
  grid->addWidget(label(QStringLiteral("&Rate"), rate_, this), row, 0);
  grid->addWidget(rate_, row, 1);
  grid->addWidget(label(QStringLiteral("&Phase"), phase_, this), row, 2);
  grid->addWidget(phase_, row++, 3);
  grid->addWidget(label(QStringLiteral("&Control Register"), register_, this), row, 0);
  grid->addWidget(register_, row++, 1, 1, 3);
  grid->addWidget(add_ok_cancel(this), row, 0, 1, 4);

  connect(rate_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.rate = read_real15(t); });
  connect(phase_, &QLineEdit::textEdited, this, [this](const QString& t) { working_.phase = read_real15(t); });
  // The colours can be typed as "r,g,b" too; each complete entry is taken
  // at once (channels limited to 0 .. 255) and shown on its "Set" button.
  connect(start_, &QLineEdit::textEdited, this, [this](const QString& t) { type_colour(true, t); });
  connect(end_, &QLineEdit::textEdited, this, [this](const QString& t) { type_colour(false, t); });
  connect(set_start_, &QPushButton::clicked, this, [this] { choose(true); });
  connect(set_end_, &QPushButton::clicked, this, [this] { choose(false); });
  connect(style_, &QComboBox::currentIndexChanged, this, [this](int) {
    working_.style = selected_value(style_);
    graph_->set_style(working_.style);
    update_enabling();
  });
  update_enabling();
}

void ColourGeneratorDialog::update_enabling() {
  const int s = working_.style;
  const bool end = s != kStyleNone && s != kStyleSet;
  start_->setEnabled(s != kStyleNone);
  set_start_->setEnabled(s != kStyleNone);
  end_->setEnabled(end);
  set_end_->setEnabled(end);
  register_->setEnabled(end && s > kStyleCtrlRegGroup);
  rate_->setEnabled(end && s < kStyleCtrlRegGroup);
  phase_->setEnabled(end && s < kStyleCtrlRegGroup);
}

void ColourGeneratorDialog::type_colour(bool start, const QString& text) {
  static const QRegularExpression rgb_text(
      QStringLiteral("^\\s*(\\d{1,3})\\s*[, ]\\s*(\\d{1,3})\\s*[, ]\\s*(\\d{1,3})\\s*$"));
  const QRegularExpressionMatch m = rgb_text.match(text);
  if (!m.hasMatch()) return;
  const int r = channel(m.captured(1).toInt()), g = channel(m.captured(2).toInt()), b = channel(m.captured(3).toInt());
  (start ? working_.start_red : working_.end_red) = r;
  (start ? working_.start_green : working_.end_green) = g;
  (start ? working_.start_blue : working_.end_blue) = b;
  (start ? set_start_ : set_end_)->set_colour(QColor(r, g, b));
}

void ColourGeneratorDialog::choose(bool start) {
  if (!context_.choose_colour) return;
  ColourSetButton* button = start ? set_start_ : set_end_;
  const std::optional<QColor> c = context_.choose_colour(this, button->colour());
  if (!c) return;
  int* channels[3] = {start ? &working_.start_red : &working_.end_red,
                      start ? &working_.start_green : &working_.end_green,
                      start ? &working_.start_blue : &working_.end_blue};
  *channels[0] = c->red();
  *channels[1] = c->green();
  *channels[2] = c->blue();
  button->set_colour(QColor(c->red(), c->green(), c->blue()));
  (start ? start_ : end_)->setText(rgb(c->red(), c->green(), c->blue()));
}

void ColourGeneratorDialog::accept() {
  const std::string name = register_text(register_);
  working_.ctrlreg.assign(name);
  if (context_.registers != nullptr) context_.registers->add(name);
  QDialog::accept();
}

bool edit_scalar_generator(QWidget* owner, QPoint at, Generator& g, ScalarGeneratorMode mode, EditorContext& context) {
  const NamedValue* styles = (mode.integer_mode || mode.set_only) ? kSetOnlyStyleList : kFullStyleList;
  ScalarGeneratorDialog dialog(owner, g, styles, mode.integer_mode, context.registers);
  dialog.move(at);
  if (context.run_dialog(dialog) != QDialog::Accepted) return false;
  g = dialog.working();
  return true;
}

bool edit_colour_generator(QWidget* owner, QPoint at, ColorGenerator& g, EditorContext& context) {
  ColourGeneratorDialog dialog(owner, g, context);
  dialog.move(at);
  if (context.run_dialog(dialog) != QDialog::Accepted) return false;
  g = dialog.working();
  return true;
}

}  // namespace orvo::gui
