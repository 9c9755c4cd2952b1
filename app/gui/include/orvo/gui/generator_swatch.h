#pragma once
// Generator swatches: the buttons of the editing dialogs whose face is a
// generator's summary text. Clicking one opens its generator dialog (the
// dialog that owns it connects `clicked`); Ctrl + left click toggles its
// selection (three nested red frames) without clicking it; releasing the
// right button opens the "SelectionsMenu" pop-up, whose four commands copy
// and paste one generator or the selected ones.
//
// A swatch points at the generator of the item its dialog shows now, so
// "Copy Selection" on one material and "Paste Selection" on another carries
// a set of generators across. One clipboard of one generator, tagged scalar
// or colour, is shared by every swatch of the program; paste works only
// between generators of the same kind.
//
// The face fits its text into the button rather than the button into its
// text: a line too long for the face is broken where the summary leaves a
// gap of blanks, when the lines then fit its height, else cut short with
// "…"; the whole summary is then the swatch's tooltip. The swatch's size
// hint does not follow its text, so a dialog keeps its layout whichever
// generator it shows.

#include <QPushButton>
#include <QStringList>
#include <functional>
#include <vector>

#include "orvo/model/model.h"

class QMenu;

namespace orvo::gui {

enum class GeneratorKind { kScalar, kColour };

class GeneratorSwatch : public QPushButton {
  Q_OBJECT

 public:
  explicit GeneratorSwatch(QWidget* parent = nullptr);

  // Points the swatch at a generator (or at none: the swatch then shows
  // nothing and copies nothing).
  void bind(Generator* g);
  void bind(ColorGenerator* g);
  void unbind();
  GeneratorKind kind() const { return kind_; }
  Generator* scalar() const { return scalar_; }
  ColorGenerator* colour() const { return colour_; }
  bool bound() const { return scalar_ != nullptr || colour_ != nullptr; }

  bool selected() const { return selected_; }
  void set_selected(bool on);

  // The lines the face shows for its text at its present size.
  QStringList face_lines() const;
  // The width the face's lines may take.
  int face_width() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  friend class SwatchRegistry;
  GeneratorKind kind_ = GeneratorKind::kScalar;
  Generator* scalar_ = nullptr;
  ColorGenerator* colour_ = nullptr;
  bool selected_ = false;
  Generator saved_scalar_{};  // "Copy Selection"
  ColorGenerator saved_colour_{};
  bool saved_ = false;
};

// The swatches of the editing dialog on show. A dialog rebuilds its
// registry each time it fills itself (clear, then add), and makes it the
// active one while it is open; the main window's four "SelectionsMenu"
// commands act on the active registry and on the swatch the pop-up was
// opened on.
class SwatchRegistry : public QObject {
  Q_OBJECT

 public:
  explicit SwatchRegistry(QObject* parent = nullptr);
  ~SwatchRegistry() override;

  void add(GeneratorSwatch* swatch);
  // Forgets every swatch (their selection flags stay on the buttons).
  void clear();
  const std::vector<GeneratorSwatch*>& swatches() const { return swatches_; }

  // The registry of the dialog on show, or null.
  static SwatchRegistry* active();
  // Makes this the active registry (until another is made active or this
  // one is destroyed).
  void activate();

  // The swatch whose pop-up is open (or was opened last).
  GeneratorSwatch* popup_target() const { return target_; }
  void set_popup_target(GeneratorSwatch* s) { target_ = s; }

  bool any_selected() const;
  bool can_paste_individual(const GeneratorSwatch* s) const;
  void copy_individual(GeneratorSwatch* s);
  void paste_individual(GeneratorSwatch* s);
  void copy_selection();
  void paste_selection();

  // How the pop-up is shown at `global` for `swatch` (the main window sets
  // it to run its "SelectionsMenu"); without one the registry shows a menu
  // of its own with the four commands.
  static std::function<void(GeneratorSwatch* swatch, QPoint global)>& popup_runner();
  void popup(GeneratorSwatch* swatch, QPoint global);
  // The fallback pop-up ("SelectionsMenu") for `swatch`, its four commands
  // enabled by the clipboard and the selection; owned by `parent`.
  QMenu* make_menu(GeneratorSwatch* swatch, QWidget* parent);

 signals:
  // A paste wrote into generators: the dialog refreshes its faces and
  // picture (and records the change).
  void pasted(const QString& command_text);

 private:
  std::vector<GeneratorSwatch*> swatches_;
  GeneratorSwatch* target_ = nullptr;
};

}  // namespace orvo::gui
