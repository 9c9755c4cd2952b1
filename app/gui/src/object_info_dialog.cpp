// "Object Information": the counts and lists of one model, and its text
// report.

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_fields.h"
#include "orvo/app/editor_texts.h"
#include "orvo/app/report.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/qt_text.h"
#include "tools/base/file_io.h"
#include "tools/base/host.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

// A titled list of names; the title carries the count.
QGroupBox* name_list(const char* object_name, const QString& title, const QStringList& lines, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* list = new QListWidget(group);
  list->setObjectName(QString::fromLatin1(object_name));
  list->addItems(lines);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(list);
  return group;
}

template <typename Items>
QStringList names_of(const Items& items) {
  QStringList lines;
  for (const auto& item : items) lines << qs(item.name.view());
  return lines;
}

QString counted(const char* title, qsizetype n) {
  return qs(tools::format_text("%s (%i)", title, static_cast<int>(n)));
}

void save_report(QWidget* owner, const Model& model, EditorContext& context) {
  if (!context.choose_save_file) return;
  const std::optional<std::string> path =
      context.choose_save_file(owner, QStringLiteral("Save Text File"), QStringLiteral("Text file (*.txt)"));
  if (!path) return;
  // Written whole or not at all: a failed write leaves any old file as it was.
  const tools::Status written = tools::write_file_atomic(*path, report_text(model, tools::local_time_now()));
  if (!written.ok() && context.show_error)
    context.show_error(owner, qs(written.error().message), QStringLiteral("Error"));
}

}  // namespace

void run_object_info(QWidget* owner, const Model& model, EditorContext& context) {
  QDialog dialog(owner);
  dialog.setWindowTitle(QStringLiteral("Object Information"));

  auto* name = new QLabel(qs(object_name_text(model)), &dialog);
  QStringList objects;
  for (const SubObject& so : model.subobjects) objects << qs(object_line(so));
  QStringList materials;
  for (int i = 0; i < model.num_materials && i < kMaxMaterials; ++i)
    materials << qs(model.materials[static_cast<std::size_t>(i)].name.view());

  auto* lists = new QGridLayout;
  QGroupBox* objects_box = name_list("objects", counted("Objects", objects.size()), objects, &dialog);
  // The objects' columns line up in a fixed-pitch font.
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  objects_box->findChild<QListWidget*>()->setFont(fixed);
  lists->addWidget(objects_box, 0, 0);
  lists->addWidget(name_list("materials", counted("Materials", materials.size()), materials, &dialog), 0, 1);
  lists->addWidget(
      name_list("attachment_points", counted("Attachment Points", static_cast<qsizetype>(model.attach.size())),
                names_of(model.attach), &dialog),
      1, 0);
  lists->addWidget(name_list("center_points", counted("Center Points", static_cast<qsizetype>(model.centers.size())),
                             names_of(model.centers), &dialog),
                   1, 1);

  auto* vertices = new QLabel(qs(total_vertices_text(model)), &dialog);
  vertices->setObjectName(QStringLiteral("total_vertices"));
  auto* polys = new QLabel(qs(total_polys_text(model)), &dialog);
  polys->setObjectName(QStringLiteral("total_polys"));
  name->setObjectName(QStringLiteral("object_name"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  set_id(buttons->button(QDialogButtonBox::Ok), kOkId);
  QPushButton* save = buttons->addButton(QStringLiteral("&Save Text File"), QDialogButtonBox::ActionRole);
  set_id(save, 4110);
  save->setAutoDefault(false);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(save, &QPushButton::clicked, &dialog, [&] { save_report(&dialog, model, context); });

  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(name);
  layout->addLayout(lists);
  layout->addWidget(vertices);
  layout->addWidget(polys);
  layout->addWidget(buttons);
  context.run_dialog(dialog);
}

}  // namespace orvo::gui
