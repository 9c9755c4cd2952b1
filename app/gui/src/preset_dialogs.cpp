#include "orvo/gui/preset_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

#include "dialog_fields.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/qt_text.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

Generator generator_of(const FunctionPreset& p) {
  Generator g;
  g.style = p.style;
  g.rate = p.rate;
  g.start = p.start;
  g.end = p.end;
  g.phase = p.phase;
  g.ctrlreg.assign(p.ctrlreg);
  return g;
}

// `text` as UTF-8 cut to `max` bytes without splitting a character.
std::string cut(const QString& text, std::size_t max) {
  std::string s = ss(text);
  if (s.size() <= max) return s;
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
  return s;
}

}  // namespace

PresetEditDialog::PresetEditDialog(QWidget* owner, FunctionPresetList& list, std::size_t index, EditorContext& context)
    : ScalarGeneratorDialog(owner, generator_of(list[index]), kSetOnlyStyleList, list[index].usage == kPresetUsageAlpha,
                            context.registers, 2),
      list_(list),
      index_(index),
      context_(context) {
  setWindowTitle(QStringLiteral("Function Preset"));
  const FunctionPreset& p = list[index];
  name_ = new QLineEdit(qs(p.name), this);
  set_id(name_, 1202);
  name_->setMaxLength(static_cast<int>(FunctionPreset::kMaxName));
  description_ = new QLineEdit(qs(p.comment), this);
  set_id(description_, 1203);
  description_->setMaxLength(static_cast<int>(FunctionPreset::kMaxComment));
  auto* name_label = new QLabel(QStringLiteral("&Name"), this);
  name_label->setBuddy(name_);
  auto* description_label = new QLabel(QStringLiteral("&Description"), this);
  description_label->setBuddy(description_);
  grid()->addWidget(name_label, 0, 0);
  grid()->addWidget(name_, 0, 1, 1, 3);
  grid()->addWidget(description_label, 1, 0);
  grid()->addWidget(description_, 1, 1, 1, 3);
  // Name and description come first in the tab order, as laid out.
  setTabOrder(name_, description_);
  setTabOrder(description_, first_control());
}

void PresetEditDialog::accept() {
  read_register();
  const std::string name = cut(name_->text(), FunctionPreset::kMaxName);
  const std::string comment = cut(description_->text(), FunctionPreset::kMaxComment);
  for (std::size_t i = 0; i < list_.size(); ++i) {
    if (i != index_ && tools::iequals(list_[i].name, name)) {
      if (context_.show_error)
        context_.show_error(this,
                            QStringLiteral("The name you have picked already exists!\r\nPlease choose a unique name"),
                            QStringLiteral("Error"));
      return;
    }
  }
  FunctionPreset& p = list_[index_];
  const Generator& g = working();
  p.name = name;
  p.comment = comment;
  p.style = g.style;
  p.rate = g.rate;
  p.start = g.start;
  p.end = g.end;
  p.phase = g.phase;
  p.ctrlreg = std::string(g.ctrlreg.view().substr(0, FunctionPreset::kMaxCtrlReg));
  QDialog::accept();
}

PresetListDialog::PresetListDialog(QWidget* owner, FunctionPresetList& list, std::string user, EditorContext& context)
    : QDialog(owner), list_(list), user_(std::move(user)), context_(context) {
  setWindowTitle(QStringLiteral("View Preset List"));
  auto* layout = new QVBoxLayout(this);
  lines_ = new QListWidget(this);
  set_id(lines_, 1199);
  lines_->setMinimumWidth(480);
  layout->addWidget(lines_);
  auto* row = new QHBoxLayout;
  auto* add = new QPushButton(QStringLiteral("&New"), this);
  set_id(add, 1200);
  delete_ = new QPushButton(QStringLiteral("&Delete"), this);
  set_id(delete_, 1201);
  row->addWidget(add);
  row->addWidget(delete_);
  row->addStretch(1);
  row->addWidget(add_ok_cancel(this));
  layout->addLayout(row);

  connect(add, &QPushButton::clicked, this, [this] { add_new(); });
  connect(delete_, &QPushButton::clicked, this, [this] { delete_selected(); });
  connect(lines_, &QListWidget::itemSelectionChanged, this,
          [this] { delete_->setEnabled(!lines_->selectedItems().isEmpty()); });
  connect(lines_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { edit(lines_->row(item)); });
  refresh();
}

void PresetListDialog::refresh() {
  lines_->clear();
  for (const FunctionPreset& p : list_.presets())
    lines_->addItem(qs(p.name) + QLatin1Char('\t') + QLatin1Char('[') + qs(p.creator) + QLatin1Char(']') +
                    QLatin1Char('\t') + qs(p.comment));
  lines_->clearSelection();
  delete_->setEnabled(false);
}

void PresetListDialog::add_new() {
  if (list_.full()) return;
  FunctionPreset p;
  p.name = "<Unnamed>";
  p.creator = user_.substr(0, FunctionPreset::kMaxCreator);
  p.comment = "Put your description here";
  p.first_used = file_time_now();
  list_.add(p);
  refresh();
}

void PresetListDialog::delete_selected() {
  const QList<QListWidgetItem*> selected = lines_->selectedItems();
  if (selected.isEmpty() || !context_.ask_yes_no_cancel) return;
  const int row = lines_->row(selected.front());
  const int answer = context_.ask_yes_no_cancel(
      this, QStringLiteral("Are you REALLY sure you want to delete this preset???"), QStringLiteral("Are you crazy?"));
  if (answer != QMessageBox::Yes) return;
  list_.remove(static_cast<std::size_t>(row));
  refresh();
}

void PresetListDialog::edit(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= list_.size()) return;
  PresetEditDialog dialog(this, list_, static_cast<std::size_t>(row), context_);
  context_.run_dialog(dialog);
  refresh();
}

void run_preset_list(QWidget* owner, FunctionPresetList& list, const std::string& user, EditorContext& context) {
  PresetListDialog dialog(owner, list, user, context);
  context.run_dialog(dialog);
}

}  // namespace orvo::gui
