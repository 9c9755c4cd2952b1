#include "orvo/gui/named_value_combo.h"

#include "orvo/gui/qt_text.h"

namespace orvo::gui {

void fill_named_values(QComboBox* box, const NamedValue* table) {
  box->clear();
  for (const NamedValue& e : named_entries(table)) box->addItem(qs(e.text), e.value);
}

void select_by_value(QComboBox* box, int value) {
  const int index = box->findData(value);
  box->setCurrentIndex(index >= 0 ? index : (box->count() > 0 ? 0 : -1));
}

int selected_value(const QComboBox* box) {
  return box->currentIndex() < 0 ? -1 : box->currentData().toInt();
}

}  // namespace orvo::gui
