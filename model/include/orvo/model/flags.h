#pragma once
// The bit words of the model, each named once: a material's render and
// physical attributes and texture layer flags, and the model's attributes.
// Plain enums over the field's own type, so that a bit tests, sets and
// clears with the usual operators (`render_attributes & kRenderDontDraw`).
// Captions in quotes are the material editor's check boxes.
//
// The bits the 3DI file itself holds (material flags, part motion flags)
// are the codec's and named beside its records.

#include <cstdint>

namespace orvo {

// ModelMaterial::render_attributes.
enum RenderAttribute : int32_t {
  kRenderTwoSided = 0x1,  // "2 Sided"
  // "Don't Draw": the material's faces are left out of the exported
  // geometry (vertices, strips) and of the model's bounding values.
  kRenderDontDraw = 0x20,
  kRenderTextureAnimation = 0x100,  // animated texture, also without a frame count
  kRenderAlphaTest = 0x400,         // "Alpha Test"
  kRenderUvClamp = 0x800,           // "UV Clamp", of each texture stage's own record
  kRenderAlphaTestInvert = 0x1000,  // "Invert": the alpha test inverted
  // Set when "Add Game Diffuse" is off: the faces carry their own vertex
  // colours (the 3DA reader sets it too, for files without diffuse_set).
  kRenderNoGameDiffuse = 0x10000,
  kRenderNotReflectable = 0x100000,  // "Not Reflectable"
  kRenderLessFog = 0x400000,         // "Less Fog"
  // "Magic Tree Light": normals bent around the material's light.
  kRenderMagicTreeLight = 0x800000,
};

// ModelMaterial::physical_attributes bits the editor sets besides the
// surface kind (the surface kinds are the named values of the physical
// table).
enum PhysicalAttribute : int32_t {
  kPhysicalMoveIgnore = 0x100,           // "Move Ignore"
  kPhysicalNoScarring = 0x1000,          // "No scarring"
  kPhysicalBackfaceMoveIgnore = 0x2000,  // "Backface Move Ignore"
};
// The surface kinds, the named values of the physical table ("Metal" …
// "Dirt"); the editor sets one of them.
enum SurfaceKind : int32_t {
  kSurfaceMetal = 0x1,
  kSurfaceWood = 0x2,
  kSurfaceStone = 0x4,
  kSurfaceFoliage = 0x8,
  kSurfaceHardMetal = 0x200,
  kSurfaceCloth = 0x400,
  kSurfaceGlass = 0x800,
  kSurfaceWater = 0x10000,
  kSurfaceFlesh = 0x20000,
  kSurfaceDirt = 0x40000,
};
// The bits that make up the surface kind.
inline constexpr int32_t kSurfaceKindMask = kSurfaceMetal | kSurfaceWood | kSurfaceStone | kSurfaceFoliage |
                                            kSurfaceHardMetal | kSurfaceCloth | kSurfaceGlass | kSurfaceWater |
                                            kSurfaceFlesh | kSurfaceDirt;
static_assert(kSurfaceKindMask == 0x70E0F);

// ModelMaterial::multitexture_flags.
enum MultiTextureFlag : int32_t {
  kMultiTextureOrdinary = 0x1,     // an ordinary material (a first texture stage)
  kMultiTextureSecondLayer = 0x2,  // the second texture stage of the material before it
};

// Model::attributes.
enum ModelAttribute : int32_t {
  kModelFromAse = 0x1,    // the geometry comes from an ASE scene (clear: an ASC mesh)
  kModelStretched = 0x2,  // some vertex lies inside a stretch box
  kModelSkinned = 0x4,    // "Skinned Mesh": exported with the skinned vertex layout
};

}  // namespace orvo
