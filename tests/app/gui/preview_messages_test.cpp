// What the main window tells after an export, a preview or the options:
// failures with the file and the reason under their fixed words and the
// status window gone first, a finished export in the status bar, the
// pictures an export could not read in the log window, the options'
// warning about folders that are not there, "Update Textures" after View
// 3DI, and Help › About naming the scratch folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "orvo/gui/main_window.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/options_dialog.h"
#include "orvo/gui/qt_text.h"
#include "orvo/runtime/memory_pool.h"
#include "sample_folder.h"
#include "tools/base/version.h"
#include "tools/test/scratch_dir.h"

namespace orvo::gui {
namespace {

class PreviewMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = enter_sample_folder(dir_);
    doc_.paths = make_document_paths(dir_.prefix(), dir_.file("data"));
    files_.notifier = &notifier_;
    window_ = std::make_unique<MainWindow>(doc_, files_, notifier_, preview_);
    notifier_.set_parent(window_.get());
    notifier_.show_message = [this](const QString& text, const QString& caption) {
      messages_.push_back(ss(text));
      captions_.push_back(ss(caption));
      // What stands on the screen beside the message box.
      status_open_.push_back(notifier_.status_window()->isVisible());
    };
    window_->choose_file = [this](const FileDialogRequest&) -> std::optional<QString> { return qs(chosen_); };
    window_->resize(1000, 700);
    window_->move(40, 30);
    window_->show();
    window_->set_supported_levels(3);
    chosen_ = dir_.file("tankh.3da");
    window_->action(cmd::kOpenAll)->trigger();
    messages_.clear();
  }
  void TearDown() override {
    window_.reset();
    std::filesystem::current_path(old_);
  }

  std::vector<std::string> log_lines() {
    std::vector<std::string> out;
    if (auto* list = notifier_.log_window()->findChild<QListWidget*>("log_list"))
      for (int i = 0; i < list->count(); ++i) out.push_back(ss(list->item(i)->text()));
    return out;
  }

  std::filesystem::path old_;
  tools::test::ScratchDir dir_{"orvo-gui-messages"};
  Document doc_;
  GuiNotifier notifier_;
  FileCommandContext files_;
  LoaderPreview preview_;
  std::unique_ptr<MainWindow> window_;
  std::vector<std::string> messages_, captions_;
  std::vector<bool> status_open_;
  std::string chosen_;
};

TEST_F(PreviewMessagesTest, AFailedExportClosesTheStatusAndNamesFileAndReason) {
  chosen_ = dir_.file("gone/tank.3di");
  window_->action(cmd::kExport3di)->trigger();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Unable to export file\n" + chosen_ + ": cannot write: No such file or directory");
  EXPECT_FALSE(status_open_[0]);  // closed before the message box shows

  // A failed preview start closes it too.
  window_->preview().set_scratch_folder(dir_.file("gone"));
  window_->run_command(cmd::kRenderAll);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1], "Unable to save temprend.3di\n" + dir_.file("gone/temprend.3di") +
                              ": cannot write: No such file or directory");
  EXPECT_FALSE(status_open_[1]);
  EXPECT_FALSE(notifier_.status_window()->isVisible());
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
}

TEST_F(PreviewMessagesTest, AFinishedExportIsConfirmedAndItsPictureWarningsStayListed) {
  std::filesystem::create_directory(dir_.file("empty"));
  doc_.folders().texture_folder = dir_.file("empty");
  chosen_ = dir_.file("tank.3di");
  window_->action(cmd::kExport3di)->trigger();
  EXPECT_TRUE(messages_.empty()) << messages_.front();
  const std::string bar = ss(window_->statusBar()->currentMessage());
  EXPECT_TRUE(bar.starts_with("tank.3di: 4 levels, ")) << bar;
  EXPECT_TRUE(bar.ends_with(" KB")) << bar;
  // Every picture the export could not read is listed, and the list stays.
  const std::vector<std::string> lines = log_lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("not read from") != std::string::npos; }),
            7);
  EXPECT_TRUE(notifier_.log_window()->isVisible());
  // Longer than a conversion log stays when nothing went wrong.
  QEventLoop wait;
  QTimer::singleShot(600, &wait, &QEventLoop::quit);
  wait.exec();
  EXPECT_TRUE(notifier_.log_window()->isVisible());
}

TEST_F(PreviewMessagesTest, TheStatusWindowOpensCentredOnTheMainWindow) {
  notifier_.status("Exporting 'a rather long name for a model file.3di'\r\nProcessing vertices...");
  StatusWindow* status = notifier_.status_window();
  ASSERT_TRUE(status->isVisible());
  const QPoint offset = status->geometry().center() - window_->geometry().center();
  EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << ", " << offset.y();
  notifier_.status("");
  EXPECT_FALSE(status->isVisible());
}

TEST_F(PreviewMessagesTest, UpdateTexturesAfterView3diShowsTheViewedFileAgain) {
  window_->run_command(cmd::kRenderAll);
  ASSERT_EQ(doc_.preview_mode, kPreviewAll);
  std::filesystem::copy_file(dir_.file(kPreviewModelFile), dir_.file("viewed.3di"));
  window_->run_command(cmd::kWire);
  chosen_ = dir_.file("viewed.3di");
  window_->action(cmd::kView3di)->trigger();
  ASSERT_EQ(doc_.preview_mode, kPreviewCurrent) << (messages_.empty() ? "" : messages_.back());
  std::filesystem::remove(dir_.file(kPreviewModelFile));
  window_->findChild<QPushButton*>("id1047")->click();
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent) << (messages_.empty() ? "" : messages_.back());
  EXPECT_EQ(window_->preview().shown_file(), dir_.file("viewed.3di"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file(kPreviewModelFile)));  // the editor's model was not swapped in
}

TEST_F(PreviewMessagesTest, OptionsWarnAboutFoldersThatAreNotThere) {
  std::filesystem::create_directory(dir_.file("textures"));
  dir_.put("export.txt", "a file, not a folder");
  window_->run_dialog = [this](QDialog& dialog) {
    dialog.findChild<QLineEdit*>("id1195")->setText(qs(dir_.file("textures")));
    dialog.findChild<QLineEdit*>("id1197")->setText(qs(dir_.file("export.txt")));
    dialog.accept();
    return dialog.result();
  };
  window_->run_command(cmd::kOptions);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(captions_[0], "ORVO Options");
  EXPECT_EQ(messages_[0],
            "The export folder " + dir_.file("export.txt") + " is not a folder: the export dialog cannot start there.");
  EXPECT_EQ(doc_.folders().export_folder, dir_.file("export.txt"));  // kept as given

  window_->run_dialog = [this](QDialog& dialog) {
    dialog.findChild<QLineEdit*>("id1195")->setText(qs(dir_.file("no-textures")));
    dialog.findChild<QLineEdit*>("id1197")->setText(qs(dir_.file("textures")));
    dialog.accept();
    return dialog.result();
  };
  window_->run_command(cmd::kOptions);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1], "The texture folder " + dir_.file("no-textures") +
                              " does not exist: no texture will be found until it is made.");

  // Folders that are there, or left empty, pass without a word.
  window_->run_dialog = [](QDialog& dialog) {
    dialog.findChild<QLineEdit*>("id1195")->clear();
    dialog.accept();
    return dialog.result();
  };
  window_->run_command(cmd::kOptions);
  EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(PreviewMessagesTest, AboutNamesTheFolderOfTheScratchFilesAndLogs) {
  window_->preview().set_scratch_folder("/home/ada/.local/state/Brellwick/ORVO");
  QString shown, text;
  window_->run_dialog = [&shown, &text](QDialog& dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
      shown = box->windowTitle() + "\n" + box->informativeText();
      text = box->text();
    }
    return 0;
  };
  QAction* about = window_->findChild<QAction*>("about");
  ASSERT_NE(about, nullptr);
  about->trigger();
  EXPECT_TRUE(shown.startsWith("About Orvo\n")) << ss(shown);
  EXPECT_TRUE(
      shown.contains("temprend.3di, 3di_log.txt, ghw.txt, _fastmem.txt):\n"
                     "/home/ada/.local/state/Brellwick/ORVO\n"))
      << ss(shown);
  // The window title's own version first, the package's below it.
  EXPECT_TRUE(text.startsWith("TanuORVO v1.05")) << ss(text);
  EXPECT_TRUE(text.endsWith(QString("\nPackage: orvo-tools ") + tools::kPackageVersion)) << ss(text);
}

}  // namespace
}  // namespace orvo::gui
