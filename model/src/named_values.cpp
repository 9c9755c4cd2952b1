#include "orvo/model/named_values.h"

#include "orvo/model/flags.h"

namespace orvo {

std::span<const NamedValue> named_entries(const NamedValue* table) {
  std::size_t n = 0;
  while (!(table[n].text.empty() && table[n].value == -1)) ++n;
  return {table, n};
}

int named_value(const NamedValue* table, std::string_view text, int fallback) {
  for (const NamedValue& e : named_entries(table)) {
    if (e.text == text) return e.value;
  }
  return fallback;
}

std::string_view named_text(const NamedValue* table, int value) {
  for (const NamedValue& e : named_entries(table)) {
    if (e.value == value) return e.text;
  }
  return {};
}

const NamedValue kRenderFunctions[] = {
    {"bldg", 0},  {"cbot", 1},  {"chel", 2},  {"cmch", 3},  {"cpln", 4},  {"ctrn", 5},  {"cveh", 6},
    {"door", 7},  {"ewpn", 8},  {"gnrc", 9},  {"org0", 10}, {"ptl1", 11}, {"ptl2", 12}, {"ptl3", 13},
    {"ptlf", 14}, {"pung", 15}, {"tree", 16}, {"tgrp", 17}, {"trrw", 18}, {"veh0", 19}, {"", -1}};

const NamedValue kPhysicalAttributes[] = {{"None", 0},
                                          {"Metal", kSurfaceMetal},
                                          {"Hard Metal", kSurfaceHardMetal},
                                          {"Stone", kSurfaceStone},
                                          {"Glass", kSurfaceGlass},
                                          {"Foliage", kSurfaceFoliage},
                                          {"Wood", kSurfaceWood},
                                          {"Cloth", kSurfaceCloth},
                                          {"Water", kSurfaceWater},
                                          {"Flesh", kSurfaceFlesh},
                                          {"Dirt", kSurfaceDirt},
                                          {"", -1}};

const NamedValue kShaderTypesRigid[] = {{"None", 0},
                                        {"Diffuse Bump Map", 1},
                                        {"Diffuse+Specular Bump", 4},
                                        {"Phong Bump Map", 2},
                                        {"Chrome Bump", 5},
                                        {"Dirty Metal", 20},
                                        {"Diff/Spec/Glossmap Bump", 6},
                                        {"MDT Diffuse Bump Map", 8},
                                        {"MDT Phong Bump Map", 11},
                                        {"MDT Phong Bump Map + RT", 12},
                                        {"Ghost", 14},
                                        {"", -1}};

const NamedValue kShaderTypesSkinned[] = {{"None", 0},
                                          {"Skin MDT Phong Bump Map", 11},
                                          {"Skin MDT Phong Bump Map + RT", 12},
                                          {"Skin Local Phong Bump Map", 16},
                                          {"Skin Local Diffuse Bump Map", 15},
                                          {"", -1}};

const NamedValue kColourTypes[] = {{"Color - None", 0}, {"Color - Solid", 1}, {"Color - Texture", 2}, {"", -1}};

const NamedValue kAlphaTypes[] = {{"Alpha - None", 0}, {"Alpha - Solid", 1}, {"Alpha - Texture", 2}, {"", -1}};

const NamedValue kBlendingModes[] = {{"Opaque", 1},   {"Alpha Blend", 2},    {"Premultiplied AB", 3},
                                     {"Additive", 4}, {"Multiplicative", 5}, {"", -1}};

const NamedValue kReflectTypes[] = {{"None", 0},
                                    {"Specular Sharp - $$", 258},
                                    {"Set Environment Sharp  - $$", 1},
                                    {"Add Environment Sharp  - $$$", 2},
                                    {"", -1}};

const NamedValue kActionPlaneTypes[] = {{"None", 0}, {"Mirror Reflection", 1}, {"", -1}};

const NamedValue kProjectorTypes[] = {{"None", 0}, {"Directional Light", 1}, {"", -1}};

const NamedValue kRotateTypes[] = {{"No Rotation", 0},
                                   {"Rotate Part - Euler Fixed", 1},
                                   {"Rotate Part - Euler Function", 2},
                                   {"Rotate Part - Face Camera", 3},
                                   {"Rotate Part - Face Camera XZ axis only", 4},
                                   {"", -1}};

const NamedValue kRotateTypesShort[] = {{"RFixed", 1}, {"RFunc", 2}, {"RFace", 3}, {"RFaceXZ", 4}, {"", -1}};

const NamedValue kScaleTypes[] = {{"No Scaling", 0}, {"Scale All Axis", 1}, {"Scale Individual Axis", 2}, {"", -1}};

const NamedValue kScaleTypesShort[] = {{"SAll", 1}, {"SIndv", 2}, {"", -1}};

}  // namespace orvo
