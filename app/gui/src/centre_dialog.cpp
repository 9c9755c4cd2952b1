#include "orvo/gui/centre_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_fields.h"

namespace orvo::gui {

CentreDialog::CentreDialog(std::array<float, 3>& centre, QWidget* parent) : QDialog(parent), centre_(centre) {
  setWindowTitle(QStringLiteral("Center"));
  auto* form = new QFormLayout;
  const char* const labels[] = {"X:", "Y:", "Z:"};
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    auto* edit = new QLineEdit(format_fixed6(centre[i]), this);
    set_id(edit, 2900 + static_cast<int>(i));
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16);
    form->addRow(QString::fromLatin1(labels[i]), edit);
    edits_[i] = edit;
  }

  QDialogButtonBox* buttons = add_ok_cancel(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CentreDialog::accept() {
  for (std::size_t i = 0; i < edits_.size(); ++i) centre_[i] = read_float_field(edits_[i]);
  QDialog::accept();
}

}  // namespace orvo::gui
