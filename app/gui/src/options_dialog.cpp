#include "orvo/gui/options_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

#include "dialog_fields.h"
#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

// Why `folder` cannot serve as a folder, or nothing when it can (an empty
// path means the current folder).
std::optional<std::string> folder_problem(const std::string& folder) {
  if (folder.empty()) return std::nullopt;
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(folder, ec);
  if (st.type() == std::filesystem::file_type::not_found) return "does not exist";
  if (ec) return ec.message();
  if (st.type() != std::filesystem::file_type::directory) return "is not a folder";
  return std::nullopt;
}

}  // namespace

std::optional<QString> browse_folder(QWidget* parent, const QString& start) {
  QFileDialog dialog(parent, QStringLiteral("Select Folder"), start);
  dialog.setFileMode(QFileDialog::Directory);
  // The same browser on every desktop; its path field shows the folder
  // selected.
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

OptionsDialog::OptionsDialog(FolderSettings& folders, QWidget* parent) : QDialog(parent), folders_(folders) {
  setWindowTitle(QStringLiteral("ORVO Options"));
  choose_folder = [this](const QString& start) { return browse_folder(this, start); };
  warn = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

  auto* grid = new QGridLayout;
  struct Row {
    const char* label;
    int edit_id;
    int button_id;
    const std::string& value;
    QLineEdit** edit;
  };
  const Row rows[] = {{"Default Texture Folder", 1195, 1196, folders.texture_folder, &texture_},
                      {"Default 3DI Export Folder", 1197, 1198, folders.export_folder, &export_}};
  int row = 0;
  for (const Row& r : rows) {
    auto* edit = new QLineEdit(qs(r.value), this);
    set_id(edit, r.edit_id);
    edit->setMaxLength(static_cast<int>(kMaxFolderPath));
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 44);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    set_id(browse, r.button_id);
    browse->setAutoDefault(false);
    browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    connect(browse, &QPushButton::clicked, this, [this, edit] { browse_into(edit); });
    grid->addWidget(new QLabel(QString::fromLatin1(r.label), this), row++, 0, 1, 2);
    grid->addWidget(edit, row, 0);
    grid->addWidget(browse, row++, 1);
    *r.edit = edit;
  }

  QDialogButtonBox* buttons = add_ok_cancel(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

void OptionsDialog::browse_into(QLineEdit* edit) {
  // A cancelled browser leaves the edit as it was.
  if (const std::optional<QString> folder = choose_folder(QDir::currentPath())) edit->setText(*folder);
}

void OptionsDialog::accept() {
  folders_.texture_folder = read_path_field(texture_, kMaxFolderPath);
  folders_.export_folder = read_path_field(export_, kMaxFolderPath);
  // The folders are kept as given (one may be made later); the person is
  // told what will not work until then.
  QString text;
  const auto check = [&text](const char* what, const std::string& folder, const char* effect) {
    if (const std::optional<std::string> why = folder_problem(folder))
      text += QString("The %1 folder %2 %3: %4.\n").arg(what, qs(folder), qs(*why), effect);
  };
  check("texture", folders_.texture_folder, "no texture will be found until it is made");
  check("export", folders_.export_folder, "the export dialog cannot start there");
  if (!text.isEmpty()) warn(text.trimmed());
  QDialog::accept();
}

}  // namespace orvo::gui
