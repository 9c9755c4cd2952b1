#pragma once
// List boxes whose lines hold tab-separated columns: each tab moves the text
// on to the next of the list's tab stops, given in dialog units (a quarter
// of the font's average character width), as the tool's lists have always
// been laid out.

#include <QListWidget>
#include <vector>

namespace orvo::gui {

// Draws `list`'s lines with tab stops at `dialog_units` (ascending);
// without stops a tab moves to the next multiple of 32 dialog units.
void set_tab_stops(QListWidget* list, std::vector<int> dialog_units);

}  // namespace orvo::gui
