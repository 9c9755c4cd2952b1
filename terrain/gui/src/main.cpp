// loamer: the terrain generator's dialog.
//
//   loamer [PROJECT.tpj]      opens the project at start, as File > Open does
#include <QApplication>
#include <QStringList>

#include "loamer/gui/main_dialog.h"
#include "loamer/system_log.h"
#include "tools/base/file_io.h"
#include "tools/base/system_log.h"

int main(int argc, char** argv) {
  // The system log comes before anything else, as the command line's does.
  tools::SystemLog system_log;
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
