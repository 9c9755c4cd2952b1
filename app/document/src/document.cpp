#include "orvo/document/document.h"

#include <filesystem>
#include <system_error>

namespace orvo {

DocumentPaths make_document_paths(const std::string& startup_folder, const std::string& user_data_root) {
  namespace fs = std::filesystem;
  DocumentPaths p;
  p.startup_folder = startup_folder;
  const fs::path data = fs::path(user_data_root) / "Brellwick" / "ORVO";
  std::error_code ec;
  fs::create_directories(data, ec);
  p.data_folder = data.string();
  p.config_path = (fs::path(startup_folder) / std::string(kConfigFileName)).string();
  p.preset_path = (data / "funcs.pre").string();
  return p;
}

Document::Document() {
  for (auto& s : slots_) {
    s = std::make_unique<Model>();
    model_reset(*s);
  }
}

bool Document::select_slot(int index) {
  if (index < 0 || index >= kSlotCount || index == view_.current_slot) return false;
  view_.current_slot = index;
  changed(kChangedSlot | kChangedModel | kChangedMenus);
  return true;
}

bool Document::any_subobject() const {
  for (const auto& s : slots_)
    if (!s->subobjects.empty()) return true;
  return false;
}

std::string Document::title() const {
  std::string title = window_title(current_model().name.view());
  if (!slot_file(current_slot()).empty()) title += " (" + slot_file(current_slot()) + ")";
  return title;
}

int Document::observe(Observer observer) {
  observers_.emplace_back(next_observer_, std::move(observer));
  return next_observer_++;
}

void Document::unobserve(int handle) {
  std::erase_if(observers_, [handle](const auto& o) { return o.first == handle; });
}

void Document::changed(uint32_t changes) {
  // A copy: an observer may add or remove observers.
  const auto observers = observers_;
  for (const auto& o : observers) o.second(changes);
}

uint32_t display_flag_of(int command) {
  switch (command) {
    case cmd::kPolys: return kShowPolys;
    case cmd::kFacets: return kShowFacets;
    case cmd::kSmoothOnly: return kShowSmoothOnly;
    case cmd::kCentrePoints: return kShowCentrePoints;
    case cmd::kAttachmentPoints: return kShowAttachmentPoints;
    case cmd::kBoundingObjects: return kShowBoundingObjects;
    case cmd::kLightSources: return kShowLights;
    case cmd::kUserPoints: return kShowUserPoints;
    case cmd::kText: return kShowText;
    default: return 0;
  }
}

void bind_document_commands(CommandTable& table, Document& doc) {
  ViewState& v = doc.view();
  auto set_int = [&doc](int32_t& field, int value, uint32_t changes) {
    return CommandTable::Binding{[&doc, &field, value, changes] {
                                   field = value;
                                   doc.changed(changes);
                                 },
                                 {},
                                 [&field, value] { return field == value; }};
  };
  const int planes[] = {kPlaneXY, kPlaneXZ, kPlaneYZ, kPlane3D};
  for (int i = 0; i < 4; ++i) table.bind(cmd::kPlaneXY + i, set_int(v.plane, planes[i], kChangedView | kChangedMenus));
  table.bind(cmd::kGrid, {[&doc, &v] {
                            v.grid_shown = v.grid_shown ? 0 : 1;
                            doc.changed(kChangedView | kChangedMenus);
                          },
                          {},
                          [&v] { return v.grid_shown != 0; }});
  table.bind(cmd::kByObject, set_int(v.layer_by, kLayerByObject, kChangedView | kChangedModel | kChangedMenus));
  table.bind(cmd::kByMaterial, set_int(v.layer_by, kLayerByMaterial, kChangedView | kChangedModel | kChangedMenus));
  table.bind(cmd::kByBounding, set_int(v.layer_by, kLayerByBounding, kChangedView | kChangedModel | kChangedMenus));
  for (const int c : {cmd::kPolys, cmd::kFacets, cmd::kSmoothOnly, cmd::kCentrePoints, cmd::kAttachmentPoints,
                      cmd::kBoundingObjects, cmd::kLightSources, cmd::kUserPoints, cmd::kText}) {
    const uint32_t bit = display_flag_of(c);
    table.bind(c, {[&doc, &v, bit] {
                     v.display_flags ^= bit;
                     doc.changed(kChangedView | kChangedMenus);
                   },
                   {},
                   [&v, bit] { return (v.display_flags & bit) != 0; }});
  }
  for (int i = 0; i < kSlotCount; ++i) {
    table.bind(cmd::kSlotH + i, {[&doc, i] { doc.select_slot(i); }, {}, [&doc, i] { return doc.current_slot() == i; }});
  }
  table.bind(cmd::kControlCamera, set_int(v.mouse_mode, kMouseCamera, kChangedMenus));
  table.bind(cmd::kControlObject, set_int(v.mouse_mode, kMouseObject, kChangedMenus));
  table.bind(cmd::kControlLight, set_int(v.mouse_mode, kMouseLight, kChangedMenus));
  table.bind(cmd::kFlyCamera, {[&doc, &v] {
                                 v.mouse_mode = kMouseFlyCamera;
                                 set_fly_camera_from_orbit(v);
                                 doc.changed(kChangedMenus);
                               },
                               {},
                               {}});
  const int passes[] = {cmd::kPassLimit1, cmd::kPassLimit2, cmd::kPassLimit3};
  for (int i = 0; i < 3; ++i) {
    table.bind(passes[i], {[&doc, i] {
                             doc.pass_limit = i + 1;
                             doc.changed(kChangedPreview);
                           },
                           {},
                           [&doc, i] { return doc.pass_limit == i + 1; }});
  }
  table.bind(cmd::kWireframe, {[&doc] {
                                 doc.wireframe = !doc.wireframe;
                                 doc.changed(kChangedPreview);
                               },
                               {},
                               [&doc] { return doc.wireframe; }});
  table.bind(cmd::kSolidColour, {[&doc] {
                                   doc.solid_colour_textures = !doc.solid_colour_textures;
                                   doc.changed(kChangedPreview);
                                 },
                                 {},
                                 [&doc] { return doc.solid_colour_textures; }});
  // The environment items change nothing; their check marks follow the
  // environment, which stays Jungle.
  for (int i = 0; i < 3; ++i) table.bind(cmd::kJungle + i, {[] {}, {}, [&v, i] { return v.environment == i; }});
  table.bind(cmd::kGridUp, {[&doc, &v] {
                              grow_grid_step(v);
                              doc.changed(kChangedGrid | (v.grid_shown ? kChangedView : 0u));
                            },
                            {},
                            {}});
  table.bind(cmd::kGridDown, {[&doc, &v] {
                                shrink_grid_step(v);
                                doc.changed(kChangedGrid | (v.grid_shown ? kChangedView : 0u));
                              },
                              {},
                              {}});
}

}  // namespace orvo
