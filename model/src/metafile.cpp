#include "orvo/model/metafile.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "orvo/model/base.h"

namespace orvo {

namespace {

// ---------------------------------------------------------------------------
// Writing

// printf's "%f" and "%1.3f", in the C locale whatever the process locale is
// (a Qt program adopts the user's, which may write a decimal comma).
void put_fixed(std::string& out, double value, int decimals) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  out.append(buf, r.ptr);
}

class Writer {
 public:
  std::string out;

  Writer& s(std::string_view text) {
    out += text;
    return *this;
  }
  Writer& i(long long value) {
    out += std::to_string(value);
    return *this;
  }
  Writer& f(double value) {
    put_fixed(out, value, 6);
    return *this;
  }
  Writer& f3(double value) {
    put_fixed(out, value, 3);
    return *this;
  }

  // "  key %i\n" and friends.
  void int_line(std::string_view key, long long value) { s(key).i(value).s("\n"); }
  void real_line(std::string_view key, double value) { s(key).f(value).s("\n"); }
  void text_line(std::string_view key, std::string_view value) { s(key).s(value).s("\n"); }
  void quoted_line(std::string_view key, std::string_view value) { s(key).s("\"").s(value).s("\"\n"); }
  void triple_line(std::string_view key, long long a, long long b, long long c) {
    s(key).i(a).s(" ").i(b).s(" ").i(c).s("\n");
  }
  // A generator line: style, start, end, rate, phase, register.
  void generator_line(std::string_view key, const Generator& g) {
    s(key).i(g.style).s(" ").f3(g.start).s(" ").f3(g.end).s(" ").f3(g.rate).s(" ").f3(g.phase).s(" ");
    s(g.ctrlreg.view()).s("\n");
  }
};

// A float truncated to an int as C does, kept defined for any value.
long long truncated(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return 2147483647;
  if (value <= -2147483648.0f) return -2147483648LL;
  return static_cast<long long>(value);
}

void write_material(Writer& w, const ModelMaterial& m) {
  w.quoted_line("  name ", m.name.view());
  w.quoted_line("  description ", m.description.view());
  if (m.render_attributes != 0) w.int_line("  render_attributes ", m.render_attributes);
  if (m.multitexture_flags != 0) w.int_line("  multitexture_flags ", m.multitexture_flags);
  if (m.physical_attributes != 0) w.int_line("  physical_attributes ", m.physical_attributes);
  w.int_line("  color_type ", m.color_type);
  if (m.alpha_type != 0) w.int_line("  alpha_type ", m.alpha_type);
  if (m.blending_mode != 0) w.int_line("  blending_mode ", m.blending_mode);
  w.quoted_line("  green_texture ", m.green_texture.view());
  w.quoted_line("  alpha_texture ", m.alpha_texture.view());
  if (m.color_green[0] || m.color_green[1] || m.color_green[2]) {
    w.triple_line("  color_green ", m.color_green[0], m.color_green[1], m.color_green[2]);
  }
  if (m.color_alpha[0] || m.color_alpha[1] || m.color_alpha[2]) {
    w.triple_line("  color_alpha ", m.color_alpha[0], m.color_alpha[1], m.color_alpha[2]);
  }
  if (m.luminosity != 0) w.int_line("  luminosity ", m.luminosity);
  if (m.transparency != 0) w.int_line("  transparency ", m.transparency);
  if (m.specular_intensity != 0) w.int_line("  specular_intensity ", m.specular_intensity);
  if (m.specular_sharpness != 0) w.int_line("  specular_sharpness ", m.specular_sharpness);
  if (m.anim_frames != 0) w.int_line("  anim_frames ", m.anim_frames);
  if (m.anim_time != 0) w.int_line("  anim_time ", m.anim_time);
  if (m.anim_sequence != 0) w.int_line("  anim_sequence ", m.anim_sequence);
  if (m.alpha_test != 0) w.int_line("  alpha_test ", m.alpha_test);
  w.real_line("  u_offset ", m.u_offset);
  w.real_line("  v_offset ", m.v_offset);
  w.real_line("  u_tiling ", m.u_tiling);
  w.real_line("  v_tiling ", m.v_tiling);
  w.int_line("  use_alpha_pcx ", m.use_alpha_pcx);
  const struct {
    const char* prefix;
    const Generator& g;
  } maps[] = {{"mapfunc_u", m.mapfunc_u}, {"mapfunc_v", m.mapfunc_v}};
  for (const auto& map : maps) {
    const std::string p = std::string("  ") + map.prefix;
    w.int_line(p + "_style  ", map.g.style);
    w.real_line(p + "_rate   ", map.g.rate);
    w.real_line(p + "_start  ", map.g.start);
    w.real_line(p + "_end    ", map.g.end);
    w.real_line(p + "_phase  ", map.g.phase);
    w.text_line(p + "_ctrlreg ", map.g.ctrlreg.view());
  }
  w.int_line("  rgbgen_style  ", m.rgbgen.style);
  w.real_line("  rgbgen_rate   ", m.rgbgen.rate);
  w.real_line("  rgbgen_phase  ", m.rgbgen.phase);
  w.int_line("  rgbgen_sr     ", m.rgbgen.start_red);
  w.int_line("  rgbgen_sg     ", m.rgbgen.start_green);
  w.int_line("  rgbgen_sb     ", m.rgbgen.start_blue);
  w.int_line("  rgbgen_er     ", m.rgbgen.end_red);
  w.int_line("  rgbgen_eg     ", m.rgbgen.end_green);
  w.int_line("  rgbgen_eb     ", m.rgbgen.end_blue);
  w.text_line("  rgbgen_ctrlreg ", m.rgbgen.ctrlreg.view());
  w.int_line("  alphagen_style  ", m.alphagen.style);
  w.real_line("  alphagen_rate   ", m.alphagen.rate);
  w.int_line("  alphagen_start  ", truncated(m.alphagen.start));
  w.int_line("  alphagen_end    ", truncated(m.alphagen.end));
  w.real_line("  alphagen_phase  ", m.alphagen.phase);
  w.text_line("  alphagen_ctrlreg ", m.alphagen.ctrlreg.view());
  w.int_line("  reflect_r    ", m.reflect_r);
  w.int_line("  reflect_g    ", m.reflect_g);
  w.int_line("  reflect_b    ", m.reflect_b);
  w.int_line("  reflect_type ", m.reflect_type);
  w.int_line("  reflect_alpha ", m.reflect_alpha);
  w.int_line("  actionplane_type     ", m.actionplane_type);
  w.int_line("  projector_type       ", m.projector_type);
  w.int_line("  projector_no_receive ", m.projector_no_receive);
  w.int_line("  projector_yaw       ", m.projector_yaw);
  w.int_line("  projector_pitch     ", m.projector_pitch);
  w.int_line("  shader_type         ", m.shader_type);
}

void write_part_animation(Writer& w, const PartAnimation& p) {
  w.int_line("  rotate_type  ", p.rotate_type);
  w.int_line("  scale_type   ", p.scale_type);
  w.int_line("  transform_as ", p.transform_as);
  w.real_line("  yaw_rate     ", p.yaw_rate);
  w.real_line("  pitch_rate   ", p.pitch_rate);
  w.real_line("  roll_rate    ", p.roll_rate);
  w.generator_line("  yaw_func     ", p.yaw_func);
  w.generator_line("  pitch_func   ", p.pitch_func);
  w.generator_line("  roll_func    ", p.roll_func);
  w.int_line("  reverserotate    ", p.reverserotate);
  w.generator_line("  scale_func   ", p.scale_func);
  w.generator_line("  scalex_func   ", p.scalex_func);
  w.generator_line("  scaley_func   ", p.scaley_func);
  w.generator_line("  scalez_func   ", p.scalez_func);
}

void write_light_generator(Writer& w, const ColorGenerator& g) {
  w.int_line("  colorgen_style  ", g.style);
  w.real_line("  colorgen_rate   ", g.rate);
  w.real_line("  colorgen_phase  ", g.phase);
  w.triple_line("  colorgen_start  ", g.start_red, g.start_green, g.start_blue);
  w.triple_line("  colorgen_end    ", g.end_red, g.end_green, g.end_blue);
}

// ---------------------------------------------------------------------------
// Reading

enum class Block { None, General, Material, PartAnimation, Light, Ambient, Direct };

bool has_dot(std::string_view name) { return name.find('.') != std::string_view::npos; }

std::string with_pcx(std::string_view name) { return std::string(name) + ".pcx"; }

class Parser {
 public:
  Parser(std::string_view text, const std::string& name, Model& model, MetafileInfo& info)
      : name_(name), model_(model), info_(info), reader_(text, kMaxLine) {}

  Status run();

 private:
  Status fail(const std::string& what) const {
    const long line = reader_.read_count();
    return Error{static_cast<int>(-std::min<long>(line, 0x7fffffff)), error_at(name_, line, what)};
  }
  std::string_view tok(std::size_t i) const { return reader_[i]; }
  int int_at(std::size_t i) const { return parse_int(tok(i)); }
  float real_at(std::size_t i) const { return static_cast<float>(parse_real(tok(i))); }
  bool key_is(std::string_view key) const { return iequals(tok(0), key); }

  Status begin_block();
  void end_block();
  Status general_key();
  void material_key(ModelMaterial& m);
  void part_animation_key(PartAnimation& p);
  bool light_generator_key(ColorGenerator& g, bool with_register);
  bool generator_keys(std::string_view prefix, Generator& g);
  Generator generator_line() const;

  const std::string& name_;
  Model& model_;
  MetafileInfo& info_;
  LineReader reader_;
  Block block_ = Block::None;
  int index_ = 0;  // the block's number
  bool use_alpha_pcx_read_ = false;
};

Status Parser::begin_block() {
  if (!key_is("begin")) return fail("\"" + std::string(tok(0)) + "\" outside a block (expected \"begin\")");
  const std::string_view kind = tok(1);
  index_ = int_at(2);
  if (iequals(kind, "general_information")) {
    block_ = Block::General;
  } else if (iequals(kind, "material")) {
    if (index_ < 0 || index_ >= kMaxMaterials) {
      return fail("material number " + std::string(tok(2)) + " is outside 0 to " + std::to_string(kMaxMaterials - 1));
    }
    block_ = Block::Material;
    use_alpha_pcx_read_ = false;
    ModelMaterial& m = model_.materials[static_cast<std::size_t>(index_)];
    m.u_offset = 0;
    m.v_offset = 0;
    m.u_tiling = 1.0f;
    m.v_tiling = 1.0f;
    m.mapfunc_u = Generator::defaults();
    m.mapfunc_v = Generator::defaults();
    m.rgbgen = ColorGenerator::defaults();
    m.alphagen = Generator::defaults(255.0f);
    m.reflect_type = 0;
    m.reflect_r = m.reflect_g = m.reflect_b = 255;
  } else if (iequals(kind, "part_animation")) {
    if (index_ < 0 || index_ >= kMaxPartAnims) {
      return fail("part animation number " + std::string(tok(2)) + " is outside 0 to " +
                  std::to_string(kMaxPartAnims - 1));
    }
    block_ = Block::PartAnimation;
  } else if (iequals(kind, "light")) {
    if (index_ < 0 || index_ >= kMaxLightBlocks) {
      return fail("light number " + std::string(tok(2)) + " is outside 0 to " + std::to_string(kMaxLightBlocks - 1));
    }
    block_ = Block::Light;
    info_.lights[static_cast<std::size_t>(index_)] = MetafileInfo::Light{};
    info_.lights[static_cast<std::size_t>(index_)].present = true;
    info_.highest_light = std::max(info_.highest_light, index_);
  } else if (iequals(kind, "ambientlight")) {
    block_ = Block::Ambient;
  } else if (iequals(kind, "directlight")) {
    block_ = Block::Direct;
  } else {
    return fail("unknown block \"" + std::string(kind) + "\"");
  }
  return {};
}

void Parser::end_block() {
  if (block_ == Block::Material && !use_alpha_pcx_read_) {
    ModelMaterial& m = model_.materials[static_cast<std::size_t>(index_)];
    m.use_alpha_pcx = m.alpha_type == 2 ? 1 : 0;
  }
  block_ = Block::None;
}

Status Parser::general_key() {
  if (key_is("3da_version")) {
    info_.version = int_at(1);
  } else if (key_is("3di_version")) {
    model_.version_3di = int_at(1);
  } else if (key_is("username")) {
    // who saved the file; not kept
  } else if (key_is("attributes:")) {
    model_.attributes = int_at(1);
  } else if (key_is("render_function")) {
    model_.render_function = tok(1);
  } else if (key_is("threshold")) {
    model_.threshold = real_at(1);
  } else if (key_is("num_materials")) {
    const int n = int_at(1);
    if (n < 0 || n > kMaxMaterials) {
      return fail("num_materials " + std::string(tok(1)) + " is outside 0 to " + std::to_string(kMaxMaterials));
    }
    model_.num_materials = n;
  } else if (key_is("scale_factor")) {
    info_.has_scale = true;
    info_.scale_factor = real_at(1);
  } else if (key_is("diffuse_set")) {
    info_.diffuse_set = true;
  } else if (key_is("pm_enable")) {
    model_.pm_enable = int_at(1);
  } else if (key_is("pm_polythresh")) {
    model_.pm_polythresh = int_at(1);
  } else if (key_is("part_anim_enable")) {
    model_.part_anim_enable = int_at(1);
  } else if (key_is("fakeskin_z")) {
    model_.fakeskin_z = int_at(1);
  } else if (key_is("polycollision")) {
    model_.polycollision = int_at(1);
  } else {
    return fail("\"" + std::string(tok(0)) + "\" is no key of general_information");
  }
  return {};
}

// The six keys prefix_style, _rate, _start, _end, _phase, _ctrlreg.
bool Parser::generator_keys(std::string_view prefix, Generator& g) {
  const std::string_view key = tok(0);
  if (key.size() <= prefix.size() + 1 || !istarts_with(key, prefix) || key[prefix.size()] != '_') return false;
  const std::string_view field = key.substr(prefix.size() + 1);
  if (iequals(field, "style")) g.style = int_at(1);
  else if (iequals(field, "rate")) g.rate = real_at(1);
  else if (iequals(field, "start")) g.start = real_at(1);
  else if (iequals(field, "end")) g.end = real_at(1);
  else if (iequals(field, "phase")) g.phase = real_at(1);
  else if (iequals(field, "ctrlreg")) g.ctrlreg = tok(1);
  else return false;
  return true;
}

void Parser::material_key(ModelMaterial& m) {
  const bool old = info_.version < 2;
  const auto triple = [&](std::array<uint8_t, 3>& c) {
    for (std::size_t k = 0; k < 3; ++k) c[k] = static_cast<uint8_t>(int_at(1 + k) & 0xFF);
  };
  if (key_is("name")) {
    const std::string_view n = tok(1);
    m.name = old && !has_dot(n) && n != "NoName" ? std::string_view(with_pcx(n)) : n;
  } else if (key_is("description")) {
    m.description = tok(1);
  } else if (key_is("render_attributes")) {
    m.render_attributes = int_at(1);
  } else if (key_is("multitexture_flags")) {
    m.multitexture_flags = int_at(1);
  } else if (key_is("physical_attributes")) {
    m.physical_attributes = int_at(1);
  } else if (key_is("color_type")) {
    m.color_type = int_at(1);
  } else if (key_is("alpha_type")) {
    m.alpha_type = int_at(1);
  } else if (key_is("blending_mode")) {
    m.blending_mode = int_at(1);
  } else if (key_is("green_texture")) {
    const std::string_view n = tok(1);
    m.green_texture = has_dot(n) ? n : std::string_view(with_pcx(n));
  } else if (key_is("alpha_texture")) {
    const std::string_view n = tok(1);
    m.alpha_texture = old && !has_dot(n) ? std::string_view(with_pcx(n)) : n;
  } else if (key_is("default_texture")) {
    const std::string_view n = tok(1);
    m.alpha_texture = has_dot(n) ? n : std::string_view(with_pcx(n));
  } else if (key_is("color_green")) {
    triple(m.color_green);
  } else if (key_is("color_alpha")) {
    triple(m.color_alpha);
  } else if (key_is("luminosity")) {
    m.luminosity = int_at(1);
  } else if (key_is("transparency")) {
    m.transparency = int_at(1);
  } else if (key_is("specular_intensity")) {
    m.specular_intensity = int_at(1);
  } else if (key_is("specular_sharpness")) {
    m.specular_sharpness = int_at(1);
  } else if (key_is("anim_frames")) {
    m.anim_frames = int_at(1);
  } else if (key_is("anim_time")) {
    m.anim_time = int_at(1);
  } else if (key_is("anim_sequence")) {
    m.anim_sequence = int_at(1);
  } else if (key_is("alpha_test")) {
    m.alpha_test = static_cast<uint8_t>(int_at(1) & 0xFF);
  } else if (key_is("u_offset")) {
    m.u_offset = real_at(1);
  } else if (key_is("v_offset")) {
    m.v_offset = real_at(1);
  } else if (key_is("u_tiling")) {
    m.u_tiling = real_at(1);
  } else if (key_is("v_tiling")) {
    m.v_tiling = real_at(1);
  } else if (key_is("use_alpha_pcx")) {
    m.use_alpha_pcx = int_at(1);
    use_alpha_pcx_read_ = true;
  } else if (generator_keys("mapfunc_u", m.mapfunc_u) || generator_keys("mapfunc_v", m.mapfunc_v)) {
    // read
  } else if (key_is("rgbgen_style")) {
    m.rgbgen.style = int_at(1);
  } else if (key_is("rgbgen_rate")) {
    m.rgbgen.rate = real_at(1);
  } else if (key_is("rgbgen_phase")) {
    m.rgbgen.phase = real_at(1);
  } else if (key_is("rgbgen_sr")) {
    m.rgbgen.start_red = int_at(1);
  } else if (key_is("rgbgen_sg")) {
    m.rgbgen.start_green = int_at(1);
  } else if (key_is("rgbgen_sb")) {
    m.rgbgen.start_blue = int_at(1);
  } else if (key_is("rgbgen_er")) {
    m.rgbgen.end_red = int_at(1);
  } else if (key_is("rgbgen_eg")) {
    m.rgbgen.end_green = int_at(1);
  } else if (key_is("rgbgen_eb")) {
    m.rgbgen.end_blue = int_at(1);
  } else if (key_is("rgbgen_ctrlreg")) {
    m.rgbgen.ctrlreg = tok(1);
  } else if (key_is("alphagen_start")) {
    m.alphagen.start = static_cast<float>(int_at(1));
  } else if (key_is("alphagen_end")) {
    m.alphagen.end = static_cast<float>(int_at(1));
  } else if (generator_keys("alphagen", m.alphagen)) {
    // style, rate, phase, ctrlreg
  } else if (key_is("reflect_r")) {
    m.reflect_r = int_at(1);
  } else if (key_is("reflect_g")) {
    m.reflect_g = int_at(1);
  } else if (key_is("reflect_b")) {
    m.reflect_b = int_at(1);
  } else if (key_is("reflect_type")) {
    m.reflect_type = int_at(1);
  } else if (key_is("reflect_alpha")) {
    m.reflect_alpha = int_at(1);
  } else if (key_is("actionplane_type")) {
    m.actionplane_type = int_at(1);
  } else if (key_is("projector_type")) {
    m.projector_type = int_at(1);
  } else if (key_is("projector_no_receive")) {
    m.projector_no_receive = int_at(1);
  } else if (key_is("projector_yaw")) {
    m.projector_yaw = int_at(1);
  } else if (key_is("projector_pitch")) {
    m.projector_pitch = int_at(1);
  } else if (key_is("bump_alpha")) {
    m.shader_type = int_at(1) != 0 ? 1 : 0;
  } else if (key_is("shader_type")) {
    m.shader_type = int_at(1);
  }
  // Any other key (attributes, brown_texture, white_texture, color_brown,
  // color_white, keys of later versions) is skipped.
}

Generator Parser::generator_line() const {
  Generator g;
  g.style = int_at(1);
  g.start = real_at(2);
  g.end = real_at(3);
  g.rate = real_at(4);
  g.phase = real_at(5);
  g.ctrlreg = tok(6);
  return g;
}

void Parser::part_animation_key(PartAnimation& p) {
  if (key_is("rotate_type")) p.rotate_type = int_at(1);
  else if (key_is("scale_type")) p.scale_type = int_at(1);
  else if (key_is("transform_as")) p.transform_as = int_at(1);
  else if (key_is("yaw_rate")) p.yaw_rate = real_at(1);
  else if (key_is("pitch_rate")) p.pitch_rate = real_at(1);
  else if (key_is("roll_rate")) p.roll_rate = real_at(1);
  else if (key_is("yaw_func")) p.yaw_func = generator_line();
  else if (key_is("pitch_func")) p.pitch_func = generator_line();
  else if (key_is("roll_func")) p.roll_func = generator_line();
  else if (key_is("reverserotate")) p.reverserotate = int_at(1);
  else if (key_is("scale_func")) p.scale_func = generator_line();
  else if (key_is("scalex_func")) p.scalex_func = generator_line();
  else if (key_is("scaley_func")) p.scaley_func = generator_line();
  else if (key_is("scalez_func")) p.scalez_func = generator_line();
  // "attach" and unknown keys are skipped.
}

bool Parser::light_generator_key(ColorGenerator& g, bool with_register) {
  if (key_is("colorgen_style")) g.style = int_at(1);
  else if (key_is("colorgen_rate")) g.rate = real_at(1);
  else if (key_is("colorgen_phase")) g.phase = real_at(1);
  else if (key_is("colorgen_start")) {
    g.start_red = int_at(1);
    g.start_green = int_at(2);
    g.start_blue = int_at(3);
  } else if (key_is("colorgen_end")) {
    g.end_red = int_at(1);
    g.end_green = int_at(2);
    g.end_blue = int_at(3);
  } else if (with_register && key_is("colorgen_ctrlreg")) {
    g.ctrlreg = tok(1);
  } else {
    return false;
  }
  return true;
}

Status Parser::run() {
  while (reader_.next()) {
    if (block_ == Block::None) {
      if (Status s = begin_block(); !s) return s;
      continue;
    }
    if (key_is("end")) {
      end_block();
      continue;
    }
    switch (block_) {
      case Block::General:
        if (Status s = general_key(); !s) return s;
        break;
      case Block::Material:
        material_key(model_.materials[static_cast<std::size_t>(index_)]);
        break;
      case Block::PartAnimation:
        part_animation_key(model_.part_anims[static_cast<std::size_t>(index_)]);
        break;
      case Block::Light: {
        MetafileInfo::Light& l = info_.lights[static_cast<std::size_t>(index_)];
        if (key_is("name")) l.name = tok(1);
        else light_generator_key(l.colorgen, true);
        break;
      }
      case Block::Ambient:
        light_generator_key(model_.ambient, false);
        break;
      case Block::Direct:
        light_generator_key(model_.direct, false);
        break;
      case Block::None:
        break;
    }
  }
  if (block_ != Block::None) {
    return Error{kMetafileEndInBlock, error_at(name_, reader_.read_count(), "the file ends inside a block")};
  }
  for (int i = 0; i < model_.num_materials; ++i) {
    ModelMaterial& m = model_.materials[static_cast<std::size_t>(i)];
    if (m.blending_mode == 0) m.blending_mode = (m.alpha_type == 1 || m.alpha_type == 2) ? 2 : 1;
    if (m.multitexture_flags == 0) m.multitexture_flags = 1;
    if (info_.version < 2 && m.use_alpha_pcx == 0) m.alpha_texture.clear();
  }
  return {};
}

}  // namespace

Status metafile_Parse(std::string_view text, const std::string& display_name, Model& model, MetafileInfo& info) {
  model_Reset(model);
  info = MetafileInfo{};
  if (Status s = check_text_encoding(text, display_name); !s) return s;
  Parser parser(text, display_name, model, info);
  return parser.run();
}

std::string metafile_Write(const Model& model, float scale_factor, const tools::LocalTime& when, std::string_view username) {
  Writer w;
  char header[96];
  std::snprintf(header, sizeof header, "/ 3DI metafile, saved on %i/%i/%i, %i:%2i\n", when.month, when.day,
                when.year, when.hour, when.minute);
  w.s(header).s("\n\n");

  w.s("begin general_information\n");
  w.int_line("  3da_version ", kMetafileVersion);
  w.int_line("  3di_version ", 2);
  w.text_line("  username    ", username);
  w.int_line("  attributes: ", model.attributes);
  w.text_line("  render_function ", model.render_function.view());
  w.real_line("  threshold ", model.threshold);
  w.int_line("  num_materials ", model.num_materials);
  w.real_line("  scale_factor ", scale_factor);
  w.s("  diffuse_set  TRUE\n");
  w.int_line("  pm_enable     ", model.pm_enable);
  w.int_line("  pm_polythresh ", model.pm_polythresh);
  w.int_line("  part_anim_enable ", model.part_anim_enable);
  w.int_line("  fakeskin_z ", model.fakeskin_z);
  w.int_line("  polycollision ", model.polycollision);
  w.s("end general_information\n\n");

  for (int i = 0; i < model.num_materials; ++i) {
    w.s("begin material ").i(i).s("\n");
    write_material(w, model.materials[static_cast<std::size_t>(i)]);
    w.s("end material\n\n");
  }
  // One part animation record per sub-object; a sub-object beyond the 64
  // records has none to write.
  const int parts = std::min(model.num_subobjects(), kMaxPartAnims);
  for (int i = 0; i < parts; ++i) {
    w.s("begin part_animation ").i(i).s("\n");
    write_part_animation(w, model.part_anims[static_cast<std::size_t>(i)]);
    w.s("end part_animation\n\n");
  }
  if (model.ambient.style != 0) {
    w.s("begin ambientlight ").i(parts).s("\n");
    write_light_generator(w, model.ambient);
    w.s("end ambientlight\n\n");
  }
  if (model.direct.style != 0) {
    w.s("begin directlight ").i(parts).s("\n");
    write_light_generator(w, model.direct);
    w.s("end directlight\n\n");
  }
  for (std::size_t i = 0; i < model.lights.size(); ++i) {
    const ModelLight& l = model.lights[i];
    w.s("begin light ").i(static_cast<long long>(i)).s("\n");
    w.quoted_line("  name             ", l.name.view());
    w.int_line("  colorgen_style   ", l.colorgen.style);
    w.real_line("  colorgen_rate    ", l.colorgen.rate);
    w.real_line("  colorgen_phase   ", l.colorgen.phase);
    w.triple_line("  colorgen_start   ", l.colorgen.start_red, l.colorgen.start_green, l.colorgen.start_blue);
    w.triple_line("  colorgen_end     ", l.colorgen.end_red, l.colorgen.end_green, l.colorgen.end_blue);
    w.text_line("  colorgen_ctrlreg ", l.colorgen.ctrlreg.view());
    w.s("end light\n\n");
  }
  return std::move(w.out);
}

}  // namespace orvo
