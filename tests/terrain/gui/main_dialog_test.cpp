// The loamer dialog under Qt's offscreen platform: menu states, the exit
// guard, builds driven through the dialog (completed, stopped, begun twice),
// the Output list's scrolling and projects that cannot be read.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QWheelEvent>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>

#include "loamer/gui/main_dialog.h"
#include "loamer/gui/output_list.h"
#include "loamer/gui/terrain_view.h"
#include "tools/base/version.h"
#include "tools/test/scratch_dir.h"

namespace {

using loamer::gui::MainDialog;
using loamer::gui::OutputList;

// Runs the event loop until `done` holds or `ms` have passed.
bool wait_until(const std::function<bool()>& done, int ms = 120000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// A scratch project with a gently rolling depth map: every block has some
// relief, so stage 1 takes long enough to be stopped.
struct Project {
  tools::test::ScratchDir dir{"loamer-gui"};
  std::string file;

  explicit Project(const std::string& body = "") {
    std::string map(1024 * 1024, '\0');
    for (int z = 0; z < 1024; ++z)
      for (int x = 0; x < 1024; ++x)
        map[static_cast<size_t>(z * 1024 + x)] =
            static_cast<char>(100 + 60 * std::sin(x / 37.0) * std::cos(z / 53.0) + (x * z) % 7);
    dir.put("map.raw", map);
    file = dir.put("t.tpj", body.empty() ? "TerrainName \"Test\"\nCreator \"Tests\"\nPath \"" + dir.prefix() +
                                               "\"\nDepthMap map.raw\nOutput t.cpt\n"
                                         : body);
  }
};

struct Dialog {
  MainDialog d;
  std::vector<std::pair<QString, QString>> boxes;

  int ended = 0;  // builds whose end the dialog has shown

  Dialog() {
    d.message_box = [this](const QString& text, const QString& caption) { boxes.emplace_back(text, caption); };
    QObject::connect(&d, &MainDialog::build_ended, [this] { ++ended; });
    d.show();
  }
  QAction* action(int id) { return d.findChild<QAction*>(QString("id%1").arg(id)); }
  template <class W>
  W* control(int id) {
    return d.findChild<W*>(QString("id%1").arg(id));
  }
  OutputList* output() { return control<OutputList>(1007); }
  QString last_line() { return output()->count() ? output()->item(output()->count() - 1)->text() : QString(); }
  bool logged(const QString& line) { return !output()->findItems(line, Qt::MatchExactly).isEmpty(); }
  // Begin Build, Stop Build (and New, Save As) as the Build menu shows them.
  std::string commands() {
    d.update_commands();
    std::string s;
    for (int id : {32771, 32772, 32773, 32775, 32776}) s += action(id)->isEnabled() ? '1' : '0';
    return s;
  }
  // Waits until the dialog has shown the end of the build begun last.
  bool wait_ended() {
    return wait_until([this] { return ended == d.workers_started(); });
  }
};

TEST(LoamerDialog, StartsWithTheTitleAndNoProject) {
  Dialog t;
  EXPECT_EQ(t.d.windowTitle(), "Stormline - Terrain Generator - v1.02");
  for (int id : {1000, 1001, 1002, 1008}) {
    EXPECT_EQ(t.control<QLineEdit>(id)->text(), "<No Project Loaded>") << id;
    EXPECT_TRUE(t.control<QLineEdit>(id)->isReadOnly());
  }
  EXPECT_EQ(t.control<QLineEdit>(1000)->maxLength(), 63);
  EXPECT_EQ(t.control<QLineEdit>(1002)->maxLength(), 261);
}

TEST(LoamerDialog, MenusFollowTheProjectAndTheBuild) {
  // New, Open, Save As, Begin Build, Stop Build.
  Dialog t;
  EXPECT_EQ(t.commands(), "01000") << "no project";

  Project incomplete("TerrainName \"T\"\nPath \"/tmp/\"\nDepthMap m.raw\nOutput o\n");
  t.d.open_project(QString::fromStdString(incomplete.file));
  EXPECT_EQ(t.commands(), "01000") << "incomplete project";
  EXPECT_TRUE(t.last_line().contains("missing: creator")) << t.last_line().toStdString();

  Project complete;
  t.d.open_project(QString::fromStdString(complete.file));
  EXPECT_EQ(t.control<QLineEdit>(1000)->text(), "Test");
  EXPECT_EQ(t.control<QLineEdit>(1008)->text().toStdString(), complete.dir.prefix() + "t.cpt");
  EXPECT_EQ(t.commands(), "01010") << "complete project";
  t.d.begin_build();
  EXPECT_EQ(t.commands(), "01001") << "build running";
  t.d.stop_build();
  ASSERT_TRUE(t.wait_ended());
  EXPECT_EQ(t.commands(), "01010") << "build ended";
}

TEST(LoamerDialog, EveryWayOutIsRefusedWhileABuildRuns) {
  Project p;
  Dialog t;
  t.d.open_project(QString::fromStdString(p.file));
  t.d.begin_build();
  const std::vector<std::pair<const char*, std::function<void()>>> ways{
      {"File > Exit", [&] { t.action(32774)->trigger(); }},
      {"close button", [&] { t.d.close(); }},
      {"Enter",
       [&] {
         QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
         QApplication::sendEvent(&t.d, &key);
       }},
      {"Esc",
       [&] {
         QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&t.d, &key);
       }},
  };
  for (const auto& [name, leave] : ways) {
    t.boxes.clear();
    leave();
    ASSERT_EQ(t.boxes.size(), 1u) << name;
    EXPECT_EQ(t.boxes[0].first,
              "Build is in progress.   If you wish to exit, you must stop the build process using the 'Stop Build' "
              "selection in the Build menu.")
        << name;
    EXPECT_EQ(t.boxes[0].second, "Vr2 Terrain Generator") << name;
    EXPECT_TRUE(t.d.isVisible()) << name;
  }
  t.d.stop_build();
  ASSERT_TRUE(t.wait_ended());

  // Without a build every way out closes the dialog, with no box.
  for (const auto& [name, leave] : ways) {
    t.boxes.clear();
    t.d.show();
    leave();
    EXPECT_TRUE(t.boxes.empty()) << name;
    EXPECT_FALSE(t.d.isVisible()) << name;
  }
}

TEST(LoamerDialog, BuildsToCompletionWithOneWorker) {
  Project p;
  Dialog t;
  t.d.open_project(QString::fromStdString(p.file));
  t.d.begin_build();
  t.d.begin_build();  // pressed twice: still one worker
  ASSERT_TRUE(t.wait_ended());
  EXPECT_EQ(t.d.workers_started(), 1);
  EXPECT_EQ(t.last_line(), "Build Completed");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.control<QLabel>(1003 + i)->text(), "341 of 341") << "stage " << i + 1;
    EXPECT_EQ(t.control<QProgressBar>(1009 + i)->value(), 341) << "stage " << i + 1;
  }
  // The terrain view shows the build and the block under the mouse.
  auto* view = t.d.findChild<loamer::gui::TerrainView*>("terrain_view");
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
}

TEST(LoamerDialog, ABlockThatCannotBeWrittenEndsAsAFailedBuild) {
  Project p;
  std::filesystem::create_directory(p.dir.file("S4_10_10.tml"));
  Dialog t;
  t.d.open_project(QString::fromStdString(p.file));
  t.d.begin_build();
  ASSERT_TRUE(t.wait_ended());
  const QString error =
      QString::fromStdString("Error:  " + p.dir.file("S4_10_10.tml") + ": cannot write: Is a directory");
  EXPECT_TRUE(t.logged(error));
  EXPECT_FALSE(t.logged("Build Completed"));
  EXPECT_FALSE(std::filesystem::exists(p.dir.file("t.cpt")));
  EXPECT_EQ(t.control<QLabel>(1003)->text(), "Aborted");
  EXPECT_FALSE(t.d.build_running());
  EXPECT_EQ(t.commands().substr(3), "10");  // Begin Build offered again
}

TEST(LoamerDialog, StopDuringTriangulationAborts) {
  Project p;
  Dialog t;
  t.d.open_project(QString::fromStdString(p.file));
  t.d.begin_build();
  ASSERT_TRUE(wait_until([&] { return t.control<QProgressBar>(1009)->value() > 0 || !t.d.build_running(); }));
  t.d.stop_build();
  ASSERT_TRUE(t.wait_ended());
  EXPECT_TRUE(t.logged("Stopping Build...."));
  EXPECT_EQ(t.last_line(), "Build Stopped");
  EXPECT_EQ(t.control<QLabel>(1003)->text(), "Aborted");
  EXPECT_TRUE(std::filesystem::exists(p.dir.file("Output.dep")));
}

TEST(LoamerDialog, OutputListKeepsTheLastLineOnTop) {
  Dialog t;
  for (int i = 0; i < 300; ++i) t.output()->add_line(QString("line %1").arg(i));
  QCoreApplication::processEvents();
  EXPECT_EQ(t.output()->top_row(), 299);
  // Also when the list changes size (the terrain view appears beside it).
  t.output()->resize(t.output()->width() / 2, t.output()->height() + 40);
  QCoreApplication::processEvents();
  EXPECT_EQ(t.output()->top_row(), 299);
}

TEST(LoamerDialog, AProjectThatCannotBeReadSaysWhy) {
  Dialog t;
  tools::test::ScratchDir dir("loamer-gui");
  const std::string missing = dir.file("none.tpj");
  t.d.open_project(QString::fromStdString(missing));
  for (int id : {1000, 1001, 1002, 1008}) EXPECT_EQ(t.control<QLineEdit>(id)->text(), "") << id;
  EXPECT_TRUE(t.logged(QString::fromStdString("Opening " + missing)));
  EXPECT_TRUE(t.last_line().startsWith(QString::fromStdString(missing))) << t.last_line().toStdString();
  EXPECT_EQ(t.commands(), "01000");
}

// A depth map that cannot be used is one entry of the Output list: the
// build's own line first, the file and the reason below it.
TEST(LoamerDialog, ADepthMapErrorIsListedOnce) {
  for (const bool missing : {true, false}) {
    Project p;
    if (missing) std::filesystem::remove(p.dir.file("map.raw"));
    else p.dir.put("map.raw", std::string(1000, 'x'));
    Dialog t;
    t.d.open_project(QString::fromStdString(p.file));
    t.d.begin_build();
    ASSERT_TRUE(t.wait_ended());
    const QString map = QString::fromStdString(p.dir.file("map.raw"));
    int naming = 0;
    for (int i = 0; i < t.output()->count(); ++i)
      naming += t.output()->item(i)->text().contains("Could not open Input file") ||
                t.output()->item(i)->text().contains(map);
    EXPECT_EQ(naming, 1) << "missing " << missing;
    const QStringList entry = t.last_line().split('\n');
    if (missing) {
      ASSERT_EQ(entry.size(), 2);
      EXPECT_EQ(entry[0], "Error:  Could not open Input file");
      EXPECT_EQ(entry[1], map + ": cannot open: No such file or directory");
    } else {
      EXPECT_EQ(entry,
                QStringList{"Error:  " + map + " holds 1000 bytes; a depth map needs 1048576 (1024 rows of 1024)"});
    }
    EXPECT_EQ(t.output()->top_row(), t.output()->count() - 1);
  }
}

// After a build: the terrain view fills the dialog's right-hand side, at
// least 512 pixels a side at the default size, grows with the dialog and
// zooms with the wheel about the point under the pointer; another project
// starts with empty bars.
TEST(LoamerDialog, TerrainViewAndBarsAfterABuild) {
  Project p, other;
  Dialog t;
  t.d.open_project(QString::fromStdString(p.file));
  t.d.begin_build();
  ASSERT_TRUE(t.wait_ended());
  QCoreApplication::processEvents();
  auto* view = t.d.findChild<loamer::gui::TerrainView*>("terrain_view");
  ASSERT_NE(view, nullptr);
  auto* canvas = const_cast<loamer::gui::ReliefCanvas*>(view->canvas());
  const QRectF frame = canvas->frame_rect();
  EXPECT_GE(frame.width(), 512) << t.d.width() << "x" << t.d.height();
  t.d.resize(t.d.width() + 200, t.d.height() + 200);
  QCoreApplication::processEvents();
  EXPECT_GT(canvas->frame_rect().width(), frame.width() + 100);

  const QPointF at = canvas->frame_rect().topLeft() + QPointF(100, 150);
  const QRectF before = canvas->grid_rect();
  const QPointF grid_before = (at - before.topLeft()) / before.width();
  QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(canvas, &wheel);
  EXPECT_NEAR(canvas->zoom(), 1.5625, 1e-9);
  const QRectF after = canvas->grid_rect();
  const QPointF grid_after = (at - after.topLeft()) / after.width();
  EXPECT_NEAR(grid_after.x(), grid_before.x(), 1e-6);
  EXPECT_NEAR(grid_after.y(), grid_before.y(), 1e-6);
  // Zooming out never shows less than the whole frame.
  for (int i = 0; i < 5; ++i) canvas->zoom_at(canvas->frame_rect().topLeft(), 0.5);
  EXPECT_EQ(canvas->grid_rect(), canvas->frame_rect());

  t.d.open_project(QString::fromStdString(other.file));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.control<QProgressBar>(1009 + i)->value(), 0) << "stage " << i + 1;
    EXPECT_EQ(t.control<QLabel>(1003 + i)->text(), "") << "stage " << i + 1;
  }
}

TEST(LoamerDialog, AboutBoxAndTitleNameOneVersion) {
  Dialog t;
  QString about, package;
  QTimer::singleShot(0, &t.d, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      if (auto* text = box->findChild<QLabel*>("version")) about = text->text();
      if (auto* text = box->findChild<QLabel*>("package_version")) package = text->text();
      box->close();
    }
  });
  t.action(16)->trigger();
  ASSERT_TRUE(about.startsWith("Loamer Version ")) << about.toStdString();
  const QString version = about.mid(QString("Loamer Version ").size());
  EXPECT_TRUE(t.d.windowTitle().endsWith(" - v" + version)) << t.d.windowTitle().toStdString();
  // The package version goes below, and the title keeps the program's own.
  EXPECT_EQ(package, QString("Package: orvo-tools ") + tools::kPackageVersion);
  EXPECT_FALSE(t.d.windowTitle().contains(tools::kPackageVersion));
}

}  // namespace

int main(int argc, char** argv) {
  // Also when the test list is read at build time, where there is no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
