#include "orvo/model/metafile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <span>
#include <string>

#include "metafile_keys.h"
#include "orvo/model/base.h"

namespace orvo {

namespace metafile {

void put_fixed(std::string& out, double value, int decimals) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  out.append(buf, r.ptr);
}

}  // namespace metafile

namespace {

using namespace metafile;

enum class Block { kNone, kGeneral, kMaterial, kPartAnimation, kLight, kAmbient, kDirect };

class Parser {
 public:
  Parser(std::string_view text, const std::string& name, Model& model, MetafileInfo& info)
      : name_(name), model_(model), info_(info), reader_(text, kMaxLine), values_(reader_, info) {}

  Status run();

 private:
  Error fail(const std::string& what) const { return parse_error(name_, reader_.read_count(), what); }
  std::string_view tok(std::size_t i) const { return reader_[i]; }
  bool key_is(std::string_view key) const { return iequals(tok(0), key); }

  Status begin_block();
  void end_block();
  // Reads the line's key from `keys` into `record`. A key the table does not
  // know is skipped, or refused when `known_only`.
  template <class R>
  Status take(std::span<const Key<R>> keys, R& record, bool known_only);

  const std::string& name_;
  Model& model_;
  MetafileInfo& info_;
  LineReader reader_;
  ValueReader values_;
  Block block_ = Block::kNone;
  int index_ = 0;  // the block's number
};

Status Parser::begin_block() {
  if (!key_is("begin")) return fail("\"" + std::string(tok(0)) + "\" outside a block (expected \"begin\")");
  const std::string_view kind = tok(1);
  index_ = parse_int(tok(2));
  if (iequals(kind, "general_information")) {
    block_ = Block::kGeneral;
  } else if (iequals(kind, "material")) {
    if (index_ < 0 || index_ >= kMaxMaterials) {
      return fail("material number " + std::string(tok(2)) + " is outside 0 to " + std::to_string(kMaxMaterials - 1));
    }
    block_ = Block::kMaterial;
    values_.seen = false;  // use_alpha_pcx
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
    block_ = Block::kPartAnimation;
  } else if (iequals(kind, "light")) {
    if (index_ < 0 || index_ >= kMaxLightBlocks) {
      return fail("light number " + std::string(tok(2)) + " is outside 0 to " + std::to_string(kMaxLightBlocks - 1));
    }
    block_ = Block::kLight;
    info_.lights[static_cast<std::size_t>(index_)] = MetafileInfo::Light{};
    info_.lights[static_cast<std::size_t>(index_)].present = true;
    info_.highest_light = std::max(info_.highest_light, index_);
  } else if (iequals(kind, "ambientlight")) {
    block_ = Block::kAmbient;
  } else if (iequals(kind, "directlight")) {
    block_ = Block::kDirect;
  } else {
    return fail("unknown block \"" + std::string(kind) + "\"");
  }
  return {};
}

void Parser::end_block() {
  if (block_ == Block::kMaterial && !values_.seen) {
    // No use_alpha_pcx line: an alpha texture is a separate file.
    ModelMaterial& m = model_.materials[static_cast<std::size_t>(index_)];
    m.use_alpha_pcx = m.alpha_type == 2 ? 1 : 0;
  }
  block_ = Block::kNone;
}

template <class R>
Status Parser::take(std::span<const Key<R>> keys, R& record, bool known_only) {
  const Key<R>* key = find_key(keys, tok(0));
  if (key == nullptr) {
    if (known_only) return fail("\"" + std::string(tok(0)) + "\" is no key of general_information");
    return {};  // keys of other versions
  }
  if (key->read == nullptr) return {};
  values_.key = key->name;
  if (!key->read(record, values_)) return fail(values_.refusal);
  return {};
}

Status Parser::run() {
  while (reader_.next()) {
    if (block_ == Block::kNone) {
      if (Status s = begin_block(); !s) return s;
      continue;
    }
    if (key_is("end")) {
      end_block();
      continue;
    }
    Status s;
    switch (block_) {
      case Block::kGeneral: s = take<Model>(kGeneralKeys, model_, true); break;
      case Block::kMaterial:
        s = take<ModelMaterial>(kMaterialKeys, model_.materials[static_cast<std::size_t>(index_)], false);
        break;
      case Block::kPartAnimation:
        s = take<PartAnimation>(kPartAnimationKeys, model_.part_anims[static_cast<std::size_t>(index_)], false);
        break;
      case Block::kLight:
        s = take<MetafileInfo::Light>(kLightKeys, info_.lights[static_cast<std::size_t>(index_)], false);
        break;
      case Block::kAmbient: s = take<ColorGenerator>(kLightGeneratorKeys, model_.ambient, false); break;
      case Block::kDirect: s = take<ColorGenerator>(kLightGeneratorKeys, model_.direct, false); break;
      case Block::kNone: break;
    }
    if (!s) return s;
  }
  if (block_ != Block::kNone) {
    Error e = parse_error(name_, reader_.read_count(), "the file ends inside a block", kMetafileEndInBlock);
    e.kind = ErrorKind::kEndOfFile;
    return e;
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

Status metafile_parse(std::string_view text, const std::string& display_name, Model& model, MetafileInfo& info) {
  model_reset(model);
  info = MetafileInfo{};
  if (Status s = check_text_encoding(text, display_name); !s) return s;
  Parser parser(text, display_name, model, info);
  return parser.run();
}

std::string metafile_write(const Model& model, float scale_factor, const tools::LocalTime& when,
                           std::string_view username) {
  ValueWriter w;
  w.scale_factor = scale_factor;
  w.username = username;
  char header[96];
  std::snprintf(header, sizeof header, "/ 3DI metafile, saved on %i/%i/%i, %i:%2i\n", when.month, when.day, when.year,
                when.hour, when.minute);
  w.text(header);
  w.text("\n\n");

  w.text("begin general_information\n");
  write_keys<Model>(kGeneralKeys, model, w);
  w.text("end general_information\n\n");

  for (int i = 0; i < model.num_materials; ++i) {
    w.text("begin material ");
    w.integer(i);
    w.text("\n");
    write_keys<ModelMaterial>(kMaterialKeys, model.materials[static_cast<std::size_t>(i)], w);
    w.text("end material\n\n");
  }
  // One part animation record per sub-object; a sub-object beyond the 64
  // records has none to write.
  const int parts = std::min(model.num_subobjects(), kMaxPartAnims);
  for (int i = 0; i < parts; ++i) {
    w.text("begin part_animation ");
    w.integer(i);
    w.text("\n");
    write_keys<PartAnimation>(kPartAnimationKeys, model.part_anims[static_cast<std::size_t>(i)], w);
    w.text("end part_animation\n\n");
  }
  if (model.ambient.style != 0) {
    w.text("begin ambientlight ");
    w.integer(parts);
    w.text("\n");
    write_keys<ColorGenerator>(kLightGeneratorKeys, model.ambient, w);
    w.text("end ambientlight\n\n");
  }
  if (model.direct.style != 0) {
    w.text("begin directlight ");
    w.integer(parts);
    w.text("\n");
    write_keys<ColorGenerator>(kLightGeneratorKeys, model.direct, w);
    w.text("end directlight\n\n");
  }
  for (std::size_t i = 0; i < model.lights.size(); ++i) {
    const ModelLight& l = model.lights[i];
    w.text("begin light ");
    w.integer(static_cast<long long>(i));
    w.text("\n");
    write_keys<MetafileInfo::Light>(kLightKeys, MetafileInfo::Light{true, l.name, l.colorgen}, w);
    w.text("end light\n\n");
  }
  return std::move(w.out);
}

}  // namespace orvo
