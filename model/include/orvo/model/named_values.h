// Named-value tables: the (text, value) lists behind every enumeration that a
// dialog offers, each ended by an entry with an empty text and the value -1.
#pragma once

#include <span>
#include <string_view>

namespace orvo {

struct NamedValue {
  std::string_view text;
  int value;
};

// Entries up to (not including) the terminating {"", -1}.
std::span<const NamedValue> named_entries(const NamedValue* table);
// The value of the entry whose text equals `text` (exactly), or `fallback`.
int named_value(const NamedValue* table, std::string_view text, int fallback = -1);
// The text of the first entry with `value`, or an empty view.
std::string_view named_text(const NamedValue* table, int value);

// The enumerations of the Model, in the order the editors list them.
extern const NamedValue kRenderFunctions[];  // 4-letter codes, value = position
extern const NamedValue kPhysicalAttributes[];
extern const NamedValue kShaderTypesRigid[];
extern const NamedValue kShaderTypesSkinned[];
extern const NamedValue kColourTypes[];
extern const NamedValue kAlphaTypes[];
extern const NamedValue kBlendingModes[];
extern const NamedValue kReflectTypes[];
extern const NamedValue kActionPlaneTypes[];
extern const NamedValue kProjectorTypes[];
extern const NamedValue kRotateTypes[];
extern const NamedValue kRotateTypesShort[];
extern const NamedValue kScaleTypes[];
extern const NamedValue kScaleTypesShort[];

}  // namespace orvo
