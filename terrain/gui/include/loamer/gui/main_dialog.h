#pragma once
// Loamer's one window: the open terrain project, the Status box with a bar
// and a text for each of the four build stages, and the Output list (with
// the terrain view beside it once a build is there). File > Open reads a
// project, Build > Begin Build starts a build on a worker thread, Stop Build
// stops it; the dialog cannot be left while a build runs.
//
// Control ids are the widgets' object names ("id1000" ...; menu commands
// "id32771" ...), so tests find them.

#include <QDialog>
#include <array>
#include <functional>

#include "loamer/project.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSpinBox;

namespace loamer::gui {

class BuildRunner;
class OutputList;
class TerrainView;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MainDialog(QWidget* parent = nullptr);
  ~MainDialog() override;

  // File > Open without the file dialog: reads `path`, shows its fields,
  // logs "Opening <full path>" (and why, when it cannot be read or is
  // incomplete).
  void open_project(const QString& path);
  // Build > Begin Build; nothing happens while a build runs or when the
  // project is incomplete.
  void begin_build();
  // Build > Stop Build.
  void stop_build();
  // Sets the enabled state of the menu items from the project and the
  // build, as when a menu drops down.
  void update_commands();

  bool build_running() const;
  int workers_started() const;
  const TerrainProject& project() const { return project_; }

  // Shows a message box; tests replace it to see the box without a modal
  // loop.
  std::function<void(const QString& text, const QString& caption)> message_box;

  static constexpr const char* kBuildInProgress =
      "Build is in progress.   If you wish to exit, you must stop the build process using the 'Stop Build' "
      "selection in the Build menu.";
  static constexpr const char* kGuardCaption = "Vr2 Terrain Generator";

 signals:
  // A build has ended (completed, stopped or failed) and the dialog shows it.
  void build_ended(bool ok);

 public slots:
  // Every way of leaving the dialog (Exit, the close button, Enter, Esc)
  // comes here; while a build runs it is refused with a message box.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build_menus();
  void choose_project();
  void show_fields();
  void show_about();
  void on_finished(int build, bool ok, bool stopped, const QString& error);
  void list_failure(const QString& error);
  void reset_status();
  void show_terrain_view(bool shown);

  TerrainProject project_;
  QuadrantLocks locks_;
  std::string project_file_;
  int build_first_line_ = 0;  // the Output list's first line of the build begun last

  std::array<QLineEdit*, 4> fields_{};  // name, creator, depth map, output
  std::array<QProgressBar*, 4> bars_{};
  std::array<QLabel*, 4> stage_texts_{};
  QSpinBox* jobs_ = nullptr;
  OutputList* output_ = nullptr;
  TerrainView* view_ = nullptr;
  BuildRunner* runner_ = nullptr;

  QAction* new_ = nullptr;
  QAction* open_ = nullptr;
  QAction* save_as_ = nullptr;
  QAction* exit_ = nullptr;
  QAction* begin_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* about_ = nullptr;
};

}  // namespace loamer::gui
