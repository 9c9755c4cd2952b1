#include "orvo/runtime/hardware.h"

#include "tools/base/text.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace orvo {
namespace {

using tools::fixed_number;

using F = SurfaceFormat;

constexpr FormatRow kC16D16Rows[] = {
    {F::kR5G6B5, F::kR5G6B5, F::kD16, 0, true},        {F::kR5G6B5, F::kR5G6B5, F::kD15S1, 1, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD16, 0, false},   {F::kX1R5G5B5, F::kX1R5G5B5, F::kD16, 0, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD15S1, 1, false}, {F::kX1R5G5B5, F::kX1R5G5B5, F::kD15S1, 1, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD16, 0, false},   {F::kX4R4G4B4, F::kX4R4G4B4, F::kD16, 0, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD15S1, 1, false}, {F::kX4R4G4B4, F::kX4R4G4B4, F::kD15S1, 1, true},
};

// Within each display format the deep depth buffers in this order.
constexpr FormatRow kC16D32Rows[] = {
    {F::kR5G6B5, F::kR5G6B5, F::kD24S8, 8, true},        {F::kR5G6B5, F::kR5G6B5, F::kD24X4S4, 4, true},
    {F::kR5G6B5, F::kR5G6B5, F::kD32, 0, true},          {F::kR5G6B5, F::kR5G6B5, F::kD24X8, 0, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD24S8, 8, false},   {F::kX1R5G5B5, F::kX1R5G5B5, F::kD24S8, 8, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD24X4S4, 4, false}, {F::kX1R5G5B5, F::kX1R5G5B5, F::kD24X4S4, 4, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD32, 0, false},     {F::kX1R5G5B5, F::kX1R5G5B5, F::kD32, 0, true},
    {F::kX1R5G5B5, F::kA1R5G5B5, F::kD24X8, 0, false},   {F::kX1R5G5B5, F::kX1R5G5B5, F::kD24X8, 0, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD24S8, 8, false},   {F::kX4R4G4B4, F::kX4R4G4B4, F::kD24S8, 8, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD24X4S4, 4, false}, {F::kX4R4G4B4, F::kX4R4G4B4, F::kD24X4S4, 4, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD32, 0, false},     {F::kX4R4G4B4, F::kX4R4G4B4, F::kD32, 0, true},
    {F::kX4R4G4B4, F::kA4R4G4B4, F::kD24X8, 0, false},   {F::kX4R4G4B4, F::kX4R4G4B4, F::kD24X8, 0, true},
};

constexpr FormatRow kC32D32Rows[] = {
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD24S8, 8, false},   {F::kX8R8G8B8, F::kX8R8G8B8, F::kD24S8, 8, true},
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD24X4S4, 4, false}, {F::kX8R8G8B8, F::kX8R8G8B8, F::kD24X4S4, 4, true},
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD32, 0, false},     {F::kX8R8G8B8, F::kX8R8G8B8, F::kD32, 0, true},
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD24X8, 0, false},   {F::kX8R8G8B8, F::kX8R8G8B8, F::kD24X8, 0, true},
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD16, 0, false},     {F::kX8R8G8B8, F::kX8R8G8B8, F::kD16, 0, true},
    {F::kX8R8G8B8, F::kA8R8G8B8, F::kD15S1, 1, false},   {F::kX8R8G8B8, F::kX8R8G8B8, F::kD15S1, 1, true},
};

constexpr ModeOverride kM1[] = {{512, 384, kAnyFormat, 1},  {640, 480, kAnyFormat, 1},   {800, 600, kAnyFormat, 1},
                                {1024, 768, kAnyFormat, 1}, {1280, 1024, kAnyFormat, 0}, {1600, 1200, kAnyFormat, 0},
                                {kTableEnd, 0, 0, 0}};
constexpr ModeOverride kM2[] = {{512, 384, kAnyFormat, 1},
                                {640, 480, kAnyFormat, 1},
                                {800, 600, kAnyFormat, 1},
                                {1024, 768, kAnyFormat, 1},
                                {kTableEnd, 0, 0, 0}};
constexpr ModeOverride kM3[] = {{512, 384, kAnyFormat, 1},  {640, 480, kAnyFormat, 1},   {800, 600, kAnyFormat, 1},
                                {1024, 768, kAnyFormat, 1}, {1280, 1024, kAnyFormat, 1}, {1600, 1200, kAnyFormat, 1},
                                {kTableEnd, 0, 0, 0}};

constexpr FormatPermutation kPermutationEnd{kTableEnd, kTableEnd, kTableEnd, kTableEnd};
constexpr FormatPermutation kP5[] = {{0, 0, 0x631, 0x30}, kPermutationEnd};
constexpr FormatPermutation kEndOnly[] = {kPermutationEnd};

// Chip flag letters as indices into Workarounds::chip.
enum Chip { kA, kB, kC, kD, kE, kF, kG, kH, kI };

const char* yes_no(bool b) {
  return b ? "YES" : "NO";
}

}  // namespace

RenderCapabilities RenderCapabilities::from_mask(uint32_t bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

uint32_t RenderCapabilities::mask() const {
  return (hardware_tnl ? 1u : 0u) | (vertex_shaders ? 2u : 0u) | (pixel_shaders ? 4u : 0u) |
         (palette_skinning ? 8u : 0u);
}

RenderCapabilities apply_compatibility_mask(RenderCapabilities caps, uint32_t disable_mask) {
  return RenderCapabilities::from_mask(caps.mask() & ~disable_mask);
}

std::string_view format_name(SurfaceFormat format) {
  switch (format) {
    case F::kX8R8G8B8: return "D3DFMT_X8R8G8B8";
    case F::kA8R8G8B8: return "D3DFMT_A8R8G8B8";
    case F::kR5G6B5: return "D3DFMT_R5G6B5";
    case F::kX1R5G5B5: return "D3DFMT_X1R5G5B5";
    case F::kA1R5G5B5: return "D3DFMT_A1R5G5B5";
    case F::kX4R4G4B4: return "D3DFMT_X4R4G4B4";
    case F::kA4R4G4B4: return "D3DFMT_A4R4G4B4";
    case F::kD16: return "D3DFMT_D16";
    case F::kD15S1: return "D3DFMT_D15S1";
    case F::kD24S8: return "D3DFMT_D24S8";
    case F::kD24X4S4: return "D3DFMT_D24X4S4";
    case F::kD32: return "D3DFMT_D32";
    case F::kD24X8: return "D3DFMT_D24X8";
    case F::kUnknown: break;
  }
  return "D3DFMT_UNKNOWN";
}

std::string_view combination_name(Combination c) {
  switch (c) {
    case Combination::kC16D16: return "c16_d16";
    case Combination::kC16D32: return "c16_d32";
    case Combination::kC32D32: return "c32_d32";
  }
  return "c16_d16";
}

std::optional<Combination> combination_from_code(int code) {
  switch (code) {
    case 3:
    case 32: return Combination::kC32D32;
    case 2: return Combination::kC16D32;
    case 1:
    case 16: return Combination::kC16D16;
    default: return std::nullopt;
  }
}

std::span<const FormatRow> combination_rows(Combination c) {
  switch (c) {
    case Combination::kC16D16: return kC16D16Rows;
    case Combination::kC16D32: return kC16D32Rows;
    case Combination::kC32D32: return kC32D32Rows;
  }
  return {};
}

std::optional<Combination> combination_fallback(Combination c) {
  if (c == Combination::kC32D32) return Combination::kC16D32;
  if (c == Combination::kC16D32) return Combination::kC16D16;
  return std::nullopt;
}

std::span<const ModeOverride> mode_table_rows(ModeTable table) {
  switch (table) {
    case ModeTable::kM1: return kM1;
    case ModeTable::kM2: return kM2;
    case ModeTable::kM3: return kM3;
    case ModeTable::kNone: break;
  }
  return {};
}

std::span<const FormatPermutation> format_table_rows(FormatTable table) {
  switch (table) {
    case FormatTable::kP5: return kP5;
    case FormatTable::kNone: return {};
    default: return kEndOnly;
  }
}

std::string_view object_kind_name(int kind) {
  static constexpr std::string_view kNames[] = {"GTexture", "GMaterial", "GImage", "GEnvCube",
                                                "GTarget",  "GFont",     "GMesh"};
  if (kind >= kObjTexture && kind <= kObjMesh) return kNames[kind - 1];
  return "<Unknown>";
}

Hardware::Hardware(GraphicsBackend& backend, tools::SystemLog& log) : backend_(backend), log_(log) {}

int Hardware::initialise() {
  if (initialised_) {
    log("Error: Tessa has already been initted\n");
    return -32768;
  }
  // The API check: where the original looked for its graphics runtime's
  // library, this layer asks the backend for the OpenGL version and logs
  // "GLVersion: OpenGL <version> detected" (or "Error: OpenGL not
  // detected" when there is none).
  const std::optional<std::string> version = backend_.api_version();
  if (!version) {
    log("Error: OpenGL not detected\n");
    return -32766;
  }
  log(tools::format_text("GLVersion: OpenGL %s detected\n", version->c_str()));
  if (!backend_.open()) {
    log("Error: Could not create OpenGL context\n");
    return -32765;
  }
  initialised_ = true;
  adapter_count_ = std::max(backend_.adapter_count(), 0);
  for (int n = 0; n < adapter_count_; ++n) {
    const std::optional<AdapterIdentifier> id = backend_.adapter_identifier(n);
    if (!id) continue;
    const uint64_t v = id->driver_version;
    log(tools::format_text("Device %ld:  %s\n", static_cast<long>(n), id->description.c_str()));
    log(tools::format_text("           %s\n", id->driver.c_str()));
    log(tools::format_text("           %ld.%ld.%ld.%ld\n", static_cast<long>((v >> 48) & 0xFFFF),
                           static_cast<long>((v >> 32) & 0xFFFF), static_cast<long>((v >> 16) & 0xFFFF),
                           static_cast<long>(v & 0xFFFF)));
    log(tools::format_text("           %04X %04X %04X\n", id->vendor_id, id->device_id, id->subsystem_id));
    const tools::DeviceGuid& g = id->guid;
    log(tools::format_text("           %08X-%04X-%04X-%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X\n", g.data1, g.data2,
                           g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                           g.data4[7]));
  }
  log(tools::SystemLog::kBreak);
  return 0;
}

int Hardware::create_device(const DeviceRequest& request) {
  if (device_) return -32768;
  if (!initialised_) return -32765;
  if (request.adapter < 0 || request.adapter >= adapter_count_) return -65280;

  Combination combination = combination_from_code(request.combination_code).value_or(Combination::kC16D16);
  if (request.windowed) {
    // A window shows the desktop's colour depth: the colour half of the
    // request follows the desktop, the depth half stays.
    const SurfaceFormat desktop = backend_.desktop_format(request.adapter);
    const bool deep = desktop == F::kX8R8G8B8 || desktop == F::kA8R8G8B8;
    if (deep) combination = Combination::kC32D32;
    else if (combination == Combination::kC32D32) combination = Combination::kC16D32;
  }
  // The colour and depth halves of the combination ("c32", "d32").
  const std::string_view name = combination_name(combination);
  log(tools::format_text("CreateDevice:  device:%ld   %ldx%ld  %s  %.*s  %.*s  aa%ld\n",
                         static_cast<long>(request.adapter), static_cast<long>(request.width),
                         static_cast<long>(request.height), request.windowed ? "Windowed" : "Fullscreen", 3,
                         name.data(), 3, name.data() + 4, static_cast<long>(request.antialias)));

  const DeviceCaps raw = backend_.device_caps(request.adapter);
  if (!request.windowed && request.width > 1024 && !raw.hardware_tnl) return -1;

  std::optional<FormatRow> chosen;
  for (std::optional<Combination> c = combination; c && !chosen; c = combination_fallback(*c)) {
    for (const FormatRow& row : combination_rows(*c)) {
      if (request.windowed && !row.windowed) continue;
      log(tools::format_text("Testing display format:   %s  %s  %s\n", format_name(row.display).data(),
                             format_name(row.back_buffer).data(), format_name(row.depth_stencil).data()));
      if (backend_.row_valid(request.adapter, row, request.windowed)) {
        chosen = row;
        break;
      }
    }
  }
  if (!chosen) {
    log("Unable to find any valid display combinations\n");
    return -1;
  }
  log("Found valid display combination\n");

  const DeviceCreation made = backend_.create_device(request, *chosen);
  if (made.result != 0) {
    log(tools::format_text("Failed to initialize...  (%8X)\n", made.result));
    if (made.device) backend_.release_device();
    return -1;
  }
  if (!made.device) {
    log(tools::format_text("Initialize returned NULL device...  (%8X)\n", made.result));
    return -1;
  }
  device_ = true;
  adapter_ = request.adapter;
  row_ = chosen;

  if (detect_vendor() != 0) return -1;
  log(whql_ ? "Driver:   WHQL certified\n" : "Driver:   non-WHQL certified\n");
  Capabilities caps;
  read_capabilities(adapter_, caps);
  report_capabilities(caps);
  log(tools::SystemLog::kBreak);
  return 0;
}

int Hardware::detect_vendor() {
  texture_memory_ = backend_.available_texture_memory();
  log("Approx Tex Mem: " + fixed_number(static_cast<double>(texture_memory_) / 1048576.0, 5, 1) + "Mb\n");
  dxt3_ = backend_.supports_dxt3();
  workarounds_ = Workarounds{};

  const std::optional<AdapterIdentifier> found = backend_.adapter_identifier(adapter_);
  if (!found) return -1;
  const AdapterIdentifier& id = *found;
  whql_ = id.whql_level != 0;
  guid_ = id.guid;
  log_.set_device_guid(guid_);

  // The chip-specific rules that also compare the board's GUID with lists of
  // known older boards (3dfx boards reporting another vendor, NVIDIA boards
  // needing the smaller texture size or no bias, Voodoo2 variants) keep the
  // vendor and device rules alone: the lists are empty here, so no GUID is
  // ever "listed".
  const bool listed_guid = false;
  const uint32_t vendor = id.vendor_id, device = id.device_id;
  Workarounds& w = workarounds_;
  switch (vendor) {
    case 0x10DE: {
      log("VENDOR_NVIDIA\n");
      const uint32_t build = id.driver_build();
      if (build < 650) {
        w.multilight = true;
        log("Multilight workaround enabled\n");
      }
      if (build >= 4000 && build <= 4299) {
        w.multipass = true;
        log("Multipass workaround enabled\n");
      }
      if (device == 0x20 && listed_guid) w.max_texture_size = 256;
      if (device == 0x28 && listed_guid) w.bias = {0.0f, 0.0f};
      if (device == 0x100 || device == 0x101 || device == 0x103) {
        if (listed_guid) {
          w.max_texture_size = 256;
          log("Texsize workaround enabled\n");
        }
        w.chip[kD] = true;
        w.modes = ModeTable::kM1;
      }
      if (device == 0x110 || device == 0x111 || device == 0x113) {
        w.static_vb = true;
        log("StaticVB workaround enabled\n");
      }
      if (device >= 0x150 && device <= 0x153) w.modes = ModeTable::kM2;
      if (device == 0x200) {
        w.modes = ModeTable::kM3;
      } else {
        if (device >= 0x250 && device <= 0x25F) w.chip[kF] = true;
        if (device >= 0x300) w.chip[kG] = true;
      }
      break;
    }
    case 0x121A:
      log("VENDOR_3DFX\n");
      w.max_texture_size = 256;
      w.chip[kE] = w.chip[kI] = true;
      if (device == 1 || device == 3) w.chip[kA] = w.chip[kB] = true;
      if (device == 2) {
        w.chip[kA] = w.chip[kB] = true;
        w.formats = listed_guid ? FormatTable::kP2b : FormatTable::kP2;
      }
      if (device == 5) {
        log("VOODOO3\n");
        w.chip[kA] = w.chip[kB] = w.chip[kC] = true;
        w.formats = FormatTable::kP5;
      }
      break;
    case 0x1142:
    case 0x10D9: w.chip[kA] = true; break;
    case 0x104C:
    case 0x1163: log("VENDOR_DIAMOND\n"); break;
    case 0x8086:
      log("VENDOR_INTEL\n");
      if (device == 0x7121 || device == 0x7125 || (device == 0x7800 && id.subsystem_id != 0x01001092))
        w.chip[kC] = true;
      break;
    case 0x102B: log("VENDOR_MATROX\n"); break;
    case 0x1002:
      log("VENDOR_ATI\n");
      if (device == 0x4742) {
        w.formats = FormatTable::kPA;
        w.chip[kA] = true;
      }
      if (device == 19522 || device == 19529 || device == 19533 || device == 19536 || device == 19538) {
        w.tristrip = true;
        w.formats = FormatTable::kPT;
        log("Tristrip workaround enabled\n");
      }
      if (device == 0x514C || device == 0x514E || device == 0x514F) w.chip[kH] = true;
      break;
    case 0x003D: log("VENDOR_REAL3D\n"); break;
    case 0x110B: log("VENDOR_LEADTEK\n"); break;
    case 0x105D: log("VENDOR_NUMBER9\n"); break;
    default: break;  // 0x12D2, 0x3D3D and every other vendor: nothing
  }
  return 0;
}

int Hardware::read_capabilities(int adapter, Capabilities& out) {
  if (adapter < 0 || adapter >= adapter_count_) return -65280;
  const DeviceCaps d = backend_.device_caps(adapter);
  auto texture_size = [&](uint32_t reported) {
    uint32_t size = reported == 0 ? 256 : reported;
    if (workarounds_.max_texture_size != 0) size = std::min(size, workarounds_.max_texture_size);
    return size;
  };
  out = Capabilities{};
  out.max_texture_width = texture_size(d.max_texture_width);
  out.max_texture_height = texture_size(d.max_texture_height);
  out.max_texture_aspect = d.max_texture_aspect == 0 ? 8 : d.max_texture_aspect;
  out.max_simultaneous_textures = d.max_simultaneous_textures == 0 ? 1 : d.max_simultaneous_textures;
  out.texture_from_agp = d.texture_from_agp;
  out.cube_maps = d.cube_maps;
  out.volume_maps = d.volume_maps;
  out.dx6 = d.draw_primitive2;
  out.dx7 = d.draw_primitive2_ex;
  out.dx8 = d.max_vertex_streams >= 1;
  out.flags.hardware_tnl = d.hardware_tnl;
  out.flags.pixel_shaders = d.pixel_shader_version > 0;
  // Vertex shaders on the device are only worth having with pixel shaders
  // beside them: the shader paths use both.
  out.flags.vertex_shaders = d.vertex_shader_version > 0 && d.vertex_shader_constants > 0 && out.flags.pixel_shaders;
  out.flags.palette_skinning = d.indexed_vertex_blending;
  return 0;
}

void Hardware::report_capabilities(const Capabilities& caps) {
  if (caps.dx8) log("Driver:   DX8 level\n");
  else if (caps.dx7) log("Driver:   DX7 level\n");
  else if (caps.dx6) log("Driver:   DX6 level\n");
  const RenderCapabilities& f = caps.flags;
  log(tools::format_text("Supports: T&L:%s  HWVS:%s  HWPS:%s  PALSKIN:%s\n", yes_no(f.hardware_tnl),
                         yes_no(f.vertex_shaders), yes_no(f.pixel_shaders), yes_no(f.palette_skinning)));
}

uint32_t Hardware::register_object(int kind, const ImageInfo* image) {
  const uint32_t handle = next_handle_++;
  if (next_handle_ == 0) next_handle_ = 1;
  objects_.push_back({handle, kind, nullptr, image ? *image : ImageInfo{}});
  if (kind >= 0 && kind < kObjectKinds) ++counts_[kind];
  return handle;
}

void Hardware::unregister_object(uint32_t handle) {
  const auto it = std::find_if(objects_.begin(), objects_.end(), [&](const Object& o) { return o.handle == handle; });
  if (it == objects_.end()) return;
  if (it->kind >= 0 && it->kind < kObjectKinds) --counts_[it->kind];
  objects_.erase(it);
}

int Hardware::object_count(int kind) const {
  return kind >= 0 && kind < kObjectKinds ? counts_[kind] : 0;
}

void Hardware::destroy_all_objects() {
  log("Call to: Ghw.DestroyAllObjects\n");
  bool any = false;
  for (int kind = 0; kind < kObjectKinds; ++kind) {
    if (counts_[kind] == 0) continue;
    any = true;
    log(tools::format_text("%ld %s objects remaining\n", static_cast<long>(counts_[kind]),
                           object_kind_name(kind).data()));
  }
  if (!any) log("All objects have been deallocated\n");
  for (const Object& o : objects_) {
    if (o.kind != kObjImage) continue;
    log(tools::format_text("GImage:  %08x   %ldx%ld  %ld  %s\n", o.handle, static_cast<long>(o.image.width),
                           static_cast<long>(o.image.height), static_cast<long>(o.image.depth), o.image.name.c_str()));
  }
  for (const Object& o : objects_) backend_.release_object(o.kind, o.handle);
  objects_.clear();
  counts_ = {};
}

const Hardware::Object* Hardware::find(uint32_t handle) const {
  const auto it = std::find_if(objects_.begin(), objects_.end(), [&](const Object& o) { return o.handle == handle; });
  return it == objects_.end() ? nullptr : &*it;
}

void Hardware::set_object_address(uint32_t handle, const void* address) {
  for (Object& o : objects_)
    if (o.handle == handle) o.address = address;
}

// The caller's address in the log is the return address of the call into
// select_material, cut to 32 bits as the log has room for.
[[gnu::noinline]] int Hardware::select_material(uint32_t handle) {
  return select_material_from(handle, reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

int Hardware::select_material_from(uint32_t handle, uintptr_t caller) {
  if (handle == 0) return -65279;
  const Object* o = find(handle);
  if (o == nullptr || o->kind != kObjMaterial) {
    log(tools::format_text("Invalid GHMAT 0x%08x submitted to SelectMaterial!  Called by code at 0x%08x", handle,
                           static_cast<uint32_t>(caller)));
    return -65279;
  }
  return 0;
}

[[gnu::noinline]] int Hardware::select_material(const void* material) {
  const uintptr_t caller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  if (material == nullptr) return -65279;
  const auto it = std::find_if(objects_.begin(), objects_.end(),
                               [&](const Object& o) { return o.address == material && o.kind == kObjMaterial; });
  if (it == objects_.end()) {
    log(tools::format_text("Invalid GMaterial* 0x%8x submitted to SelectMaterial!  Called by code at 0x%08x",
                           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(material)),
                           static_cast<uint32_t>(caller)));
    return -65279;
  }
  return 0;
}

void Hardware::report_texture_from_memory_failure(uint32_t result, long line) {
  log(tools::format_text("GTexture::InitFromMemory failed during D3DX call (%08x) line %ld", result, line));
}

}  // namespace orvo
