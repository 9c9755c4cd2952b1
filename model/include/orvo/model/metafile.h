// The 3DA metafile: the editable text form of the artist-set part of one
// Model (general information, materials, part animations, the ambient and
// directional light generators and the point lights' generators). It holds
// no geometry; the reader of a whole 3DA file (import/model_files.h)
// rebuilds that from the scene file of the same name.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "tools/base/host.h"

namespace orvo {

// Result codes of the metafile reader (a parse error is -line).
inline constexpr int kMetafileOk = 0;
inline constexpr int kMetafileCannotOpen = 1;
inline constexpr int kMetafileEndInBlock = 2;

// The version the writer writes, and the last version with the old naming
// rules (texture names without extension get ".pcx").
inline constexpr int kMetafileVersion = 3;

// What a read learns besides the Model's fields.
struct MetafileInfo {
  int version = 0;         // "3da_version"; 0 when absent
  bool has_scale = false;  // a "scale_factor" line was read
  float scale_factor = 0;
  bool diffuse_set = false;  // a "diffuse_set" line was read
  // The light blocks by number, matched to the scene's lights by name once
  // the geometry is loaded.
  struct Light {
    bool present = false;
    Name32 name;
    ColorGenerator colorgen;
  };
  std::array<Light, kMaxLightBlocks> lights{};
  int highest_light = -1;
};

// Reads the text of a 3DA file into `model` (reset first): every block and
// key, the material defaults at "begin material", use_alpha_pcx at a
// material's end, the compatibility rules of old versions and the
// post-processing at the end. Fails with kMetafileEndInBlock when the text
// ends inside a block, or -line (lines counted from 1, comments and empty
// lines included) for a line it cannot take, a scale_factor that is not a
// finite positive number among them; the Model then holds what was read
// before that line. Errors carry the file and the line as data.
Status metafile_parse(std::string_view text, const std::string& display_name, Model& model, MetafileInfo& info);

// The 3DA text of `model`, byte for byte as the tool has always written it,
// whatever the process locale. `when` is the local time for the header.
std::string metafile_write(const Model& model, float scale_factor, const tools::LocalTime& when,
                           std::string_view username);

}  // namespace orvo
