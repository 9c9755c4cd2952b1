// The main window's command handlers: the command table's numbers that the
// document does not handle itself (files, dialogs, the preview, the
// register tests) bound to the window's own work.
#include "orvo/gui/main_window.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "orvo/gui/centre_dialog.h"
#include "orvo/gui/control_panel.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/layer_dialog.h"
#include "orvo/gui/material_dialog.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/options_dialog.h"
#include "orvo/gui/page_output.h"
#include "orvo/gui/page_view.h"
#include "orvo/gui/preset_dialogs.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/register_test_dialogs.h"
#include "orvo/gui/render_values_dialog.h"
#include "orvo/runtime/memory_pool.h"
#include "wait_cursor.h"

namespace orvo::gui {

void MainWindow::bind_commands() {
  table_.out_of_memory = [this](int id) {
    const CommandInfo* info = find_command(id);
    QString name = info != nullptr ? QString::fromUtf8(info->text.data(), static_cast<int>(info->text.size())) : "";
    name.remove('&');
    notifier_.message("Out of memory while running \"" + name.toStdString() + "\"; the command was stopped.", "Orvo");
  };
  table_.bind(cmd::kClearAll, {[this] { clear_command(true); }});
  table_.bind(cmd::kClear, {[this] { clear_command(false); }});
  table_.bind(cmd::kOpenAll, {[this] { open_model_command(true); }});
  table_.bind(cmd::kOpen, {[this] { open_model_command(false); }});
  table_.bind(cmd::kSaveAll, {[this] { save_model_command(true); }});
  table_.bind(cmd::kSave, {[this] { save_model_command(false); }});
  table_.bind(cmd::kImport, {[this] { import_command(); }});
  table_.bind(cmd::kExport3di, {[this] { export_command(); }});
  table_.bind(cmd::kView3di, {[this] { view_3di_command(); }, [this] { return !preview_.active(); }});
  table_.bind(cmd::kPrint, {[this] { print_command(); }});
  for (int i = 0; i < 4; ++i) table_.bind(cmd::kRecent1 + i, {[this, i] { recent_command(i); }});
  table_.bind(cmd::kExit, {[this] { close(); }});
  table_.bind(cmd::kLayers, {[this] { layers_command(); }});
  table_.bind(cmd::kRenderValues, {[this] { render_values_command(); }});
  table_.bind(cmd::kOptions, {[this] { options_command(); }});
  table_.bind(cmd::kCentreDialog, {[this] { centre_command(); }});
  table_.bind(cmd::kFrameAll, {[this] {
                const QSize page = page_->client_size();
                if (frame_model(doc_.view(), doc_.current_model(), page.width(), page.height()))
                  doc_.changed(kChangedView | kChangedCentre);
              }});
  table_.bind(cmd::kMemoryStack, {[this] { memory_stack_command(); }});
  table_.bind(cmd::kZeroIgnoreAlpha, {[this] { zero_alpha_command(); }});
  table_.bind(cmd::kSavePcx, {[this] { save_pcx_command(); }});
  for (int level = 1; level <= 3; ++level)
    table_.bind(compatibility_command(level), {[this, level] { preview_.set_compatibility_level(level); },
                                               {},
                                               [this, level] { return doc_.compatibility_level == level; }});
  // The preview's export warnings and the textures it cannot make fill a
  // fresh log window.
  table_.bind(cmd::kRender, {[this] {
                if (doc_.preview_mode != kPreviewCurrent) notifier_.begin_log();
                preview_.start(kPreviewCurrent);
              }});
  table_.bind(cmd::kRenderAll, {[this] {
                if (doc_.preview_mode != kPreviewAll) notifier_.begin_log();
                preview_.start(kPreviewAll);
              }});
  table_.bind(cmd::kWire, {[this] { preview_.stop(); }});
  table_.bind(cmd::kUpdateTextures, {[this] {
                notifier_.begin_log();
                preview_.reload();
              }});
  table_.bind(cmd::kMaterials, {[this] { materials_command(); }});
  table_.bind(cmd::kViewPresets, {[this] { run_preset_list(this, presets_, files_.username, editor_); }});
  bind_selection_commands();
  const RegisterWriter write_register = [this](int index, int32_t value) { backend_.set_register(index, value); };
  table_.bind(cmd::kTestRegisters, {[this, write_register] {
                show_test_dialog(register_test_, [this, write_register] {
                  return new RegisterTestDialog(registers_, write_register, this);
                });
              }});
  table_.bind(cmd::kTestDestroy, {[this, write_register] {
                show_test_dialog(destroy_test_,
                                 [this, write_register] { return new DestroyTestDialog(write_register, this); });
              }});
  table_.bind(cmd::kGeneralInfo, {[this] { general_info_command(); }});
  table_.bind(cmd::kLights, {[this] {
                slot_editor_command("Light Sources",
                                    [this] { return run_lights(this, doc_.current_model(), editor_); });
              }});
  table_.bind(cmd::kPartAnimation, {[this] {
                slot_editor_command("Part Animation",
                                    [this] { return run_part_animation(this, doc_.current_model(), editor_); });
              }});
  table_.bind(cmd::kItemInformation, {[this] { run_object_info(this, doc_.current_model(), editor_); }});
}

// The "SelectionsMenu" commands of the generator swatches: on the swatch
// the pop-up was opened on, and on the selected swatches of the dialog on
// show.
void MainWindow::bind_selection_commands() {
  auto target = [] {
    SwatchRegistry* r = SwatchRegistry::active();
    return r != nullptr ? r->popup_target() : nullptr;
  };
  auto any_selected = [] {
    SwatchRegistry* r = SwatchRegistry::active();
    return r != nullptr && r->any_selected();
  };
  table_.bind(cmd::kCopyIndividual, {[target] {
                                       if (GeneratorSwatch* s = target()) SwatchRegistry::active()->copy_individual(s);
                                     },
                                     [target] { return target() != nullptr; }});
  table_.bind(cmd::kPasteIndividual, {[target] {
                                        if (GeneratorSwatch* s = target())
                                          SwatchRegistry::active()->paste_individual(s);
                                      },
                                      [target] {
                                        GeneratorSwatch* s = target();
                                        return s != nullptr && SwatchRegistry::active()->can_paste_individual(s);
                                      }});
  table_.bind(cmd::kCopySelection, {[any_selected] {
                                      if (any_selected()) SwatchRegistry::active()->copy_selection();
                                    },
                                    any_selected});
  table_.bind(cmd::kPasteSelection, {[any_selected] {
                                       if (any_selected()) SwatchRegistry::active()->paste_selection();
                                     },
                                     any_selected});
}

void MainWindow::show_test_dialog(QPointer<QDialog>& dialog, const std::function<QDialog*()>& make) {
  if (dialog == nullptr) {
    dialog = make();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // OK and Cancel close it for good.
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

// "Edit Materials" edits the slot in place; each Apply, New, Delete and
// generator change inside it is an undo step, and closing it one more for
// what is left. It always reports a change, so a running preview loads the
// slots again.
void MainWindow::materials_command() {
  const int slot = doc_.current_slot();
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin(slot);
  run_material_editor(this, doc_.current_model(), material_index_, editor_);
  history_.end("Edit Materials");
  doc_.changed(kChangedModel | kChangedView);
  preview_.refresh();
}

// "General Information" edits all four levels: a change of the collision
// source is a step at once, OK one more on each level it changed.
void MainWindow::general_info_command() {
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin_all();
  const int changed = run_general_info(this, doc_, editor_);
  history_.end("General Information");
  doc_.changed(kChangedModel | kChangedView);
  if (changed != 0) preview_.refresh();
}

// A dialog that edits the current slot on a copy: OK is one step, and a
// running preview loads the slots again.
void MainWindow::slot_editor_command(const QString& name, const std::function<int()>& run) {
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin(doc_.current_slot());
  const int changed = run();
  history_.end(ss(name));
  doc_.changed(kChangedModel | kChangedView);
  if (changed != 0) preview_.refresh();
}

void MainWindow::clear_command(bool all) {
  const std::vector<int> levels = all ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{doc_.current_slot()};
  if (!confirm_discard(levels, all ? "Clear All" : "Clear")) return;
  for (int slot : levels) {
    model_release(doc_.slot(slot));
    doc_.set_slot_file(slot, {});
    history_.reset(slot);
  }
  doc_.changed(kChangedModel | kChangedView | kChangedSlot);
}

int MainWindow::exec_dialog(QDialog& dialog) {
  return run_dialog(dialog);
}

std::optional<std::string> MainWindow::ask_file(FileDialog kind, const QString& preset_name) {
  FileDialogRequest r{kind, QDir::currentPath(), preset_name};
  if (kind == FileDialog::kExportModel && !doc_.folders().export_folder.empty())
    r.folder = qs(doc_.folders().export_folder);
  const std::optional<QString> path = choose_file(r);
  if (!path || path->isEmpty()) return std::nullopt;
  return native_path(*path);
}

void MainWindow::open_model_command(bool all) {
  const std::optional<std::string> path = ask_file(FileDialog::kOpenModel);
  if (!path) return;
  const int slot = doc_.current_slot();
  if (!confirm_discard(all ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{slot}, all ? "Open All" : "Open")) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    // A failed read leaves the slots, their steps and unsaved marks as they
    // were; the slots a read replaced start a new history.
    const bool read = all ? open_level_set(doc_, *path, files_) : open_model(doc_, slot, *path, files_);
    if (read)
      for (int i = 0; i < kSlotCount; ++i)
        if (all || i == slot) history_.reset(i);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::save_model_command(bool all) {
  const Model& preset = all ? doc_.slot(0) : doc_.current_model();
  const std::optional<std::string> path =
      ask_file(all ? FileDialog::kSaveLevelSet : FileDialog::kSaveModel, qs(std::string(preset.name.view()) + ".3da"));
  if (!path) return;
  const WaitCursor wait;
  if (all) {
    std::array<bool, kSlotCount> written{};
    save_level_set(
        doc_, *path,
        [this](const std::string& text, const std::string& caption) { return ask_yes_no(qs(text), qs(caption)); },
        files_, &written);
    for (int i = 0; i < kSlotCount; ++i)
      if (written[static_cast<std::size_t>(i)]) history_.mark_saved(i);
  } else if (save_model(doc_, *path, files_)) {
    history_.mark_saved(doc_.current_slot());
  }
}

void MainWindow::import_command() {
  // The slot is replaced only by a scene that was read: cancelling the
  // dialog or a file that cannot be read keeps what the slot holds.
  const std::optional<std::string> path = ask_file(FileDialog::kImportScene);
  if (!path) return;
  const int slot = doc_.current_slot();
  if (!confirm_discard({slot}, "Import 3DS ASCII")) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    if (import_scene(doc_, slot, *path, files_)) history_.reset(slot);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::export_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kExportModel);
  if (!path) return;
  // The export's warnings (pictures it could not read, clamped collision
  // vertices) fill a fresh log window, which stays until it is closed.
  notifier_.begin_log();
  std::string written;
  {
    const WaitCursor wait;
    export_model(doc_, *path, files_, &written);
  }
  // A failed export leaves no earlier success line standing.
  if (written.empty()) statusBar()->clearMessage();
  else statusBar()->showMessage(qs(written));
}

void MainWindow::view_3di_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kViewModel);
  if (!path) return;
  notifier_.begin_log();
  const WaitCursor wait;
  preview_.view_file(*path);
}

void MainWindow::print_command() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (exec_dialog(dialog) != QDialog::Accepted) return;
  print_page(doc_, printer);
  doc_.changed(kChangedView);
}

void MainWindow::save_pcx_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kSavePcx);
  if (!path) return;
  if (const Status s = save_page_pcx(page_->picture(), *path); !s) notifier_.message(s.error().message, "");
  doc_.changed(kChangedView);
}

void MainWindow::zero_alpha_command() {
  // The picture is read and checked before the person is asked where to
  // write it.
  const std::optional<std::string> in = ask_file(FileDialog::kZeroAlphaIn);
  if (!in) return;
  std::optional<Image> picture;
  {
    const WaitCursor wait;
    picture = zero_ignore_alpha_picture(*in, notifier_);
  }
  if (!picture) return;
  const std::optional<std::string> out = ask_file(FileDialog::kZeroAlphaOut);
  if (!out) return;
  write_zero_ignore_alpha(*picture, *out, notifier_);
  doc_.changed(kChangedView);
}

void MainWindow::recent_command(int index) {
  const RecentFile entry = doc_.recent_files()[static_cast<std::size_t>(index)];
  if (entry.path.empty()) return;
  const int slot = doc_.current_slot();
  const std::vector<int> levels = entry.kind == kRecentLevelSet ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{slot};
  if (!confirm_discard(levels, qs(recent_menu_text(entry, index)).remove('&'))) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    // A failed read or import leaves the slots as they were.
    if (open_recent(doc_, index, files_))
      for (int i : levels) history_.reset(i);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::layers_command() {
  LayerDialog dialog(doc_, this);
  exec_dialog(dialog);
  doc_.changed(kChangedView);
}

void MainWindow::render_values_command() {
  RenderValuesDialog dialog(doc_.render_settings(), this);
  exec_dialog(dialog);
  doc_.changed(kChangedSettings | kChangedView);
}

void MainWindow::options_command() {
  OptionsDialog dialog(doc_.folders(), this);
  dialog.warn = [this](const QString& text) { notifier_.message(ss(text), "ORVO Options"); };
  if (exec_dialog(dialog) == QDialog::Accepted) {
    // The preview looks textures up in the new folder from its next start,
    // or at once with "Update Textures".
    backend_.set_texture_folder(texture_folder_for_lookup(doc_.folders().texture_folder));
    doc_.changed(kChangedSettings);
  }
}

void MainWindow::centre_command() {
  CentreDialog dialog(doc_.view().centre, this);
  exec_dialog(dialog);
  doc_.changed(kChangedCentre | kChangedView);
}

void MainWindow::memory_stack_command() {
  QDialog dialog(this);
  dialog.setWindowTitle("Memory Stack");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(&dialog);
  text->setObjectName("memory_text");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  std::string report;
  for (const MemoryPool* pool : {&main_pool(), &second_pool()}) {
    const PoolStats s = pool->stats();
    report += pool->name() + ": " + std::to_string(s.bytes_total) + " bytes, " + std::to_string(s.bytes_used) +
              " used in " + std::to_string(s.chunks_used) + " blocks, " + std::to_string(s.bytes_free) +
              " free (largest " + std::to_string(s.largest_free) + "), peak " + std::to_string(s.peak_used) + "\n";
    report += pool->dump("  ") + "\n";
  }
  text->setPlainText(qs(report));
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.resize(80 * fontMetrics().averageCharWidth(), 30 * fontMetrics().height());
  exec_dialog(dialog);
}

}  // namespace orvo::gui
