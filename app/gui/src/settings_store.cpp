#include "orvo/gui/settings_store.h"

#include <QSettings>

#include "orvo/gui/qt_text.h"

namespace orvo::gui {

namespace {

// A path value of the store, cut to the longest path the dialogs take; a
// missing value leaves `into` as it was.
void read_path(QSettings& store, const char* key, std::string& into) {
  if (!store.contains(key)) return;
  std::string value = ss(store.value(key).toString());
  if (value.size() > kMaxFolderPath) value.resize(kMaxFolderPath);
  into = std::move(value);
}

}  // namespace

void read_settings(Document& doc) {
  (void)read_config_file(doc.paths.config_path, doc.render_settings(), doc.recent_files());
  QSettings store("Brellwick", "ORVO");
  store.beginGroup("Settings");
  read_path(store, "ExportPath", doc.folders().export_folder);
  read_path(store, "TexturePath", doc.folders().texture_folder);
  read_path(store, "RenderCubeMap", doc.render_settings().environment_map);
  store.endGroup();
}

void write_settings(const Document& doc) {
  (void)write_config_file(doc.paths.config_path, doc.render_settings(), doc.recent_files());
  QSettings store("Brellwick", "ORVO");
  store.beginGroup("Settings");
  store.setValue("MyValue", 45);
  store.setValue("ExportPath", qs(doc.folders().export_folder));
  store.setValue("TexturePath", qs(doc.folders().texture_folder));
  store.setValue("RenderCubeMap", qs(doc.render_settings().environment_map));
  store.endGroup();
  store.sync();
}

}  // namespace orvo::gui
