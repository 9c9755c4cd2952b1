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

std::vector<std::string> read_settings(Document& doc) {
  std::vector<std::string> problems;
  const OwnFile config = read_own_file(doc.paths.config_path, kMaxConfigFileBytes);
  if (config.text) read_config(*config.text, doc.render_settings(), doc.recent_files());
  if (!config.problem.empty())
    problems.push_back(set_aside_own_file(doc.paths.config_path, config.problem, doc.paths.write_config));
  QSettings store("Brellwick", "ORVO");
  store.beginGroup("Settings");
  read_path(store, "ExportPath", doc.folders().export_folder);
  read_path(store, "TexturePath", doc.folders().texture_folder);
  read_path(store, "RenderCubeMap", doc.render_settings().environment_map);
  store.endGroup();
  return problems;
}

void write_settings(const Document& doc) {
  // A settings file that could not be read nor moved aside is left alone.
  if (doc.paths.write_config) (void)write_config_file(doc.paths.config_path, doc.render_settings(), doc.recent_files());
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
