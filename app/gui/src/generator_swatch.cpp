#include "orvo/gui/generator_swatch.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleOptionButton>

namespace orvo::gui {

namespace {

// The one generator clipboard of the program, tagged with its kind.
struct Clipboard {
  bool full = false;
  GeneratorKind kind = GeneratorKind::kScalar;
  Generator scalar{};
  ColorGenerator colour{};
};
Clipboard& clipboard() {
  static Clipboard c;
  return c;
}

SwatchRegistry*& active_registry() {
  static SwatchRegistry* r = nullptr;
  return r;
}

// The face's text as lines (summaries break lines with "\r\n").
QStringList text_lines(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return t.isEmpty() ? QStringList() : t.split(QLatin1Char('\n'));
}

// Average characters across a swatch and lines of text in its height.
constexpr int kHintChars = 22;
constexpr int kHintLines = 2;

}  // namespace

GeneratorSwatch::GeneratorSwatch(QWidget* parent) : QPushButton(parent) {}

int GeneratorSwatch::face_width() const {
  const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this);
  return std::max(0, width() - 2 * margin);
}

QStringList GeneratorSwatch::face_lines() const {
  const QFontMetrics fm(font());
  const int room = face_width();
  const int rows = std::max(1, (height() - 4) / std::max(1, fm.lineSpacing()));
  const QStringList lines = text_lines(text());
  // Long lines broken at the summary's gaps of blanks ("Start 0.00   End
  // 1.00    Rate 1.00   Phase 0.00"), when that fits the height.
  QStringList broken;
  for (const QString& line : lines) {
    if (fm.horizontalAdvance(line) <= room) {
      broken << line;
      continue;
    }
    static const QRegularExpression gap(QStringLiteral(" {3,}"));
    const QStringList parts = line.split(gap, Qt::SkipEmptyParts);
    // Parts join again as long as they fit one line.
    QString current;
    for (const QString& part : parts) {
      const QString joined = current.isEmpty() ? part : current + QStringLiteral("   ") + part;
      if (!current.isEmpty() && fm.horizontalAdvance(joined) > room) {
        broken << current;
        current = part;
      } else {
        current = joined;
      }
    }
    if (!current.isEmpty()) broken << current;
  }
  QStringList out = broken.size() <= rows ? broken : lines;
  for (QString& line : out) line = fm.elidedText(line, Qt::ElideRight, room);
  return out;
}

QSize GeneratorSwatch::sizeHint() const {
  const QFontMetrics fm(font());
  const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this);
  return QSize(kHintChars * fm.averageCharWidth() + 2 * margin, kHintLines * fm.lineSpacing() + 2 * margin);
}

QSize GeneratorSwatch::minimumSizeHint() const {
  const QFontMetrics fm(font());
  return QSize(8 * fm.averageCharWidth(), fm.lineSpacing() + 4);
}

void GeneratorSwatch::bind(Generator* g) {
  kind_ = GeneratorKind::kScalar;
  scalar_ = g;
  colour_ = nullptr;
}

void GeneratorSwatch::bind(ColorGenerator* g) {
  kind_ = GeneratorKind::kColour;
  colour_ = g;
  scalar_ = nullptr;
}

void GeneratorSwatch::unbind() {
  scalar_ = nullptr;
  colour_ = nullptr;
}

void GeneratorSwatch::set_selected(bool on) {
  if (selected_ == on) return;
  selected_ = on;
  update();
}

void GeneratorSwatch::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier)) {
    // The press toggles the selection and never reaches the button, so it
    // is not pressed and its release does not click it.
    set_selected(!selected_);
    e->accept();
    return;
  }
  QPushButton::mousePressEvent(e);
}

void GeneratorSwatch::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    e->accept();
    if (SwatchRegistry* r = SwatchRegistry::active()) r->popup(this, e->globalPosition().toPoint());
    return;
  }
  QPushButton::mouseReleaseEvent(e);
}

void GeneratorSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
  // The lines, centred as the button would centre its text.
  const QStringList lines = face_lines();
  const QStringList whole = text_lines(text());
  // The tooltip holds the summary whenever the face cannot show it whole.
  const QString tip = lines == whole ? QString() : whole.join(QLatin1Char('\n'));
  if (toolTip() != tip) setToolTip(tip);
  const QFontMetrics fm(font());
  const int block = static_cast<int>(lines.size()) * fm.lineSpacing();
  int y = (height() - block) / 2;
  if (isDown() || isChecked()) {
    y += style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this);
  }
  for (const QString& line : lines) {
    style()->drawItemText(&painter, QRect(0, y, width(), fm.lineSpacing()), Qt::AlignHCenter | Qt::AlignVCenter,
                          palette(), isEnabled(), line, QPalette::ButtonText);
    y += fm.lineSpacing();
  }
  if (!selected_) return;
  painter.setPen(QPen(QColor(255, 0, 0), 1));
  painter.setBrush(Qt::NoBrush);
  const QRect outer = rect().adjusted(0, 0, -1, -1);
  for (int i = 0; i < 3; ++i) painter.drawRect(outer.adjusted(i, i, -i, -i));
}

SwatchRegistry::SwatchRegistry(QObject* parent) : QObject(parent) {}

SwatchRegistry::~SwatchRegistry() {
  if (active_registry() == this) active_registry() = nullptr;
}

void SwatchRegistry::add(GeneratorSwatch* swatch) {
  if (swatch != nullptr) swatches_.push_back(swatch);
}

void SwatchRegistry::clear() {
  swatches_.clear();
  target_ = nullptr;
}

SwatchRegistry* SwatchRegistry::active() {
  return active_registry();
}

void SwatchRegistry::activate() {
  active_registry() = this;
}

bool SwatchRegistry::any_selected() const {
  for (const GeneratorSwatch* s : swatches_)
    if (s->selected()) return true;
  return false;
}

bool SwatchRegistry::can_paste_individual(const GeneratorSwatch* s) const {
  return s != nullptr && s->bound() && clipboard().full && clipboard().kind == s->kind();
}

void SwatchRegistry::copy_individual(GeneratorSwatch* s) {
  if (s == nullptr || !s->bound()) return;
  Clipboard& c = clipboard();
  c.full = true;
  c.kind = s->kind();
  if (s->scalar() != nullptr) c.scalar = *s->scalar();
  if (s->colour() != nullptr) c.colour = *s->colour();
}

void SwatchRegistry::paste_individual(GeneratorSwatch* s) {
  if (!can_paste_individual(s)) return;
  if (s->scalar() != nullptr) *s->scalar() = clipboard().scalar;
  if (s->colour() != nullptr) *s->colour() = clipboard().colour;
  emit pasted(QStringLiteral("Paste Individual"));
}

void SwatchRegistry::copy_selection() {
  for (GeneratorSwatch* s : swatches_) {
    if (!s->selected() || !s->bound()) continue;
    if (s->scalar() != nullptr) s->saved_scalar_ = *s->scalar();
    if (s->colour() != nullptr) s->saved_colour_ = *s->colour();
    s->saved_ = true;
  }
}

void SwatchRegistry::paste_selection() {
  bool any = false;
  for (GeneratorSwatch* s : swatches_) {
    if (!s->selected() || !s->saved_ || !s->bound()) continue;
    if (s->scalar() != nullptr) *s->scalar() = s->saved_scalar_;
    if (s->colour() != nullptr) *s->colour() = s->saved_colour_;
    any = true;
  }
  if (any) emit pasted(QStringLiteral("Paste Selection"));
}

std::function<void(GeneratorSwatch* swatch, QPoint global)>& SwatchRegistry::popup_runner() {
  static std::function<void(GeneratorSwatch*, QPoint)> runner;
  return runner;
}

QMenu* SwatchRegistry::make_menu(GeneratorSwatch* swatch, QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("SelectionsMenu"));
  QAction* copy = menu->addAction(QStringLiteral("Copy Individual"), this, [this, swatch] { copy_individual(swatch); });
  QAction* paste =
      menu->addAction(QStringLiteral("Paste Individual"), this, [this, swatch] { paste_individual(swatch); });
  QAction* copy_sel = menu->addAction(QStringLiteral("Copy Selection"), this, [this] { copy_selection(); });
  QAction* paste_sel = menu->addAction(QStringLiteral("Paste Selection"), this, [this] { paste_selection(); });
  copy->setEnabled(true);
  paste->setEnabled(can_paste_individual(swatch));
  copy_sel->setEnabled(any_selected());
  paste_sel->setEnabled(any_selected());
  return menu;
}

void SwatchRegistry::popup(GeneratorSwatch* swatch, QPoint global) {
  target_ = swatch;
  if (popup_runner()) {
    popup_runner()(swatch, global);
    return;
  }
  QMenu* menu = make_menu(swatch, swatch);
  menu->exec(global);
  delete menu;
}

}  // namespace orvo::gui
