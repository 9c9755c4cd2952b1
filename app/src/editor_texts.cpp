#include "orvo/app/editor_texts.h"

#include <algorithm>

#include "orvo/model/named_values.h"
#include "tools/base/text.h"

namespace orvo {

int polygon_sum(const Model& model) {
  int n = 0;
  for (const SubObject& so : model.subobjects) n += static_cast<int>(so.faces.size());
  return n;
}

int vertex_sum(const Model& model) {
  int n = 0;
  for (const SubObject& so : model.subobjects) n += static_cast<int>(so.verts.size());
  return n;
}

int stretchy_vertex_count(const Model& model) {
  int n = 0;
  for (int i = 0; i < model.num_subobjects(); ++i) {
    for (const Vertex& v : model.subobjects[static_cast<std::size_t>(i)].verts)
      if (v.subobj != i || v.subobj2 != i) ++n;
  }
  return n;
}

std::string object_name_text(const Model& model) {
  return "Graphic Object Name: " + model.name.str();
}

std::string object_line(const SubObject& so) {
  return tools::format_text("%s %5i %5i", so.name.c_str(), static_cast<int>(so.verts.size()),
                            static_cast<int>(so.faces.size()));
}

std::string total_vertices_text(const Model& model) {
  const int stretchy = stretchy_vertex_count(model);
  if (stretchy > 0) return tools::format_text("Total Vertices: %i, (%i stretchy)", vertex_sum(model), stretchy);
  return tools::format_text("Total Vertices: %i", vertex_sum(model));
}

std::string total_polys_text(const Model& model) {
  return tools::format_text("Total Polys: %i", polygon_sum(model));
}

std::string rotate_label(int rotate_type) {
  const std::string_view t = named_text(kRotateTypesShort, rotate_type);
  return t.empty() ? std::string("-") : std::string(t);
}

std::string scale_label(int scale_type) {
  const std::string_view t = named_text(kScaleTypesShort, scale_type);
  return t.empty() ? std::string("-") : std::string(t);
}

std::string part_animation_line(const SubObject& so, const PartAnimation& anim) {
  return tools::format_text("%s\t[%02ld]\t%s\t%s", so.name.c_str(), static_cast<long>(anim.transform_as) + 1,
                            rotate_label(anim.rotate_type).c_str(), scale_label(anim.scale_type).c_str());
}

std::optional<std::array<int, 3>> colour_strip_at(const ColorGenerator& g, int x, int width) {
  const std::array<int, 3> start{std::clamp(g.start_red, 0, 255), std::clamp(g.start_green, 0, 255),
                                 std::clamp(g.start_blue, 0, 255)};
  if (g.style == 0) return std::nullopt;
  if (g.style == 0x18 || width <= 1) return start;
  const std::array<int, 3> end{std::clamp(g.end_red, 0, 255), std::clamp(g.end_green, 0, 255),
                               std::clamp(g.end_blue, 0, 255)};
  const int span = width - 1;
  const int at = std::clamp(x, 0, span);
  std::array<int, 3> c{};
  for (std::size_t i = 0; i < 3; ++i) c[i] = start[i] + (end[i] - start[i]) * at / span;
  return c;
}

}  // namespace orvo
