#pragma once
// The graphics hardware layer: one object per program over the graphics API.
// It enumerates the adapters, creates the device with a valid display-format
// combination, recognises the graphics vendor and sets its per-chip
// workarounds, reads and reports the capabilities, and keeps count of the
// graphics objects (textures, materials, images, environment cubes, render
// targets, fonts, meshes) created on it. Everything it learns goes to the
// system log ("ghw.txt") it is given.
//
// The API itself sits behind `GraphicsBackend`: the OpenGL layer answers it
// from its context (vendor, renderer, version, extensions, the PCI ids
// under /sys/class/drm); tests answer it from tables. This file holds the
// decisions and the log lines only.
//
// Result codes:
//    0       success
//   -1       no valid display combination, a refused mode, a failed device
//   -32765   not initialised / the API's context cannot be created
//   -32766   the graphics API is missing
//   -32768   already initialised / the device exists already
//   -65279   an invalid material submitted to select_material
//   -65280   no such adapter

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/system_log.h"

namespace orvo {

// ---- Capability flags -----------------------------------------------------

// The four flags the render paths read. `from_mask`/`mask` convert to and
// from their bits: 1 hardware T&L, 2 hardware vertex shaders, 4 hardware
// pixel shaders, 8 palette skinning.
struct RenderCapabilities {
  bool hardware_tnl = false;      // bit 1
  bool vertex_shaders = false;    // bit 2
  bool pixel_shaders = false;     // bit 4
  bool palette_skinning = false;  // bit 8

  static RenderCapabilities from_mask(uint32_t bits);
  uint32_t mask() const;
  bool operator==(const RenderCapabilities&) const = default;
};

// The capability-disable masks of the compatibility level commands: level 1
// "Non-TnL" clears T&L, vertex and pixel shaders; level 2 "DX7-level TnL"
// clears T&L only; level 3 keeps what the device has.
inline constexpr uint32_t kCompatibilityMaskLevel1 = 7;
inline constexpr uint32_t kCompatibilityMaskLevel2 = 1;
inline constexpr uint32_t kCompatibilityMaskLevel3 = 0;

// Clears every flag whose bit is set in `disable_mask`.
RenderCapabilities apply_compatibility_mask(RenderCapabilities caps, uint32_t disable_mask);

// ---- What the API reports ---------------------------------------------------

struct AdapterIdentifier {
  std::string description;
  std::string driver;
  uint64_t driver_version = 0;  // four 16-bit parts, most significant first
  uint32_t vendor_id = 0;
  uint32_t device_id = 0;
  uint32_t subsystem_id = 0;
  tools::DeviceGuid guid;
  uint32_t whql_level = 0;  // 0: not certified

  // The driver build: the low 16 bits of the version.
  uint32_t driver_build() const { return static_cast<uint32_t>(driver_version & 0xFFFF); }
};

// The device's raw capabilities, before the layer's defaults.
struct DeviceCaps {
  uint32_t max_texture_width = 0;  // 0: not reported
  uint32_t max_texture_height = 0;
  uint32_t max_texture_aspect = 0;
  uint32_t max_simultaneous_textures = 0;
  bool texture_from_agp = false;
  bool cube_maps = false;
  bool volume_maps = false;
  bool draw_primitive2 = false;     // the DX6-level drawing interface
  bool draw_primitive2_ex = false;  // its extended, DX7-level form
  uint32_t max_vertex_streams = 0;  // at least 1 on a DX8-level device
  bool hardware_tnl = false;
  uint32_t vertex_shader_version = 0;  // 0: none
  uint32_t vertex_shader_constants = 0;
  uint32_t pixel_shader_version = 0;  // 0: none
  bool indexed_vertex_blending = false;
};

// Surface formats of the display-format combinations. The log names them
// with the "D3DFMT_" prefix the game's logs have always used.
enum class SurfaceFormat : uint8_t {
  kUnknown,
  kX8R8G8B8,
  kA8R8G8B8,
  kR5G6B5,
  kX1R5G5B5,
  kA1R5G5B5,
  kX4R4G4B4,
  kA4R4G4B4,
  kD16,
  kD15S1,
  kD24S8,
  kD24X4S4,
  kD32,
  kD24X8,
};
// "D3DFMT_X8R8G8B8" and so on; "D3DFMT_UNKNOWN" for kUnknown.
std::string_view format_name(SurfaceFormat format);

// One row of a display-format combination.
struct FormatRow {
  SurfaceFormat display, back_buffer, depth_stencil;
  uint8_t stencil_bits;
  bool windowed;  // usable in a window
  bool operator==(const FormatRow&) const = default;
};

enum class Combination : uint8_t { kC16D16, kC16D32, kC32D32 };
// "c16_d16", "c16_d32", "c32_d32".
std::string_view combination_name(Combination c);
// The requested combination's code: 3 or 32 c32_d32, 2 c16_d32, 1 or 16
// c16_d16; none for any other code.
std::optional<Combination> combination_from_code(int code);
// Its rows in the order they are tried.
std::span<const FormatRow> combination_rows(Combination c);
// The combination tried when none of `c`'s rows is valid: c32_d32 falls back
// to c16_d32, c16_d32 to c16_d16; c16_d16 has none.
std::optional<Combination> combination_fallback(Combination c);

struct DeviceRequest {
  int adapter = 0;
  int width = 640;
  int height = 480;
  bool windowed = true;
  int combination_code = 32;  // see combination_from_code; an unknown code asks for c16_d16
  int antialias = 0;          // multisample level, 0 none
};

// What the API answers when asked to create the device with a chosen row.
struct DeviceCreation {
  uint32_t result = 0;  // 0 success, else the API's error code
  bool device = false;  // a device exists afterwards
};

// The hardware layer's view of the graphics API.
class GraphicsBackend {
 public:
  virtual ~GraphicsBackend() = default;

  // The API's version text for the log, or none when the API is missing.
  virtual std::optional<std::string> api_version() = 0;
  // Opens the API (the context every later call works on); false when it
  // cannot be opened.
  virtual bool open() = 0;
  virtual int adapter_count() = 0;
  // None when the adapter cannot be asked.
  virtual std::optional<AdapterIdentifier> adapter_identifier(int adapter) = 0;
  // The format the desktop shows on the adapter.
  virtual SurfaceFormat desktop_format(int adapter) = 0;
  // The adapter accepts the row's display/back-buffer pair in the given
  // mode, takes its depth-stencil format as a depth buffer and accepts it
  // with that back buffer.
  virtual bool row_valid(int adapter, const FormatRow& row, bool windowed) = 0;
  virtual DeviceCaps device_caps(int adapter) = 0;
  virtual DeviceCreation create_device(const DeviceRequest& request, const FormatRow& row) = 0;
  virtual void release_device() = 0;
  virtual uint64_t available_texture_memory() = 0;
  virtual bool supports_dxt3() = 0;
  // Releases an object left alive when all objects are destroyed.
  virtual void release_object(int kind, uint32_t handle) = 0;
};

// ---- The layer's records ---------------------------------------------------

// The capability record, defaults applied (see Hardware::read_capabilities).
struct Capabilities {
  uint32_t max_texture_width = 0;
  uint32_t max_texture_height = 0;
  uint32_t max_texture_aspect = 0;
  uint32_t max_simultaneous_textures = 0;
  bool texture_from_agp = false;
  bool cube_maps = false;
  bool volume_maps = false;
  bool dx6 = false;
  bool dx7 = false;
  bool dx8 = false;
  RenderCapabilities flags;
};

// A display-mode override row; a width of 0xFFFFFFFF ends a table.
struct ModeOverride {
  uint32_t width, height, format, allowed;
};
inline constexpr uint32_t kAnyFormat = 0x12345678;
inline constexpr uint32_t kTableEnd = 0xFFFFFFFF;
enum class ModeTable : uint8_t { kNone, kM1, kM2, kM3 };
// The rows of a table with its end row; empty for kNone.
std::span<const ModeOverride> mode_table_rows(ModeTable table);

// A format permutation row; four 0xFFFFFFFF end a table.
using FormatPermutation = std::array<uint32_t, 4>;
enum class FormatTable : uint8_t { kNone, kP2, kP2b, kP5, kPA, kPT };
// The rows of a table with its end row; empty for kNone. P5 holds
// (0, 0, 0x631, 0x30); the other tables are kept as named choices for the
// render paths and hold only their end row until those paths need rows.
std::span<const FormatPermutation> format_table_rows(FormatTable table);

// Per-chip workarounds set by the vendor detection. The chip flags A to I
// are index 0 to 8 of `chip`.
struct Workarounds {
  bool tristrip = false;
  bool static_vb = false;
  bool multipass = false;
  bool multilight = false;
  std::array<bool, 9> chip{};
  std::array<float, 2> bias{0.1f, 0.1f};
  uint32_t max_texture_size = 0;  // 0: no limit
  ModeTable modes = ModeTable::kNone;
  FormatTable formats = FormatTable::kNone;
  bool operator==(const Workarounds&) const = default;
};

// The object kinds the layer counts: 1 GTexture, 2 GMaterial, 3 GImage,
// 4 GEnvCube, 5 GTarget, 6 GFont, 7 GMesh.
inline constexpr int kObjTexture = 1;
inline constexpr int kObjMaterial = 2;
inline constexpr int kObjImage = 3;
inline constexpr int kObjEnvCube = 4;
inline constexpr int kObjTarget = 5;
inline constexpr int kObjFont = 6;
inline constexpr int kObjMesh = 7;
inline constexpr int kObjectKinds = 16;
// "GTexture" ... "GMesh"; "<Unknown>" for any other number.
std::string_view object_kind_name(int kind);

// What an image lists when all objects are destroyed.
struct ImageInfo {
  uint32_t width = 0, height = 0, depth = 0;
  std::string name;
};

class Hardware {
 public:
  Hardware(GraphicsBackend& backend, tools::SystemLog& log);
  Hardware(const Hardware&) = delete;
  Hardware& operator=(const Hardware&) = delete;

  // Opens the API and logs every adapter: -32768 when already initialised,
  // -32766 when the API is missing, -32765 when it cannot be opened.
  int initialise();
  // Creates the device on a valid display-format combination, then detects
  // the vendor and reports the capabilities.
  int create_device(const DeviceRequest& request);
  // Fills `out` from the adapter's capabilities; -65280 for no such adapter.
  int read_capabilities(int adapter, Capabilities& out);
  // The vendor's log lines and workarounds for the current adapter; -1 when
  // the adapter cannot be asked. Run by create_device.
  int detect_vendor();

  // Object counting. register_object returns the new object's handle (never
  // 0); an image carries what the destroy-all listing shows of it.
  uint32_t register_object(int kind, const ImageInfo* image = nullptr);
  void unregister_object(uint32_t handle);
  int object_count(int kind) const;
  // Logs the objects still alive, lists the images, releases them all.
  void destroy_all_objects();

  // 0 for a live material; -65279 (logged unless null) otherwise. The log
  // names the code that called with its return address (low 32 bits).
  int select_material(uint32_t handle);
  // The pointer form: `material` must be the address registered for a live
  // material with set_object_address.
  int select_material(const void* material);
  void set_object_address(uint32_t handle, const void* address);
  // "GTexture::InitFromMemory failed during D3DX call (%08x) line %ld".
  void report_texture_from_memory_failure(uint32_t result, long line);

  bool initialised() const { return initialised_; }
  bool has_device() const { return device_; }
  int adapter_count() const { return adapter_count_; }
  int adapter() const { return adapter_; }
  int os_kind() const { return os_kind_; }
  const tools::DeviceGuid& device_guid() const { return guid_; }
  bool whql() const { return whql_; }
  uint64_t texture_memory() const { return texture_memory_; }
  bool dxt3() const { return dxt3_; }
  const Workarounds& workarounds() const { return workarounds_; }
  // The combination the device was created with.
  std::optional<FormatRow> display_formats() const { return row_; }

 private:
  struct Object {
    uint32_t handle;
    int kind;
    const void* address;
    ImageInfo image;
  };
  void log(std::string_view text) { log_.write(text); }
  void report_capabilities(const Capabilities& caps);
  const Object* find(uint32_t handle) const;
  int select_material_from(uint32_t handle, uintptr_t caller);

  GraphicsBackend& backend_;
  tools::SystemLog& log_;
  bool initialised_ = false;
  bool device_ = false;
  int adapter_count_ = 0;
  int adapter_ = 0;
  int os_kind_ = 0;  // this platform is none of the Windows kinds
  tools::DeviceGuid guid_{};
  bool whql_ = false;
  uint64_t texture_memory_ = 0;
  bool dxt3_ = false;
  Workarounds workarounds_;
  std::optional<FormatRow> row_;
  std::array<int, kObjectKinds> counts_{};
  std::vector<Object> objects_;
  uint32_t next_handle_ = 1;
};

}  // namespace orvo
