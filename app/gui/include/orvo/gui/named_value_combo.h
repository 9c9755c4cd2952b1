#pragma once
// Drop-down lists of named values: every list of styles, types and kinds in
// the editing dialogs is filled from a (text, value) table ended by an
// entry with the value -1. Each item carries its value; separators are
// ordinary items.

#include <QComboBox>

#include "orvo/model/named_values.h"

namespace orvo::gui {

// Empties `box` and adds the table's entries in order, each with its value
// as item data.
void fill_named_values(QComboBox* box, const NamedValue* table);
// Selects the first item whose value is `value`, or the first item when none
// has it.
void select_by_value(QComboBox* box, int value);
// The selected item's value, or -1 when nothing is selected.
int selected_value(const QComboBox* box);

}  // namespace orvo::gui
