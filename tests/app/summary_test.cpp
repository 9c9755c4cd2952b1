#include "orvo/app/summary.h"

#include <gtest/gtest.h>

#include <memory>

namespace orvo {
namespace {

using nlohmann::json;

// The Model holds its 1000 materials inline: keep it off the stack.
std::unique_ptr<Model> empty_model() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  return m;
}

TEST(ModelSummary, EveryListIsAnArrayEvenWhenEmpty) {
  const json j = model_summary_json(*empty_model(), {}, {});
  for (const char* key :
       {"log", "messages", "subobjects", "centers", "attach", "bounding", "userpoints", "lights", "materials"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(j.contains(key));
    EXPECT_TRUE(j[key].is_array());
    EXPECT_TRUE(j[key].empty());
  }
}

TEST(ModelSummary, CarriesTheModelAndWhatItsReadReported) {
  auto m = empty_model();
  m->name = "tankh";
  m->attributes = 1;
  SubObject so;
  so.name = "01 Hull";
  so.verts.resize(28);
  so.tverts.resize(30);
  so.faces.resize(44);
  so.facecolors.resize(44);
  m->subobjects.push_back(so);
  UserPoint u;
  u.name = "Muzzle";
  u.kind = 'A';
  u.subobj = 2;
  u.x = 1;
  u.y = 2;
  u.z = 3;
  m->userpts.push_back(u);
  m->materials[0].name = "hull.tga";
  m->materials[1].name = "left over";  // beyond num_materials: not listed
  m->num_materials = 1;
  const std::vector<std::string> log = {"Parsing MAX file", "Done"};
  const std::vector<tools::RecordingNotifier::Message> told = {{"Too many submaterials!", "model3ds"},
                                                               {"Unable to open 't' file", ""}};

  const json j = model_summary_json(*m, log, told);
  EXPECT_EQ(j["name"], "tankh");
  EXPECT_EQ(j["attributes"], 1);
  EXPECT_EQ(j["log"], json(log));
  ASSERT_EQ(j["messages"].size(), 2u);
  EXPECT_EQ(j["messages"][0], (json{{"caption", "model3ds"}, {"text", "Too many submaterials!"}}));
  EXPECT_EQ(j["messages"][1]["text"], "Unable to open 't' file");
  ASSERT_EQ(j["subobjects"].size(), 1u);
  const json& s = j["subobjects"][0];
  EXPECT_EQ(s["name"], "01 Hull");
  EXPECT_EQ(s["verts"], 28);
  EXPECT_EQ(s["tverts"], 30);
  EXPECT_EQ(s["faces"], 44);
  EXPECT_EQ(s["has_colors"], true);
  ASSERT_EQ(j["userpoints"].size(), 1u);
  EXPECT_EQ(j["userpoints"][0]["kind"], "A");  // the letter, not its code
  EXPECT_EQ(j["userpoints"][0]["pos"], json::array({1.0, 2.0, 3.0}));
  ASSERT_EQ(j["materials"].size(), 1u);
  EXPECT_EQ(j["materials"][0]["name"], "hull.tga");
}

TEST(ModelSummary, TextIsValidUtf8WhateverTheNames) {
  auto m = empty_model();
  m->name = "T\xfcrm";  // Latin-1, as the modelling package writes it
  const std::string text = summary_text(model_summary_json(*m, {}, {}));
  const json back = json::parse(text);  // throws on invalid UTF-8
  EXPECT_EQ(back["name"], "T\xef\xbf\xbdrm");
  EXPECT_NE(text.find("\n  \"name\""), std::string::npos);  // two-space indents
}

}  // namespace
}  // namespace orvo
