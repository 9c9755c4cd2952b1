// Screenshots of the loamer dialog for reviewers: opens a project, runs a
// build and saves the About box and the dialog as it looks mid-build and
// after the build (with the terrain view pointing at a block).
//
//   loamer-screenshots PROJECT.tpj OUT_DIR      (see scripts/screenshots)
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>

#include "loamer/gui/main_dialog.h"
#include "loamer/gui/terrain_view.h"

namespace {

bool save(QWidget& w, const QString& dir, const char* name) {
  const QString file = QDir(dir).filePath(name);
  const bool ok = w.grab().save(file);
  std::printf("%s %s\n", ok ? "wrote" : "cannot write", qPrintable(file));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: loamer-screenshots PROJECT.tpj OUT_DIR\n");
    return 2;
  }
  const QString project = argv[1], out = argv[2];
  loamer::gui::MainDialog dialog;
  dialog.show();
  dialog.open_project(project);
  int failures = 0;
  auto* bar = dialog.findChild<QProgressBar*>("id1009");
  bool mid_taken = false;
  QObject::connect(bar, &QProgressBar::valueChanged, &dialog, [&](int value) {
    if (mid_taken || value < bar->maximum() / 2) return;
    mid_taken = true;
    failures += !save(dialog, out, "loamer-building.png");
  });
  QObject::connect(&dialog, &loamer::gui::MainDialog::build_ended, &dialog, [&](bool ok) {
    if (!ok) ++failures;
    auto* view = dialog.findChild<loamer::gui::TerrainView*>("terrain_view");
    QTimer::singleShot(200, &dialog, [&, view] {
      if (view) {
        // A coarse sector and a middle detail level, so the wireframe reads.
        if (auto* sector = view->findChild<QSpinBox*>("sector")) sector->setValue(2);
        if (auto* lod = view->findChild<QSlider*>("lod")) lod->setValue(2);
        view->hover(QPointF(600, 420));
      }
      QTimer::singleShot(200, &dialog, [&] {
        failures += !save(dialog, out, "loamer-built.png");
        QCoreApplication::exit(0);
      });
    });
  });
  // The About box first (it runs its own modal loop), then the build.
  QTimer::singleShot(200, &dialog, [&] {
    QTimer::singleShot(300, &dialog, [&] {
      if (QWidget* about = QApplication::activeModalWidget()) {
        failures += !save(*about, out, "loamer-about.png");
        about->close();
      }
      QTimer::singleShot(100, &dialog, [&] { dialog.begin_build(); });
    });
    dialog.findChild<QAction*>("id16")->trigger();
  });
  app.exec();
  return failures == 0 && mid_taken ? 0 : 1;
}
