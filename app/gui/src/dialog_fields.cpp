#include "dialog_fields.h"

#include <QLabel>
#include <charconv>
#include <cmath>
#include <limits>

#include "orvo/gui/qt_text.h"
#include "tools/base/text.h"

namespace orvo::gui {

void set_id(QObject* object, int id) {
  object->setObjectName(QStringLiteral("id%1").arg(id));
}

QDialogButtonBox* add_ok_cancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  set_id(buttons->button(QDialogButtonBox::Ok), kOkId);
  set_id(buttons->button(QDialogButtonBox::Cancel), kCancelId);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

int read_int_field(const QLineEdit* edit) {
  return tools::parse_int(ss(edit->text().left(kNumberFieldChars)));
}

float read_float_field(const QLineEdit* edit) {
  const double value = tools::parse_real(ss(edit->text().left(kNumberFieldChars)));
  // Beyond the float range strtof would give an infinity; like the other
  // readers of the tool, take 0 so later arithmetic stays defined.
  if (std::fabs(value) > std::numeric_limits<float>::max()) return 0.0f;
  return static_cast<float>(value);
}

QString format_fixed6(float value) {
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 6);
  if (ec != std::errc()) return QStringLiteral("0.000000");
  return QString::fromLatin1(buffer, static_cast<qsizetype>(end - buffer));
}

std::string read_path_field(const QLineEdit* edit, std::size_t max_bytes) {
  std::string text = ss(edit->text());
  if (text.size() <= max_bytes) return text;
  std::size_t cut = max_bytes;
  // Step back over continuation bytes so no character is split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

QString swatch_face(const std::string& summary) {
  return qs(summary).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void add_labelled(QGridLayout* grid, int row, const QString& text, QWidget* field) {
  auto* label = new QLabel(text, field->parentWidget());
  label->setBuddy(field);
  grid->addWidget(label, row, 0);
  grid->addWidget(field, row, 1);
}

}  // namespace orvo::gui
