#include "orvo/document/commands.h"

#include <new>

#include <algorithm>

namespace orvo {

namespace {

constexpr unsigned kPopUps = kInMouseMenu | kInPreviewMenu;

constexpr CommandInfo kCommands[] = {
    // File
    {cmd::kClearAll, "&Clear All", kInFileMenu, ""},
    {cmd::kOpenAll, "&Open All", kInFileMenu, "Ctrl+O"},
    {cmd::kSaveAll, "&Save All", kInFileMenu, "Ctrl+S"},
    {cmd::kClear, "Clear", kInFileMenu, ""},
    {cmd::kOpen, "Open", kInFileMenu, ""},
    {cmd::kSave, "Save", kInFileMenu, ""},
    {cmd::kImport, "Import 3DS ASCII", kInFileMenu, ""},
    {cmd::kExport3di, "&Export 3DI", kInFileMenu, "Ctrl+X"},
    {cmd::kView3di, "View 3DI", kInFileMenu, ""},
    {cmd::kPrint, "Print", kInFileMenu, ""},
    {cmd::kRecent1, "File &1", kInFileMenu, ""},
    {cmd::kRecent1 + 1, "File &2", kInFileMenu, ""},
    {cmd::kRecent1 + 2, "File &3", kInFileMenu, ""},
    {cmd::kRecent1 + 3, "File &4", kInFileMenu, ""},
    {cmd::kExit, "E&xit", kInFileMenu, "Ctrl+Q"},
    // View
    {cmd::kPlaneXY, "XY Plane", kInViewMenu, "F1"},
    {cmd::kPlaneXZ, "XZ Plane", kInViewMenu, "F2"},
    {cmd::kPlaneYZ, "YZ Plane", kInViewMenu, "F3"},
    {cmd::kView3D, "&3D View", kInViewMenu, "F4"},
    {cmd::kFrameAll, "&Frame All", kInViewMenu, "Home"},
    {cmd::kGrid, "&Grid", kInViewMenu, ""},
    {cmd::kByObject, "By Object", kInViewMenu | kInMouseMenu, ""},
    {cmd::kByMaterial, "By Material", kInViewMenu | kInMouseMenu, ""},
    {cmd::kByBounding, "By Bounding Object", kInViewMenu | kInMouseMenu, ""},
    {cmd::kPolys, "Polys", kInViewMenu, ""},
    {cmd::kFacets, "Facets", kInViewMenu, ""},
    {cmd::kSmoothOnly, "Smooth Only", kInViewMenu, ""},
    {cmd::kCentrePoints, "Center Points", kInViewMenu, ""},
    {cmd::kAttachmentPoints, "Attachment Points", kInViewMenu, ""},
    {cmd::kBoundingObjects, "Bounding Objects", kInViewMenu, ""},
    {cmd::kLightSources, "Light Sources", kInViewMenu, ""},
    {cmd::kUserPoints, "Userpoints", kInViewMenu, ""},
    {cmd::kText, "Text", kInViewMenu, ""},
    {cmd::kLayers, "&Layers...", kInViewMenu | kPopUps, "Ctrl+L"},
    // Edit
    {cmd::kGeneralInfo, "&General Information...", kInEditMenu | kPopUps, "G"},
    {cmd::kMaterials, "&Materials...", kInEditMenu | kPopUps, "M"},
    {cmd::kRenderValues, "&Render Values...", kInEditMenu | kPopUps, "R"},
    {cmd::kLights, "&Light Sources", kInEditMenu | kPopUps, "L"},
    {cmd::kPartAnimation, "&Part Animation", kInEditMenu | kPopUps, "P"},
    // Tools
    {cmd::kMemoryStack, "Memory Stack", kInToolsMenu, ""},
    {cmd::kItemInformation, "Item Information", kInToolsMenu, ""},
    {cmd::kZeroIgnoreAlpha, "Create Zero Ignore Alpha", kInToolsMenu, ""},
    {cmd::kNonTnl, "Non-TnL           (TNT2)", kInCompatibilityMenu, ""},
    {cmd::kDx7Tnl, "DX7-level TnL   (GeForce256,GeForce2)", kInCompatibilityMenu, ""},
    {cmd::kDx8Tnl, "DX8-level TnL   (GeForce3,Radeon8500)", kInCompatibilityMenu, ""},
    {cmd::kViewPresets, "View &Presets", kInToolsMenu, ""},
    {cmd::kOptions, "&Options...", kInToolsMenu, ""},
    // LOD
    {cmd::kSlotH, "&H", kInLodMenu, "Ctrl+Shift+H"},
    {cmd::kSlotM, "&M", kInLodMenu, "Ctrl+Shift+M"},
    {cmd::kSlotL, "&L", kInLodMenu, "Ctrl+Shift+L"},
    {cmd::kSlotT, "&T", kInLodMenu, "Ctrl+Shift+T"},
    // The preview's pop-up
    {cmd::kControlCamera, "Control Camera", kInPreviewMenu | kInMouseMenu, ""},
    {cmd::kControlObject, "Control Object", kInPreviewMenu | kInMouseMenu, ""},
    {cmd::kControlLight, "Control Light", kInPreviewMenu | kInMouseMenu, ""},
    {cmd::kFlyCamera, "Control Camera (Fly Mode)", kInPreviewMenu, ""},
    {cmd::kPassLimit1, "Limit Render to 1 Pass", kInPreviewMenu, "1"},
    {cmd::kPassLimit2, "Limit Render to 2 Pass", kInPreviewMenu, "2"},
    {cmd::kPassLimit3, "Limit Render to 3 Pass", kInPreviewMenu, "3"},
    {cmd::kWireframe, "Wireframe", kInPreviewMenu, "W"},
    {cmd::kSolidColour, "Solid Color Textures", kInPreviewMenu, "S"},
    {cmd::kTestDestroy, "Test Object Destroy", kInPreviewMenu, ""},
    {cmd::kTestRegisters, "Test Control Registers", kInPreviewMenu, ""},
    {cmd::kJungle, "Jungle", kInPreviewMenu, ""},
    {cmd::kDesert, "Desert", kInPreviewMenu, ""},
    {cmd::kSnow, "Snow", kInPreviewMenu, ""},
    {cmd::kSavePcx, "Save PCX", kInPreviewMenu, ""},
    // Generator swatches
    {cmd::kCopyIndividual, "Copy Individual", kInSelectionsMenu, ""},
    {cmd::kPasteIndividual, "Paste Individual", kInSelectionsMenu, ""},
    {cmd::kCopySelection, "Copy Selection", kInSelectionsMenu, ""},
    {cmd::kPasteSelection, "Paste Selection", kInSelectionsMenu, ""},
    // Page window and control panel
    {cmd::kCentreDialog, "Center", kOnPanel, ""},
    {cmd::kGridUp, "+", kOnPanel, ""},
    {cmd::kGridDown, "-", kOnPanel, ""},
    {cmd::kRender, "Render", kOnPanel, ""},
    {cmd::kRenderAll, "Render All", kOnPanel, ""},
    {cmd::kWire, "Wire", kOnPanel, ""},
    {cmd::kUpdateTextures, "Update Textures", kOnPanel, ""},
};

}  // namespace

std::span<const CommandInfo> command_infos() {
  return kCommands;
}

const CommandInfo* find_command(int id) {
  const auto it =
      std::find_if(std::begin(kCommands), std::end(kCommands), [id](const CommandInfo& c) { return c.id == id; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

bool CommandTable::run(int id) const {
  const auto it = bindings_.find(id);
  if (it == bindings_.end() || !it->second.run) return false;
  if (it->second.enabled && !it->second.enabled()) return false;
  try {
    it->second.run();
  } catch (const std::bad_alloc&) {
    if (out_of_memory) out_of_memory(id);
  }
  return true;
}

bool CommandTable::enabled(int id) const {
  const auto it = bindings_.find(id);
  return it != bindings_.end() && (!it->second.enabled || it->second.enabled());
}

std::optional<bool> CommandTable::checked(int id) const {
  const auto it = bindings_.find(id);
  if (it == bindings_.end() || !it->second.checked) return std::nullopt;
  return it->second.checked();
}

}  // namespace orvo
