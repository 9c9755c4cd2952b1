#pragma once
// The main window's control panel: the plane buttons and the "Layer By:",
// "Grid:" and "Show:" groups in the left column, and the top row of the
// level buttons, the preview buttons, the "1unit = 1m" box, the
// "Compatibility Mode" list and "Update Textures". Its controls sit on the
// window's desk, between the panes, each named after its control id
// ("id1001"). Every button, box and list item sends a command number; the
// window runs it and then shows the document's state on the panel again.

#include <QObject>
#include <map>
#include <vector>

#include "orvo/document/document.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QFontMetrics;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace orvo::gui {

// The command of a "Compatibility Mode" level (1 "DX6", 2 "DX7", 3 "DX8").
int compatibility_command(int level);

class ControlPanel : public QObject {
  Q_OBJECT

 public:
  // Builds the controls on `desk`; the panel object belongs to `parent`.
  ControlPanel(QWidget* desk, QObject* parent);

  // Checks, tool tips, the grid text, the list's level and whether "Update
  // Textures" shows, from the document.
  void refresh(const Document& doc);

  // Fills the "Compatibility Mode" list with the levels 1 .. `highest` (at
  // most 3), sending nothing.
  void set_levels(int highest);
  // Selects the list's last item, which sends its command when the
  // selection changes; the item's command, or 0 when the list is empty.
  int select_last_level();

  // Where the left column ends: its width, the height of the top row's
  // buttons and the first free line below the groups.
  struct Column {
    int width = 0;
    int button_height = 0;
    int bottom = 0;
  };
  // Places the plane buttons and the groups in the left column, one
  // character width `cw` in, from a quarter of the line height `lh` down.
  Column place_column(const QFontMetrics& fm, int cw, int lh);
  // Places the top row from `x` on, `button_height` high.
  void place_top_row(const QFontMetrics& fm, int cw, int lh, int x, int button_height);

 signals:
  // A button, box or list item sends a command number.
  void command(int id);
  // "1unit = 1m" was clicked on or off.
  void unit_scale_clicked(bool metric);

 private:
  QPushButton* add_button(QWidget* desk, int id, const QString& text, QButtonGroup* group, int command_id);
  QGroupBox* add_group_box(QWidget* desk, int id, const QString& title);
  void build_buttons(QWidget* desk);
  void build_layer_group(QWidget* desk, int cw);
  void build_grid_group(QWidget* desk, int cw);
  void build_show_group(QWidget* desk, int cw);
  int caption_width(const QFontMetrics& fm, int cw, int id) const;

  std::map<int, QAbstractButton*> controls_;  // control id -> button or box
  QButtonGroup* plane_group_ = nullptr;
  QButtonGroup* slot_group_ = nullptr;
  QButtonGroup* preview_group_ = nullptr;
  QButtonGroup* layer_group_ = nullptr;
  QLabel* grid_text_ = nullptr;
  QComboBox* compatibility_ = nullptr;
  std::vector<QWidget*> group_boxes_;
};

}  // namespace orvo::gui
