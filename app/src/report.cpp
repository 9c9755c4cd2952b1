#include "orvo/app/report.h"

#include <algorithm>
#include <cstdio>

namespace orvo {

namespace {

template <class... Args>
void appendf(std::string& out, const char* format, Args... args) {
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, format, args...);
  if (n > 0) out.append(buf, static_cast<std::size_t>(std::min<int>(n, sizeof buf - 1)));
}

}  // namespace

std::string report_text(const Model& model, const tools::LocalTime& when) {
  std::string out;
  // The minute is padded with a blank, not a zero ("9: 5").
  appendf(out, "Graphic Object: %s, %i/%i/%i, %i:%2i\n\n", model.name.c_str(), when.month, when.day, when.year,
          when.hour, when.minute);
  appendf(out, "Objects: %i\n", model.num_subobjects());
  long total_verts = 0, total_faces = 0;
  for (const SubObject& so : model.subobjects) {
    appendf(out, "  %s %5i %5i\n", so.name.c_str(), static_cast<int>(so.verts.size()),
            static_cast<int>(so.faces.size()));
    total_verts += static_cast<long>(so.verts.size());
    total_faces += static_cast<long>(so.faces.size());
  }
  appendf(out, "  Total Vert: %i\n", static_cast<int>(total_verts));
  appendf(out, "  Total Poly: %i\n\n", static_cast<int>(total_faces));
  appendf(out, "Attachment Points: %i\n", static_cast<int>(model.attach.size()));
  for (const AttachPoint& a : model.attach) appendf(out, "  %s\n", a.name.c_str());
  out += "\n";
  appendf(out, "Materials: %i\n", model.num_materials);
  for (int i = 0; i < model.num_materials; ++i)
    appendf(out, "  %s\n", model.materials[static_cast<std::size_t>(i)].name.c_str());
  out += "\n";
  return out;
}

}  // namespace orvo
