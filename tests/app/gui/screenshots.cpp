// Screenshots of the model tool for reviewers: the window with the sample
// level set opened from the recent files, in each plane and the 3D view,
// with the helpers shown, and the dialogs of the View and Edit menus.
//
//   orvo-screenshots SAMPLES_DIR OUT_DIR [SCENE]     (see scripts/screenshots)
//
// SAMPLES_DIR holds TanuOrvo.cfg and the tank set; the tool is started in
// it as a person would start it.
#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/gl_preview_backend.h"
#include "orvo/gui/main_window.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/settings_store.h"
#include "orvo/runtime/memory_pool.h"

namespace {

bool save(QWidget& w, const QString& dir, const QString& name) {
  const QString file = QDir(dir).filePath(name);
  const bool ok = w.grab().save(file);
  std::printf("%s %s\n", ok ? "wrote" : "cannot write", qPrintable(file));
  return ok;
}

void settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: orvo-screenshots SAMPLES_DIR OUT_DIR [SCENE]\n");
    return 2;
  }
  QStandardPaths::setTestModeEnabled(true);
  const QString out = QDir(argv[2]).absolutePath();
  QDir::setCurrent(argv[1]);
  orvo::start_memory_pools();
  orvo::Document doc;
  doc.paths =
      orvo::make_document_paths(orvo::gui::native_path(QDir::currentPath()), orvo::gui::native_path(QDir::tempPath()));
  (void)orvo::gui::read_settings(doc);
  orvo::gui::GuiNotifier notifier;
  // Nobody is there to close a message box: messages go to the terminal.
  notifier.show_message = [](const QString& text, const QString&) {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  };
  orvo::FileCommandContext files;
  files.notifier = &notifier;
  orvo::gui::GlPreviewBackend preview;
  orvo::gui::MainWindow window(doc, files, notifier, preview);
  orvo::gui::attach_preview(*window.page(), preview, doc);
  window.resize(1280, 900);
  window.show();
  window.set_supported_levels(3);
  settle();

  int failures = 0;
  window.run_command(orvo::cmd::kRecent1);
  settle();
  window.run_command(orvo::cmd::kBoundingObjects);
  window.run_command(orvo::cmd::kText);
  doc.view().zoom = 2.5f;
  doc.changed(orvo::kChangedView);
  const std::pair<int, const char*> views[] = {{orvo::cmd::kPlaneXY, "orvo-xy.png"},
                                               {orvo::cmd::kPlaneXZ, "orvo-xz.png"},
                                               {orvo::cmd::kPlaneYZ, "orvo-yz.png"},
                                               {orvo::cmd::kView3D, "orvo-3d.png"}};
  for (const auto& [command, name] : views) {
    window.run_command(command);
    settle();
    failures += !save(window, out, name);
  }

  // The preview of the tank set, with the sample textures (the Options
  // dialog below shows the folder the settings hold, not this one).
  const std::string texture_folder = doc.folders().texture_folder;
  doc.folders().texture_folder = orvo::gui::native_path(QDir(argv[1]).absoluteFilePath("textures"));
  preview.set_texture_folder(orvo::texture_folder_for_lookup(doc.folders().texture_folder));
  doc.view().zoom = 3.0f;
  doc.view().yaw = 0.6f;
  doc.view().pitch = 0.35f;
  window.run_command(orvo::cmd::kRenderAll);
  settle();
  failures += !save(window, out, "orvo-preview.png");
  window.run_command(orvo::cmd::kWire);
  settle();
  doc.folders().texture_folder = texture_folder;

  // Each dialog as it opens, over the window.
  QString dialog_name;
  window.run_dialog = [&](QDialog& dialog) {
    dialog.show();
    settle();
    failures += !save(dialog, out, dialog_name);
    return int(QDialog::Rejected);
  };
  const std::pair<int, const char*> dialogs[] = {{orvo::cmd::kLayers, "orvo-layers.png"},
                                                 {orvo::cmd::kRenderValues, "orvo-render-values.png"},
                                                 {orvo::cmd::kOptions, "orvo-options.png"},
                                                 {orvo::cmd::kCentreDialog, "orvo-center.png"},
                                                 {orvo::cmd::kGeneralInfo, "orvo-general-info.png"},
                                                 {orvo::cmd::kItemInformation, "orvo-object-info.png"},
                                                 {orvo::cmd::kPartAnimation, "orvo-part-animation.png"},
                                                 {orvo::cmd::kLights, "orvo-lights.png"}};
  for (const auto& [command, name] : dialogs) {
    dialog_name = name;
    window.run_command(command);
  }

  // The material editor on the tank's hull, and the dialogs it opens.
  window.run_dialog = [&](QDialog& dialog) {
    const QString title = dialog.windowTitle();
    dialog.show();
    settle();
    if (title == "Edit Materials") {
      failures += !save(dialog, out, "orvo-materials.png");
      for (const char* id : {"id1108", "id2044"})
        if (auto* b = dialog.findChild<QAbstractButton*>(id)) b->click();
    } else if (title == "Advanced Material Properties") {
      failures += !save(dialog, out, "orvo-material-advanced.png");
    } else if (title == "New Material(s)") {
      failures += !save(dialog, out, "orvo-new-materials.png");
    }
    return int(QDialog::Rejected);
  };
  doc.folders().texture_folder = orvo::gui::native_path(QDir(argv[1]).absoluteFilePath("textures"));
  window.run_command(orvo::cmd::kMaterials);
  doc.folders().texture_folder = texture_folder;
  window.run_dialog = [&](QDialog& dialog) {
    dialog.show();
    settle();
    failures += !save(dialog, out, dialog_name);
    return int(QDialog::Rejected);
  };

  // The generator dialogs on generators of the tank's first material, and
  // the preset list with two presets.
  orvo::Model& model = doc.slot(0);
  orvo::gui::EditorContext& editor = window.editor_context();
  orvo::Generator wave = model.materials[0].mapfunc_u;
  wave.style = 0x32;  // "Set Wave - Sine"
  wave.rate = 0.5f;
  wave.start = 0.25f;
  wave.end = 0.75f;
  dialog_name = "orvo-scalar-generator.png";
  orvo::gui::edit_scalar_generator(&window, window.geometry().center(), wave, {}, editor);
  orvo::ColorGenerator colour = orvo::ColorGenerator::defaults();
  colour.style = 0x43;  // "Add Wave - Triangle"
  colour.start_red = 40;
  colour.start_green = 60;
  colour.start_blue = 200;
  dialog_name = "orvo-color-generator.png";
  orvo::gui::edit_colour_generator(&window, window.geometry().center(), colour, editor);
  orvo::FunctionPreset pulse;
  pulse.name = "door pulse";
  pulse.creator = "artist";
  pulse.comment = "Opens and closes a door once a second";
  pulse.style = 0x39;
  pulse.rate = 1.0f;
  pulse.end = 1.0f;
  window.presets().add(pulse);
  pulse.name = "rotor flicker";
  pulse.comment = "Rotor blur alpha";
  pulse.style = 0x37;
  window.presets().add(pulse);
  dialog_name = "orvo-presets.png";
  window.run_command(orvo::cmd::kViewPresets);
  window.presets().clear();
  // The two modeless register test windows, the destroy sequence a second
  // into its cycle.
  const std::pair<int, const char*> tests[] = {{orvo::cmd::kTestRegisters, "orvo-test-registers.png"},
                                               {orvo::cmd::kTestDestroy, "orvo-test-destroy.png"}};
  for (const auto& [command, name] : tests) {
    // Only the window the command opens: others may be up already (the
    // conversion log of the opened set), and the top-level list has no
    // fixed order.
    std::vector<QWidget*> before;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) before.push_back(w);
    window.run_command(command);
    settle();
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog == nullptr || !dialog->isVisible() || std::find(before.begin(), before.end(), w) != before.end())
        continue;
      if (auto* play = dialog->findChild<QAbstractButton*>("id1190")) {
        play->click();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      }
      failures += !save(*dialog, out, name);
      dialog->close();
    }
  }
  // A read that fails: the box keeps the tool's own words on its first line
  // and names the file and the reason below them.
  {
    QFile whole("tankh.3da");
    QFile cut("cuth.3da");
    if (whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly)) {
      const QByteArray text = whole.readAll();
      cut.write(text.left(text.indexOf("shader_type")));
    }
    cut.close();
    notifier.show_message = [&](const QString& text, const QString& caption) {
      QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, &window);
      box.show();
      settle();
      failures += !save(box, out, "orvo-open-failed.png");
    };
    window.choose_file = [](const orvo::gui::FileDialogRequest&) -> std::optional<QString> {
      return QDir::current().absoluteFilePath("cuth.3da");
    };
    window.run_command(orvo::cmd::kOpen);
  }
  // Export 3DI confirmed in the status bar, with the sample pictures found.
  doc.folders().texture_folder =
      orvo::gui::native_path(QDir::cleanPath(QDir::current().absoluteFilePath("../textures")));
  window.choose_file = [](const orvo::gui::FileDialogRequest&) -> std::optional<QString> {
    return QDir::current().absoluteFilePath("tank.3di");
  };
  window.run_command(orvo::cmd::kExport3di);
  settle();
  failures += !save(window, out, "orvo-exported.png");
  // Help > About Orvo: the title's version, the package's below it, and
  // where the scratch files and logs go.
  if (QAction* about = window.findChild<QAction*>("about")) {
    const auto run_dialog = window.run_dialog;
    window.run_dialog = [&](QDialog& dialog) {
      dialog.show();
      settle();
      failures += !save(dialog, out, "orvo-about.png");
      return 0;
    };
    about->trigger();
    window.run_dialog = run_dialog;
  }
  // A scene of another package (SCENE, a glTF file made in Blender)
  // imported into the current level and framed in the 3D view.
  if (argc == 4) {
    const QString scene = QDir(QString::fromLocal8Bit(argv[3])).absolutePath();
    window.choose_file = [scene](const orvo::gui::FileDialogRequest&) -> std::optional<QString> { return scene; };
    window.ask_unsaved = [](const QString&, const QString&) { return orvo::gui::UnsavedAnswer::kDiscard; };
    window.run_command(orvo::cmd::kImport);
    window.run_command(orvo::cmd::kView3D);
    window.run_command(orvo::cmd::kFrameAll);
    settle();
    failures += !save(window, out, "orvo-gltf-import.png");
  }
  window.write_settings();
  return failures == 0 ? 0 : 1;
}
