#pragma once
// The model tool's one command table. Menu items, accelerator keys, the
// control panel's buttons and the page window's pop-up menus all come down to
// a command number; the program builds its menus and shortcuts from this
// table and binds every number to one handler, so a test can run any command
// by number without widgets.

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

namespace orvo {

// Where a command is offered.
enum CommandPlace : unsigned {
  kInFileMenu = 1u << 0,
  kInViewMenu = 1u << 1,
  kInEditMenu = 1u << 2,
  kInToolsMenu = 1u << 3,
  kInCompatibilityMenu = 1u << 4,  // Tools > Compatibility Mode
  kInLodMenu = 1u << 5,
  kInMouseMenu = 1u << 6,       // the page's pop-up while editing
  kInPreviewMenu = 1u << 7,     // the page's pop-up while a preview runs ("RMenu")
  kInSelectionsMenu = 1u << 8,  // generator swatches
  kOnPanel = 1u << 9,           // control panel buttons only
};

struct CommandInfo {
  int id;
  std::string_view text;  // the menu text with its '&' mnemonic, or a panel button's caption
  unsigned places;
  std::string_view key;  // the accelerator in Qt's portable form ("Ctrl+O", "F1", "G"), or empty
};

// Every command of the tool, in menu order within each menu.
std::span<const CommandInfo> command_infos();
// The entry of a command number, or null.
const CommandInfo* find_command(int id);

// Command numbers the code refers to by name.
namespace cmd {
inline constexpr int kClearAll = 40001, kOpenAll = 40002, kSaveAll = 40003, kClear = 40004, kOpen = 40036,
                     kSave = 40037, kImport = 40007, kExport3di = 40008, kView3di = 40009, kPrint = 40038,
                     kRecent1 = 40061, kExit = 40013;
inline constexpr int kPlaneXY = 40014, kPlaneXZ = 40015, kPlaneYZ = 40016, kView3D = 40017, kGrid = 40018;
// Fits the current slot into the page (a number of its own, above the
// tool's classic ones).
inline constexpr int kFrameAll = 40100;
inline constexpr int kByObject = 40019, kByMaterial = 40020, kByBounding = 40022;
inline constexpr int kPolys = 40039, kFacets = 40040, kSmoothOnly = 40060, kCentrePoints = 40041,
                     kAttachmentPoints = 40042, kBoundingObjects = 40043, kLightSources = 40065, kUserPoints = 40073,
                     kText = 40074;
inline constexpr int kLayers = 40050, kGeneralInfo = 40026, kMaterials = 40027, kRenderValues = 40028, kLights = 40066,
                     kPartAnimation = 40067;
inline constexpr int kMemoryStack = 40029, kItemInformation = 40030, kZeroIgnoreAlpha = 40031, kNonTnl = 40083,
                     kDx7Tnl = 40084, kDx8Tnl = 40085, kViewPresets = 40080, kOptions = 40079;
inline constexpr int kSlotH = 40032, kSlotM = 40033, kSlotL = 40034, kSlotT = 40035;
inline constexpr int kControlCamera = 40053, kControlObject = 40055, kControlLight = 40054, kFlyCamera = 40087;
inline constexpr int kPassLimit1 = 40075, kPassLimit2 = 40076, kPassLimit3 = 40081, kWireframe = 40086,
                     kSolidColour = 40088, kTestDestroy = 40077, kTestRegisters = 40078;
inline constexpr int kJungle = 40023, kDesert = 40024, kSnow = 40025, kSavePcx = 40059;
inline constexpr int kCopyIndividual = 40069, kPasteIndividual = 40070, kCopySelection = 40071, kPasteSelection = 40072;
inline constexpr int kCentreDialog = 115, kGridUp = 146, kGridDown = 147, kRender = 208, kRenderAll = 224, kWire = 216,
                     kUpdateTextures = 240;
}  // namespace cmd

// The handlers of the command numbers, with their enabled and checked
// states (for menu refresh). Running a number without a handler does
// nothing and returns false.
class CommandTable {
 public:
  struct Binding {
    std::function<void()> run;
    std::function<bool()> enabled;  // none: always enabled
    std::function<bool()> checked;  // none: not checkable
  };

  void bind(int id, Binding binding) { bindings_[id] = std::move(binding); }
  bool has(int id) const { return bindings_.count(id) != 0; }
  // Runs the command. An allocation failure inside it ends the command, not
  // the program: the command's own work is undone by its destructors, and
  // `out_of_memory` (when set) is told which command it was.
  bool run(int id) const;
  std::function<void(int id)> out_of_memory;
  bool enabled(int id) const;
  // Empty when the command is not checkable.
  std::optional<bool> checked(int id) const;

 private:
  std::unordered_map<int, Binding> bindings_;
};

}  // namespace orvo
