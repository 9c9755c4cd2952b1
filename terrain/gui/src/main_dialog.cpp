#include "loamer/gui/main_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "loamer/build.h"
#include "loamer/gui/build_runner.h"
#include "loamer/gui/output_list.h"
#include "loamer/gui/terrain_view.h"
#include "loamer/naming.h"
#include "tools/base/version.h"

// The icon is compiled into this static library; a static library's
// resources are registered by hand.
static void init_loamer_resources() {
  Q_INIT_RESOURCE(loamer);
}

namespace loamer::gui {

namespace {

// The program's version, named alike by the title and the About box.
constexpr const char* kVersion = "1.02";
constexpr const char* kTitleStart = "Stormline - Terrain Generator - v";
constexpr const char* kAboutStart = "Loamer Version ";
constexpr const char* kIcon = ":/loamer/loamer.png";

// The field limits: terrain name and creator, depth map and output.
constexpr int kNameLimit = 63;
constexpr int kPathLimit = 261;

constexpr QSize kDefaultSize(1140, 800);

QString from_std(const std::string& s) {
  return QString::fromStdString(s);
}

QAction* command(QMenu* menu, const char* text, int id) {
  QAction* action = menu->addAction(text);
  action->setObjectName(QString("id%1").arg(id));
  return action;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent) : QDialog(parent), runner_(new BuildRunner(this)) {
  init_loamer_resources();
  setWindowTitle(QString(kTitleStart) + kVersion);
  setWindowIcon(QIcon(kIcon));
  message_box = [this](const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
    box.exec();
  };

  auto* info = new QGroupBox("Terrain Information", this);
  auto* form = new QFormLayout(info);
  const std::array<std::pair<const char*, int>, 4> field_specs{
      {{"Terrain Name", 1000}, {"Created By", 1001}, {"Input (Depth Map)", 1002}, {"Output", 1008}}};
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto* field = new QLineEdit(info);
    field->setObjectName(QString("id%1").arg(field_specs[i].second));
    field->setReadOnly(true);
    field->setMaxLength(i < 2 ? kNameLimit : kPathLimit);
    form->addRow(field_specs[i].first, field);
    fields_[i] = field;
  }

  auto* status = new QGroupBox("Status", this);
  auto* grid = new QGridLayout(status);
  const std::array<const char*, 4> stage_names{"Triangulation and LOD", "Export Unoptimized Data", "Optimize Data",
                                               "Export Optimized Data"};
  for (int i = 0; i < kBuildStages; ++i) {
    auto* bar = new QProgressBar(status);
    bar->setObjectName(QString("id%1").arg(1009 + i));
    bar->setTextVisible(false);
    bar->setRange(0, 1);
    bar->setValue(0);
    auto* text = new QLabel(status);
    text->setObjectName(QString("id%1").arg(1003 + i));
    text->setMinimumWidth(fontMetrics().horizontalAdvance("000 of 000") + 12);
    grid->addWidget(new QLabel(stage_names[static_cast<size_t>(i)], status), i, 0);
    grid->addWidget(bar, i, 1);
    grid->addWidget(text, i, 2);
    bars_[static_cast<size_t>(i)] = bar;
    stage_texts_[static_cast<size_t>(i)] = text;
  }
  jobs_ = new QSpinBox(status);
  jobs_->setObjectName("jobs");
  jobs_->setRange(1, 256);
  jobs_->setValue(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  jobs_->setToolTip("Threads that build independent blocks at once");
  auto* jobs_row = new QHBoxLayout;
  jobs_row->addWidget(new QLabel("Threads", status));
  jobs_row->addWidget(jobs_);
  jobs_row->addStretch(1);
  grid->addLayout(jobs_row, kBuildStages, 0, 1, 3);
  grid->setColumnStretch(1, 1);

  auto* out = new QGroupBox("Output", this);
  auto* out_box = new QVBoxLayout(out);
  output_ = new OutputList(out);
  output_->setObjectName("id1007");
  output_->setMinimumWidth(360);
  out_box->addWidget(output_);

  // The terrain view takes the right-hand side from top to bottom, so the
  // relief is as tall as the dialog allows; it grows with the dialog.
  view_ = new TerrainView(this);
  view_->setObjectName("terrain_view");
  view_->hide();

  auto* left = new QVBoxLayout;
  left->addWidget(info);
  left->addWidget(status);
  left->addWidget(out, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 0);
  layout->addWidget(view_, 1);
  build_menus();

  connect(runner_, &BuildRunner::logged, output_, &OutputList::add_line, Qt::QueuedConnection);
  connect(
      runner_, &BuildRunner::progressed, this,
      [this](int stage, long done, long total) {
        if (stage < 1 || stage > kBuildStages) return;
        QProgressBar* bar = bars_[static_cast<size_t>(stage - 1)];
        bar->setRange(0, static_cast<int>(std::max(total, 1L)));
        bar->setValue(static_cast<int>(done));
      },
      Qt::QueuedConnection);
  connect(
      runner_, &BuildRunner::stage_text_changed, this,
      [this](int stage, const QString& text) {
        if (stage >= 1 && stage <= kBuildStages) stage_texts_[static_cast<size_t>(stage - 1)]->setText(text);
      },
      Qt::QueuedConnection);
  connect(runner_, &BuildRunner::finished, this, &MainDialog::on_finished, Qt::QueuedConnection);

  show_fields();
  update_commands();
  // Room for a terrain view of at least 512 pixels a side beside the
  // project, the bars and the Output list.
  resize(kDefaultSize);
}

MainDialog::~MainDialog() {
  // Stop and wait for a running build while every widget it reports to is
  // still there.
  delete runner_;
}

void MainDialog::build_menus() {
  auto* bar = new QMenuBar(this);
  QMenu* file = bar->addMenu("&File");
  new_ = command(file, "&New...", 32771);
  open_ = command(file, "&Open...", 32772);
  save_as_ = command(file, "Save &As...", 32773);
  file->addSeparator();
  exit_ = command(file, "E&xit", 32774);
  QMenu* build = bar->addMenu("&Build");
  begin_ = command(build, "&Begin Build", 32775);
  stop_ = command(build, "&Stop Build", 32776);
  // The About item of the window's system menu; Linux window managers have
  // no such menu to add to, so it sits under Help.
  QMenu* help = bar->addMenu("&Help");
  about_ = command(help, "&About Loamer...", 16);
  new_->setEnabled(false);
  save_as_->setEnabled(false);
  layout()->setMenuBar(bar);

  connect(open_, &QAction::triggered, this, &MainDialog::choose_project);
  connect(exit_, &QAction::triggered, this, &QDialog::accept);
  connect(begin_, &QAction::triggered, this, &MainDialog::begin_build);
  connect(stop_, &QAction::triggered, this, &MainDialog::stop_build);
  connect(about_, &QAction::triggered, this, &MainDialog::show_about);
  connect(build, &QMenu::aboutToShow, this, &MainDialog::update_commands);
}

void MainDialog::choose_project() {
  QFileDialog dialog(this, "Open", QDir::currentPath(), "Terrain Project Files (*.tpj)");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix("tpj");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  open_project(dialog.selectedFiles().front());
}

void MainDialog::open_project(const QString& path) {
  const std::string file = path.toStdString();
  const tools::Status read = read_project(file, project_, locks_);
  // The bars and stage texts belonged to the project before; a running
  // build keeps reporting to them.
  if (!build_running()) reset_status();
  project_file_ = file;
  show_fields();
  output_->add_line("Opening " + QFileInfo(path).absoluteFilePath());
  // Say why Begin Build will stay disabled.
  if (!read.ok()) {
    output_->add_line(from_std(read.error().message));
  } else if (tools::Status complete = check_complete(project_, file); !complete) {
    output_->add_line(from_std(complete.error().message));
  }
  if (!build_running()) show_terrain_view(read.ok() && view_->show_build(project_.path));
  update_commands();
}

void MainDialog::show_fields() {
  const std::array<const std::string*, 4> values{&project_.terrain_name, &project_.creator, &project_.depth_map,
                                                 &project_.output};
  for (size_t i = 0; i < fields_.size(); ++i) {
    fields_[i]->setText(from_std(*values[i]));
    fields_[i]->setCursorPosition(0);
  }
}

void MainDialog::begin_build() {
  if (build_running() || !project_.complete) return;
  reset_status();
  build_first_line_ = output_->count();
  BuildParams params = build_params(project_, locks_);
  params.jobs = jobs_->value();
  runner_->begin(params);
  update_commands();
}

void MainDialog::reset_status() {
  for (QLabel* text : stage_texts_) text->clear();
  for (QProgressBar* bar : bars_) {
    bar->setRange(0, 1);
    bar->setValue(0);
  }
}

void MainDialog::stop_build() {
  if (!build_running()) return;
  runner_->request_stop();
  output_->add_line("Stopping Build....");
}

void MainDialog::on_finished(int build, bool ok, bool stopped, const QString& error) {
  if (build != runner_->workers_started()) return;  // a report of an earlier build, overtaken
  runner_->wait();
  if (!ok && !stopped && !error.isEmpty()) list_failure(error);
  if (ok) show_terrain_view(view_->show_build(project_.path));
  update_commands();
  emit build_ended(ok);
}

// A failed build has said what failed in its own words ("Error:  Could not
// open Input file"); the file and the reason go on a line below that one,
// in the same entry, so the failure is listed once. When the build's line
// already names them, nothing is added.
void MainDialog::list_failure(const QString& error) {
  QListWidgetItem* said = nullptr;
  for (int i = output_->count() - 1; i >= build_first_line_ && said == nullptr; --i) {
    QListWidgetItem* item = output_->item(i);
    if (item->text().startsWith("Error:")) said = item;
  }
  if (said == nullptr) {
    output_->add_line(error);
  } else if (!said->text().contains(error)) {
    said->setText(said->text() + "\n" + error);
    output_->scroll_to_end();
  }
}

void MainDialog::show_terrain_view(bool shown) {
  view_->setVisible(shown);
  if (!shown) view_->clear();
}

void MainDialog::update_commands() {
  const bool running = build_running();
  begin_->setEnabled(project_.complete && !running);
  stop_->setEnabled(project_.complete && running);
  new_->setEnabled(false);
  save_as_->setEnabled(false);
}

bool MainDialog::build_running() const {
  return runner_->running();
}

int MainDialog::workers_started() const {
  return runner_->workers_started();
}

void MainDialog::done(int result) {
  if (build_running()) {
    message_box(kBuildInProgress, kGuardCaption);
    return;
  }
  QDialog::done(result);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  // Enter ends the dialog as its OK button would; Esc (handled by QDialog)
  // as Cancel. Both pass through done().
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainDialog::show_about() {
  QDialog about(this);
  about.setWindowTitle("About Loamer");
  auto* icon = new QLabel(&about);
  icon->setPixmap(QIcon(kIcon).pixmap(48, 48));
  auto* text = new QLabel(QString(kAboutStart) + kVersion, &about);
  text->setObjectName("version");
  // The package the program came in, below the program's own version.
  auto* package = new QLabel(QString("Package: %1 %2").arg(tools::kPackageName, tools::kPackageVersion), &about);
  package->setObjectName("package_version");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(package);
  row->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(&about);
  layout->addLayout(row);
  layout->addWidget(buttons);
  about.exec();
}

}  // namespace loamer::gui
