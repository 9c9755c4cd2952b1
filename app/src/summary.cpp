#include "orvo/app/summary.h"

namespace orvo {

namespace {

using nlohmann::json;

json position(float x, float y, float z) {
  return json::array({x, y, z});
}

}  // namespace

json model_summary_json(const Model& m, std::span<const std::string> log,
                        std::span<const tools::RecordingNotifier::Message> messages) {
  json j;
  j["name"] = m.name.str();
  j["attributes"] = m.attributes;
  j["log"] = json(std::vector<std::string>(log.begin(), log.end()));
  json told = json::array();
  for (const auto& msg : messages) told.push_back({{"caption", msg.caption}, {"text", msg.text}});
  j["messages"] = told;
  json subs = json::array();
  for (const SubObject& so : m.subobjects) {
    subs.push_back({{"name", so.name.str()},
                    {"parent", so.parent},
                    {"flags", so.flags},
                    {"verts", so.verts.size()},
                    {"tverts", so.tverts.size()},
                    {"faces", so.faces.size()},
                    {"has_colors", !so.facecolors.empty()},
                    {"bounding_objects", so.num_bobj}});
  }
  j["subobjects"] = subs;
  json centres = json::array();
  for (const CenterPoint& c : m.centers) centres.push_back({{"name", c.name.str()}, {"pos", position(c.x, c.y, c.z)}});
  j["centers"] = centres;
  json attach = json::array();
  for (const AttachPoint& a : m.attach) attach.push_back({{"name", a.name.str()}, {"pos", position(a.x, a.y, a.z)}});
  j["attach"] = attach;
  json bounding = json::array();
  for (const BoundingObject& b : m.bobj) {
    bounding.push_back({{"name", b.name.str()},
                        {"type", b.type},
                        {"flags", b.flags},
                        {"subobject", b.subobj},
                        {"subobject2", b.subobj2},
                        {"center", position(b.cx, b.cy, b.cz)},
                        {"radius", b.radius},
                        {"min", position(b.min_x, b.min_y, b.min_z)},
                        {"max", position(b.max_x, b.max_y, b.max_z)}});
  }
  j["bounding"] = bounding;
  json users = json::array();
  for (const UserPoint& u : m.userpts) {
    users.push_back({{"name", u.name.str()},
                     {"kind", std::string(1, static_cast<char>(u.kind))},
                     {"subobject", u.subobj},
                     {"pos", position(u.x, u.y, u.z)}});
  }
  j["userpoints"] = users;
  json lights = json::array();
  for (const ModelLight& l : m.lights) {
    lights.push_back({{"name", l.name.str()},
                      {"subobject", l.subobj},
                      {"pos", position(l.x, l.y, l.z)},
                      {"color", position(l.r, l.g, l.b)},
                      {"intensity", l.intensity},
                      {"attenuation", json::array({l.atten_start, l.atten_end})}});
  }
  j["lights"] = lights;
  json materials = json::array();
  for (int i = 0; i < m.num_materials; ++i) {
    const ModelMaterial& mat = m.materials[static_cast<std::size_t>(i)];
    materials.push_back({{"name", mat.name.str()},
                         {"description", mat.description.str()},
                         {"render_attributes", mat.render_attributes},
                         {"color_type", mat.color_type},
                         {"alpha_type", mat.alpha_type},
                         {"blending_mode", mat.blending_mode},
                         {"multitexture_flags", mat.multitexture_flags},
                         {"use_alpha_pcx", mat.use_alpha_pcx},
                         {"alpha_texture", mat.alpha_texture.str()}});
  }
  j["materials"] = materials;
  return j;
}

std::string summary_text(const json& summary) {
  // Names come in the modelling package's code page, not always UTF-8.
  return summary.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace orvo
