#pragma once
// The material editor: "Edit Materials" over the material table of one
// model, with its "New Material(s)" and "Advanced Material Properties"
// dialogs. Edits go straight into the model; both OK and Cancel keep them.

#include <QDialog>
#include <memory>

#include "orvo/app/material_edits.h"
#include "orvo/gui/editor_context.h"
#include "orvo/model/model.h"

class QGroupBox;
class QListWidget;
class QVBoxLayout;

namespace orvo::gui {

class GeneratorSwatch;
class SwatchRegistry;

// "New Material(s)": the name, description, repeat count, start value,
// repeat type and extension of a series. OK stores them in `settings`.
class NewMaterialsDialog : public QDialog {
  Q_OBJECT

 public:
  NewMaterialsDialog(NewMaterialSettings& settings, QWidget* parent = nullptr);
  void accept() override;

 private:
  void show_start();
  int read_start() const;
  NewMaterialSettings& settings_;
  int start_ = 0;
};

// "Advanced Material Properties", working on a copy of one material.
class AdvancedMaterialDialog : public QDialog {
  Q_OBJECT

 public:
  // `skinned` chooses the skinned shader list.
  AdvancedMaterialDialog(const ModelMaterial& material, bool skinned, EditorContext& context,
                         QWidget* parent = nullptr);
  const ModelMaterial& material() const { return copy_; }
  void accept() override;

 private:
  void update_enabling();
  ModelMaterial copy_;
  EditorContext& context_;
};

// "Edit Materials".
class MaterialDialog : public QDialog {
  Q_OBJECT

 public:
  MaterialDialog(Model& model, int selected, EditorContext& context, QWidget* parent = nullptr);
  ~MaterialDialog() override;

  // The list line selected (a second stage's line shows its first stage).
  int selected() const { return selected_; }
  // The first stage on show, or -1 for an empty table.
  int shown() const { return shown_; }
  SwatchRegistry& swatches();

  // OK and Cancel alike read the controls into the material on show,
  // release the picture and the swatches and close with 1.
  void done(int result) override;

 private:
  struct Parts;
  // The ids of a texture stage's controls.
  struct StageIds {
    const char* alpha_text;
    const char* clamp_text;
    int map, alpha_check, alpha_map, clamp, u, v;
  };
  void build();
  QVBoxLayout* build_list_column();
  QVBoxLayout* build_material_column();
  QGroupBox* build_stage(const char* title, const StageIds& ids);
  QVBoxLayout* build_texture_column();
  GeneratorSwatch* add_swatch(int id);
  void connect_controls();
  void fill_list();
  void select(int index);
  void show_material();
  void read_controls();
  void update_enabling();
  void refresh_faces();
  void bind_swatches();
  void edit_generator(int id);
  void edit_advanced();
  void on_new();
  void on_delete();
  void checkpoint(const QString& name);
  ModelMaterial* first();
  ModelMaterial* second();

  Model& model_;
  EditorContext& context_;
  int selected_ = -1;
  int shown_ = -1;
  bool two_stage_ = false;
  bool filling_ = false;
  bool closed_ = false;
  std::unique_ptr<Parts> parts_;
};

// Runs "Edit Materials" on `model` through context.run_dialog, starting at
// material `selected` (0 when beyond the table) and leaving the last
// selection there. Returns 1.
int run_material_editor(QWidget* owner, Model& model, int& selected, EditorContext& context);

}  // namespace orvo::gui
