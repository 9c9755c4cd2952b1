// loamer: the terrain generator's dialog.
//
//   loamer [PROJECT.tpj]      opens the project at start, as File > Open does
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "loamer/gui/main_dialog.h"
#include "loamer/system_log.h"
#include "tools/base/atomic_write.h"
#include "tools/base/file_io.h"
#include "tools/base/state_folder.h"
#include "tools/base/system_log.h"

int main(int argc, char** argv) {
  tools::set_temporary_owner("loamer");
  // The system log comes before anything else, as the command line's does,
  // but in the per-user state folder ($XDG_STATE_HOME/Brellwick/Loamer):
  // the project's folder holds the project and its build only.
  const tools::Result<std::string> state = tools::make_state_folder("Loamer");
  if (!state) std::fprintf(stderr, "loamer: %s; ghw.txt goes to the current folder\n", state.error().message.c_str());
  tools::SystemLog system_log(state ? *state + "/" + tools::SystemLog::kDefaultPath : tools::SystemLog::kDefaultPath);
  loamer::start_loamer_log(system_log);
  tools::ignore_file_size_signal();

  QApplication app(argc, argv);
  QApplication::setApplicationName("Loamer");
  QApplication::setDesktopFileName("loamer");
  loamer::gui::MainDialog dialog;
  dialog.show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) dialog.open_project(args[1]);
  dialog.exec();
  return 0;
}
