// orvo: the model tool's window program.
//
//   orvo
//
// The tool takes nothing from its command line: models are opened from the
// File menu, or from its recent files.
// Settings come from "TanuOrvo.cfg" in the folder the tool is started in
// and from the per-user settings store; the per-user data folder is
// .../Brellwick/ORVO under the user's data location. What the tool writes
// for itself (the preview's temprend.3di, the logs 3di_log.txt and ghw.txt,
// the memory dump _fastmem.txt) goes to the per-user state folder
// ($XDG_STATE_HOME/Brellwick/ORVO, by default ~/.local/state/Brellwick/ORVO),
// never into the folder of the artist's models.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "orvo/app/file_commands.h"
#include "orvo/app/preview_commands.h"
#include "orvo/gui/gl_preview_backend.h"
#include "orvo/gui/main_window.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/page_view.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/settings_store.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/runtime/system_info.h"
#include "tools/base/atomic_write.h"
#include "tools/base/file_io.h"
#include "tools/base/host.h"
#include "tools/base/state_folder.h"
#include "tools/base/system_log.h"

int main(int argc, char** argv) {
  tools::ignore_file_size_signal();
  tools::set_temporary_owner("orvo");
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Brellwick");
  QApplication::setApplicationName("ORVO");
  QApplication::setApplicationDisplayName("Orvo");
  QApplication::setDesktopFileName("orvo");

  // The folders, then the runtime (its memory pools), then the settings.
  orvo::Document doc;
  doc.paths = orvo::make_document_paths(
      orvo::gui::native_path(QDir::currentPath()),
      orvo::gui::native_path(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
  std::string state_folder;
  if (const tools::Result<std::string> made = tools::make_state_folder("ORVO")) {
    state_folder = *made;
  } else {
    std::fprintf(stderr, "orvo: %s; the scratch files and logs go to the current folder\n",
                 made.error().message.c_str());
  }
  const auto scratch = [&state_folder](const char* name) {
    return state_folder.empty() ? std::string(name) : state_folder + "/" + name;
  };
  if (!orvo::start_memory_pools(orvo::kMainPoolSize, orvo::kSecondPoolSize, state_folder)) {
    std::fprintf(stderr, "orvo: the memory pools cannot be set up\n");
    return 1;
  }
  // The system log "ghw.txt" begins with its banner and the system
  // description; the graphics layer adds its lines.
  tools::SystemLog system_log(scratch(tools::SystemLog::kDefaultPath), tools::local_time_now, orvo::orvo_banner_tail());
  system_log.write("");
  const std::vector<std::string> settings_problems = orvo::gui::read_settings(doc);

  orvo::gui::GuiNotifier notifier;
  orvo::FileCommandContext files;
  files.notifier = &notifier;
  files.username = tools::logged_on_user();
  // The preview draws on its own OpenGL context; Qt's offscreen platform
  // (used by the tests) gets the loader without a device.
  const bool offscreen = QGuiApplication::platformName() == "offscreen";
  orvo::gui::GlPreviewBackend gl_preview(&system_log);
  orvo::LoaderPreview loader_preview;
  gl_preview.set_log_path(scratch(orvo::ExportLog::kDefaultPath));
  loader_preview.set_log_path(scratch(orvo::ExportLog::kDefaultPath));
  orvo::PreviewBackend& preview = offscreen ? static_cast<orvo::PreviewBackend&>(loader_preview) : gl_preview;
  orvo::gui::MainWindow window(doc, files, notifier, preview);
  window.preview().set_scratch_folder(state_folder);
  if (!offscreen) orvo::gui::attach_preview(*window.page(), gl_preview, doc);
  notifier.set_parent(&window);
  for (const std::string& problem : settings_problems) notifier.message(problem, "Orvo");
  window.show_as_last_time();
  // Every level the preview draws with is offered; the first command the
  // window runs selects the highest.
  QTimer::singleShot(0, &window, [&window] { window.set_supported_levels(3); });

  const int code = QApplication::exec();
  window.write_settings();
  return code;
}
