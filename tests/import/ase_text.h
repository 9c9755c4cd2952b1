// Builds small ASE scene texts for the import tests.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvo::test {

struct V3 {
  double x, y, z;
};

// A "*GEOMOBJECT" with the given vertices and triangles (material id 0,
// smoothing group 1). `extra_mesh` is added inside "*MESH", `extra` after it.
inline std::string geom(const std::string& name, const std::vector<V3>& verts,
                        const std::vector<std::array<int, 3>>& faces, const std::string& extra_mesh = "",
                        const std::string& extra = "") {
  std::string s = "*GEOMOBJECT {\n\t*NODE_NAME \"" + name + "\"\n";
  s += "\t*NODE_TM {\n\t\t*NODE_NAME \"" + name + "\"\n";
  s += "\t\t*TM_ROW0 1.0 0.0 0.0\n\t\t*TM_ROW1 0.0 1.0 0.0\n\t\t*TM_ROW2 0.0 0.0 1.0\n\t\t*TM_ROW3 0.0 0.0 0.0\n\t}\n";
  s += "\t*MESH {\n\t\t*TIMEVALUE 0\n";
  s += "\t\t*MESH_NUMVERTEX " + std::to_string(verts.size()) + "\n";
  s += "\t\t*MESH_NUMFACES " + std::to_string(faces.size()) + "\n";
  s += "\t\t*MESH_VERTEX_LIST {\n";
  for (std::size_t i = 0; i < verts.size(); ++i) {
    s += "\t\t\t*MESH_VERTEX " + std::to_string(i) + "\t" + std::to_string(verts[i].x) + "\t" +
         std::to_string(verts[i].y) + "\t" + std::to_string(verts[i].z) + "\n";
  }
  s += "\t\t}\n\t\t*MESH_FACE_LIST {\n";
  for (std::size_t i = 0; i < faces.size(); ++i) {
    s += "\t\t\t*MESH_FACE " + std::to_string(i) + ":    A: " + std::to_string(faces[i][0]) +
         " B: " + std::to_string(faces[i][1]) + " C: " + std::to_string(faces[i][2]) +
         " AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n";
  }
  s += "\t\t}\n" + extra_mesh + "\t}\n" + extra + "}\n";
  return s;
}

// A unit triangle moved by (dx, dy, dz) in file axes.
inline std::string tri(const std::string& name, double dx = 0, double dy = 0, double dz = 0,
                       const std::string& extra = "") {
  return geom(name, {{dx, dy, dz}, {dx + 1, dy, dz}, {dx, dy + 1, dz}}, {{{0, 1, 2}}}, "", extra);
}

inline std::string light(const std::string& name, double x, double y, double z) {
  return "*LIGHTOBJECT {\n\t*NODE_NAME \"" + name + "\"\n\t*LIGHT_TYPE Omni\n\t*NODE_TM {\n\t\t*NODE_NAME \"" + name +
         "\"\n\t\t*TM_POS " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) +
         "\n\t}\n\t*LIGHT_SETTINGS {\n\t\t*TIMEVALUE 0\n\t\t*LIGHT_COLOR 1.0 0.5 0.25\n\t\t*LIGHT_INTENS 2.0\n"
         "\t\t*LIGHT_ATTNSTART 10.0\n\t\t*LIGHT_ATTNEND 100.0\n\t}\n}\n";
}

inline const char* kHeader = "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"test\"\n";

}  // namespace orvo::test
