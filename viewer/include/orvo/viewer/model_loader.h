#pragma once
// Loading binary models (".3di") for the preview, exactly as the game reads
// them: through the archive-aware file access, into the main memory pool,
// with every step reported in the loader's log ("3di_log.txt").
//
// load_model reads and checks the whole file through the record codec the
// exporter writes with, so the two can never disagree about an offset; a
// file that is truncated or contradicts itself (a count beyond what is left,
// a strip or index outside the vertices, a material or texture index outside
// its table) is refused with one log line that names the section and the
// byte, and nothing of it stays allocated. The model then gets its sections
// in the pool (see render_model.h), resolved:
//
// - strips point at their materials and carry their offset among all the
//   model's indices ("Addr"), in the order the vertex buffers pack them:
//   LOD by LOD, every strip of every strip group in file order, then the
//   LOD's action planes;
// - kind 'S' strips get a two-bone palette (entry 1 := entry 4, size 2) and
//   a span one larger;
// - materials with flag 0x10 get their animation time scaled by 62/100
//   (truncated), the active colour of the texture set and their texture
//   (the colour texture of the set when color_type is 2, else the alpha
//   texture when alpha_type is 2);
// - `CtrlReg` names become run-time registers (an unknown name is register
//   0), and every generator field of a register style (materials, part
//   motion, lights) holds the run-time register instead of the table index;
//   an index beyond the table also reads as register 0;
// - occluders get centres and radii recomputed from their vertices;
// - render paths and vertex buffer variants are chosen for `capabilities`.
//
// Capabilities: the hardware layer's flags (RenderCapabilities, hardware.h)
// with the compatibility mask applied. The render paths read hardware T&L as capability 1, vertex
// shaders as capability 2 and palette skinning as capability 4.
//
// A pool that cannot take a section refuses the model after its dump
// (MemoryPool::allocate writes it), with a log line naming the section.
//
// One loader is one program's list of loaded models; it is used from one
// thread at a time.

#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/runtime/file_access.h"
#include "orvo/runtime/hardware.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/export_log.h"
#include "orvo/viewer/render_model.h"

namespace orvo {

// What creating textures and materials asks of the device. The preview's
// factory makes GL textures; the command-line dump records what it is asked.
class TextureFactory {
 public:
  virtual ~TextureFactory() = default;

  struct Request {
    std::string colour_name;  // the file of a one-file texture, or the colour file of a pair
    std::string alpha_name;   // the alpha file of a pair, else empty
    int width = 0;            // as recorded (after the size cap)
    int height = 0;
    uint16_t flags = 0;  // the record's usage flags
  };
  // A handle above 0, or 0 when the texture cannot be made.
  virtual int32_t create_texture(const Request& request) = 0;
  // A texture from 0xAARRGGBB pixels, row by row.
  virtual int32_t create_texture_from_pixels(const std::string& name, int width, int height,
                                             std::span<const uint32_t> argb) = 0;
  // The device material of a loaded material (skinned: the skinned variant).
  virtual int32_t create_material(const render::Material& material, bool skinned) = 0;
  virtual int32_t create_render_target(const render::Projector& projector) = 0;
};

// Textures as large as this at most while the size cap is on.
inline constexpr int kTextureSizeCap = 256;
// The biggest file the loader reads (four LODs of the largest spans fit).
inline constexpr std::size_t kMaxModelFileBytes = 512u << 20;

// The name a model is loaded and listed under: the text from the first
// ".3DI" on (without regard to case) becomes ".3DI"; without one, ".3DI" is
// appended.
std::string normalise_model_name(std::string_view name);

// The placeholder for a texture that cannot be made: a checkerboard of 4 x 4
// cells in two opaque greys (0x303030 at the top left, 0x505050 next),
// 0xAARRGGBB row by row.
std::vector<uint32_t> placeholder_pixels(int width, int height);

class ModelLoader {
 public:
  // `log` may be null (no log lines are written).
  ModelLoader(FileAccess& files, MemoryPool& pool, ExportLog* log);
  // Frees every model still loaded (without the final statistics).
  ~ModelLoader();
  ModelLoader(const ModelLoader&) = delete;
  ModelLoader& operator=(const ModelLoader&) = delete;

  RenderCapabilities capabilities;
  // The texture set whose colour and texture materials show: 0 to 2.
  int texture_set = 0;

  // The model of `name` (normalised): the one already in the list
  // (created = false), or a newly read one put in front of the list
  // (created = true); null when it cannot be read (the log says why).
  render::Model* load_model(std::string_view name, bool* created = nullptr);

  // Creates the textures, device materials and render targets of every
  // loaded model that has none yet, counts the material passes, then writes
  // the checksum block.
  void create_textures_and_materials(TextureFactory& factory);

  // Releases the model's pool blocks and unlinks it. Null is ignored.
  void free_model(render::Model* model);
  // Writes the final statistics, then frees every model.
  void release_all();

  // Most recently loaded first.
  const std::list<std::unique_ptr<render::Model>>& models() const { return models_; }
  std::size_t model_count() const { return models_.size(); }
  // The checksums of the last checksum block, in list order.
  const std::vector<uint32_t>& checksums() const { return checksums_; }
  // On after the first successful load: recorded texture sizes above 256 are
  // created at 256.
  bool texture_size_cap() const { return texture_size_cap_; }
  // Why the last load_model returned null.
  const std::string& last_error() const { return last_error_; }

 private:
  bool read_model(render::Model& model);
  void log(std::string_view text);
  void create_textures(render::Model& model, TextureFactory& factory);

  FileAccess& files_;
  MemoryPool& pool_;
  ExportLog* log_;
  std::list<std::unique_ptr<render::Model>> models_;
  std::vector<uint32_t> checksums_;
  bool texture_size_cap_ = false;
  std::string last_error_;
};

}  // namespace orvo
